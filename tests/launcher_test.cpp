// Starts real processes through fake terminals and a fake ping placed alone on PATH; the real
// ping is never run.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/reallauncher.h"

namespace {

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
    RealProcessLauncher launcher() const {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), m_dir.path());
        return RealProcessLauncher(env);
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
        {"127.0.0.1; touch " + mark, {"127.0.0.1;", "touch", mark}},
        {"$(touch " + mark + ")", {"$(touch", mark + ")"}},
        {"`touch " + mark + "`", {"`touch", mark + "`"}},
        {"a|touch " + mark + "&x'y", {"a|touch", mark + "&x'y"}},
        {"a\nb", {"a\nb"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        FakeDesktop one;
        one.add("xterm", fakeTerminal("-e"));
        one.launcher().start(QStringLiteral("ping.exe -t ") + c.address, QStringLiteral("title"));
        const auto pings = one.records(QStringLiteral("ping"), 1);
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
        {"xdg-terminal-exec", kXdgTerminalExec, nullptr, "xdg-terminal-exec", "sh"},
        {"xterm", fakeTerminal("-e"), nullptr, "xterm", "-T"},
        {"gnome-terminal", fakeTerminal("--"), nullptr, "gnome-terminal", "--title=Gateway"},
        {"xfce4-terminal", fakeTerminal("-x"), nullptr, "xfce4-terminal", "--title=Gateway"},
        {"konsole", fakeTerminal("-e"), nullptr, "konsole", "-e"},
        {"terminator", fakeTerminal("-x"), "terminator", "terminator", "-u"},
        {"tilix", kFakeTilix, "tilix", "tilix", "--title=Gateway"},
        {"st", fakeTerminal("-e"), "st", "x-terminal-emulator", "-T"},  // unknown: -T and -e
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
    EXPECT_TRUE(desktop.records(QStringLiteral("ping"), 0).empty());
}

TEST(RealLauncher, TerminalsInRelativePathEntriesAreIgnored) {
    FakeDesktop desktop;
    desktop.add("xterm", fakeTerminal("-e"));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(desktop.path(QString()));
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral(".::bin"));
    EXPECT_THROW(RealProcessLauncher(env).start(QStringLiteral("ping.exe -t x"), QString()),
                 LaunchError);
    QDir::setCurrent(saved);
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
    const QString saved = QDir::currentPath();
    QDir::setCurrent(planted.path());
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral(".:") + desktop.path(QString()));
    RealProcessLauncher(env).start(QStringLiteral("ping.exe -t 127.0.0.1"), QString());
    EXPECT_EQ(show(desktop.records(QStringLiteral("ping"), 1).at(0)), "127.0.0.1");
    QDir::setCurrent(saved);
    EXPECT_FALSE(QFile::exists(mark));
}

}  // namespace
