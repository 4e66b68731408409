// Starts real processes through fake terminals and a fake ping placed alone on PATH; the real
// ping is never run.
#include <fcntl.h>

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>
#include <algorithm>
#include <optional>

#include "panel/mainwindow.h"
#include "platform/posix/childprocess.h"
#include "platform/posix/terminal.h"
#include "tests/fakes.h"
#include "tests/posix/fakedesktop.h"

namespace {

using namespace fake;

// A row of the list with this address.
Host row(const QString &address, const QString &label = QStringLiteral("Gateway")) {
    return {label, address};
}

TEST(RealLauncher, PingGetsTheAddressWordsAndNothingRunsThem) {
    FakeDesktop desktop;
    desktop.add("xterm", wordsAfter("-e"));
    const QString mark = desktop.path("MARK");
    const struct {
        QString address;
        QStringList words;
    } cases[] = {
        {"127.0.0.1", {"127.0.0.1"}},
        {" 127.0.0.1", {"127.0.0.1"}},
        {"", {}},
        {"b=c", {"b=c"}},
        {"\"my host\" -n 1", {"my host", "-n", "1"}},
        {"127.0.0.1; " + kTouch + " " + mark, {"127.0.0.1;", kTouch, mark}},
        {"$(" + kTouch + " " + mark + ")", {"$(" + kTouch, mark + ")"}},
        {"`" + kTouch + " " + mark + "`", {"`" + kTouch, mark + "`"}},
        {"a|" + kTouch + " " + mark + "&x'y", {"a|" + kTouch, mark + "&x'y"}},
        {"a\nb", {"a\nb"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        FakeDesktop one;
        one.add("xterm", wordsAfter("-e"));
        one.launcher()->start(row(c.address));
        const auto pings = one.records(QStringLiteral("ping"), 1);
        settle();
        ASSERT_EQ(pings.size(), 1u);
        EXPECT_EQ(show(pings[0]), show(c.words));
    }
    // A port row runs the probe on its host and port alone, and no ping.
    for (const auto &[address, words] : {std::pair{"127.0.0.1:8080", "--|127.0.0.1|8080"},
                                         std::pair{"[::1]:22", "--|::1|22"}}) {
        FakeDesktop one;
        one.add("xterm", wordsAfter("-e"));
        one.launcher()->start(row(address));
        const auto probes = one.records(QStringLiteral("norvex-probe"), 1);
        settle();
        ASSERT_EQ(probes.size(), 1u);
        EXPECT_EQ(show(probes[0]), words);
        EXPECT_TRUE(one.records(QStringLiteral("ping"), 0).empty());
    }
    EXPECT_FALSE(QFile::exists(mark));
}

// A trace route runs the first tool installed, on the host word alone, after "--".
TEST(RealLauncher, TraceRouteRunsTheFirstToolInstalledOnTheHostWord) {
    const QString mark = QDir::temp().filePath(QStringLiteral("norvex-trace-mark"));
    const struct {
        QStringList installed;
        const char *runs;  // empty: none, the window says what to install
    } tools[] = {
        {{"mtr", "traceroute", "tracepath"}, "mtr"},
        {{"traceroute", "tracepath"}, "traceroute"},
        {{"tracepath"}, "tracepath"},
        {{}, ""},
    };
    const struct {
        QString address, host;
    } rows[] = {
        {"-l 1000 127.0.0.1", "127.0.0.1"},
        {"127.0.0.1:8080", "127.0.0.1"},
        {"a;" + kTouch + " " + mark, mark},
        {"$(" + kTouch + " " + mark + ")", mark + ")"},
        {"`x` \"it's\"", "it's"},
    };
    for (const auto &t : tools) {
        for (const auto &r : rows) {
            SCOPED_TRACE(t.installed.join(u' ').toStdString() + " / " + r.address.toStdString());
            FakeDesktop one;
            one.add("xterm", wordsAfter("-e"));
            for (const QString &tool : t.installed) one.add(tool, FakeDesktop::recorder());
            one.launcher()->startTraceRoute(row(r.address));
            if (!*t.runs) {
                const auto terminals = one.records(QStringLiteral("terminal"), 1);
                settle();
                ASSERT_EQ(terminals.size(), 1u);
                EXPECT_TRUE(terminals[0].join(u' ').contains("Install the Debian package mtr-tiny"));
                continue;
            }
            const auto traced = one.records(QString::fromUtf8(t.runs), 1);
            settle();
            ASSERT_EQ(traced.size(), 1u);
            EXPECT_EQ(show(traced[0]), show({"--", r.host}));
        }
    }
    EXPECT_FALSE(QFile::exists(mark));
}

TEST(RealLauncher, EveryTerminalKindPassesTheWordsUnparsed) {
    const QString address = QStringLiteral("\"a b\" $(id) `id`;x|y&z 'q'");
    const QStringList words{"a b", "$(id)", "`id`;x|y&z", "'q'"};
    const struct {
        const char *name;
        QByteArray script;
        const char *link;           // x-terminal-emulator points here, if set
        const char *ran;            // the program that must have been run
        const char *firstArgument;  // TITLE stands for the row's title
    } cases[] = {
        {"xdg-terminal-exec", runsArguments(), nullptr, "xdg-terminal-exec", NORVEX_HELPER},
        {"xterm", wordsAfter("-e"), nullptr, "xterm", "-T"},
        {"gnome-terminal", wordsAfter("--"), nullptr, "gnome-terminal", "--title=TITLE"},
        {"xfce4-terminal", wordsAfter("-x"), nullptr, "xfce4-terminal", "--title=TITLE"},
        {"konsole", wordsAfter("-e"), nullptr, "konsole", "-e"},
        {"terminator", wordsAfter("-x"), "terminator", "terminator", "-u"},
        {"tilix", quotedAfter("-e"), "tilix", "tilix", "--title=TITLE"},
        {"st", wordsAfter("-e"), "st", "st", "-t"},
        // unknown: -T and -e, and the helper
        {"mystery-term", wordsAfter("-e"), "mystery-term", "x-terminal-emulator", "-T"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.name), c.script);
        if (c.link) desktop.link(QStringLiteral("x-terminal-emulator"), QString::fromUtf8(c.link));
        desktop.launcher()->start(row(address));
        const auto pings = desktop.records(QStringLiteral("ping"), 1);
        ASSERT_EQ(pings.size(), 1u);
        EXPECT_EQ(show(pings[0]), show(words));
        const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
        ASSERT_EQ(terminals.size(), 1u);
        EXPECT_EQ(terminals[0].value(0), QString::fromUtf8(c.ran));
        EXPECT_EQ(terminals[0].value(1),
                  QString::fromUtf8(c.firstArgument).replace("TITLE", row(address).title()));
    }
}

TEST(RealLauncher, WrapperLinkRunsTheRealTerminal) {
    FakeDesktop desktop;
    desktop.add("gnome-terminal.wrapper", wordsAfter("-e"));
    desktop.add("gnome-terminal", wordsAfter("--"));
    desktop.link(QStringLiteral("x-terminal-emulator"), QStringLiteral("gnome-terminal.wrapper"));
    desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
    const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
    ASSERT_EQ(terminals.size(), 1u);
    EXPECT_EQ(terminals[0].value(0), QStringLiteral("gnome-terminal"));
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
}

TEST(RealLauncher, TwoStartsAreTwoProcesses) {
    FakeDesktop desktop;
    desktop.add("xterm", wordsAfter("-e"));
    const auto launcher = desktop.launcher();
    launcher->start(row(QStringLiteral("127.0.0.1")));
    launcher->start(row(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(desktop.records(QStringLiteral("ping"), 2).size(), 2u);
}

TEST(RealLauncher, FallsBackWhenATerminalCannotStart) {
    FakeDesktop desktop;
    desktop.add("xdg-terminal-exec", "#!/nonexistent/interpreter\n");
    desktop.add("xterm", wordsAfter("-e"));
    desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
    const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
    ASSERT_EQ(terminals.size(), 1u);
    EXPECT_EQ(terminals[0].value(0), QStringLiteral("xterm"));
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
}

TEST(RealLauncher, NoTerminalIsAnErrorThatSaysWhatWasTried) {
    FakeDesktop desktop;
    try {
        desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
        ADD_FAILURE() << "started without any terminal";
    } catch (const LaunchError &e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("xterm"), std::string::npos) << what;
        EXPECT_NE(what.find("x-terminal-emulator"), std::string::npos) << what;
    }
    settle();
    EXPECT_TRUE(desktop.records(QStringLiteral("ping"), 0).empty());
}

TEST(RealLauncher, TerminalsInRelativePathEntriesAreIgnored) {
    FakeDesktop desktop;
    desktop.add("xterm", wordsAfter("-e"));
    const CurrentFolder inDesktop(desktop.path(QString()));
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral(".::bin"));
    EXPECT_THROW(TerminalLauncher(env).start(row(QStringLiteral("x"))), LaunchError);
}

TEST(RealLauncher, PingPlantedInTheCurrentDirectoryNeverRuns) {
    FakeDesktop desktop;
    desktop.add("xterm", wordsAfter("-e"));
    QTemporaryDir planted;
    const QString mark = planted.filePath(QStringLiteral("PLANTED"));
    {
        QFile ping(planted.filePath(QStringLiteral("ping")));
        ASSERT_TRUE(ping.open(QIODevice::WriteOnly));
        ping.write("#!/bin/sh\n: > '" + mark.toUtf8() + "'\n");
        ping.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const CurrentFolder inPlanted(planted.path());
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral(".:") + desktop.path(QString()));
    // The window starts there too: a "." kept on its PATH would find the planted ping.
    env.insert(QStringLiteral("HOME"), planted.path());
    TerminalLauncher(env).start(row(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
    settle();
    EXPECT_FALSE(QFile::exists(mark));
}

const struct {
    const char *program;
    QByteArray fake;
} kFakes[] = {
    {"gnome-terminal", wordsAfter("--")},
    {"ptyxis", wordsAfter("--")},
    {"kgx", wordsAfter("--")},
    {"konsole", wordsAfter("-e")},
    {"xfce4-terminal", wordsAfter("-x")},
    {"mate-terminal", wordsAfter("-x")},
    {"tilix", quotedAfter("-e")},
    {"terminator", wordsAfter("-x")},
    {"kitty", wordsAfter("--")},
    {"alacritty", wordsAfter("-e")},
    {"wezterm", wordsAfter("--")},
    {"ghostty", shellAfter("-e")},  // as before 1.1
    {"foot", wordsAfter("--")},
    {"qterminal", splitFirstAfter("-e")},
    {"lxterminal", quotedAfter("-e")},
    {"terminology", shellAfter("-e")},
    {"deepin-terminal", wordsUpTo("-e", "-w|-q|-m|-C|--run-script|--keep-open|-e")},
    {"io.elementary.terminal", quotedAfter("-x")},
    {"cosmic-term", wordsAfter("-e")},
    {"sakura", quotedAfter("-e")},
    {"urxvt", wordsAfter("-e")},
    {"rxvt-unicode", wordsAfter("-e")},
    {"st", wordsAfter("-e")},
    {"stterm", wordsAfter("-e")},
    {"zutty", wordsAfter("-e")},
    {"xterm", wordsAfter("-e")},
    // Whatever terminal it picks re-parses with a shell.
    {"xdg-terminal-exec", terminal("exec sh -c \"$*\"\n")},
};

// Addresses full of what a shell would act on; MARK is where an injected command would write.
struct Hostile {
    QString address;
    QStringList words;
};
std::vector<Hostile> hostileAddresses(const QString &mark) {
    return {
        {"127.0.0.1; " + kTouch + " " + mark, {"127.0.0.1;", kTouch, mark}},
        {"$(" + kTouch + " " + mark + ") `" + kTouch + " " + mark + "`",
         {"$(" + kTouch, mark + ")", "`" + kTouch, mark + "`"}},
        {"\"a'b\" x|" + kTouch + " " + mark + "&y", {"a'b", "x|" + kTouch, mark + "&y"}},
        {"-c 1 127.0.0.1", {"-c", "1", "127.0.0.1"}},
        {"'$HOME' \\\"q", {"'$HOME'", "\"q"}},
        {"127.0.0.1 -w 5 -C x", {"127.0.0.1", "-w", "5", "-C", "x"}},
    };
}

TEST(RealLauncher, EveryTerminalAloneOnPathPingsExactlyTheWords) {
    for (const auto &f : kFakes) {
        SCOPED_TRACE(f.program);
        for (size_t i = 0; i < hostileAddresses(QString()).size(); ++i) {
            FakeDesktop desktop;
            desktop.add(QString::fromUtf8(f.program), f.fake);
            const QString mark = desktop.path("MARK");
            const Hostile hostile = hostileAddresses(mark)[i];
            SCOPED_TRACE(hostile.address.toStdString());
            QProcessEnvironment env;
            env.insert("WAYLAND_DISPLAY", "wayland-0");  // for foot
            desktop.launcher(env)->start(row(hostile.address));
            const auto pings = desktop.records("ping", 1);
            ASSERT_EQ(pings.size(), 1u);
            EXPECT_EQ(show(pings[0]), show(hostile.words));
            const auto terminals = desktop.records("terminal", 1);
            settle();
            ASSERT_EQ(terminals.size(), 1u);
            EXPECT_EQ(terminals[0].value(0), QString::fromUtf8(f.program));
            EXPECT_FALSE(QFile::exists(mark)) << "a shell ran part of the address";
        }
    }
}

TEST(RealLauncher, UnknownTerminalBehindTheEmulatorGetsOnlyTheHelper) {
    FakeDesktop desktop;
    desktop.add("mystery-term", shellAfter("-e"));
    desktop.link("x-terminal-emulator", "mystery-term");
    const QString mark = desktop.path("MARK");
    const QString address = "$(" + kTouch + " " + mark + ")";
    desktop.launcher()->start(row(address));
    EXPECT_EQ(show(desktop.records("ping", 1).at(0)), show({"$(" + kTouch, mark + ")"}));
    const QStringList terminal = desktop.records("terminal", 1).at(0);
    settle();
    // Not even the title comes from the list file.
    EXPECT_EQ(show(terminal.mid(1, 4)), show({"-T", "norvex ping", "-e", NORVEX_HELPER}));
    EXPECT_EQ(terminal.size(), 6);
    EXPECT_TRUE(isPlainWord(terminal.value(5)));
    EXPECT_FALSE(QFile::exists(mark));
}

TEST(RealLauncher, WrapperWithoutItsTerminalIsATerminalWeDoNotKnow) {
    FakeDesktop desktop;
    // What the wrapper does with arguments meant for the real terminal is unknown: at worst this.
    desktop.add("gnome-terminal.wrapper", shellAfter("-e"));
    desktop.link(QStringLiteral("x-terminal-emulator"), QStringLiteral("gnome-terminal.wrapper"));
    const QString mark = desktop.path("MARK");
    desktop.launcher()->start(row(QStringLiteral("127.0.0.1;") + kTouch + " " + mark));
    const auto pings = desktop.records(QStringLiteral("ping"), 1);
    const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
    settle();
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_EQ(show(pings[0]), show({"127.0.0.1;" + kTouch, mark}));
    ASSERT_EQ(terminals.size(), 1u);
    EXPECT_EQ(show(terminals[0].mid(1, 4)), show({"-T", "norvex ping", "-e", NORVEX_HELPER}));
    EXPECT_FALSE(QFile::exists(mark));
}

TEST(RealLauncher, WithoutAPlainHelperUnknownTerminalsAreSkipped) {
    FakeDesktop desktop;
    desktop.add("xdg-terminal-exec", runsArguments());
    desktop.add("xterm", wordsAfter("-e"));
    QProcessEnvironment env;
    env.insert("PATH", desktop.path(QString()));
    TerminalLauncher(env, "/no such/helper").start(row(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(desktop.records("terminal", 1).at(0).value(0), QStringLiteral("xterm"));
}

TEST(RealLauncher, TheDesktopsOwnTerminalIsPreferred) {
    const struct {
        const char *desktop, *expected;
    } cases[] = {
        {"KDE", "konsole"},
        {"ubuntu:GNOME", "kgx"},
        {"XFCE", "xfce4-terminal"},
        {"xfce", "xfce4-terminal"},
        {"", "kgx"},  // the common order: gnome-terminal, ptyxis, kgx, konsole, ...
        {"Unknown", "kgx"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.desktop);
        FakeDesktop desktop;
        desktop.add("xterm", wordsAfter("-e"));
        desktop.add("konsole", wordsAfter("-e"));
        desktop.add("kgx", wordsAfter("--"));
        desktop.add("xfce4-terminal", wordsAfter("-x"));
        QProcessEnvironment env;
        env.insert("XDG_CURRENT_DESKTOP", c.desktop);
        desktop.launcher(env)->start(row(QStringLiteral("127.0.0.1")));
        EXPECT_EQ(desktop.records("terminal", 1).at(0).value(0), QString::fromUtf8(c.expected));
    }
}

TEST(RealLauncher, FootIsSkippedOutsideWayland) {
    FakeDesktop desktop;
    desktop.add("foot", wordsAfter("--"));
    desktop.add("xterm", wordsAfter("-e"));
    desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(desktop.records("terminal", 1).at(0).value(0), QStringLiteral("xterm"));
}

TEST(RealLauncher, NothingFoundListsWhatWasLookedForInOrder) {
    FakeDesktop desktop;
    QProcessEnvironment env;
    env.insert("XDG_CURRENT_DESKTOP", "KDE");
    try {
        desktop.launcher(env)->start(row(QStringLiteral("127.0.0.1")));
        ADD_FAILURE() << "started without any terminal";
    } catch (const LaunchError &e) {
        const QString what = QString::fromUtf8(e.what());
        const QString list = what.mid(what.indexOf(':') + 2).chopped(1);
        EXPECT_EQ(list.split(", ").mid(0, 4).join(u'|').toStdString(),
                  "xdg-terminal-exec|x-terminal-emulator|konsole|gnome-terminal");
        EXPECT_TRUE(list.endsWith("st, stterm, zutty, xterm")) << e.what();
        EXPECT_TRUE(list.contains("urxvt, rxvt-unicode")) << e.what();
    }
}

TEST(RealLauncherLate, ATerminalThatFailsAtOnceHandsOverToTheNext) {
    FakeDesktop desktop;
    // Fails as a terminal does without a display, after it has started.
    desktop.add("xdg-terminal-exec", terminal("echo 'cannot open display :99' >&2\nexit 1\n"));
    // A real terminal ends well when its window is closed, whatever its command said.
    desktop.add("xterm", terminal(skipTo("-e") + "\"$@\"\nexit 0\n"));
    const auto launcher = desktop.launcher();
    launcher->start(row(QStringLiteral("127.0.0.1")));
    runUntil([&] { return desktop.records("ping", 0).size() == 1; }, 20000);
    settle();
    EXPECT_EQ(desktop.records("ping", 1).size(), 1u);
    EXPECT_EQ(desktop.records("terminal", 2).size(), 2u);
    EXPECT_TRUE(desktop.lateFailures.isEmpty()) << desktop.lateFailures.join("\n").toStdString();
}

TEST(RealLauncherLate, WhenEveryTerminalFailsAtOnceTheUserIsToldWhatEachSaid) {
    FakeDesktop desktop;
    desktop.add("xdg-terminal-exec", terminal("echo 'unknown option -Q' >&2\nexit 2\n"));
    desktop.add("xterm", terminal("echo 'Xt error: Can'\\''t open display' >&2\nexit 1\n"));
    const auto launcher = desktop.launcher();
    QStringList late;
    Host lateHost;
    launcher->setLateFailureHandler([&](const Host &host, const QString &why) {
        lateHost = host;
        late << why;
    });
    launcher->start(row(QStringLiteral("127.0.0.1")));  // returns at once: both have started
    runUntil([&] { return !late.isEmpty(); }, 2 * kGenerousEarlyExitMs);
    settle();
    ASSERT_EQ(late.size(), 1);
    EXPECT_EQ(lateHost.address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(lateHost.label, QStringLiteral("Gateway"));
    const std::string why = late[0].toStdString();
    EXPECT_NE(why.find("unknown option -Q"), std::string::npos) << why;
    EXPECT_NE(why.find("Can't open display"), std::string::npos) << why;
    EXPECT_LT(why.find("xdg-terminal-exec"), why.find("xterm")) << why;
    EXPECT_TRUE(desktop.records("ping", 0).empty());
}

TEST(RealLauncherLate, AClientThatHandsTheWindowOnIsNoFailure) {
    FakeDesktop desktop;
    desktop.add("gnome-terminal", terminal("exit 0\n"));
    desktop.add("xterm", wordsAfter("-e"));
    const auto launcher = desktop.launcher();
    launcher->start(row(QStringLiteral("127.0.0.1")));
    settle();  // the client has ended and been reaped, and anything it led to has run
    EXPECT_TRUE(desktop.lateFailures.isEmpty());
    EXPECT_EQ(desktop.records("terminal", 1).size(), 1u);  // xterm was not tried as well
}

TEST(RealLauncherLate, ATerminalStillRunningAfterTheWindowHasOpened) {
    FakeDesktop desktop;
    // Fails, but long after it would have shown its window.
    desktop.add("xdg-terminal-exec", terminal("/bin/sleep 2\nexit 1\n"));
    desktop.add("xterm", wordsAfter("-e"));
    const auto launcher = desktop.launcher({}, 100);
    launcher->start(row(QStringLiteral("127.0.0.1")));
    settle();
    EXPECT_TRUE(desktop.lateFailures.isEmpty()) << desktop.lateFailures.join("\n").toStdString();
    EXPECT_EQ(desktop.records("terminal", 1).size(), 1u);  // xterm was not tried as well
}

TEST(RealLauncherLate, AClientReapedForUsIsNoFailure) {
    const SignalDisposition restore(SIGCHLD);
    FakeDesktop desktop;
    desktop.add("gnome-terminal", terminal("exit 0\n"));
    desktop.add("xterm", wordsAfter("-e"));
    const auto launcher = desktop.launcher();
    // After the launcher was made: its exit status is lost, as if norvex had inherited this.
    signal(SIGCHLD, SIG_IGN);
    launcher->start(row(QStringLiteral("127.0.0.1")));
    runUntil([] { return false; }, 500);  // several polls after it has gone
    settle();
    EXPECT_TRUE(desktop.lateFailures.isEmpty()) << desktop.lateFailures.join("\n").toStdString();
    EXPECT_EQ(desktop.records("terminal", 1).size(), 1u);  // xterm was not tried as well
}

TEST(RealLauncher, AnInheritedIgnoredChildSignalIsUndone) {
    const SignalDisposition restore(SIGCHLD);
    signal(SIGCHLD, SIG_IGN);
    const TerminalLauncher launcher{QProcessEnvironment()};
    struct sigaction now {};
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(RealLauncher, EndedTerminalsAreReapedOnceTheLauncherIsGone) {
    FakeDesktop desktop;
    desktop.add("xterm", wordsAfter("-e"));
    for (int i = 0; i < 3; ++i) desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(desktop.records("ping", 3).size(), 3u);
    // No event loop runs from here on, and nothing waits for the terminals but the launcher's.
    QElapsedTimer clock;
    clock.start();
    while (children().all() > 0 && clock.elapsed() < 20000) QThread::msleep(20);
    EXPECT_EQ(children().zombies, 0);
    EXPECT_EQ(children().running, 0);
}

// Nothing polls a terminal: its early-exit window is the one timer, and once that has passed the
// terminal is reaped when it ends, whether ends are seen through pidfds or through SIGCHLD.
TEST(RealLauncherLate, OneTimerPerTerminalAndItsEndReapedWhenItComes) {
    struct TimerEvents : QObject {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override {
            count += event->type() == QEvent::Timer;
            return false;
        }
    };
    for (const bool pidfd : {true, false}) {
        SCOPED_TRACE(pidfd ? "pidfd" : "SIGCHLD");
        ChildProcess::setPidfdAllowed(pidfd);
        FakeDesktop desktop;
        desktop.add("xdg-terminal-exec", terminal("exit 1\n"));
        desktop.add("xterm", terminal("exec /bin/sleep 3.5\n"));  // past a poll 2 s after it
        TimerEvents timers;
        qApp->installEventFilter(&timers);
        const auto launcher = desktop.launcher({}, 1000);
        launcher->start(row("127.0.0.1"));
        // xterm is tried only when the failure is seen within the window.
        runUntil([&] { return desktop.records("terminal", 0).size() == 2; }, 10000);
        runUntil([] { return children().all() == 0; }, 10000);
        ChildProcess::setPidfdAllowed(true);
        EXPECT_EQ(children().all(), 0);
        EXPECT_EQ(desktop.records("terminal", 0).size(), 2u);
        EXPECT_EQ(timers.count, 1);
    }
}

TEST(RealLauncher, ARelativePathInTheTerminalsInstanceFindsNoShell) {
    // A terminal's running instance with "." on its PATH, in a folder where a sh was planted.
    QTemporaryDir planted;
    const QString mark = planted.filePath(QStringLiteral("PLANTED"));
    {
        QFile sh(planted.filePath(QStringLiteral("sh")));
        ASSERT_TRUE(sh.open(QIODevice::WriteOnly));
        sh.write("#!/bin/sh\n: > '" + mark.toUtf8() + "'\n");
        sh.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray instance = "cd '" + planted.path().toUtf8() + "'\nPATH=.\nexport PATH\n";
    const struct {
        const char *program;
        QByteArray fake;
    } cases[] = {
        {"xterm", terminal(instance + skipTo("-e") + "exec \"$@\"\n")},
        {"tilix", terminal(instance + skipTo("-e") + "eval \"set -- $1\"\nexec \"$@\"\n")},
        {"xdg-terminal-exec", terminal(instance + "exec \"$@\"\n")},  // the helper
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.program), c.fake);
        desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
        const auto pings = desktop.records("ping", 1);
        settle();
        ASSERT_EQ(pings.size(), 1u);
        EXPECT_EQ(show(pings[0]), "127.0.0.1");
        EXPECT_FALSE(QFile::exists(mark)) << "the planted sh ran";
    }
}

TEST(RealLauncher, TerminalsStartInTheHomeFolderNeverInTheCurrentOne) {
    QTemporaryDir home;
    const struct {
        const char *name;
        std::optional<QString> home;
        QString folder;
    } cases[] = {
        {"home", home.path(), home.path()},
        {"no HOME", std::nullopt, "/"},
        {"relative HOME", QStringLiteral("."), "/"},
        {"HOME gone", home.filePath("gone"), "/"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add("xterm",
                    terminal("printf '%s\\0' \"$(pwd -P)\" > \"$d/folder.part\" && /bin/mv "
                             "\"$d/folder.part\" \"$d/folder.1.args\"\n"));
        const CurrentFolder inDesktop(desktop.path(QString()));
        QProcessEnvironment env;
        if (c.home) env.insert("HOME", *c.home);
        desktop.launcher(env)->start(row(QStringLiteral("127.0.0.1")));
        const auto folders = desktop.records("folder", 1);
        settle();
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(folders[0].value(0), QFileInfo(c.folder).canonicalFilePath());
    }
}

TEST(RealLauncher, TerminalsGetNoOpenFileAndNoIgnoredSignalOfOurs) {
    const SignalDisposition restore(SIGUSR1);
    signal(SIGUSR1, SIG_IGN);
    QTemporaryDir dir;
    QFile file(dir.filePath("open"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Without close-on-exec, at a number no shell uses for itself.
    const int leaked = fcntl(file.handle(), F_DUPFD, 40);
    ASSERT_GE(leaked, 40);
    FakeDesktop desktop;
    desktop.add("xterm", terminal("{ /bin/ls /proc/$$/fd; /bin/grep SigIgn /proc/$$/status; } | "
                                  "/usr/bin/tr '\\n' '\\0' > \"$d/inherited.part\" && /bin/mv "
                                  "\"$d/inherited.part\" \"$d/inherited.1.args\"\n"));
    desktop.launcher()->start(row(QStringLiteral("127.0.0.1")));
    const auto records = desktop.records("inherited", 1);
    settle();
    ::close(leaked);
    ASSERT_EQ(records.size(), 1u);
    const QStringList &lines = records[0];
    EXPECT_FALSE(lines.contains(QString::number(leaked))) << show(lines);
    EXPECT_TRUE(lines.contains("2")) << show(lines);  // the listing itself worked
    const QString ignored = lines.filter("SigIgn:").value(0).section(u'\t', 1);
    bool ok = false;
    const qulonglong mask = ignored.toULongLong(&ok, 16);
    ASSERT_TRUE(ok) << show(lines);
    EXPECT_EQ(mask & (1ull << (SIGUSR1 - 1)), 0u) << "SIGUSR1 is still ignored";
}

// Each click's ping gets its own words, however many clicks a running instance serves and
// whoever started that instance.
TEST(RealLauncher, ARunningInstancePingsEachClicksOwnWords) {
    const struct {
        const char *name, *program, *link;
        bool openedBefore;  // the user's own window was there before norvex
    } cases[] = {
        {"deepin-terminal", "deepin-terminal", nullptr, false},
        {"deepin-terminal, already open", "deepin-terminal", nullptr, true},
        {"unknown behind x-terminal-emulator", "mystery-term", "mystery-term", false},
        {"unknown, already open", "mystery-term", "mystery-term", true},
    };
    const QStringList addresses{"127.0.0.1", "127.0.0.2 -c 3", "\"my host\" x", "::1"};
    const std::vector<QStringList> words{
        {"127.0.0.1"}, {"127.0.0.2", "-c", "3"}, {"my host", "x"}, {"::1"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.program),
                    singleInstance("-e", QByteArrayView(c.program) == "deepin-terminal"));
        if (c.link) desktop.link("x-terminal-emulator", QString::fromUtf8(c.link));
        QTemporaryDir elsewhere;
        if (c.openedBefore) {
            // The user's shell: another folder, a PATH of its own and nothing of norvex's.
            QProcess user;
            QProcessEnvironment env;
            env.insert("PATH", ".:/usr/bin:/bin");
            user.setProcessEnvironment(env);
            user.setWorkingDirectory(elsewhere.path());
            ASSERT_TRUE(user.startDetached(desktop.path(QString::fromUtf8(c.program)),
                                           {"-e", "/bin/true"}));
            runUntil([&] { return QFile::exists(desktop.path("instance.ready")); }, 10000);
        }
        desktop.add("mtr", FakeDesktop::recorder());
        const auto launcher = desktop.launcher();
        for (const QString &address : addresses) {
            launcher->start(row(address));
            runUntil([&] { return false; }, 100);  // one click after the other
        }
        launcher->startTraceRoute(row(QStringLiteral("-c 3 127.0.0.9")));
        runUntil([&] { return desktop.records("ping", 0).size() >= size_t(addresses.size()) &&
                              !desktop.records("mtr", 0).empty(); }, 20000);
        const auto traces = desktop.records("mtr", 0);
        const auto pings = desktop.records("ping", 0);
        desktop.quitInstance();
        ASSERT_EQ(traces.size(), 1u);
        EXPECT_EQ(show(traces[0]), show({"--", "127.0.0.9"}));
        settle();
        std::vector<std::string> got, expected;
        for (const QStringList &p : pings) got.push_back(show(p));
        for (const QStringList &w : words) expected.push_back(show(w));
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(desktop.lateFailures.isEmpty())
            << desktop.lateFailures.join("\n").toStdString();
    }
}

// A terminal that ran the command has opened the window, however the command ended: no other
// terminal may follow it for the same click.
TEST(RealLauncherLate, ATerminalThatRanTheCommandIsNeverFollowedByAnother) {
    const struct {
        const char *name, *program;
        QByteArray fake;
    } cases[] = {
        // stdin at its end, and the command's status passed on, as st does
        {"words", "st", terminal(skipTo("-e") + "\"$@\"\nexit $?\n")},
        {"helper", "xdg-terminal-exec", terminal("\"$@\"\nexit $?\n")},
        {"quoted words", "tilix", terminal(skipTo("-e") + "eval \"$1\"\nexit $?\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.program), c.fake);
        desktop.add("xterm", wordsAfter("-e"));
        desktop.add("traceroute", FakeDesktop::recorder());
        const auto launcher = desktop.launcher();
        launcher->start(row(QStringLiteral("127.0.0.1")));
        settle();
        launcher->startTraceRoute(row(QStringLiteral("127.0.0.2")));
        settle();
        EXPECT_EQ(desktop.records("ping", 0).size(), 1u);
        EXPECT_EQ(desktop.records("traceroute", 0).size(), 1u);
        const auto terminals = desktop.records("terminal", 0);
        ASSERT_EQ(terminals.size(), 2u) << "a second terminal was started for one request";
        EXPECT_EQ(terminals[0].value(0), QString::fromUtf8(c.program));
        EXPECT_EQ(terminals[1].value(0), QString::fromUtf8(c.program));
        EXPECT_TRUE(desktop.lateFailures.isEmpty())
            << desktop.lateFailures.join("\n").toStdString();
    }
}

// Run directly, as a terminal's running instance would: with a relative program, a relative PATH
// and a program of that name planted in its current folder.
TEST(TerminalCommandHelper, RunsOnlyAnAbsoluteProgram) {
    QTemporaryDir planted;
    const QString mark = planted.filePath("PLANTED");
    QFile program(planted.filePath("prog"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\n: > '" + mark.toUtf8() + "'\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const struct {
        QStringList command;
        bool runs;
    } cases[] = {
        {{"prog", "x"}, false},
        {{"./prog"}, false},
        {{planted.filePath("prog")}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(show(c.command));
        QFile::remove(mark);
        QProcess helper;
        QProcessEnvironment env;
        env.insert("PATH", ".");
        helper.setProcessEnvironment(env);
        helper.setWorkingDirectory(planted.path());
        helper.setStandardInputFile(QProcess::nullDevice());
        helper.start(QStringLiteral(NORVEX_HELPER), {helperWord(c.command)});
        ASSERT_TRUE(helper.waitForFinished(5000));
        EXPECT_EQ(helper.exitCode(), 0);  // the window opened, whatever it could run
        EXPECT_EQ(QFile::exists(mark), c.runs);
        if (!c.runs) {
            EXPECT_TRUE(helper.readAllStandardOutput().contains("not an absolute path"));
        }
    }
}

// A start held back for a terminal that drops early requests is made later; when it fails then,
// the user is told so all the same.
TEST(RealLauncherLate, AHeldBackStartThatCannotStartIsReported) {
    FakeDesktop desktop;
    desktop.add("deepin-terminal", "#!/nonexistent/interpreter\n");
    const auto launcher = desktop.launcher();
    QStringList late;
    launcher->setLateFailureHandler(
        [&](const Host &host, const QString &why) { late << host.address + ": " + why; });
    EXPECT_THROW(launcher->start(row(QStringLiteral("127.0.0.1"))), LaunchError);
    launcher->start(row(QStringLiteral("127.0.0.2")));  // held back: nothing to say yet
    EXPECT_TRUE(late.isEmpty());
    runUntil([&] { return !late.isEmpty(); }, 10000);
    ASSERT_EQ(late.size(), 1);
    EXPECT_TRUE(late[0].startsWith("127.0.0.2: No terminal program could open"))
        << late[0].toStdString();
}

// The window, with the real launcher and no terminal anywhere: the click says so, and the window
// keeps running.
TEST(RealLauncher, NoTerminalOnPathWarnsInTheWindow) {
    QTemporaryDir empty;
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), empty.path());
    TerminalLauncher launcher(env);
    FakeFileReader files(QStringLiteral("norvex.nvx"), "[LIST]\r\nA=127.0.0.1");
    MainWindow window(files, launcher, QString());
    window.show();
    QTest::mouseClick(window.pingButton(1), Qt::LeftButton);
    auto *box = window.findChild<QMessageBox *>(QStringLiteral("launchWarning"));
    ASSERT_TRUE(box);
    runUntil([&] { return box->isVisible(); }, 5000);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().contains(QStringLiteral("xterm"))) << box->text().toStdString();
    EXPECT_TRUE(box->text().contains(QStringLiteral("127.0.0.1")));
}

}  // namespace
