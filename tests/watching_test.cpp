// Watching a list: which changes of answers become notices, a list file followed on disk, and the
// window that reloads, notifies and shows how old each result is.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QSaveFile>
#include <gtest/gtest.h>

#include "panel/mainwindow.h"
#include "platform/filewatch.h"
#include "tests/fakes.h"

namespace {

using State = CheckResult::State;
using Look = CheckMark::Look;

TEST(AnswerWatch, AChangeIsToldOnceItHoldsForTwoChecksInARow) {
    // A answered, N no answer, C could not check; notices are taken after every result.
    const QString down = "h stopped answering|No answer twice in a row, the last time at 14:03:07.";
    const QString up = "h answers again|Answered twice in a row, the last time at 14:03:07.";
    const struct {
        const char *results;
        QStringList notices;
    } cases[] = {
        {"NNN", {}},  // never up is not down
        {"AN", {}},   // one lost reply is no news
        {"ANAN", {}},
        {"ANN", {down}},
        {"ANNNN", {down}},
        {"ANCN", {down}},  // could-not-check says nothing either way
        {"ACCC", {}},
        {"NAA", {up}},
        {"ANNAA", {down, up}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.results);
        AnswerWatch watch;
        QStringList told;
        for (const char *r = c.results; *r; ++r) {
            const State state = *r == 'A' ? State::Answered
                                : *r == 'N' ? State::NoAnswer
                                            : State::CouldNotCheck;
            watch.record("10.0.0.7", "h", state, QTime(14, 3, 7));
            for (const auto &n : watch.takeNotices()) told << n.summary + u'|' + n.body;
        }
        EXPECT_EQ(told, c.notices);
    }
}

TEST(AnswerWatch, ManyChangesInOneRunAreOneSummaryPerDirection) {
    AnswerWatch watch;
    const auto run = [&](int hosts, State first, State rest) {
        for (int i = 1; i <= hosts; ++i)
            watch.record(QString::number(i), QStringLiteral("h%1").arg(i),
                         i == 1 ? first : rest, QTime(9, 0));
    };
    run(13, State::NoAnswer, State::Answered);
    run(13, State::Answered, State::NoAnswer);
    run(13, State::Answered, State::NoAnswer);
    QStringList told;
    for (const auto &n : watch.takeNotices()) told << n.summary + u'|' + n.body;
    EXPECT_EQ(told, QStringList({"12 hosts stopped answering|h2, h3, h4, h5, h6, h7, h8, h9 and 4 more",
                                 "h1 answers again|Answered twice in a row, the last time at 09:00:00."}));
}

void write(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(FileWatch, EveryWayAFileChangesIsToldOnceAndSoon) {
    const struct {
        const char *name;
        bool existsFirst;
        std::function<void(const QString &path)> change;
        int told;
    } cases[] = {
        {"written in place", true, [](const QString &p) { write(p, "[LIST]\na=1\n"); }, 1},
        {"saved by rename", true,
         [](const QString &p) {
             QSaveFile save(p);  // a temporary file renamed over the list, as editors save
             ASSERT_TRUE(save.open(QIODevice::WriteOnly));
             save.write("[LIST]\nb=2\n");
             ASSERT_TRUE(save.commit());
         },
         1},
        {"deleted and created again", true,
         [](const QString &p) {
             QFile::remove(p);
             runUntil([] { return false; }, 100);
             write(p, "[LIST]\nc=3\n");
         },
         1},
        {"created after a start without it", false, [](const QString &p) { write(p, "x"); }, 1},
        {"written in pieces", true,
         [](const QString &p) {
             QFile file(p);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
             for (int i = 0; i < 8; ++i) {
                 file.write("[LIST]\n");
                 file.flush();
                 runUntil([] { return false; }, 60);
             }
         },
         1},
        {"another file of its folder", true,
         [](const QString &p) { write(p + QStringLiteral(".bak"), "x"); }, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("norvex.nvx"));
        if (c.existsFirst) write(path, "[LIST]\n");
        int told = 0;
        QElapsedTimer clock;
        qint64 firstToldMs = -1;
        FileWatch watch(path, [&] {
            if (!told++) firstToldMs = clock.elapsed();
        });
        runUntil([] { return false; }, 100);
        c.change(path);
        clock.start();
        runUntil([] { return false; }, 2000);
        EXPECT_EQ(told, c.told);
        if (c.told) {
            EXPECT_LT(firstToldMs, 1600) << "told too late";
        }
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
    const QString caption = w.window.caption();
    TwipsButton *first = w.window.pingButton(1);

    w.rewrite("A note before the list\r\n" + kList);  // nothing shown changes
    EXPECT_EQ(w.window.pingButton(1), first);
    EXPECT_EQ(w.look(2), Look::NoAnswer);

    w.rewrite("[LIST]\r\nnew=127.0.0.9\r\nb moved=127.0.0.2\r\n");
    ASSERT_EQ(w.window.rows().size(), 2u);
    EXPECT_EQ(w.window.caption(), caption);
    EXPECT_EQ(w.window.pingButton(2)->caption(), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(w.window.pingButton(3), nullptr);
    EXPECT_EQ(w.window.markOf(1), nullptr);
    EXPECT_EQ(w.look(2), Look::NoAnswer);  // its address is unchanged
    const int twoRows = w.window.outerHeight();
    EXPECT_LT(twoRows, Watched().window.outerHeight());

    w.rewrite(crlfLines(entryLines(87)));  // past the row limit: the rows before it stay
    EXPECT_EQ(w.window.caption(), QStringLiteral(" [norvex.nvx] not found"));
    EXPECT_GE(w.window.rows().size(), 86u);
    EXPECT_EQ(w.window.outerHeight(), Watched("").window.outerHeight());

    w.files.files.clear();  // deleted
    w.files.fileChanged();
    EXPECT_TRUE(w.window.rows().empty());
    EXPECT_EQ(w.window.pingButton(1)->caption(), QStringLiteral("127.0.0.1"));  // the placeholder
}

TEST(WindowReload, KeepCheckingGoesOnWithTheNewRows) {
    Watched w;
    w.window.setKeepCheckingPause(50);
    w.window.keepCheckingAction()->setChecked(true);
    w.rewrite("[LIST]\r\nnew=127.0.0.9\r\n");
    runUntil([&] { return w.checker.asked.count("127.0.0.9") >= 2; }, 3000);
    EXPECT_GE(w.checker.asked.count("127.0.0.9"), 2);
}

TEST(WindowNotices, OneNoticeForAHostThatStopsAnsweringAndOneWhenItAnswersAgain) {
    Watched w;
    w.window.setKeepCheckingPause(30);
    w.window.keepCheckingAction()->setChecked(true);
    EXPECT_TRUE(w.notifier.watching);
    runUntil([&] { return w.checker.asked.count("127.0.0.2") >= 2; }, 3000);
    EXPECT_TRUE(w.notifier.notices.isEmpty()) << "a first result is no change";
    w.checker.answers["127.0.0.2"] = {{State::NoAnswer, -1, "no reply"}, 0};
    runUntil([&] { return w.checker.asked.count("127.0.0.2") >= 8; }, 3000);
    ASSERT_EQ(w.notifier.notices.size(), 1);
    EXPECT_TRUE(w.notifier.notices[0].startsWith("b (127.0.0.2) stopped answering|"))
        << w.notifier.notices[0].toStdString();
    w.checker.answers.clear();
    runUntil([&] { return w.notifier.notices.size() >= 2; }, 3000);
    ASSERT_EQ(w.notifier.notices.size(), 2);
    EXPECT_TRUE(w.notifier.notices[1].startsWith("b (127.0.0.2) answers again|"));
    w.window.keepCheckingAction()->setChecked(false);
    EXPECT_FALSE(w.notifier.watching);
}

TEST(WindowMarks, AResultSaysWhenItCameAndFadesWhenOld) {
    Watched w;
    w.window.setKeepCheckingPause(100);
    w.window.checkHost(1);
    runUntil([&] { return w.look(1) == Look::Answered; }, 2000);
    Twips<CheckMark> *mark = w.window.markOf(1);
    EXPECT_EQ(withoutTime(mark->toolTip()), QStringLiteral("127.0.0.1 answered in 1 ms"));
    EXPECT_FALSE(mark->stale());
    runUntil([&] { return mark->stale(); }, 1000);
    EXPECT_TRUE(mark->stale());
    EXPECT_TRUE(mark->accessibleDescription().endsWith(" (an old result)"));
}

TEST(WindowMarks, CopyAddressPutsTheAddressAsWrittenOnTheClipboard) {
    Watched w("[LIST]\r\nlong=-l 1000 127.0.0.2\r\n");
    w.window.copyAddress(1);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("-l 1000 127.0.0.2"));
}

}  // namespace
