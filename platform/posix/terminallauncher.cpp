#include "platform/posix/terminallauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/searchpath.h"
#include "platform/posix/terminal.h"

TerminalLauncher::TerminalLauncher(QProcessEnvironment environment, QString helper, int earlyExitMs)
    : m_environment(std::move(environment)),
      m_helper(std::move(helper)),
      m_earlyExitMs(earlyExitMs),
      m_watchers(std::make_unique<QObject>()) {
    m_clock.start();
    // An ignored SIGCHLD survives exec and has every child reaped as it ends, its status lost.
    struct sigaction current {};
    if (sigaction(SIGCHLD, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_IGN) {
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        sigemptyset(&defaults.sa_mask);
        sigaction(SIGCHLD, &defaults, nullptr);
    }
}

TerminalLauncher::~TerminalLauncher() = default;

std::unique_ptr<ProcessLauncher> makeSystemLauncher() {
    return std::make_unique<TerminalLauncher>();
}

namespace {

// The helper installed beside norvex (or, in a build folder, beside the binaries).
QString installedHelper() {
    const QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty()) return {};
    for (const QString &relative : {QStringLiteral(NORVEX_HELPER_FROM_BINDIR),
                                    QStringLiteral("libexec/norvex/terminal-command")}) {
        const QFileInfo file(QDir(dir).filePath(relative));
        if (file.isFile() && file.isExecutable()) return file.canonicalFilePath();
    }
    return {};
}

struct Attempt {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
    QString folder;  // where it starts
    bool spaced;     // the terminal's instance drops early requests: see kSpacedStartMs
};

// How long a start of a terminal whose running instance drops early requests waits after the
// one before: that one may have started the instance, which drops everything until its first
// window runs its command (deepin-terminal takes half a second for that on a busy two-core
// machine). Meanwhile the click's start would exit 0, its window never to open.
constexpr qint64 kSpacedStartMs = 2000;

// A terminal started and not yet known to have opened its window.
struct Started {
    pid_t pid = -1;
    int output = -1;  // what it writes to stdout and stderr, kept in memory
};

// fd itself when it is 3 or above, else a close-on-exec copy there: dup2 onto 1 or 2 must make
// a copy (dup2 of an fd onto itself keeps its close-on-exec flag on older glibc).
int aboveStdio(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

int memoryFile() {
#ifdef __linux__
    const int fd = memfd_create("norvex-terminal", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd >= 0) return aboveStdio(fd);
#endif
    return aboveStdio(::open("/dev/null", O_WRONLY | O_CLOEXEC));
}

// Reaps pid once it has ended, without waiting here. Not reaped, a terminal that ends stays a
// zombie for as long as norvex runs.
void reapWhenDone(pid_t pid) {
    if (pid <= 0 || ::waitpid(pid, nullptr, WNOHANG) != 0) return;  // reaped, or not ours
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error &) {
        // No thread to spare: a zombie is the lesser harm.
    }
}

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
#define NORVEX_SPAWN_CLOSEFROM 1  // posix_spawn_file_actions_addclosefrom_np
#endif
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
#define NORVEX_SPAWN_CHDIR 1  // posix_spawn_file_actions_addchdir_np
#endif

// Starts the program in a session of its own, in the attempt's folder, with default signal
// handling, stdin from /dev/null, its output in a memory file and no other file of norvex's
// open. Exec failures are reported here (glibc's posix_spawn waits for the exec).
std::optional<Started> spawn(const Attempt &attempt, QString *error) {
    std::vector<QByteArray> argvBytes{QFile::encodeName(attempt.program)};
    for (const QString &a : attempt.arguments) argvBytes.push_back(a.toUtf8());
    std::vector<QByteArray> envBytes;
    for (const QString &e : attempt.environment.toStringList()) envBytes.push_back(e.toUtf8());
    const QByteArray folder = QFile::encodeName(attempt.folder);
    std::vector<char *> argv, envp;
    for (QByteArray &b : argvBytes) argv.push_back(b.data());
    for (QByteArray &b : envBytes) envp.push_back(b.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    Started started;
    started.output = memoryFile();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (started.output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, started.output, 1);
        posix_spawn_file_actions_adddup2(&actions, started.output, 2);
    }
#ifdef NORVEX_SPAWN_CLOSEFROM
    // Whatever norvex (or a library of Qt's) opened without close-on-exec stays here.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
#ifdef NORVEX_SPAWN_CHDIR
    // Not norvex's current folder, often the list file's: a terminal's running instance may
    // look programs up in relative PATH folders.
    posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    flags |= POSIX_SPAWN_SETSID;  // Ctrl+C where norvex was started leaves its windows alone
#endif
    posix_spawnattr_setflags(&attributes, flags);
    const int result =
        posix_spawn(&started.pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        if (started.output >= 0) ::close(started.output);
        *error = QString::fromLocal8Bit(strerror(result));
        return std::nullopt;
    }
    return started;
}

// What a terminal wrote before it failed, short and on one line.
QString saidBy(int output) {
    if (output < 0) return {};
    char buffer[2048];
    const ssize_t n = ::pread(output, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    return QString::fromLocal8Bit(buffer, n).simplified();
}

// Stops the memory file from growing once nobody reads it: later writes fail, harmlessly.
void closeOutput(int output) {
    if (output < 0) return;
#ifdef F_ADD_SEALS
    fcntl(output, F_ADD_SEALS, F_SEAL_GROW);
#endif
    ::close(output);
}

QString failureText(const QString &program, int status, const QString &said) {
    QString text = WIFSIGNALED(status) ? QStringLiteral("%1 was killed by signal %2 at once")
                                             .arg(program)
                                             .arg(WTERMSIG(status))
                                       : QStringLiteral("%1 exited at once with status %2")
                                             .arg(program)
                                             .arg(WEXITSTATUS(status));
    return said.isEmpty() ? text : text + QStringLiteral(": ") + said;
}

QString notOpenedMessage(const QStringList &tried) {
    return QStringLiteral("No terminal program could open the window. Tried, in order: %1.")
        .arg(tried.join(QStringLiteral("; ")));
}

// Starts the attempts from index on, one after the other, until one starts; what each failure
// was is added to tried.
std::optional<std::pair<size_t, Started> > startFrom(const std::vector<Attempt> &attempts,
                                                     size_t index, QStringList &tried) {
    for (; index < attempts.size(); ++index) {
        QString error;
        if (const auto started = spawn(attempts[index], &error)) return {{index, *started}};
        tried << QStringLiteral("%1 (%2)").arg(attempts[index].program, error);
    }
    return std::nullopt;
}

// Watches a terminal just started: when it exits with a failure before earlyExitMs, the next
// attempt is started; when none is left, the failure is reported. A terminal still running then
// is only reaped when it ends; it is never stopped, and outlives norvex.
class Watcher : public QObject {
public:
    Watcher(QObject *parent, std::vector<Attempt> attempts, size_t index, Started started,
            QStringList tried, int earlyExitMs, std::function<void(const QString &)> report)
        : QObject(parent),
          m_attempts(std::move(attempts)),
          m_index(index),
          m_started(started),
          m_tried(std::move(tried)),
          m_earlyExitMs(earlyExitMs),
          m_report(std::move(report)) {
        m_clock.start();
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    // The launcher is going (norvex is closing, or a test is done): a terminal still running is
    // reaped when it ends all the same.
    ~Watcher() override {
        closeOutput(m_started.output);
        if (!m_reaped) reapWhenDone(m_started.pid);
    }

private:
    void poll() {
        int status = 0;
        const pid_t done = ::waitpid(m_started.pid, &status, WNOHANG);
        if (done < 0 && errno == EINTR) return;
        const bool early = m_clock.elapsed() < m_earlyExitMs;
        if (done == 0) {
            if (!early && m_started.output >= 0) {
                closeOutput(m_started.output);  // it opened its window
                m_started.output = -1;
                m_timer.setInterval(2000);  // from now on only to reap it
            }
            return;
        }
        m_reaped = true;
        // ECHILD: it was reaped for us (SIGCHLD ignored after all) and how it ended is lost;
        // a second window would be worse than a missing warning.
        const bool failed = done > 0 && (!WIFEXITED(status) || WEXITSTATUS(status) != 0);
        if (!early || !failed) {
            deleteLater();  // a client that handed the window on, or a window closed later
            m_timer.stop();
            return;
        }
        m_tried << failureText(m_attempts[m_index].program, status, saidBy(m_started.output));
        closeOutput(m_started.output);
        m_started.output = -1;
        if (const auto next = startFrom(m_attempts, m_index + 1, m_tried)) {
            m_index = next->first;
            m_started = next->second;
            m_reaped = false;
            m_clock.start();
            m_timer.setInterval(50);
            return;
        }
        m_timer.stop();
        m_report(notOpenedMessage(m_tried));
        deleteLater();
    }

    std::vector<Attempt> m_attempts;
    size_t m_index;
    Started m_started;
    QStringList m_tried;
    int m_earlyExitMs;
    bool m_reaped = false;
    std::function<void(const QString &)> m_report;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

// Starts the first attempt that starts and watches it from the event loop; when none starts,
// says what each one did.
std::optional<QString> startAndWatch(QObject *watchers, std::vector<Attempt> attempts,
                                     QStringList tried, int earlyExitMs,
                                     std::function<void(const QString &)> report) {
    const auto started = startFrom(attempts, 0, tried);
    if (!started) return notOpenedMessage(tried);
    if (!QCoreApplication::instance()) {
        // No event loop to watch it with: count it as opened.
        closeOutput(started->second.output);
        reapWhenDone(started->second.pid);
        return std::nullopt;
    }
    new Watcher(watchers, std::move(attempts), started->first, started->second, tried, earlyExitMs,
                std::move(report));
    return std::nullopt;
}

}  // namespace

void TerminalLauncher::start(const Host &host) {
    const QStringList dirs = searchPath(m_environment);
    const QString path = dirs.join(u':');
    // The absolute sh of those folders; /bin/sh, which POSIX systems have, when there is none.
    QString shell = findExecutable(QStringLiteral("sh"), dirs);
    if (shell.isEmpty()) shell = QStringLiteral("/bin/sh");
    // No -t: Unix pings are continuous already, and there -t sets a TTL or a timeout.
    const QStringList command = pingWindowCommand(shell, path, host.words());
    // A fixed folder, never norvex's current one.
    const QString home = m_environment.value(QStringLiteral("HOME"));
    const QString folder =
        QDir::isAbsolutePath(home) && QFileInfo(home).isDir() ? home : QStringLiteral("/");
    // The terminal and its shell look ping up on PATH too: the same absolute folders only.
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("PATH"), path);
    const QString helper = m_helper.isEmpty() ? installedHelper() : m_helper;
    const bool helperUsable = isPlainWord(helper) && QFileInfo(helper).isExecutable();
    const bool wayland = !m_environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();

    std::vector<Attempt> attempts;
    QStringList lookedFor, skipped;
    for (const QString &name :
         terminalSearchOrder(m_environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")))) {
        for (const QString &program : terminalProgramNames(name)) {
            lookedFor << program;
            QString found = findExecutable(program, dirs);
            if (found.isEmpty()) continue;
            const TerminalInfo *terminal = terminalByName(name);
            if (name == u"x-terminal-emulator") {
                // A link to some real terminal: use that one's own way, and its real program
                // rather than a wrapper script around it.
                // A wrapper whose terminal is not on PATH stays a terminal we do not know: what
                // it makes of the real one's arguments is not ours to know.
                const QFileInfo target(QFileInfo(found).canonicalFilePath());
                if (const TerminalInfo *known = terminalForProgramName(target.fileName())) {
                    const bool wrapper = target.fileName().endsWith(QStringLiteral(".wrapper"));
                    const QString own =
                        wrapper ? findExecutable(known->name, dirs) : target.filePath();
                    if (!own.isEmpty()) {
                        terminal = known;
                        found = own;
                    }
                }
            }
            if (terminal->needsWayland && !wayland) {
                skipped << QStringLiteral("%1 (needs a Wayland session)").arg(found);
                continue;
            }
            if (terminal->form == CommandForm::Helper && !helperUsable) {
                skipped << QStringLiteral(
                               "%1 (norvex's terminal-command helper is missing or its "
                               "path is not plain)")
                               .arg(found);
                continue;
            }
            attempts.push_back({found, terminalArguments(*terminal, host.title(), command, helper),
                                environment, folder, terminal->dropsEarlyRequests});
        }
    }

    if (attempts.empty() && skipped.isEmpty()) {
        throw LaunchError(
            QStringLiteral("No terminal program was found on PATH. Looked for, in order: %1.")
                .arg(lookedFor.join(QStringLiteral(", ")))
                .toStdString());
    }
    auto report = [this, host](const QString &why) { reportLateFailure(host, why); };
    if (!attempts.empty() && attempts.front().spaced && QCoreApplication::instance()) {
        const qint64 now = m_clock.elapsed();
        const qint64 at = std::max(now, m_nextSpacedStart);
        m_nextSpacedStart = at + kSpacedStartMs;
        if (at > now) {
            // Later, from the event loop: what goes wrong then is reported late.
            QTimer::singleShot(
                at - now, m_watchers.get(),
                [this, attempts = std::move(attempts), skipped, report] {
                    if (const auto failed = startAndWatch(m_watchers.get(), attempts, skipped,
                                                          m_earlyExitMs, report))
                        report(*failed);
                });
            return;
        }
    }
    if (const auto failed =
            startAndWatch(m_watchers.get(), std::move(attempts), skipped, m_earlyExitMs, report))
        throw LaunchError(failed->toStdString());
}
