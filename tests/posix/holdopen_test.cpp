// The ping window's own script, run on a pseudo-terminal as a terminal would run it, with a fake
// ping: it waits for Enter after ping ends, and Ctrl+C ends ping but not the window.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/posix/terminal.h"
#include "tests/posix/loopback.h"

namespace {

constexpr char kLastLine[] = "ping has ended. Press Enter to close this window.";

// The script running on a pseudo-terminal of its own, as its session's foreground job.
class Window {
public:
    Window(const QByteArray &fakePing, const QStringList &words) {
        QFile ping(m_dir.filePath("ping"));
        EXPECT_TRUE(ping.open(QIODevice::WriteOnly));
        ping.write("#!/bin/sh\n" + fakePing);
        ping.close();
        ping.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        run(pingWindowCommand("/bin/sh", m_dir.path() + ":/usr/bin:/bin", words));
    }
    explicit Window(const QStringList &command) { run(command); }
    void run(const QStringList &command) {
        std::vector<QByteArray> bytes;
        for (const QString &w : command) bytes.push_back(w.toUtf8());
        std::vector<char *> argv;
        for (QByteArray &b : bytes) argv.push_back(b.data());
        argv.push_back(nullptr);
        m_pid = forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            signal(SIGINT, SIG_DFL);
            execv(argv[0], argv.data());
            _exit(127);
        }
        EXPECT_GT(m_pid, 0);
    }
    ~Window() {
        if (m_pid > 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0) close(m_master);
    }
    // Reads until text has appeared or timeoutMs has passed; everything read so far.
    QByteArray readUntil(const QByteArray &text, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (!m_output.contains(text) && clock.elapsed() < timeoutMs) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                char buffer[512];
                const ssize_t n = read(m_master, buffer, sizeof buffer);
                if (n > 0) m_output.append(buffer, n);
            }
        }
        return m_output;
    }
    void type(const char *keys) { ASSERT_GT(write(m_master, keys, strlen(keys)), 0); }
    // Whether the script is still running after waitMs.
    bool runningAfter(int waitMs) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < waitMs) {
            readUntil("\x01never", 20);
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                m_status = status;
                return false;
            }
        }
        return true;
    }
    int status() const { return m_status; }

private:
    QTemporaryDir m_dir;
    pid_t m_pid = -1;
    int m_master = -1;
    bool m_ended = false;
    int m_status = 0;
    QByteArray m_output;
};

// A ping that says what it got and runs until it is interrupted.
constexpr char kEndlessPing[] = "echo \"pinging [$*]\"\nwhile :; do sleep 0.05; done\n";

TEST(HoldOpen, WindowWaitsForEnterAfterPingEnds) {
    Window window("echo 'ping: unknown host'\nexit 2\n", {"nowhere.invalid"});
    const QByteArray out = window.readUntil(kLastLine, 5000);
    EXPECT_TRUE(out.contains("ping: unknown host")) << out.constData();
    EXPECT_TRUE(out.contains(kLastLine)) << out.constData();
    EXPECT_TRUE(window.runningAfter(500)) << "the window closed before Enter was pressed";
    window.type("\r");
    EXPECT_FALSE(window.runningAfter(3000)) << "Enter did not close the window";
}

TEST(HoldOpen, CtrlCEndsPingButLeavesTheWindowWithItsLastLine) {
    Window window(kEndlessPing, {"127.0.0.1", "-c", "$(x) `y`;z"});
    EXPECT_TRUE(window.readUntil("pinging [127.0.0.1 -c $(x) `y`;z]", 5000).contains("pinging"));
    EXPECT_FALSE(window.readUntil(kLastLine, 300).contains(kLastLine)) << "ping ended by itself";
    window.type("\x03");  // Ctrl+C: SIGINT to the foreground process group
    const QByteArray out = window.readUntil(kLastLine, 5000);
    EXPECT_TRUE(out.contains(kLastLine)) << "Ctrl+C did not end ping: " << out.constData();
    EXPECT_TRUE(window.runningAfter(500)) << "Ctrl+C closed the window too";
    window.type("\r");
    EXPECT_FALSE(window.runningAfter(3000));
    EXPECT_TRUE(WIFEXITED(window.status()));
}

// A terminal that passes on its command's status must never look as if it had failed to start:
// norvex would then open a second window for the same click.
TEST(HoldOpen, EndsWithStatusZeroHoweverPingEnds) {
    {
        Window window("exit 2\n", {"nowhere.invalid"});
        window.readUntil(kLastLine, 5000);
        window.type("\r");
        EXPECT_FALSE(window.runningAfter(3000));
        EXPECT_TRUE(WIFEXITED(window.status()) && WEXITSTATUS(window.status()) == 0)
            << "Enter: status " << window.status();
    }
    // No terminal at all: stdin at its end, so read finds nothing.
    QTemporaryDir dir;
    QFile ping(dir.filePath("ping"));
    ASSERT_TRUE(ping.open(QIODevice::WriteOnly));
    ping.write("#!/bin/sh\nexit 1\n");
    ping.close();
    ping.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const QStringList command = pingWindowCommand("/bin/sh", dir.path(), {"127.0.0.1"});
    QProcess sh;
    sh.setStandardInputFile(QProcess::nullDevice());
    sh.start(command[0], command.mid(1));
    ASSERT_TRUE(sh.waitForFinished(5000));
    EXPECT_EQ(sh.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sh.exitCode(), 0) << "stdin at its end";
}

// A port row's window: the real probe against a loopback listener, stopped with Ctrl+C.
TEST(HoldOpen, TheProbeWindowSumsUpOnCtrlCAndStaysOpen) {
    Loopback open(16);
    Window window(holdOpenCommand("/bin/sh", "/usr/bin:/bin", NORVEX_PROBE,
                                  {"-i", "200", "--", "127.0.0.1", open.port}));
    window.readUntil("time=", 5000);
    const QByteArray tried = window.readUntil("ms\r\nconnected to", 5000);
    ASSERT_TRUE(tried.contains("connected to 127.0.0.1 port " + open.port.toUtf8())) << tried.constData();
    window.type("\x03");
    const QByteArray out = window.readUntil("norvex-probe has ended. Press Enter to close this window.", 5000);
    EXPECT_TRUE(out.contains("--- 127.0.0.1 port " + open.port.toUtf8() + " ---")) << out.constData();
    EXPECT_TRUE(out.contains("0 failed; time min/avg/max = ")) << out.constData();
    EXPECT_TRUE(window.runningAfter(300)) << "the window closed before Enter";
    window.type("\r");
    EXPECT_FALSE(window.runningAfter(3000));
}

TEST(HoldOpen, PingIsLookedUpOnlyOnThePathGiven) {
    // The window's PATH comes from its arguments, not from the terminal's environment.
    Window window("echo \"found in ${0%/*}\"\n", {"127.0.0.1"});
    const QByteArray out = window.readUntil(kLastLine, 5000);
    EXPECT_TRUE(out.contains("found in /")) << out.constData();
    EXPECT_FALSE(out.contains("found in /usr/bin")) << out.constData();
    EXPECT_FALSE(out.contains("found in /bin")) << out.constData();
}

}  // namespace
