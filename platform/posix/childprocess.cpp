#include "platform/posix/childprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <atomic>
#include <cerrno>
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

int openPidfd([[maybe_unused]] pid_t pid) {
#ifdef SYS_pidfd_open
    if (g_pidfdAllowed.load())
        return aboveStdio(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#endif
    return -1;
}

// Waits for pid's end on its pidfd, blocking for at most ms, and reaps it; false when it is
// still there then.
bool reapWithin(pid_t pid, int pidfd, int ms) {
    const QDeadlineTimer deadline(ms);
    pollfd end{pidfd, POLLIN, 0};
    while (::poll(&end, 1, static_cast<int>(deadline.remainingTime())) < 0 && errno == EINTR) {
    }
    const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
    return reaped == pid || (reaped < 0 && errno == ECHILD);
}

// ---- Starting ----

// posix_spawn does the child's side: a session of its own, every signal back to its default and
// none blocked, stdin from its input file or /dev/null, stdout and stderr to output, the start folder, and every
// other file closed. Where the C library lacks a part (glibc before 2.29 has no addchdir_np,
// before 2.34 no addclosefrom_np; musl and some BSDs have no closefrom action), CMake's feature
// tests leave it out, and:
// - without POSIX_SPAWN_SETSID the child leads only a process group of its own, which still
//   keeps Ctrl+C where norvex was started away from it, and kill() still reaches what it starts;
// - without addclosefrom_np it inherits what is open without close-on-exec: norvex and Qt open
//   every file close-on-exec, so only a file some other library opened that way would go along;
// - without addchdir (or addchdir_np) no folder but norvex's own current one can be given: any
//   other is refused, since changing norvex's folder for a moment would race with its threads.
struct SpawnPlan {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;

    SpawnPlan() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnPlan() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnPlan(const SpawnPlan &) = delete;
    SpawnPlan &operator=(const SpawnPlan &) = delete;

    // 0, or the error that stopped it. input: -1 for /dev/null.
    int make(int input, int output, [[maybe_unused]] const char *folder) {
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
#ifdef POSIX_SPAWN_SETSID
        const int session = POSIX_SPAWN_SETSID;
#else
        const int session = POSIX_SPAWN_SETPGROUP;  // group 0: the child's own pid
#endif
        const int steps[] = {
            posix_spawnattr_setflags(
                &attributes,
                static_cast<short>(session | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK)),
            posix_spawnattr_setsigdefault(&attributes, &all),
            posix_spawnattr_setsigmask(&attributes, &none),
            // input and output are 3 or above: their copies lose close-on-exec.
            input >= 0 ? posix_spawn_file_actions_adddup2(&actions, input, 0)
                       : posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0),
            posix_spawn_file_actions_adddup2(&actions, output, 1),
            posix_spawn_file_actions_adddup2(&actions, output, 2),
#ifdef NORVEX_SPAWN_ADDCHDIR
            NORVEX_SPAWN_ADDCHDIR(&actions, folder),
#endif
#ifdef NORVEX_SPAWN_CLOSEFROM
            posix_spawn_file_actions_addclosefrom_np(&actions, 3),
#endif
        };
        const auto failed =
            std::find_if(std::begin(steps), std::end(steps), [](int e) { return e; });
        return failed == std::end(steps) ? 0 : *failed;
    }
};

// Whether the child can start in folder; posix_spawn gives only an error number, and this tells
// a folder it could not enter from a program that could not run. As chdir, "/." fails for a file
// and "" for want of a name.
bool canEnter(const QByteArray &folder) {
    const QByteArray path = folder.isEmpty() ? folder : folder + "/.";
    return ::faccessat(AT_FDCWD, path.constData(), X_OK, AT_EACCESS) == 0;
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

// A file of norvex's closed when it goes out of scope.
struct OwnFile {
    int fd = -1;
    ~OwnFile() {
        if (fd >= 0) ::close(fd);
    }
};

int memoryFile() {
#ifdef __linux__
    const int fd = ::memfd_create("norvex-output", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd >= 0) return aboveStdio(fd);
#endif
    return aboveStdio(::open("/dev/null", O_WRONLY | O_CLOEXEC));
}

}  // namespace

ChildProcess::ChildProcess(OnDestroy onDestroy, QObject *parent)
    : QObject(parent), m_onDestroy(onDestroy) {}

ChildProcess::~ChildProcess() {
    m_endNotifier.reset();
    m_pipeNotifier.reset();
    if (m_pid > 0 && m_onDestroy == OnDestroy::Kill) {
        kill();
        // Without a pidfd its end cannot be waited for here without polling: the SIGCHLD
        // handler reaps it.
        if (m_pidfd >= 0 && reapWithin(m_pid, m_pidfd, 2000)) m_pid = -1;
    }
    if (m_pid > 0) release(m_pid);
    if (m_pidfd >= 0) ::close(m_pidfd);
    closeOutput();
}

bool ChildProcess::start(const Setup &setup, QString *error) {
    Q_ASSERT(m_pid < 0 && m_output < 0);
    const QByteArray program = QFile::encodeName(setup.program);
    const QByteArray folder = QFile::encodeName(setup.folder);
    const auto folderError = [&](int number) {
        return QStringLiteral("cannot start in %1: %2").arg(setup.folder, qt_error_string(number));
    };
#ifndef NORVEX_SPAWN_ADDCHDIR
    if (!canEnter(folder)) {
        *error = folderError(errno);
        return false;
    }
    if (QDir(setup.folder) != QDir::current()) {
        *error = QStringLiteral(
                     "cannot start in %1: this system starts programs only in "
                     "norvex's own folder, %2")
                     .arg(setup.folder, QDir::currentPath());
        return false;
    }
#endif
    std::vector<QByteArray> argBytes{program};
    for (const QString &a : setup.arguments) argBytes.push_back(a.toUtf8());
    std::vector<QByteArray> envBytes;
    for (const QString &e : setup.environment.toStringList()) envBytes.push_back(e.toUtf8());
    std::vector<char *> argv, envp;
    for (QByteArray &b : argBytes) argv.push_back(b.data());
    for (QByteArray &b : envBytes) envp.push_back(b.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    // The child reads its own copy; norvex's goes when start() returns.
    OwnFile input;
    if (!setup.input.isEmpty() && (input.fd = inputFile(setup.input)) < 0) {
        *error = QStringLiteral("cannot set up its input: %1").arg(qt_error_string(errno));
        return false;
    }

    m_outputKind = setup.output;
    int childsOutput = -1;
    if (setup.output == Output::MemoryFile) {
        m_output = childsOutput = memoryFile();
    } else if (int ends[2]; ::pipe2(ends, O_CLOEXEC) == 0) {
        m_output = aboveStdio(ends[0]);
        childsOutput = aboveStdio(ends[1]);
    }
    const auto closeChildsOutput = [&] {
        if (setup.output == Output::Pipe && childsOutput >= 0) ::close(childsOutput);
    };
    if (m_output < 0 || childsOutput < 0) {
        *error = QStringLiteral("cannot set up its output: %1").arg(qt_error_string(errno));
        closeChildsOutput();
        closeOutput();
        return false;
    }
    if (setup.output == Output::Pipe) ::fcntl(m_output, F_SETFL, O_NONBLOCK);

    SpawnPlan plan;
    pid_t pid = -1;
    int failure = plan.make(input.fd, childsOutput, folder.constData());
    if (failure == 0)
        failure = ::posix_spawn(&pid, program.constData(), &plan.actions, &plan.attributes,
                                argv.data(), envp.data());
    closeChildsOutput();
    if (failure != 0) {
        *error = canEnter(folder) ? qt_error_string(failure) : folderError(failure);
        closeOutput();
        return false;
    }
    m_pid = pid;
    m_pidfd = openPidfd(pid);
    watchEnd();
    return true;
}

void ChildProcess::watchEnd() {
    if (!QAbstractEventDispatcher::instance(thread())) return;  // no event loop to watch from
    if (m_outputKind == Output::Pipe) {
        m_pipeNotifier = std::make_unique<QSocketNotifier>(m_output, QSocketNotifier::Read);
        connect(m_pipeNotifier.get(), &QSocketNotifier::activated, this, [this] { readPipe(); });
    }
    if (m_pidfd >= 0) {
        m_endNotifier = std::make_unique<QSocketNotifier>(m_pidfd, QSocketNotifier::Read);
        connect(m_endNotifier.get(), &QSocketNotifier::activated, this, [this] { checkEnded(); });
        return;
    }
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
    // Not reaped yet, so its pid is still its process group's, whatever became of it.
    if (m_pid > 0) ::kill(-m_pid, SIGKILL);
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
