#include "platform/posix/childprocess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

namespace {

std::atomic<bool> g_pidfdAllowed{true};

// fd itself when it is 3 or above, else a close-on-exec copy there: with norvex's own 0, 1 or 2
// closed, a new file could land there and be taken for the child's stdin or output.
int aboveStdio(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

// ---- Children nobody waits for any more, reaped from the SIGCHLD handler ----
// That handler reaps them whether or not an event loop runs, and no thread waits for them.

// Their pids in blocks that are only ever added, so the handler walks them without a lock; a
// slot of 0 is free.
struct Released {
    std::atomic<pid_t> pids[64];
    std::atomic<Released *> next{nullptr};
};
Released g_released;

// Async-signal-safe.
void reapReleased() {
    for (Released *block = &g_released; block;
         block = block->next.load(std::memory_order_acquire)) {
        for (std::atomic<pid_t> &slot : block->pids) {
            pid_t pid = slot.load(std::memory_order_acquire);
            if (pid <= 0) continue;
            const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
            // ECHILD: it was reaped for us (SIGCHLD ignored).
            if (reaped == pid || (reaped < 0 && errno == ECHILD))
                slot.compare_exchange_strong(pid, 0);
        }
    }
}

// Without a pidfd, SIGCHLD writes a byte here and the event loop looks at the children it
// follows: the handler itself cannot tell them anything.
std::atomic<int> g_wakeWrite{-1};
int g_wakeRead = -1;
QPointer<QSocketNotifier> g_wakeNotifier;

struct sigaction g_previous {};
bool g_installed = false;

void onChildSignal(int number, siginfo_t *info, void *context) {
    const int saved = errno;
    reapReleased();
    if (const int wake = g_wakeWrite.load(); wake >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wake, &byte, 1);  // full: a wake is due
    }
    // Whoever handled SIGCHLD before still does.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) g_previous.sa_sigaction(number, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(number);
    }
    errno = saved;
}

void ensureChildHandler() {
    struct sigaction current {};
    if (::sigaction(SIGCHLD, nullptr, &current) != 0) return;
    const bool withInfo = current.sa_flags & SA_SIGINFO;
    if (withInfo && current.sa_sigaction == onChildSignal) return;
    if (!withInfo && current.sa_handler == SIG_IGN) return;  // every child is reaped as it ends
    const bool chaining = withInfo || current.sa_handler != SIG_DFL;
    // A handler put over ours is trusted to call it, as ours calls the one it replaced.
    if (g_installed && chaining) return;
    g_previous = current;
    struct sigaction mine {};
    mine.sa_sigaction = onChildSignal;
    sigemptyset(&mine.sa_mask);
    mine.sa_flags = SA_SIGINFO | SA_RESTART |
                    (chaining ? current.sa_flags & (SA_NOCLDSTOP | SA_NOCLDWAIT) : SA_NOCLDSTOP);
    if (::sigaction(SIGCHLD, &mine, nullptr) == 0) g_installed = true;
}

void release(pid_t pid) {
    const auto place = [pid] {
        for (Released *block = &g_released;;) {
            for (std::atomic<pid_t> &slot : block->pids) {
                pid_t free = 0;
                if (slot.compare_exchange_strong(free, pid)) return;
            }
            Released *next = block->next.load(std::memory_order_acquire);
            if (!next) {
                auto *fresh = new Released;
                if (block->next.compare_exchange_strong(next, fresh))
                    next = fresh;
                else
                    delete fresh;
            }
            block = next;
        }
    };
    place();
    ensureChildHandler();
    reapReleased();  // it may have ended before the handler was there
}

QSocketNotifier *wakeNotifier() {
    if (g_wakeNotifier) return g_wakeNotifier;
    if (g_wakeRead < 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
        g_wakeRead = aboveStdio(fds[0]);
        g_wakeWrite.store(aboveStdio(fds[1]));
        if (g_wakeRead < 0) return nullptr;
    }
    g_wakeNotifier =
        new QSocketNotifier(g_wakeRead, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(g_wakeNotifier, &QSocketNotifier::activated, g_wakeNotifier, [] {
        char bytes[256];
        while (::read(g_wakeRead, bytes, sizeof bytes) > 0) {
        }
    });
    return g_wakeNotifier;
}

// Reaps pid within ms; false when it is still there then.
bool reapWithin(pid_t pid, int pidfd, int ms) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
        if (reaped == pid || (reaped < 0 && errno != EINTR)) return true;
        const qint64 left = ms - clock.elapsed();
        if (left <= 0) return false;
        if (pidfd >= 0) {
            pollfd end{pidfd, POLLIN, 0};
            ::poll(&end, 1, static_cast<int>(left));
        } else {
            ::usleep(1000);  // a killed child: gone within a few of these
        }
    }
}

// ---- The child's set-up, between vfork and exec ----

// Where the set-up failed in the child, sent to norvex through a close-on-exec pipe.
enum class Stage : int { Session, Signals, Input, Output, Folder, Program };
struct SetupFailure {
    Stage stage;
    int error;
};

// Everything the child needs, made before vfork: after it, only async-signal-safe calls, and
// nothing of norvex's memory changed.
struct Plan {
    std::vector<char *> argv, envp;
    const char *folder;
    int input;   // becomes 0; -1: /dev/null does
    int output;  // becomes 1 and 2
    int report;  // the pipe's end a failure is written to
    ChildProcess::FileClosing closing;
    int fileLimit;  // for closing each number up to it
};

[[noreturn]] void fail(const Plan &plan, Stage stage) {
    const SetupFailure failure{stage, errno};
    [[maybe_unused]] const ssize_t written = ::write(plan.report, &failure, sizeof failure);
    ::_exit(127);
}

// Closes from..last but keep; false when the system cannot.
bool closeRange([[maybe_unused]] int from, [[maybe_unused]] int keep) {
#ifdef SYS_close_range
    return (keep <= from || ::syscall(SYS_close_range, from, keep - 1, 0) == 0) &&
           ::syscall(SYS_close_range, std::max(from, keep + 1), ~0U, 0) == 0;
#else
    return false;
#endif
}

// Closes the files from `from` up that /proc lists, but keep; false when there is no listing.
bool closeListed([[maybe_unused]] int from, [[maybe_unused]] int keep) {
#ifdef __linux__
    const int folder = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    // Closing a listed file does not move the listing on: it is kept in file number order.
    alignas(dirent64) char buffer[4096];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(folder);
            return n == 0;
        }
        for (long at = 0; at < n;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            int fd = 0;
            const char *c = entry->d_name;
            for (; *c >= '0' && *c <= '9' && fd < INT_MAX / 10; ++c) fd = fd * 10 + (*c - '0');
            if (*c || c == entry->d_name) continue;  // "." and ".."
            if (fd >= from && fd != keep && fd != folder) ::close(fd);
        }
    }
#else
    return false;
#endif
}

void closeFilesFrom(int from, int keep, ChildProcess::FileClosing how, int limit) {
    using FileClosing = ChildProcess::FileClosing;
    if (how == FileClosing::Fastest && closeRange(from, keep)) return;
    if (how != FileClosing::EveryNumber && closeListed(from, keep)) return;
    for (int fd = from; fd < limit; ++fd) {
        if (fd != keep) ::close(fd);
    }
}

[[noreturn]] void runChild(const Plan &plan) {
    // Ctrl+C where norvex was started, or its session ending, leaves the child alone.
    if (::setsid() < 0) fail(plan, Stage::Session);
    // norvex's handlers are gone with exec, but what it ignores would stay ignored.
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction current {};
        // SIGKILL and SIGSTOP cannot be changed, nor the C library's own (the query fails).
        if (number == SIGKILL || number == SIGSTOP || ::sigaction(number, nullptr, &current) != 0)
            continue;
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL) continue;
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        if (::sigaction(number, &defaults, nullptr) != 0) fail(plan, Stage::Signals);
    }
    const int input = plan.input >= 0 ? plan.input : ::open("/dev/null", O_RDONLY);
    if (input < 0 || (input != 0 && ::dup2(input, 0) < 0)) fail(plan, Stage::Input);
    // plan.output is 3 or above: dup2 makes copies without close-on-exec.
    if (::dup2(plan.output, 1) < 0 || ::dup2(plan.output, 2) < 0) fail(plan, Stage::Output);
    if (::chdir(plan.folder) != 0) fail(plan, Stage::Folder);
    // Whatever norvex (or a library of Qt's) opened without close-on-exec stays here.
    closeFilesFrom(3, plan.report, plan.closing, plan.fileLimit);
    sigset_t none;
    sigemptyset(&none);
    if (::sigprocmask(SIG_SETMASK, &none, nullptr) != 0) fail(plan, Stage::Signals);
    ::execve(plan.argv[0], plan.argv.data(), plan.envp.data());
    fail(plan, Stage::Program);
}

QString setupError(Stage stage, int error, const QString &folder) {
    const QString why = qt_error_string(error);
    switch (stage) {
        case Stage::Session:
            return QStringLiteral("cannot start a session of its own: %1").arg(why);
        case Stage::Signals:
            return QStringLiteral("cannot reset its signal handling: %1").arg(why);
        case Stage::Input:
            return QStringLiteral("cannot set up its input: %1").arg(why);
        case Stage::Output:
            return QStringLiteral("cannot set up its output: %1").arg(why);
        case Stage::Folder:
            return QStringLiteral("cannot start in %1: %2").arg(folder, why);
        case Stage::Program:
            break;
    }
    return why;
}

int memoryFile() {
#ifdef __linux__
    const int fd = ::memfd_create("norvex-output", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd >= 0) return aboveStdio(fd);
#endif
    return aboveStdio(::open("/dev/null", O_WRONLY | O_CLOEXEC));
}

// A file holding bytes, read from its start, sealed against change where the system can: a
// child's stdin that needs no writer and cannot block norvex, whatever the child reads or not.
int inputFile(const QByteArray &bytes) {
#ifdef __linux__
    const int fd = aboveStdio(::memfd_create("norvex-input", MFD_CLOEXEC | MFD_ALLOW_SEALING));
#else
    char name[] = "/tmp/norvex-input-XXXXXX";
    const int fd = aboveStdio(::mkstemp(name));
    if (fd >= 0) {
        ::unlink(name);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
#endif
    if (fd < 0) return -1;
    const auto failed = [fd] {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed();
        done += n;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) return failed();
#ifdef F_ADD_SEALS
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
#endif
    return fd;
}

int fileLimit() {
    rlimit limit{};
    // Past that, only a system without /proc/self/fd would leave a file open.
    constexpr rlim_t kMost = rlim_t{1} << 20;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kMost;
    return static_cast<int>(std::min(limit.rlim_cur, kMost));
}

}  // namespace

ChildProcess::ChildProcess(OnDestroy onDestroy, QObject *parent)
    : QObject(parent), m_onDestroy(onDestroy) {}

ChildProcess::~ChildProcess() {
    m_endNotifier.reset();
    m_pipeNotifier.reset();
    if (m_pid > 0 && m_onDestroy == OnDestroy::Kill) {
        kill();
        if (reapWithin(m_pid, m_pidfd, 2000)) m_pid = -1;
    }
    if (m_pid > 0) release(m_pid);
    if (m_pidfd >= 0) ::close(m_pidfd);
    closeOutput();
}

bool ChildProcess::start(const Setup &setup, QString *error) {
    Q_ASSERT(m_pid < 0 && m_output < 0);
    std::vector<QByteArray> argBytes{QFile::encodeName(setup.program)};
    for (const QString &a : setup.arguments) argBytes.push_back(a.toUtf8());
    std::vector<QByteArray> envBytes;
    for (const QString &e : setup.environment.toStringList()) envBytes.push_back(e.toUtf8());
    const QByteArray folder = QFile::encodeName(setup.folder);
    Plan plan{{}, {}, folder.constData(), -1, -1, -1, setup.closing, fileLimit()};
    for (QByteArray &b : argBytes) plan.argv.push_back(b.data());
    for (QByteArray &b : envBytes) plan.envp.push_back(b.data());
    plan.argv.push_back(nullptr);
    plan.envp.push_back(nullptr);

    // The child gets its own copy of the input at vfork; norvex's goes when start() returns.
    struct InputFile {
        int fd = -1;
        ~InputFile() {
            if (fd >= 0) ::close(fd);
        }
    } input;
    if (!setup.input.isEmpty() && (input.fd = inputFile(setup.input)) < 0) {
        *error = QStringLiteral("cannot set up its input: %1").arg(qt_error_string(errno));
        return false;
    }
    plan.input = input.fd;

    m_outputKind = setup.output;
    if (setup.output == Output::MemoryFile) {
        m_output = plan.output = memoryFile();
    } else if (int ends[2]; ::pipe2(ends, O_CLOEXEC) == 0) {
        m_output = aboveStdio(ends[0]);
        plan.output = aboveStdio(ends[1]);
    }
    const auto closeChildsOutput = [&] {
        if (setup.output == Output::Pipe && plan.output >= 0) ::close(plan.output);
    };
    if (m_output < 0 || plan.output < 0) {
        *error = QStringLiteral("cannot set up its output: %1").arg(qt_error_string(errno));
        closeChildsOutput();
        closeOutput();
        return false;
    }
    if (setup.output == Output::Pipe) ::fcntl(m_output, F_SETFL, O_NONBLOCK);
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) == 0) {
        report[0] = aboveStdio(report[0]);
        report[1] = aboveStdio(report[1]);
    }
    plan.report = report[1];
    if (report[0] < 0 || report[1] < 0) {
        *error = QStringLiteral("cannot start it: %1").arg(qt_error_string(errno));
        for (const int fd : report) {
            if (fd >= 0) ::close(fd);
        }
        closeChildsOutput();
        closeOutput();
        return false;
    }

    // vfork: norvex waits while the child, in norvex's memory, sets itself up and runs the
    // program; no copy of norvex is made, which costs milliseconds on every start. The child
    // only makes system calls and never returns from runChild. No handler of norvex's may run
    // in it before it has put the defaults back.
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t pid = ::vfork();
    if (pid == 0) runChild(plan);
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(plan.report);
    closeChildsOutput();
    SetupFailure failure{};
    ssize_t got = -1;
    if (pid > 0) {
        // The pipe closes at exec, or brings what failed before it.
        do {
            got = ::read(report[0], &failure, sizeof failure);
        } while (got < 0 && errno == EINTR);
    }
    ::close(report[0]);
    if (pid < 0 || got == sizeof failure) {
        if (pid > 0) {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        *error = pid < 0 ? QStringLiteral("cannot start it: %1").arg(qt_error_string(forkError))
                         : setupError(failure.stage, failure.error, setup.folder);
        closeOutput();
        return false;
    }
    m_pid = pid;
    watchEnd();
    return true;
}

void ChildProcess::watchEnd() {
    if (!QAbstractEventDispatcher::instance(thread())) return;  // no event loop to watch from
    if (m_outputKind == Output::Pipe) {
        m_pipeNotifier = std::make_unique<QSocketNotifier>(m_output, QSocketNotifier::Read);
        connect(m_pipeNotifier.get(), &QSocketNotifier::activated, this, [this] { readPipe(); });
    }
#ifdef SYS_pidfd_open
    if (g_pidfdAllowed.load())
        m_pidfd = aboveStdio(static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0)));
    if (m_pidfd >= 0) {
        m_endNotifier = std::make_unique<QSocketNotifier>(m_pidfd, QSocketNotifier::Read);
        connect(m_endNotifier.get(), &QSocketNotifier::activated, this, [this] { checkEnded(); });
        return;
    }
#endif
    if (QSocketNotifier *wake = wakeNotifier())
        connect(wake, &QSocketNotifier::activated, this, [this] { checkEnded(); });
    ensureChildHandler();
    // An end that came before the handler was there.
    QMetaObject::invokeMethod(
        this, [this] { checkEnded(); }, Qt::QueuedConnection);
}

void ChildProcess::checkEnded() {
    if (m_pid <= 0) return;
    int status = 0;
    pid_t reaped;
    do {
        reaped = ::waitpid(m_pid, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) return;  // another child ended
    ended(reaped == m_pid ? status : kStatusLost);
}

void ChildProcess::ended(int status) {
    m_pid = -1;
    if (m_endNotifier) m_endNotifier->setEnabled(false);
    if (g_wakeNotifier) disconnect(g_wakeNotifier, nullptr, this, nullptr);
    if (m_outputKind == Output::Pipe) readPipe();  // what it wrote before it ended
    // From a turn of its own, so that the callback may destroy this object.
    QMetaObject::invokeMethod(
        this,
        [this, status] {
            if (const Finished finished = std::exchange(m_finished, nullptr)) finished(status);
        },
        Qt::QueuedConnection);
}

void ChildProcess::readPipe() {
    if (m_outputKind != Output::Pipe || m_output < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_output, buffer, sizeof buffer);
        if (n > 0) {
            m_piped.append(buffer, std::min<qsizetype>(n, kMaxOutput - m_piped.size()));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        closeOutput();  // its end: nothing more comes
        return;
    }
}

QByteArray ChildProcess::output() const {
    if (m_outputKind == Output::Pipe) return m_piped;
    if (m_output < 0) return {};
    QByteArray bytes(kMaxOutput, Qt::Uninitialized);
    const ssize_t n = ::pread(m_output, bytes.data(), bytes.size(), 0);
    bytes.resize(std::max<ssize_t>(n, 0));
    return bytes;
}

void ChildProcess::kill() {
    if (m_pid <= 0) return;
    if (::kill(-m_pid, SIGKILL) != 0) ::kill(m_pid, SIGKILL);
}

void ChildProcess::closeOutput() {
    if (m_pipeNotifier) m_pipeNotifier->setEnabled(false);
    if (m_output < 0) return;
#ifdef F_ADD_SEALS
    // A memory file nobody reads any more stops growing: later writes fail, harmlessly.
    if (m_outputKind == Output::MemoryFile) ::fcntl(m_output, F_ADD_SEALS, F_SEAL_GROW);
#endif
    ::close(m_output);
    m_output = -1;
}

void ChildProcess::keepExitStatuses() {
    struct sigaction current {};
    if (::sigaction(SIGCHLD, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_IGN) {
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        sigemptyset(&defaults.sa_mask);
        ::sigaction(SIGCHLD, &defaults, nullptr);
    }
}

void ChildProcess::setPidfdAllowed(bool allowed) { g_pidfdAllowed.store(allowed); }
