// Watching a list: which changes of answers become notices, a list file followed on disk, and the
// window that reloads, notifies and shows how old each result is.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QTableView>
#ifdef Q_OS_WIN
#include <QSystemTrayIcon>
#endif
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "panel/historyboard.h"
#include "panel/historygraph.h"
#include "panel/historymodel.h"
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

    // Its speed in a run is its fastest reply: a quick one beside a slow one is not slow.
    AnswerWatch speed;
    speed.setSlowAboveMs(200);
    told.clear();
    for (int run = 0; run < 3; ++run) {
        speed.record("127.0.0.2", "a", {State::Answered, 0.4, {}}, QTime());
        if (run > 0) speed.record("127.0.0.2", "b", {State::Answered, 300, {}}, QTime());
        for (const auto &n : speed.endRun()) told << n.summary;
    }
    EXPECT_EQ(told, QStringList());
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

// A watch on a name in a temporary folder that holds norvex.nvx, sub/norvex.nvx and a link to
// target/real.nvx; it counts the changes told, and when the first came.
struct Followed {
    Followed(const char *name, bool onShare = false) {
        for (const char *folder : {"sub", "target"}) QDir(dir.path()).mkdir(folder);
        for (const char *file : {"norvex.nvx", "sub/norvex.nvx", "target/real.nvx"})
            write(dir.filePath(file), "[LIST]\n");
        QFile::link(dir.filePath("target/real.nvx"),
                    dir.filePath("link.nvx"));  // Windows: a shortcut
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        watch = std::make_unique<FileWatch>(
            dir.filePath(name), [this] { firstMs = told++ ? firstMs : clock.elapsed(); },
            onShare ? [=](const QString &p) { return p.startsWith(root); }
                    : FileWatch::ShareTest(isOnNetworkShare));
        run("pause 100");
        clock.start();
    }
    // Runs steps such as "append sub/norvex.nvx, remove sub, told 2" (until told twice).
    void run(const QString &steps) {
        static const QStringList kVerbs{"append",      "remove", "mkdir", "hold",
                                        "rename-over", "pause",  "told"};
        for (const QString &step : steps.split(", ", Qt::SkipEmptyParts)) {
            const QString verb = step.section(u' ', 0, 0),
                          name = dir.filePath(step.section(u' ', 1));
            const int number = step.section(u' ', 1).toInt();
            if (verb == "append") write(name, "a=1\n");
            if (verb == "remove" && !QFile::remove(name)) QDir(name).removeRecursively();
            if (verb == "mkdir") QDir().mkdir(name);
            if (verb == "hold") held.setFileName(name);
            EXPECT_TRUE(verb != "hold" || held.open(QIODevice::ReadOnly)) << step.toStdString();
            if (verb == "rename-over") {  // as editors save
                write(name + ".new", "b=2\n");
                std::filesystem::rename((name + ".new").toStdWString(), name.toStdWString());
            }
            if (verb == "pause") runUntil([] { return false; }, number);
            if (verb == "told") runUntil([&] { return told >= number; }, 1600);
            EXPECT_TRUE(kVerbs.contains(verb)) << step.toStdString();
        }
    }
    QTemporaryDir dir;
    QFile held;  // a file some other program keeps open
    QElapsedTimer clock;
    int told = 0;
    qint64 firstMs = -1;
    std::unique_ptr<FileWatch> watch;
};

TEST(FileWatch, EveryWayAFileChangesIsToldOnceAndSoon) {
    const struct {
        const char *name, *watches;
        QString steps;
        int fewest, most, byMs;  // changes told; the first by then after the steps began
    } cases[] = {
        {"written in place", "norvex.nvx", "append norvex.nvx", 1, 1, 1000},
        {"renamed over while the old one is open, then written in place", "norvex.nvx",
#ifndef Q_OS_WIN
         "hold norvex.nvx, "  // Windows refuses to rename over a file that is open
#endif
         "rename-over norvex.nvx, told 1, append norvex.nvx",
         2, 2, 1000},
        {"deleted, then created", "norvex.nvx", "remove norvex.nvx, pause 100, append norvex.nvx",
         1, 1, 1000},
        {"written in pieces", "norvex.nvx", QString("append norvex.nvx, pause 60, ").repeated(8), 1,
         2, 1600},
        {"written every 100 ms for 3 s", "norvex.nvx",
         QString("append norvex.nvx, pause 100, ").repeated(30), 2, 5, 2200},
        {"another file in its folder", "later.nvx", "append norvex.nvx", 0, 0, 0},
        {"created where there was none", "later.nvx", "append later.nvx", 1, 1, 1000},
        {"a folder made where it was", "norvex.nvx",
         "remove norvex.nvx, mkdir norvex.nvx, told 1, append norvex.nvx/inside.nvx", 1, 1, 1000},
        {"its folder deleted and made again, then written", "sub/norvex.nvx",
         "remove sub, told 1, mkdir sub, pause 100, append sub/norvex.nvx, told 2, "
         "append sub/norvex.nvx",
         3, 3, 1000},
        {"in folders made after the start", "new/sub/norvex.nvx",
         "mkdir new, pause 100, mkdir new/sub, pause 100, append new/sub/norvex.nvx, told 1, "
         "append new/sub/norvex.nvx",
         2, 2, 1600},
#ifndef Q_OS_WIN
        {"its link's target deleted and created again, then written", "link.nvx",
         "remove target/real.nvx, told 1, append target/real.nvx, told 2, append target/real.nvx",
         3, 3, 1000},
#endif
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Followed f(c.watches);
        f.run(c.steps);
        runUntil([&] { return f.told > c.most; }, 800);  // time for one too many
        EXPECT_GE(f.told, c.fewest);
        EXPECT_LE(f.told, c.most);
        if (c.fewest) {
            EXPECT_LT(f.firstMs, c.byMs) << "told too late";
        }
    }
}

// With the system's notices blocked, as on a share where other machines write; the local file
// is told from a share by the system's own test.
TEST(FileWatch, AShareIsLookedAtWhereNoNoticeComesAndALocalFileWakesNothing) {
    for (const bool onShare : {false, true}) {
        SCOPED_TRACE(onShare ? "on a share" : "on a local disk");
        Followed f("norvex.nvx", onShare);
        const auto timers = f.watch->findChildren<QTimer *>();
        EXPECT_EQ(
            std::any_of(timers.begin(), timers.end(), [](QTimer *t) { return t->isActive(); }),
            onShare);
        f.watch->findChild<QFileSystemWatcher *>()->blockSignals(true);
        f.run("append norvex.nvx");
        runUntil([&] { return f.told; }, onShare ? FileWatch::kShareLookMs + 1500 : 0);
        EXPECT_EQ(f.told, onShare);
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
    w.window.findChild<QAction *>(QStringLiteral("reloadList"))->trigger();
    EXPECT_EQ(w.files.watches, 2) << "Ctrl+R follows the file afresh";
    w.checker.answers["127.0.0.2"] = {{State::NoAnswer, -1, "no reply"}, 0};
    w.window.checkAll();
    runUntil([&] { return w.look(3) != Look::Checking; }, 2000);
    TwipsButton *first = w.window.pingButton(1);
    w.rewrite("A note before the list\r\n" + kList);  // nothing shown changes
    EXPECT_EQ(w.window.pingButton(1), first);
    EXPECT_EQ(w.files.watches, 2) << "the watch that told the change was replaced while calling";

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
    EXPECT_TRUE(mark->accessibleDescription().contains(" (an old result); "));
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

// A mark says how its host answered over the session too, in its tooltip and for screen readers.
TEST(WindowMarks, AMarkAddsTheSessionsLossAndAverage) {
    Watched w;
    for (const double ms : {0.4, -1.0, 0.6}) {
        w.checker.answers["127.0.0.1"] = {
            {ms < 0 ? State::NoAnswer : State::Answered, ms, "no reply"}, 0};
        w.window.checkHost(1);
        runUntil([&] { return w.look(1) != Look::Checking; }, 2000);
    }
    static const QRegularExpression words(
        QStringLiteral("^127\\.0\\.0\\.1 answered in 0\\.6 ms at \\d\\d:\\d\\d:\\d\\d; 1 of 3 "
                       "lost, average 0\\.5 ms$"));
    EXPECT_TRUE(words.match(w.window.markOf(1)->toolTip()).hasMatch())
        << w.window.markOf(1)->toolTip().toStdString();
    EXPECT_EQ(w.window.markOf(1)->accessibleDescription(), w.window.markOf(1)->toolTip());
}

// Ctrl+H opens one board over the window's history, which keeps every address the list still has.
TEST(WindowHistory, OneBoardFollowsTheChecksAndAReloadKeepsListedAddresses) {
    Watched w;
    w.window.checkAll();
    runUntil([&] { return w.look(3) != Look::Checking; }, 2000);
    w.window.showHistory();
    HistoryBoard *board = w.window.historyBoard();
    ASSERT_NE(board, nullptr);
    EXPECT_TRUE(board->windowTitle().contains("norvex.nvx")) << board->windowTitle().toStdString();
    EXPECT_EQ(board->model()->rowCount(), 3);
    w.window.showHistory();  // asked again: the same board
    EXPECT_EQ(w.window.historyBoard(), board);
    board->table()->selectRow(1);
    w.rewrite("[LIST]\r\nnew=127.0.0.9\r\nb=127.0.0.2\r\n");
    EXPECT_EQ(board->graph()->address(), "127.0.0.2") << "the host shown was not followed";
    EXPECT_EQ(w.window.history().statsOf("127.0.0.2").sent, 1);
    EXPECT_EQ(w.window.history().statsOf("127.0.0.1").sent, 0);
    EXPECT_EQ(board->model()->rowCount(), 2);
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
