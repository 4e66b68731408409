// One real terminal on an X display, run by scripts/real-terminals.sh for each terminal, each way
// norvex can find it and with or without a window of it already open: three clicks in a row, each
// with an address a shell would act on, must each start one terminal and run the fake ping once
// with exactly that click's words. Not a CTest test: it needs a display and the terminal.
//   NORVEX_TERMINAL       the terminal's program, put on PATH under its own file name
//   NORVEX_TERMINAL_LINK  if set, x-terminal-emulator is there too, linked to this program
//   NORVEX_ALREADY_OPEN   if 1, the user's own window of it is opened before the first click
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "platform/posix/terminal.h"
#include "platform/posix/terminallauncher.h"
#include "tests/posix/fakedesktop.h"

namespace {

// The viewable top-level windows (and the root): with no window manager, the root's children.
QStringList windows() {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {"search", "--maxdepth", "1", "--onlyvisible", QString()});
    if (!xdotool.waitForFinished(10000) || xdotool.exitStatus() != QProcess::NormalExit ||
        xdotool.exitCode() != 0) {
        ADD_FAILURE() << "xdotool could not list the windows: "
                      << xdotool.errorString().toStdString()
                      << xdotool.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromLatin1(xdotool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

qsizetype newWindows(const QStringList &before) {
    const QStringList now = windows();
    return std::count_if(now.begin(), now.end(),
                         [&](const QString &w) { return !before.contains(w); });
}

// Records its arguments as a record of the given kind, then runs the real program with them: the
// terminal itself, each of its starts counted.
QByteArray standIn(const FakeDesktop &desktop, const char *kind, const QString &real) {
    const QByteArray record = shellQuote(desktop.path(QString::fromLatin1(kind))).toUtf8();
    return "#!/bin/sh\nprintf '%s\\0' \"$@\" > " + record + ".$$.part && /bin/mv " + record +
           ".$$.part " + record + ".$$.args\nexec " + shellQuote(real).toUtf8() + " \"$@\"\n";
}

std::vector<std::string> sorted(const std::vector<QStringList> &records) {
    std::vector<std::string> shown;
    for (const QStringList &words : records) shown.push_back(show(words));
    std::sort(shown.begin(), shown.end());
    return shown;
}

TEST(RealTerminal, EachOfThreeClicksPingsItsOwnWordsOnce) {
    const QString program = qEnvironmentVariable("NORVEX_TERMINAL");
    const QString link = qEnvironmentVariable("NORVEX_TERMINAL_LINK");
    const bool alreadyOpen = qEnvironmentVariable("NORVEX_ALREADY_OPEN") == u"1";
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << "NORVEX_TERMINAL names no program";
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));

    FakeDesktop desktop;
    desktop.add(QFileInfo(program).fileName(), standIn(desktop, "terminal", program));
    // x-terminal-emulator links to the terminal's program file; the stand-in there keeps that
    // file's name, by which the launcher knows the terminal.
    bool viaLink = false;
    if (!link.isEmpty()) {
        const QFileInfo target(QFileInfo(link).canonicalFilePath());
        ASSERT_TRUE(target.isExecutable()) << link.toStdString();
        ASSERT_TRUE(QDir().mkpath(desktop.path("linked")));
        const QString standInName = "linked/" + target.fileName();
        desktop.add(standInName, standIn(desktop, "linked", target.filePath()));
        desktop.link("x-terminal-emulator", standInName);
        // Behind a wrapper script the launcher runs the terminal by its own name instead.
        viaLink = !target.fileName().endsWith(".wrapper");
    }

    const QStringList empty = windows();
    QTemporaryDir elsewhere;
    if (alreadyOpen) {
        // The user's own window: another folder, another PATH with a ping planted first on it,
        // another shell, and nothing of norvex's.
        QFile planted(elsewhere.filePath("ping"));
        ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
        planted.write("#!/bin/sh\n: > " + shellQuote(desktop.path("PLANTED")).toUtf8() + "\n");
        planted.close();
        planted.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment user = QProcessEnvironment::systemEnvironment();
        user.insert("PATH", ".:/usr/bin:/bin");
        user.insert("SHELL", "/bin/sh");
        user.insert("NORVEX_USER_WINDOW", "1");
        QProcess opener;
        opener.setProgram(program);
        opener.setProcessEnvironment(user);
        opener.setWorkingDirectory(elsewhere.path());
        opener.setStandardInputFile(QProcess::nullDevice());
        ASSERT_TRUE(opener.startDetached());
        runUntil([&] { return newWindows(empty) > 0; }, 60000);
        ASSERT_GT(newWindows(empty), 0) << "the user's own window did not open";
        runUntil([] { return false; }, 1000);  // the instance ready to take requests
    }
    const QStringList before = windows();

    const QString mark = desktop.path("MARK");
    const QString touch = kTouch + " " + mark;
    const struct {
        QString address;
        QStringList words;
    } clicks[] = {
        {"-c 3 127.0.0.2;" + touch + "|x&y", {"-c", "3", "127.0.0.2;" + kTouch, mark + "|x&y"}},
        {"\"$(" + touch + ")\" `" + touch + "` 'q' \"a\\\"b\"",
         {"$(" + touch + ")", "`" + kTouch, mark + "`", "'q'", "a\"b"}},
        {"::1 -w 5 -C x -e y \"a b\" \\\\server\\x",
         {"::1", "-w", "5", "-C", "x", "-e", "y", "a b", "\\\\server\\x"}},
    };
    constexpr size_t kClicks = std::size(clicks);
    const auto launcher =
        desktop.launcher(QProcessEnvironment::systemEnvironment(), TerminalLauncher::kEarlyExitMs);
    const QStringList &late = desktop.lateFailures;
    std::vector<QStringList> expected;
    for (const auto &click : clicks) {
        launcher->start(Host{QStringLiteral("Row"), click.address});
        expected.push_back(click.words);
        runUntil([] { return false; }, 300);
    }
    runUntil([&] { return desktop.records("ping", 0).size() >= kClicks; }, 60000);
    runUntil([&] { return newWindows(before) >= qsizetype(kClicks); }, 20000);
    // Long past the launcher's early-exit time: a second terminal for a click, or its ping,
    // would be there by now.
    runUntil([] { return false; }, TerminalLauncher::kEarlyExitMs + 4000);

    const auto pings = desktop.records("ping", 0);
    const size_t ownStarts = desktop.records("terminal", 0).size();
    const size_t linkStarts = desktop.records("linked", 0).size();
    const qsizetype opened = newWindows(before);
    const int stillRunning = children().running;
    EXPECT_EQ(sorted(pings), sorted(expected)) << "each click's ping, once, with its own words";
    EXPECT_EQ(ownStarts + linkStarts, kClicks) << "terminal starts";
    if (viaLink) {
        EXPECT_EQ(linkStarts, kClicks) << "not started as x-terminal-emulator's terminal";
    }
    EXPECT_EQ(opened, qsizetype(kClicks)) << "new windows";
    EXPECT_TRUE(late.isEmpty()) << late.join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(mark)) << "a shell ran part of an address";
    EXPECT_FALSE(QFile::exists(desktop.path("PLANTED"))) << "the ping of the user's PATH ran";
    // What it did, for the script's PASS or FAIL line.
    QString started = QStringLiteral("%1 starts of ").arg(ownStarts + linkStarts);
    if (linkStarts > 0) {
        started +=
            "x-terminal-emulator's " + QFileInfo(QFileInfo(link).canonicalFilePath()).fileName();
    } else {
        started += QFileInfo(program).fileName() + " by its own name";
        if (!link.isEmpty()) started += " (x-terminal-emulator names its wrapper script)";
    }
    const QString kept =
        stillRunning == int(kClicks) ? QStringLiteral("each start runs its own window")
        : stillRunning == 0 ? QStringLiteral("each start handed its window to a running instance")
                            : QStringLiteral(
                                  "%1 start kept running as the instance, %2 handed "
                                  "their window to it")
                                  .arg(stillRunning)
                                  .arg(int(kClicks) - stillRunning);
    std::printf("norvex-result: %s, %zu pings%s, %lld new windows; %s\n", qPrintable(started),
                pings.size(), sorted(pings) == sorted(expected) ? " with exact words" : "",
                static_cast<long long>(opened), qPrintable(kept));
}

}  // namespace

// The launcher watches its terminals from the event loop, as in norvex.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
