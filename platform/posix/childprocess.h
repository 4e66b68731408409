#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QSocketNotifier;

// A program norvex starts, and the one way it starts any: in a session of its own, in the given
// folder, with default signal handling and no signal blocked, stdin reading the input given (or /dev/null), stdout and
// stderr to its output, no other file of norvex's open, exactly the environment given, and the
// arguments as words no shell reads. posix_spawn sets the child up, so no code of norvex's runs
// in it; where a C library lacks a part of that, childprocess.cpp says what becomes of it.
// Whatever fails on the way, start() says. Its end is seen from the event loop (through a
// pidfd, or SIGCHLD where there is none), never polled; a child left running is reaped from the
// SIGCHLD handler when it ends, event loop or not, and no thread ever waits for one.
class ChildProcess : public QObject {
public:
    enum class Output {
        MemoryFile,  // kept aside; output() reads back its beginning (what a terminal said)
        Pipe,        // read from the event loop as it comes
    };
    // What becomes of a child still running when this object goes.
    enum class OnDestroy {
        // Killed with its process group; reaped before the destructor returns when a pidfd
        // shows its end within 2 s, else by the SIGCHLD handler when it comes.
        Kill,
        LeaveRunning  // never stopped; reaped when it ends
    };

    struct Setup {
        QString program;  // an absolute path: nothing is looked for on PATH here
        QStringList arguments;
        QProcessEnvironment environment;
        QString folder;  // where it starts
        Output output = Output::Pipe;
        QByteArray input = {};  // what its stdin reads, written before it starts; empty: /dev/null
    };

    // How it ended, as waitpid says; kStatusLost when it was reaped elsewhere (SIGCHLD ignored).
    using Finished = std::function<void(int status)>;
    static constexpr int kStatusLost = -1;

    explicit ChildProcess(OnDestroy onDestroy, QObject *parent = nullptr);
    ~ChildProcess() override;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts the program (once). False when it could not be started, with *error saying what
    // failed, in a few words ("cannot start in /x: No such file or directory").
    bool start(const Setup &setup, QString *error);
    // Called once when the child has ended, from the event loop (never from within start());
    // it may destroy this object.
    void onFinished(Finished finished) { m_finished = std::move(finished); }
    // What it has written so far (at most kMaxOutput bytes).
    QByteArray output() const;
    static constexpr qsizetype kMaxOutput = 64 * 1024;
    // Kills it, and whatever it started in its process group.
    void kill();

    // An ignored SIGCHLD survives exec and has every child reaped as it ends, its status lost:
    // put the default back.
    static void keepExitStatuses();
    // For tests: children started from now on are watched without a pidfd, as on systems
    // without one.
    static void setPidfdAllowed(bool allowed);

private:
    void watchEnd();
    void checkEnded();
    void ended(int status);
    void readPipe();
    void closeOutput();

    OnDestroy m_onDestroy;
    pid_t m_pid = -1;  // until it has been reaped
    int m_pidfd = -1;
    int m_output = -1;  // the memory file, or the pipe's end we read
    Output m_outputKind = Output::Pipe;
    QByteArray m_piped;
    Finished m_finished;
    std::unique_ptr<QSocketNotifier> m_endNotifier;
    std::unique_ptr<QSocketNotifier> m_pipeNotifier;
};
