#pragma once

// A stand-in desktop for the terminal launcher: a folder, alone on PATH, holding fake terminals
// that take their command the way real ones do and a fake ping that records its words. The real
// ping never runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <vector>

#include "platform/posix/terminallauncher.h"
#include "tests/fakes.h"

// Absolute: an address that got to a shell could run it even with the fake PATH.
inline const QString kTouch = QStringLiteral("/usr/bin/touch");

// Long enough for any loaded machine: for tests of terminals that do fail at once.
inline constexpr int kGenerousEarlyExitMs = 10000;

inline std::string show(const QStringList &words) { return words.join(u'|').toStdString(); }

// The fake terminals' scripts. Each records how it was called (as "terminal.PID.args" beside
// it), then runs its command its own way.
namespace fake {

// Records the terminal's name and arguments, each NUL-terminated so that words with spaces or
// newlines come back exactly, written aside and renamed so a reader never sees half a record.
inline QByteArray terminal(const QByteArray &body) {
    return "#!/bin/sh\n"
           "d=${0%/*}\n"
           "printf '%s\\0' \"${0##*/}\" \"$@\" > \"$d/terminal.$$.part\" && /bin/mv "
           "\"$d/terminal.$$.part\" \"$d/terminal.$$.args\"\n" +
           body;
}

// Drops the arguments up to and including flag.
inline QByteArray skipTo(const char *flag) {
    return QByteArray("while [ $# -gt 0 ] && [ \"$1\" != '") + flag +
           "' ]; do shift; done\nshift\n";
}

// Runs its arguments as they are (xdg-terminal-exec handing them on).
inline QByteArray runsArguments() { return terminal("exec \"$@\"\n"); }
// The words after flag, run as they are.
inline QByteArray wordsAfter(const char *flag) { return terminal(skipTo(flag) + "exec \"$@\"\n"); }
// One string after flag, re-parsed (a shell and GLib read single quotes alike).
inline QByteArray quotedAfter(const char *flag) {
    return terminal(skipTo(flag) + "eval \"set -- $1\"\nexec \"$@\"\n");
}
// The rest joined with spaces and handed to a shell, the most a terminal could misread.
inline QByteArray shellAfter(const char *flag) {
    return terminal(skipTo(flag) + "exec sh -c \"$*\"\n");
}
// The word after flag split by the terminal's own rules (here: at blanks), the words after it
// appended as they are.
inline QByteArray splitFirstAfter(const char *flag) {
    return terminal(skipTo(flag) + "first=$1\nshift\nset -f\nset -- $first \"$@\"\nexec \"$@\"\n");
}
// The words after flag up to the first that is one of options, which it would then act on.
inline QByteArray wordsUpTo(const char *flag, const char *options) {
    return terminal(skipTo(flag) + "for w; do\n  shift\n  case $w in " + options +
                    ") stop=1 ;; esac\n"
                    "  if [ -z \"${stop-}\" ]; then set -- \"$@\" \"$w\"; fi\n"
                    "done\nexec \"$@\"\n");
}
// Runs the words after flag with stdin at its end and exits with their status, as st does.
inline QByteArray passesStatusAfter(const char *flag) {
    return terminal(skipTo(flag) + "\"$@\"\nexit $?\n");
}
// A terminal that runs one instance: the first start runs its command and then serves every
// later start, which hands its arguments over and exits at once. The instance runs each command
// with its own environment, folder and PATH, as deepin-terminal does, and with
// dropsWhileStarting (as deepin-terminal too) drops what it is handed in its first 0.8 s.
// Arguments travel one a line, ended by an empty line; "quit" ends the instance (see
// FakeDesktop::quitInstance); "instance.ready" appears once it takes requests.
inline QByteArray singleInstance(const char *flag, bool dropsWhileStarting = false) {
    return terminal(
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
        "serve \"$@\"\n" +
        (dropsWhileStarting ? "(/bin/sleep 0.8; : > \"$d/instance.ready\") &\n"
                            : ": > \"$d/instance.ready\"\n") +
        "exec 3<>\"$fifo\"\n"
        "while :; do\n"
        "  set --\n"
        "  while IFS= read -r w <&3 && [ -n \"$w\" ]; do set -- \"$@\" \"$w\"; done\n"
        "  [ \"$1\" = quit ] && exit 0\n"
        "  if [ -e \"$d/instance.ready\" ]; then serve \"$@\"; fi\n"
        "done\n");
}

// A stand-in for the system ping as a host check runs it: records its words like the fake ping,
// then answers for its last word as the file hosts/WORD beside it says ("DELAY KIND", KIND one
// of answer, silent, unreachable, unknown; no file: answer at once), printing what iputils
// prints for that in the C locale. It waits without a process of its own (bash's read -t on an
// empty pipe), so stopping it leaves nothing behind, as stopping the real ping does.
inline QByteArray answeringPing() {
    return "#!/bin/bash\n"
           "d=${0%/*}\n"
           "printf '%s\\0' \"$@\" > \"$d/ping.$$.part\" && /bin/mv \"$d/ping.$$.part\" "
           "\"$d/ping.$$.args\"\n"
           "for host; do :; done\n"
           "delay=0 kind=answer\n"
           "[ -f \"$d/hosts/$host\" ] && read -r delay kind < \"$d/hosts/$host\"\n"
           "exec 3<> <(:)\n"
           "read -r -t \"$delay\" <&3\n"
           "case $kind in\n"
           "  answer) echo \"PING $host ($host) 56(84) bytes of data.\"\n"
           "    echo \"64 bytes from $host: icmp_seq=1 ttl=64 time=0.042 ms\"; exit 0 ;;\n"
           "  silent) echo '1 packets transmitted, 0 received, 100% packet loss'; exit 1 ;;\n"
           "  unreachable) echo 'From 127.0.0.254 icmp_seq=1 Destination Host Unreachable'\n"
           "    exit 1 ;;\n"
           "  unknown) echo \"ping: $host: Name or service not known\" >&2; exit 2 ;;\n"
           "esac\n";
}

// A stand-in for fping as a sweep runs it: keeps its standard input as "fping.PID.stdin", records
// its words, then answers for each line of its input as the file hosts/WORD says ("DELAY KIND",
// KIND one of answer, silent, unreachable, noroute, unknown, killed; no file: answer at once),
// printing what fping 5.1 prints in the C locale, after the longest delay and in the reverse of
// the order asked. At a "killed" host it kills itself, leaving the hosts after it unanswered.
inline QByteArray answeringFping() {
    return "#!/bin/bash\n"
           "d=${0%/*}\n"
           "/bin/cat > \"$d/fping.$$.stdin\"\n"
           "printf '%s\\0' \"$@\" > \"$d/fping.$$.part\" && /bin/mv \"$d/fping.$$.part\" "
           "\"$d/fping.$$.args\"\n"
           "mapfile -t hosts < \"$d/fping.$$.stdin\"\n"
           "longest=0\n"
           "for host in \"${hosts[@]}\"; do\n"
           "  delay=0\n"
           "  [ -f \"$d/hosts/$host\" ] && read -r delay kind < \"$d/hosts/$host\"\n"
           "  (( delay > longest )) && longest=$delay\n"
           "done\n"
           "exec 3<> <(:)\n"
           "read -r -t \"$longest\" <&3\n"
           "for (( i = ${#hosts[@]} - 1; i >= 0; i-- )); do\n"
           "  host=${hosts[i]} kind=answer\n"
           "  [ -f \"$d/hosts/$host\" ] && read -r delay kind < \"$d/hosts/$host\"\n"
           "  case $kind in\n"
           "    answer) echo \"$host is alive (0.042 ms)\" ;;\n"
           "    silent) echo \"$host is unreachable\" ;;\n"
           "    unreachable) echo \"ICMP Host Unreachable from 127.0.0.254 for ICMP Echo sent to "
           "$host\" >&2\n"
           "      echo \"$host is unreachable\" ;;\n"
           "    noroute) echo \"$host: error while sending ping: No route to host\" >&2\n"
           "      echo \"$host is unreachable\" ;;\n"
           "    unknown) echo \"$host: Name or service not known\" >&2 ;;\n"
           "    killed) kill -9 $$ ;;\n"
           "    quits) exit 1 ;;\n"
           "  esac\n"
           "done\n";
}

}  // namespace fake

// The processes this one started that are still there: running, or ended and not yet reaped.
struct Children {
    int running = 0;
    int zombies = 0;
    int all() const { return running + zombies; }
};

inline Children children() {
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

// Waits until every process this test started has ended and been reaped, so that what did not
// happen by then will not happen.
inline void settle() {
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
        // Each argument NUL-terminated, written aside and renamed, as the terminals record theirs.
        for (const char *kind : {"ping", "norvex-probe"}) add(QString::fromLatin1(kind), recorder());
    }
    // A stand-in program that records its words as "NAME.PID.args" and ends.
    static QByteArray recorder() {
        return "#!/bin/sh\nd=${0%/*}\nk=${0##*/}\n"
               "printf '%s\\0' \"$@\" > \"$d/$k.$$.part\" && /bin/mv \"$d/$k.$$.part\" "
               "\"$d/$k.$$.args\"\n";
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

    // A launcher whose PATH is this folder alone; extra adds to its environment (HOME,
    // XDG_CURRENT_DESKTOP, ...). Failures it finds after a start returned go to lateFailures.
    std::unique_ptr<TerminalLauncher> launcher(const QProcessEnvironment &extra = {},
                                               int earlyExitMs = kGenerousEarlyExitMs) {
        QProcessEnvironment env = extra;
        env.insert(QStringLiteral("PATH"), m_dir.path());
        auto launcher = std::make_unique<TerminalLauncher>(env, QStringLiteral(NORVEX_HELPER),
                                                           earlyExitMs, path("norvex-probe"));
        launcher->setLateFailureHandler(
            [this](const Host &, const QString &why) { lateFailures << why; });
        return launcher;
    }
    QStringList lateFailures;

    // Waits for count records of the given kind ("ping" or "terminal"), each as its list of
    // words; fewer when they do not come within 10 seconds.
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

    // What each run of kind ("fping") was given on its standard input, by run.
    std::vector<QByteArray> inputs(const QString &kind) const {
        std::vector<QByteArray> result;
        const QDir dir(m_dir.path());
        const QStringList names = dir.entryList({kind + QStringLiteral(".*.stdin")}, QDir::Files);
        for (const QString &name : names) {
            QFile file(dir.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            result.push_back(file.readAll());
        }
        return result;
    }

    // How the answering ping or fping answers for host: "DELAY KIND" (see fake::answeringPing).
    void answer(const QString &host, const QByteArray &how) {
        QDir(m_dir.path()).mkpath(QStringLiteral("hosts"));
        QFile file(m_dir.filePath(QStringLiteral("hosts/") + host));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(how + '\n');
    }
    // A checker whose PATH is this folder alone.
    QProcessEnvironment pathOnly() const {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), m_dir.path());
        return env;
    }

    // Ends the instance of a fake::singleInstance terminal.
    void quitInstance() const {
        QFile fifo(path(QStringLiteral("instance.fifo")));
        ASSERT_TRUE(fifo.open(QIODevice::WriteOnly));
        fifo.write("quit\n\n");
    }

private:
    QTemporaryDir m_dir;
};
