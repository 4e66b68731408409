// Starts real processes through fake terminals and a fake ping placed alone on PATH; the real
// ping is never run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <optional>

#include "platform/reallauncher.h"
#include "platform/terminal.h"

namespace {

// Absolute: an address that got to a shell could run it even with the fake PATH.
const QString kTouch = QStringLiteral("/usr/bin/touch");

// Long enough for any loaded machine: for tests of terminals that do fail at once.
constexpr int kGenerousEarlyExitMs = 10000;

// Writes each argument NUL-terminated, so words with spaces or newlines come back exactly. Each
// record is written aside and renamed into place, so a reader never sees half of one.
constexpr char kFakePing[] =
    "#!/bin/sh\n"
    "d=${0%/*}\n"
    "printf '%s\\0' \"$@\" > \"$d/ping.$$.part\" && /bin/mv \"$d/ping.$$.part\" "
    "\"$d/ping.$$.args\"\n";

// A terminal script: records how it was called, then runs body.
QByteArray terminalScript(const QByteArray &body) {
    return "#!/bin/sh\n"
           "d=${0%/*}\n"
           "printf '%s\\0' \"${0##*/}\" \"$@\" > \"$d/terminal.$$.part\" && /bin/mv "
           "\"$d/terminal.$$.part\" \"$d/terminal.$$.args\"\n" +
           body;
}

// Runs what follows its exec flag.
QByteArray fakeTerminal(const char *execFlag) {
    return terminalScript(QByteArray("while [ $# -gt 0 ]; do\n"
                                     "  if [ \"$1\" = '") +
                          execFlag +
                          "' ]; then shift; break; fi\n"
                          "  shift\n"
                          "done\n"
                          "exec \"$@\"\n");
}

// Tilix re-parses its one command string; so does this fake, with a shell.
const QByteArray kFakeTilix = terminalScript(
    "while [ \"$1\" != -e ]; do shift; done\n"
    "eval \"set -- $2\"\n"
    "exec \"$@\"\n");

const QByteArray kXdgTerminalExec = terminalScript("exec \"$@\"\n");

// The processes this one started that are still there: running, or ended and not yet reaped.
struct Children {
    int running = 0;
    int zombies = 0;
    int all() const { return running + zombies; }
};
Children children() {
    Children found;
    const QByteArray me = QByteArray::number(::getpid());
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2 || fields[1] != me) continue;
        ++(fields[0] == "Z" ? found.zombies : found.running);
    }
    return found;
}

// Runs the event loop until done() or timeoutMs.
template <typename Done>
void runUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

// Waits until every process this test started has ended and been reaped, so that what did not
// happen by then will not happen.
void settle() {
    runUntil([] { return children().all() == 0; }, 20000);
    EXPECT_EQ(children().all(), 0) << "a terminal is still running";
}

// Back to the current folder of before, however the test ends.
class CurrentFolder {
public:
    explicit CurrentFolder(const QString &path) : m_saved(QDir::currentPath()) {
        EXPECT_TRUE(QDir::setCurrent(path));
    }
    ~CurrentFolder() { QDir::setCurrent(m_saved); }
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

private:
    QString m_saved;
};

// Puts a signal's disposition back, however the test ends.
class SignalDisposition {
public:
    explicit SignalDisposition(int signal) : m_signal(signal) {
        sigaction(signal, nullptr, &m_saved);
    }
    ~SignalDisposition() { sigaction(m_signal, &m_saved, nullptr); }
    SignalDisposition(const SignalDisposition &) = delete;
    SignalDisposition &operator=(const SignalDisposition &) = delete;

private:
    int m_signal;
    struct sigaction m_saved {};
};

class FakeDesktop {
public:
    FakeDesktop() {
        // The terminal's command is "sh -c ...": sh must be on the (otherwise fake) PATH.
        QFile::link(QStringLiteral("/bin/sh"), m_dir.filePath(QStringLiteral("sh")));
        add("ping", kFakePing);
    }
    void add(const QString &name, const QByteArray &script) {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void link(const QString &name, const QString &target) {
        QFile::link(m_dir.filePath(target), m_dir.filePath(name));
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // extra: more of the environment, such as XDG_CURRENT_DESKTOP.
    RealProcessLauncher launcher(const QProcessEnvironment &extra = {},
                                 int earlyExitMs = kGenerousEarlyExitMs) const {
        QProcessEnvironment env = extra;
        env.insert(QStringLiteral("PATH"), m_dir.path());
        return RealProcessLauncher(env, QStringLiteral(NORVEX_HELPER), earlyExitMs);
    }
    // Waits for count records of the given kind ("ping" or "terminal"), each as its list of words.
    std::vector<QStringList> records(const QString &kind, size_t count) const {
        QElapsedTimer timer;
        timer.start();
        QStringList files;
        while (timer.elapsed() < 10000) {
            files = QDir(m_dir.path()).entryList({kind + QStringLiteral(".*.args")}, QDir::Files);
            if (static_cast<size_t>(files.size()) >= count) break;
            QThread::msleep(20);
        }
        std::vector<QStringList> result;
        for (const QString &name : files) {
            QFile file(m_dir.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            QStringList words = QString::fromUtf8(file.readAll()).split(QChar(0));
            words.removeLast();  // after the last terminator
            result.push_back(words);
        }
        return result;
    }

private:
    QTemporaryDir m_dir;
};

std::string show(const QStringList &words) { return words.join(u'|').toStdString(); }

TEST(RealLauncher, PingGetsTheAddressWordsAndNothingRunsThem) {
    FakeDesktop desktop;
    desktop.add("xterm", fakeTerminal("-e"));
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
        one.add("xterm", fakeTerminal("-e"));
        one.launcher().start(QStringLiteral("ping.exe -t ") + c.address, QStringLiteral("title"));
        const auto pings = one.records(QStringLiteral("ping"), 1);
        settle();
        ASSERT_EQ(pings.size(), 1u);
        EXPECT_EQ(show(pings[0]), show(c.words));
    }
    EXPECT_FALSE(QFile::exists(mark));
}

TEST(RealLauncher, EveryTerminalKindPassesTheWordsUnparsed) {
    const QString address = QStringLiteral("\"a b\" $(id) `id`;x|y&z 'q'");
    const QStringList words{"a b", "$(id)", "`id`;x|y&z", "'q'"};
    const struct {
        const char *name;
        QByteArray script;
        const char *link;  // x-terminal-emulator points here, if set
        const char *ran;   // the program that must have been run
        const char *firstArgument;
    } cases[] = {
        {"xdg-terminal-exec", kXdgTerminalExec, nullptr, "xdg-terminal-exec", NORVEX_HELPER},
        {"xterm", fakeTerminal("-e"), nullptr, "xterm", "-T"},
        {"gnome-terminal", fakeTerminal("--"), nullptr, "gnome-terminal", "--title=Gateway"},
        {"xfce4-terminal", fakeTerminal("-x"), nullptr, "xfce4-terminal", "--title=Gateway"},
        {"konsole", fakeTerminal("-e"), nullptr, "konsole", "-e"},
        {"terminator", fakeTerminal("-x"), "terminator", "terminator", "-u"},
        {"tilix", kFakeTilix, "tilix", "tilix", "--title=Gateway"},
        {"st", fakeTerminal("-e"), "st", "st", "-t"},
        // unknown: -T and -e, and the helper
        {"mystery-term", fakeTerminal("-e"), "mystery-term", "x-terminal-emulator", "-T"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.name), c.script);
        if (c.link) desktop.link(QStringLiteral("x-terminal-emulator"), QString::fromUtf8(c.link));
        desktop.launcher().start(QStringLiteral("ping.exe -t ") + address,
                                 QStringLiteral("Gateway"));
        const auto pings = desktop.records(QStringLiteral("ping"), 1);
        ASSERT_EQ(pings.size(), 1u);
        EXPECT_EQ(show(pings[0]), show(words));
        const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
        ASSERT_EQ(terminals.size(), 1u);
        EXPECT_EQ(terminals[0].value(0), QString::fromUtf8(c.ran));
        EXPECT_EQ(terminals[0].value(1), QString::fromUtf8(c.firstArgument));
    }
}

TEST(RealLauncher, WrapperLinkRunsTheRealTerminal) {
    FakeDesktop desktop;
    desktop.add("gnome-terminal.wrapper", fakeTerminal("-e"));
    desktop.add("gnome-terminal", fakeTerminal("--"));
    desktop.link(QStringLiteral("x-terminal-emulator"), QStringLiteral("gnome-terminal.wrapper"));
    desktop.launcher().start(QStringLiteral("ping.exe -t 127.0.0.1"), QStringLiteral("t"));
    const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
    ASSERT_EQ(terminals.size(), 1u);
    EXPECT_EQ(terminals[0].value(0), QStringLiteral("gnome-terminal"));
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
}

TEST(RealLauncher, TwoStartsAreTwoProcesses) {
    FakeDesktop desktop;
    desktop.add("xterm", fakeTerminal("-e"));
    RealProcessLauncher launcher = desktop.launcher();
    launcher.start(QStringLiteral("ping.exe -t 127.0.0.1"), QStringLiteral("t"));
    launcher.start(QStringLiteral("ping.exe -t 127.0.0.1"), QStringLiteral("t"));
    EXPECT_EQ(desktop.records(QStringLiteral("ping"), 2).size(), 2u);
}

TEST(RealLauncher, FallsBackWhenATerminalCannotStart) {
    FakeDesktop desktop;
    desktop.add("xdg-terminal-exec", "#!/nonexistent/interpreter\n");
    desktop.add("xterm", fakeTerminal("-e"));
    desktop.launcher().start(QStringLiteral("ping.exe -t 127.0.0.1"), QStringLiteral("t"));
    const auto terminals = desktop.records(QStringLiteral("terminal"), 1);
    ASSERT_EQ(terminals.size(), 1u);
    EXPECT_EQ(terminals[0].value(0), QStringLiteral("xterm"));
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
}

TEST(RealLauncher, NoTerminalIsAnErrorThatSaysWhatWasTried) {
    FakeDesktop desktop;
    try {
        desktop.launcher().start(QStringLiteral("ping.exe -t 127.0.0.1"), QStringLiteral("t"));
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
    desktop.add("xterm", fakeTerminal("-e"));
    const CurrentFolder inDesktop(desktop.path(QString()));
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral(".::bin"));
    EXPECT_THROW(RealProcessLauncher(env).start(QStringLiteral("ping.exe -t x"), QString()),
                 LaunchError);
}

TEST(RealLauncher, PingPlantedInTheCurrentDirectoryNeverRuns) {
    FakeDesktop desktop;
    desktop.add("xterm", fakeTerminal("-e"));
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
    RealProcessLauncher(env).start(QStringLiteral("ping.exe -t 127.0.0.1"), QString());
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
    settle();
    EXPECT_FALSE(QFile::exists(mark));
}

// Fakes that take their command the way each real terminal does.
QByteArray skipTo(const char *flag) {
    return QByteArray("while [ $# -gt 0 ] && [ \"$1\" != '") + flag +
           "' ]; do shift; done\nshift\n";
}
// The words after flag, run as they are.
QByteArray wordsAfter(const char *flag) { return terminalScript(skipTo(flag) + "exec \"$@\"\n"); }
// One string after flag, re-parsed (a shell and GLib read single quotes alike).
QByteArray quotedAfter(const char *flag) {
    return terminalScript(skipTo(flag) + "eval \"set -- $1\"\nexec \"$@\"\n");
}
// The rest joined with spaces and handed to a shell, the most a terminal could misread.
QByteArray shellAfter(const char *flag) {
    return terminalScript(skipTo(flag) + "exec sh -c \"$*\"\n");
}
// The word after flag split by the terminal's own rules (here: at blanks), the words after it
// appended as they are.
QByteArray splitFirstAfter(const char *flag) {
    return terminalScript(skipTo(flag) +
                          "first=$1\nshift\nset -f\nset -- $first \"$@\"\nexec \"$@\"\n");
}
// The words after flag up to the first that is one of options, which it would then act on.
QByteArray wordsUpTo(const char *flag, const char *options) {
    return terminalScript(skipTo(flag) + "for w; do\n  shift\n  case $w in " + options +
                          ") stop=1 ;; esac\n"
                          "  if [ -z \"${stop-}\" ]; then set -- \"$@\" \"$w\"; fi\n"
                          "done\nexec \"$@\"\n");
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
    {"xdg-terminal-exec", terminalScript("exec sh -c \"$*\"\n")},
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
            desktop.launcher(env).start("ping.exe -t " + hostile.address, "Gateway");
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
    desktop.launcher().start("ping.exe -t " + address, "Gateway - " + address);
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
    desktop.launcher().start("ping.exe -t 127.0.0.1;" + kTouch + " " + mark, "Gateway");
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
    desktop.add("xdg-terminal-exec", kXdgTerminalExec);
    desktop.add("xterm", fakeTerminal("-e"));
    QProcessEnvironment env;
    env.insert("PATH", desktop.path(QString()));
    RealProcessLauncher(env, "/no such/helper").start("ping.exe -t 127.0.0.1", "t");
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
        desktop.add("xterm", fakeTerminal("-e"));
        desktop.add("konsole", fakeTerminal("-e"));
        desktop.add("kgx", fakeTerminal("--"));
        desktop.add("xfce4-terminal", fakeTerminal("-x"));
        QProcessEnvironment env;
        env.insert("XDG_CURRENT_DESKTOP", c.desktop);
        desktop.launcher(env).start("ping.exe -t 127.0.0.1", "t");
        EXPECT_EQ(desktop.records("terminal", 1).at(0).value(0), QString::fromUtf8(c.expected));
    }
}

TEST(RealLauncher, FootIsSkippedOutsideWayland) {
    FakeDesktop desktop;
    desktop.add("foot", wordsAfter("--"));
    desktop.add("xterm", wordsAfter("-e"));
    desktop.launcher().start("ping.exe -t 127.0.0.1", "t");
    EXPECT_EQ(desktop.records("terminal", 1).at(0).value(0), QStringLiteral("xterm"));
}

TEST(RealLauncher, NothingFoundListsWhatWasLookedForInOrder) {
    FakeDesktop desktop;
    QProcessEnvironment env;
    env.insert("XDG_CURRENT_DESKTOP", "KDE");
    try {
        desktop.launcher(env).start("ping.exe -t 127.0.0.1", "t");
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
    desktop.add("xdg-terminal-exec",
                terminalScript("echo 'cannot open display :99' >&2\nexit 1\n"));
    // A real terminal ends well when its window is closed, whatever its command said.
    desktop.add("xterm", terminalScript(skipTo("-e") + "\"$@\"\nexit 0\n"));
    RealProcessLauncher launcher = desktop.launcher();
    QStringList late;
    launcher.setLateFailureHandler([&](const QString &, const QString &why) { late << why; });
    launcher.start("ping.exe -t 127.0.0.1", "t");
    runUntil([&] { return desktop.records("ping", 0).size() == 1; }, 20000);
    settle();
    EXPECT_EQ(desktop.records("ping", 1).size(), 1u);
    EXPECT_EQ(desktop.records("terminal", 2).size(), 2u);
    EXPECT_TRUE(late.isEmpty()) << late.join("\n").toStdString();
}

TEST(RealLauncherLate, WhenEveryTerminalFailsAtOnceTheUserIsToldWhatEachSaid) {
    FakeDesktop desktop;
    desktop.add("xdg-terminal-exec", terminalScript("echo 'unknown option -Q' >&2\nexit 2\n"));
    desktop.add("xterm", terminalScript("echo 'Xt error: Can'\\''t open display' >&2\nexit 1\n"));
    RealProcessLauncher launcher = desktop.launcher();
    QStringList late;
    QString lateCommand;
    launcher.setLateFailureHandler([&](const QString &commandLine, const QString &why) {
        lateCommand = commandLine;
        late << why;
    });
    launcher.start("ping.exe -t 127.0.0.1", "t");  // returns at once: both have started
    runUntil([&] { return !late.isEmpty(); }, 2 * kGenerousEarlyExitMs);
    settle();
    ASSERT_EQ(late.size(), 1);
    EXPECT_EQ(lateCommand, QStringLiteral("ping.exe -t 127.0.0.1"));
    const std::string why = late[0].toStdString();
    EXPECT_NE(why.find("unknown option -Q"), std::string::npos) << why;
    EXPECT_NE(why.find("Can't open display"), std::string::npos) << why;
    EXPECT_LT(why.find("xdg-terminal-exec"), why.find("xterm")) << why;
    EXPECT_TRUE(desktop.records("ping", 0).empty());
}

TEST(RealLauncherLate, AClientThatHandsTheWindowOnIsNoFailure) {
    FakeDesktop desktop;
    desktop.add("gnome-terminal", terminalScript("exit 0\n"));
    desktop.add("xterm", fakeTerminal("-e"));
    RealProcessLauncher launcher = desktop.launcher();
    QStringList late;
    launcher.setLateFailureHandler([&](const QString &, const QString &why) { late << why; });
    launcher.start("ping.exe -t 127.0.0.1", "t");
    settle();  // the client has ended and been reaped, and anything it led to has run
    EXPECT_TRUE(late.isEmpty());
    EXPECT_EQ(desktop.records("terminal", 1).size(), 1u);  // xterm was not tried as well
}

TEST(RealLauncherLate, ATerminalStillRunningAfterTheWindowHasOpened) {
    FakeDesktop desktop;
    // Fails, but long after it would have shown its window.
    desktop.add("xdg-terminal-exec", terminalScript("/bin/sleep 2\nexit 1\n"));
    desktop.add("xterm", fakeTerminal("-e"));
    RealProcessLauncher launcher = desktop.launcher({}, 100);
    QStringList late;
    launcher.setLateFailureHandler([&](const QString &, const QString &why) { late << why; });
    launcher.start("ping.exe -t 127.0.0.1", "t");
    settle();
    EXPECT_TRUE(late.isEmpty()) << late.join("\n").toStdString();
    EXPECT_EQ(desktop.records("terminal", 1).size(), 1u);  // xterm was not tried as well
}

TEST(RealLauncherLate, AClientReapedForUsIsNoFailure) {
    const SignalDisposition restore(SIGCHLD);
    FakeDesktop desktop;
    desktop.add("gnome-terminal", terminalScript("exit 0\n"));
    desktop.add("xterm", fakeTerminal("-e"));
    RealProcessLauncher launcher = desktop.launcher();
    QStringList late;
    launcher.setLateFailureHandler([&](const QString &, const QString &why) { late << why; });
    // After the launcher was made: its exit status is lost, as if norvex had inherited this.
    signal(SIGCHLD, SIG_IGN);
    launcher.start("ping.exe -t 127.0.0.1", "t");
    runUntil([] { return false; }, 500);  // several polls after it has gone
    settle();
    EXPECT_TRUE(late.isEmpty()) << late.join("\n").toStdString();
    EXPECT_EQ(desktop.records("terminal", 1).size(), 1u);  // xterm was not tried as well
}

TEST(RealLauncher, AnInheritedIgnoredChildSignalIsUndone) {
    const SignalDisposition restore(SIGCHLD);
    signal(SIGCHLD, SIG_IGN);
    const RealProcessLauncher launcher{QProcessEnvironment()};
    struct sigaction now {};
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(RealLauncher, EndedTerminalsAreReapedOnceTheLauncherIsGone) {
    FakeDesktop desktop;
    desktop.add("xterm", fakeTerminal("-e"));
    for (int i = 0; i < 3; ++i) desktop.launcher().start("ping.exe -t 127.0.0.1", "t");
    EXPECT_EQ(desktop.records("ping", 3).size(), 3u);
    // No event loop runs from here on, and nothing waits for the terminals but the launcher's.
    QElapsedTimer clock;
    clock.start();
    while (children().all() > 0 && clock.elapsed() < 20000) QThread::msleep(20);
    EXPECT_EQ(children().zombies, 0);
    EXPECT_EQ(children().running, 0);
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
        {"xterm", terminalScript(instance + skipTo("-e") + "exec \"$@\"\n")},
        {"tilix", terminalScript(instance + skipTo("-e") + "eval \"set -- $1\"\nexec \"$@\"\n")},
        {"xdg-terminal-exec", terminalScript(instance + "exec \"$@\"\n")},  // the helper
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.program), c.fake);
        desktop.launcher().start("ping.exe -t 127.0.0.1", "t");
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
                    terminalScript("printf '%s\\0' \"$(pwd -P)\" > \"$d/folder.part\" && /bin/mv "
                                   "\"$d/folder.part\" \"$d/folder.1.args\"\n"));
        const CurrentFolder inDesktop(desktop.path(QString()));
        QProcessEnvironment env;
        if (c.home) env.insert("HOME", *c.home);
        desktop.launcher(env).start("ping.exe -t 127.0.0.1", "t");
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
    desktop.add("xterm",
                terminalScript("{ /bin/ls /proc/$$/fd; /bin/grep SigIgn /proc/$$/status; } | "
                               "/usr/bin/tr '\\n' '\\0' > \"$d/inherited.part\" && /bin/mv "
                               "\"$d/inherited.part\" \"$d/inherited.1.args\"\n"));
    desktop.launcher().start("ping.exe -t 127.0.0.1", "t");
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

// A terminal that runs one instance: the first start runs its command and then serves every
// later start, which hands its arguments over and exits at once. The instance runs each command
// with its own environment, folder and PATH, as deepin-terminal does. Arguments travel one a
// line, ended by an empty line; "quit" ends the instance.
QByteArray singleInstance(const char *flag) {
    return terminalScript(
        QByteArray("fifo=$d/instance.fifo\n"
                   "if ! /bin/mkdir \"$d/instance.lock\" 2>/dev/null; then\n"
                   "  while [ ! -p \"$fifo\" ]; do /bin/sleep 0.01; done\n"
                   "  { for w; do printf '%s\\n' \"$w\"; done; echo; } > \"$fifo\"\n"
                   "  exit 0\n"
                   "fi\n"
                   "/usr/bin/mkfifo \"$fifo.part\" && /bin/mv \"$fifo.part\" \"$fifo\"\n"
                   "serve() {\n") +
        skipTo(flag) +
        "  \"$@\" &\n"
        "}\n"
        "serve \"$@\"\n"
        "exec 3<>\"$fifo\"\n"
        "while :; do\n"
        "  set --\n"
        "  while IFS= read -r w <&3 && [ -n \"$w\" ]; do set -- \"$@\" \"$w\"; done\n"
        "  [ \"$1\" = quit ] && exit 0\n"
        "  serve \"$@\"\n"
        "done\n");
}

void quitInstance(const FakeDesktop &desktop) {
    QFile fifo(desktop.path("instance.fifo"));
    ASSERT_TRUE(fifo.open(QIODevice::WriteOnly));
    fifo.write("quit\n\n");
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
        desktop.add(QString::fromUtf8(c.program), singleInstance("-e"));
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
            runUntil([&] { return QFile::exists(desktop.path("instance.fifo")); }, 10000);
        }
        RealProcessLauncher launcher = desktop.launcher();
        QStringList late;
        launcher.setLateFailureHandler([&](const QString &, const QString &why) { late << why; });
        for (const QString &address : addresses) {
            launcher.start("ping.exe -t " + address, "Gateway");
            runUntil([&] { return false; }, 100);  // one click after the other
        }
        const auto pings = desktop.records("ping", addresses.size());
        quitInstance(desktop);
        settle();
        std::vector<std::string> got, expected;
        for (const QStringList &p : pings) got.push_back(show(p));
        for (const QStringList &w : words) expected.push_back(show(w));
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(late.isEmpty()) << late.join("\n").toStdString();
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
        {"words", "st", terminalScript(skipTo("-e") + "\"$@\"\nexit $?\n")},
        {"helper", "xdg-terminal-exec", terminalScript("\"$@\"\nexit $?\n")},
        {"quoted words", "tilix", terminalScript(skipTo("-e") + "eval \"$1\"\nexit $?\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.add(QString::fromUtf8(c.program), c.fake);
        desktop.add("xterm", wordsAfter("-e"));
        RealProcessLauncher launcher = desktop.launcher();
        QStringList late;
        launcher.setLateFailureHandler([&](const QString &, const QString &why) { late << why; });
        launcher.start("ping.exe -t 127.0.0.1", "t");
        settle();
        EXPECT_EQ(desktop.records("ping", 0).size(), 1u);
        const auto terminals = desktop.records("terminal", 0);
        ASSERT_EQ(terminals.size(), 1u) << "a second terminal was started";
        EXPECT_EQ(terminals[0].value(0), QString::fromUtf8(c.program));
        EXPECT_TRUE(late.isEmpty()) << late.join("\n").toStdString();
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

}  // namespace

namespace {

// Run by scripts/real-terminals.sh, once per real terminal, under Xvfb: NORVEX_REAL_TERMINAL
// names the terminal's program, found alone (as a link) on PATH beside the fake ping.
TEST(RealTerminal, DISABLED_OpensAPingWindowWithExactlyTheWords) {
    const QString program = qEnvironmentVariable("NORVEX_REAL_TERMINAL");
    ASSERT_FALSE(program.isEmpty()) << "NORVEX_REAL_TERMINAL is not set";
    FakeDesktop desktop;
    QFile::link(program, desktop.path(QFileInfo(program).fileName()));
    const QString mark = desktop.path("MARK");
    const QString address = "127.0.0.1 \"$(" + kTouch + " " + mark + ")\" `" + kTouch + " " + mark +
                            "`;|&'q' -n -w 5 -C x";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    desktop.launcher(env).start("ping.exe -t " + address, "norvex real terminal");
    const auto pings = desktop.records("ping", 1);
    ASSERT_EQ(pings.size(), 1u) << "no ping ran";
    EXPECT_EQ(show(pings[0]), show({"127.0.0.1", "$(" + kTouch + " " + mark + ")", "`" + kTouch,
                                    mark + "`;|&'q'", "-n", "-w", "5", "-C", "x"}));
    QThread::msleep(500);
    EXPECT_FALSE(QFile::exists(mark));
}

}  // namespace

// One application for every test, as in norvex: the launcher watches its terminals from the
// event loop.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
