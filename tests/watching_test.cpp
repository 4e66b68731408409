// Watching a list: which changes of answers become notices, a list file followed on disk, and the
// window that reloads, notifies and shows how old each result is.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QSaveFile>
#ifdef Q_OS_WIN
#include <QSystemTrayIcon>
#endif
#include <gtest/gtest.h>

#include "panel/mainwindow.h"
#include "platform/filewatch.h"
#include "tests/fakes.h"

namespace {

using State = CheckResult::State;
using Look = CheckMark::Look;

// Results as letters, one run each: A answered, N no answer, C could not check, S answered slowly
// (300 ms); notices as "summary|body".
QStringList noticesAfter(AnswerWatch &watch, const QString &host, const char *results) {
    QStringList told;
    for (const char *r = results; *r; ++r) {
        const CheckResult result{*r == 'A' || *r == 'S' ? State::Answered
                                 : *r == 'N'            ? State::NoAnswer
                                                        : State::CouldNotCheck,
                                 *r == 'S' ? 300.0 : 1.0, QString()};
        watch.record(host, host, result, QTime(14, 3, 7));
        for (const auto &n : watch.endRun()) told << n.summary + u'|' + n.body;
    }
    return told;
}

TEST(AnswerWatch, AChangeIsToldOnceItHoldsForTwoRunsInARow) {
    const QString down = "h stopped answering|No answer twice in a row, the last time at 14:03:07.";
    const QString up = "h answers again|Answered twice in a row, the last time at 14:03:07.";
    const QString slow =
        "h answers slowly: 300 ms|Slower than 200 ms twice in a row, the last time at 14:03:07.";
    const QString quick =
        "h answers quickly again|Within 200 ms twice in a row, the last time at 14:03:07.";
    const struct {
        const char *results;
        QStringList notices;
    } cases[] = {
        {"NNN", {}},   // never up is not down
        {"ANAN", {}},  // one lost reply is no news
        {"ANNNN", {down}},
        {"ANCN", {down}},  // could-not-check says nothing either way
        {"ACCC", {}},
        {"ANNAA", {down, up}},
        {"SSS", {}},
        {"ASAS", {}},
        {"ASSAA", {slow, quick}},
        {"ASNS", {slow}},  // a lost reply neither counts nor breaks a slow streak
        {"ASSNNS", {slow, down}},
    };
    for (const auto &c : cases) {
        AnswerWatch watch;
        watch.setSlowAboveMs(200);
        EXPECT_EQ(noticesAfter(watch, "h", c.results), c.notices) << c.results;
    }
    AnswerWatch unlimited;  // no limit set: speed is not watched
    EXPECT_EQ(noticesAfter(unlimited, "h", "ASSS"), QStringList());
}

// Rows that share a host are one host: one lost run is one, not two in a row.
TEST(AnswerWatch, RowsSharingAHostCountOnceARunAndAreNamedTogether) {
    AnswerWatch watch;
    QStringList told;
    for (const char *run : {"AA", "NN", "AN", "NN", "NN"}) {
        watch.record("127.0.0.2", "a (127.0.0.2)",
                     {run[0] == 'A' ? State::Answered : State::NoAnswer, 1, {}}, QTime(14, 3, 7));
        watch.record("127.0.0.2", "b (-n 127.0.0.2)",
                     {run[1] == 'A' ? State::Answered : State::NoAnswer, 1, {}}, QTime(14, 3, 7));
        for (const auto &n : watch.endRun()) told << n.summary;
    }
    EXPECT_EQ(told, QStringList({"a (127.0.0.2), b (-n 127.0.0.2) stopped answering"}));
}

// Up to three changes in a run are told one by one; more, as one summary per direction (and a
// direction with one change in it, one by one).
TEST(AnswerWatch, MoreThanThreeChangesInARunAreSummed) {
    for (const int changed : {3, 4, 13}) {
        SCOPED_TRACE(changed);
        AnswerWatch watch;
        std::vector<AnswerWatch::Notice> last;
        const int first = changed == 13 ? 0 : 1;  // host 0 comes back as twelve others go
        for (const bool down : {false, true, true}) {
            for (int i = first; i <= changed; ++i)
                watch.record(QString::number(i), QStringLiteral("h%1").arg(i),
                             {(i == 0) != down ? State::NoAnswer : State::Answered, 1, {}},
                             QTime());
            last = watch.endRun();
        }
        QStringList summaries;
        for (const auto &n : last) summaries << n.summary;
        if (changed == 3) {
            EXPECT_EQ(summaries, QStringList({"h1 stopped answering", "h2 stopped answering",
                                              "h3 stopped answering"}));
        } else if (changed == 4) {
            EXPECT_EQ(summaries, QStringList({"4 hosts stopped answering"}));
            EXPECT_EQ(last[0].body, "h1, h2, h3, h4");
        } else {
            EXPECT_EQ(summaries, QStringList({"13 hosts stopped answering", "h0 answers again"}));
            EXPECT_EQ(last[0].body, "h1, h2, h3, h4, h5, h6, h7, h8 and 5 more");
        }
    }
}

void write(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
}

TEST(FileWatch, EveryWayAFileChangesIsToldOnceAndSoon) {
    const struct {
        const char *name, *watches;  // norvex.nvx is there at the start, later.nvx is not
        std::function<void(const QString &path)> change;
        int told;
    } cases[] = {
        {"written in place", "norvex.nvx", [](const QString &p) { write(p, "a=1\n"); }, 1},
        {"saved by rename", "norvex.nvx",
         [](const QString &p) {
             QSaveFile save(p);  // a temporary file renamed over it, as editors save
             ASSERT_TRUE(save.open(QIODevice::WriteOnly));
             save.write("[LIST]\nb=2\n");
             ASSERT_TRUE(save.commit());
         },
         1},
        {"deleted, then created", "norvex.nvx",
         [](const QString &p) {
             QFile::remove(p);
             runUntil([] { return false; }, 100);
             write(p, "c=3\n");
         },
         1},
        {"written in pieces", "norvex.nvx",
         [](const QString &p) {
             for (int i = 0; i < 8; ++i) {
                 write(p, "d=4\n");
                 runUntil([] { return false; }, 60);
             }
         },
         1},
        {"another file in its folder", "later.nvx", [](const QString &p) { write(p, "x"); }, 0},
        {"created where there was none", "later.nvx",
         [](const QString &p) { write(p.left(p.size() - 10) + "later.nvx", "x"); }, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        write(dir.filePath(QStringLiteral("norvex.nvx")), "[LIST]\n");
        int told = 0;
        QElapsedTimer clock;
        qint64 firstMs = -1;
        FileWatch watch(dir.filePath(QString::fromUtf8(c.watches)),
                        [&] { firstMs = told++ ? firstMs : clock.elapsed(); });
        runUntil([] { return false; }, 100);
        c.change(dir.filePath(QStringLiteral("norvex.nvx")));
        clock.start();
        runUntil([] { return false; }, 2000);
        EXPECT_EQ(told, c.told);
        EXPECT_LT(firstMs, 1600) << "told too late";
    }
}

const QByteArray kList = "[LIST]\r\na=127.0.0.1\r\nb=127.0.0.2\r\nc=127.0.0.3\r\n";

// A window on a list that a test rewrites, checked by a stand-in, with a recording notifier.
struct Watched {
    explicit Watched(const QByteArray &bytes = kList)
        : files(QStringLiteral("norvex.nvx"), bytes),
          window(files, launcher, QString(), &checker, &notifier) {}
    void rewrite(const QByteArray &bytes) {
        files.files[QStringLiteral("norvex.nvx")] = bytes;
        files.fileChanged();
    }
    Look look(int row) const {
        return window.markOf(row) ? window.markOf(row)->look() : Look::Checking;
    }
    FakeFileReader files;
    RecordingLauncher launcher;
    FakeChecker checker;
    FakeNotifier notifier;
    MainWindow window;
};

TEST(WindowReload, ANewListIsShownAsAtStartKeepingTheMarksOfUnchangedAddresses) {
    Watched w;
    EXPECT_EQ(w.files.watched, QStringLiteral("norvex.nvx"));
    w.checker.answers["127.0.0.2"] = {{State::NoAnswer, -1, "no reply"}, 0};
    w.window.checkAll();
    runUntil([&] { return w.look(3) != Look::Checking; }, 2000);
    TwipsButton *first = w.window.pingButton(1);
    w.rewrite("A note before the list\r\n" + kList);  // nothing shown changes
    EXPECT_EQ(w.window.pingButton(1), first);

    w.rewrite("[LIST]\r\nnew=127.0.0.9\r\nb moved=127.0.0.2\r\n");
    ASSERT_EQ(w.window.rows().size(), 2u);
    EXPECT_EQ(w.window.pingButton(3), nullptr);
    EXPECT_EQ(w.window.markOf(1), nullptr);
    EXPECT_EQ(w.look(2), Look::NoAnswer);  // its address is unchanged
    EXPECT_LT(w.window.outerHeight(), Watched().window.outerHeight());

    w.rewrite(crlfLines(entryLines(87)));  // past the row limit: the rows before it stay
    EXPECT_EQ(w.window.caption(), QStringLiteral(" [norvex.nvx] not found"));
    EXPECT_GE(w.window.rows().size(), 86u);
    EXPECT_EQ(w.window.outerHeight(), Watched("").window.outerHeight());
    w.files.files.clear();  // deleted: the placeholder again
    w.files.fileChanged();
    EXPECT_TRUE(w.window.rows().empty());
    EXPECT_EQ(w.window.pingButton(1)->caption(), QStringLiteral("127.0.0.1"));

    w.window.setKeepCheckingPause(50);  // keep checking goes on with the new rows
    w.window.keepCheckingAction()->setChecked(true);
    w.rewrite("[LIST]\r\nnew=127.0.0.9\r\n");
    runUntil([&] { return w.checker.asked.count("127.0.0.9") >= 3; }, 3000);
    EXPECT_GE(w.checker.asked.count("127.0.0.9"), 3);
}

TEST(WindowNotices, OneNoticeForAHostThatStopsAnsweringAndOneWhenItAnswersAgain) {
    Watched w;
    w.window.setKeepCheckingPause(30);
    w.window.keepCheckingAction()->setChecked(true);
    EXPECT_TRUE(w.notifier.watching);
    runUntil([&] { return w.checker.asked.count("127.0.0.2") >= 2; }, 3000);
    w.checker.answers["127.0.0.2"] = {{State::NoAnswer, -1, "no reply"}, 0};
    runUntil([&] { return w.checker.asked.count("127.0.0.2") >= 8; }, 3000);
    w.checker.answers.clear();
    runUntil([&] { return w.notifier.notices.size() >= 2; }, 3000);
    ASSERT_EQ(w.notifier.notices.size(), 2);
    EXPECT_TRUE(w.notifier.notices[0].startsWith("b (127.0.0.2) stopped answering|"));
    EXPECT_TRUE(w.notifier.notices[1].startsWith("b (127.0.0.2) answers again|"));
    w.window.keepCheckingAction()->setChecked(false);
    EXPECT_FALSE(w.notifier.watching);
}

TEST(WindowMarks, AResultSaysWhenItCameAndFadesWhenOldAndAnAddressIsCopiedAsWritten) {
    Watched w("[LIST]\r\nlong=-l 1000 127.0.0.2\r\n");
    w.window.setKeepCheckingPause(300);  // old after 600 ms
    w.window.checkHost(1);
    runUntil([&] { return w.look(1) == Look::Answered; }, 2000);
    Twips<CheckMark> *mark = w.window.markOf(1);
    EXPECT_EQ(withoutTime(mark->toolTip()), QStringLiteral("127.0.0.2 answered in 1 ms"));
    EXPECT_FALSE(mark->stale());
    runUntil([&] { return mark->stale(); }, 3000);
    EXPECT_TRUE(mark->accessibleDescription().endsWith(" (an old result)"));
    w.window.copyAddress(1);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("-l 1000 127.0.0.2"));
}

// A row whose label and place stay but whose address changes is a new row: it shows, and pings,
// the new address.
TEST(WindowReload, AChangedAddressIsShownAndPingedWhereTheRowStays) {
    Watched w;
    w.rewrite("[LIST]\r\na=127.0.0.1\r\nb=127.0.0.7\r\nc=127.0.0.3\r\n");
    ASSERT_EQ(w.window.rows().size(), 3u);
    EXPECT_EQ(w.window.pingButton(2)->caption(), QStringLiteral("127.0.0.7"));
    w.window.pingButton(2)->click();
    ASSERT_EQ(w.launcher.starts.size(), 1u);
    EXPECT_EQ(w.launcher.starts[0].address, QStringLiteral("127.0.0.7"));
}

// Keep checking switched off, or the window closed, while a run is under way: no notice of what
// that run settles, and no check after it.
TEST(WindowNotices, NothingIsToldOrCheckedOnceWatchingStops) {
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "window closed" : "keep checking switched off");
        Watched w;
        w.checker.answers["127.0.0.3"] = {{State::Answered, 1, {}}, 150};  // ends each run late
        w.window.setKeepCheckingPause(30);
        w.window.keepCheckingAction()->setChecked(true);
        runUntil([&] { return w.checker.asked.count("127.0.0.2") >= 2; }, 3000);
        w.checker.answers["127.0.0.2"] = {{State::NoAnswer, -1, "no reply"}, 0};
        const qsizetype lost = w.checker.asked.count("127.0.0.2");
        // The second lost reply has come; its run waits for 127.0.0.3.
        runUntil(
            [&] {
                return w.look(2) == Look::NoAnswer &&
                       w.checker.asked.count("127.0.0.2") == lost + 2;
            },
            3000);
        ASSERT_EQ(w.look(2), Look::NoAnswer);
        if (closing) {
            w.window.close();
        } else {
            w.window.keepCheckingAction()->setChecked(false);
        }
        const qsizetype asked = w.checker.asked.size();
        runUntil([] { return false; }, 400);
        EXPECT_EQ(w.notifier.notices, QStringList());
        EXPECT_EQ(w.checker.asked.size(), asked) << "checked on after watching stopped";
    }
}

// Replies over the limit two runs in a row: a mark of its own, and while keeping checking a notice
// when it starts and when it ends; one slow reply, or a lost one between, is no news.
TEST(WindowMarks, SlowTwiceInARowHasAMarkAndANotice) {
    Watched w;
    w.window.setSlowAboveMs(200);
    const struct {
        std::vector<double> replies;  // ms; -1 lost
        Look look;
    } cases[] = {
        {{300, 300}, Look::Slow},      {{300, 100}, Look::Answered},
        {{100, 300}, Look::Answered},  {{300, -1, 300}, Look::Answered},
        {{300, 300, 300}, Look::Slow},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.replies));
        w.window.setSlowAboveMs(200);  // counted afresh
        for (const double ms : c.replies) {
            w.checker.answers["127.0.0.1"] = {
                {ms < 0 ? State::NoAnswer : State::Answered, ms, "no reply"}, 0};
            w.window.checkHost(1);
            runUntil([&] { return w.look(1) != Look::Checking; }, 2000);
        }
        EXPECT_EQ(w.look(1), c.look);
    }
    EXPECT_TRUE(w.window.markOf(1)->toolTip().contains("slowly in 300 ms (over 200 ms"));
    w.window.setSlowAboveMs(0);
    EXPECT_EQ(w.look(1), Look::Answered);

    w.window.setSlowAboveMs(200);
    w.window.setKeepCheckingPause(30);
    w.window.keepCheckingAction()->setChecked(true);
    runUntil([&] { return w.checker.asked.count("127.0.0.2") >= 3; }, 3000);
    w.checker.answers["127.0.0.2"] = {{State::Answered, 300, {}}, 0};
    runUntil([&] { return w.notifier.notices.size() >= 1; }, 3000);
    EXPECT_EQ(w.look(2), Look::Slow);
    w.checker.answers["127.0.0.2"] = {{State::Answered, 20, {}}, 0};
    runUntil([&] { return w.notifier.notices.size() >= 2; }, 3000);
    w.window.keepCheckingAction()->setChecked(false);
    ASSERT_EQ(w.notifier.notices.size(), 2);
    EXPECT_TRUE(w.notifier.notices[0].startsWith("b (127.0.0.2) answers slowly: 300 ms|"));
    EXPECT_TRUE(w.notifier.notices[1].startsWith("b (127.0.0.2) answers quickly again|"));
}

// A result is fresh for two pauses of keep checking and faded after: an old green is never taken
// for a current one, and a current one is never faded.
TEST(WindowMarks, AResultFadesAfterTwoPausesNotBefore) {
    Watched w;
    constexpr int kPauseMs = 1000;
    w.window.setKeepCheckingPause(kPauseMs);
    QElapsedTimer since;
    w.window.checkHost(1);
    runUntil([&] { return w.look(1) == Look::Answered; }, 2000);
    since.start();
    Twips<CheckMark> *mark = w.window.markOf(1);
    runUntil([&] { return since.elapsed() >= kPauseMs * 3 / 2; }, 3000);
    ASSERT_LT(since.elapsed(), 2 * kPauseMs) << "too slow a machine to tell";
    EXPECT_FALSE(mark->stale()) << "faded after one and a half pauses";
    runUntil([&] { return mark->stale(); }, 2000);
    EXPECT_TRUE(mark->stale());
    EXPECT_GE(since.elapsed(), 2 * kPauseMs - 50);
}

#ifdef Q_OS_WIN
// Windows' notices come from a tray icon that is there only while norvex keeps checking.
TEST(TrayNotifier, TheIconComesWithWatchingAndGoesWithIt) {
    const auto trayIcon = [] { return qApp->findChild<QSystemTrayIcon *>("watchingTrayIcon"); };
    const auto notifier = makeSystemNotifier();
    notifier->notify(QStringLiteral("not watching"), QString());  // nowhere to show it: nothing
    EXPECT_EQ(trayIcon(), nullptr);
    notifier->setWatching(true);
    ASSERT_NE(trayIcon(), nullptr);
    EXPECT_TRUE(trayIcon()->isVisible());
    notifier->notify(QStringLiteral("b (127.0.0.2) stopped answering"), QStringLiteral("at 14:03"));
    runUntil([] { return false; }, 300);
    notifier->setWatching(false);
    EXPECT_EQ(trayIcon(), nullptr);
}
#endif

}  // namespace
