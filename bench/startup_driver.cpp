// Start-up, memory and click measurements, run by bench/run.sh.
//   startup_driver norvex FILE    load FILE into the real window; exit at its first paint
//   startup_driver baseline       one bare window with one button; exit at its first paint
//   startup_driver clicks FILE N  N clicks on row 1 with a fake terminal; print click times
//   startup_driver check FILE [RUNS]
//                                 check every host with the system's checker (fping or ping, as
//                                 PATH has them; on Windows the IP Helper API, which
//                                 bench/run-wine.sh runs under Wine in a network namespace); print
//                                 how long it took, the event loop's longest pause meanwhile, the
//                                 CPU time it and its programs took, and how many processes it
//                                 started (on Windows -1 for both), one line per run
//   startup_driver watch FILE S [board]
//                                 keep checking, with the 5 s pause, for S seconds; print the
//                                 runs, the CPU time of norvex and its programs, and how many
//                                 processes it started; with board, the history board is open
//                                 (its first line selected, so its graph is drawn too)
//   startup_driver sweep HOSTS    one sweep of the system's checker over every host of the
//                                 file HOSTS (one a line), without a window, which shows 88 rows
//                                 at most; print as check does, and how the hosts answered
// Processes started are counted where the driver is the first process of a PID namespace of its
// own (run.py starts it so as root): -1 elsewhere.
// It exits with _Exit right after the first paint, so teardown is not measured. On Windows only
// the start-up cases and the check are built.
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "panel/historyboard.h"
#include "panel/mainwindow.h"
#include "platform/filereader.h"
#include "platform/hostcheck.h"
#include "platform/processlauncher.h"
#ifndef _WIN32
#include "platform/posix/terminallauncher.h"
#endif

namespace {

// Ends the process once the first paint is done: the exit is queued behind the paint in progress.
class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

#ifndef _WIN32
int clicks(const char *file, int count) {
    QTemporaryDir dir;
    const QString terminal = dir.filePath(QStringLiteral("xdg-terminal-exec"));
    QFile script(terminal);
    if (!script.open(QIODevice::WriteOnly)) return 1;
    script.write("#!/bin/sh\nexit 0\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), dir.path());
    RealFileReader files;
    TerminalLauncher launcher(env);
    MainWindow window(files, launcher, QString::fromLocal8Bit(file));
    window.show();
    QApplication::processEvents();
    std::vector<double> ms;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer one;
        one.start();
        window.startPing(1);
        ms.push_back(one.nsecsElapsed() / 1e6);
        QApplication::processEvents();  // the window keeps being served between clicks
    }
    const double total = all.nsecsElapsed() / 1e6;
    std::sort(ms.begin(), ms.end());
    std::printf("clicks %d median_ms %.3f max_ms %.3f total_ms %.1f\n", count, ms[ms.size() / 2],
                ms.back(), total);
    return 0;
}

#endif

// CPU time of this process and of the children it has waited for, in ms; -1 on Windows.
double cpuMs() {
#ifdef _WIN32
    return -1;
#else
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(self.ru_utime) + ms(self.ru_stime) + ms(children.ru_utime) + ms(children.ru_stime);
#endif
}

// The last process (or thread) number handed out in this PID namespace: what has been started
// since is the difference. -1 unless the driver is the namespace's first process.
long lastPid() {
#ifdef _WIN32
    return -1;
#else
    QFile last(QStringLiteral("/proc/sys/kernel/ns_last_pid"));
    if (getpid() != 1 || !last.open(QIODevice::ReadOnly)) return -1;
    return last.readAll().trimmed().toLong();
#endif
}

// The system's checker, counting the sweeps (runs) it is asked for.
class CountingChecker : public HostChecker {
public:
    std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) override {
        ++sweeps;
        return m_system->sweep(std::move(targets), std::move(each));
    }
    int sweeps = 0;

private:
    std::unique_ptr<HostChecker> m_system = makeSystemHostChecker();
};

#ifndef _WIN32
int watch(const char *file, int seconds, bool withBoard) {
    RealFileReader files;
    const auto launcher = makeSystemLauncher();
    CountingChecker checker;
    MainWindow window(files, *launcher, QString::fromLocal8Bit(file), &checker);
    window.show();
    if (withBoard) {
        window.showHistory();
        QTableView *table = window.historyBoard()->table();
        table->setCurrentIndex(table->model()->index(0, 0));
    }
    QApplication::processEvents();
    const double cpuBefore = cpuMs();
    const long pidBefore = lastPid();
    QElapsedTimer clock;
    clock.start();
    window.setKeepCheckingPause(5000);
    window.keepCheckingAction()->setChecked(true);
    QTimer::singleShot(seconds * 1000, [] { QApplication::quit(); });
    QApplication::exec();
    const double cpu = cpuMs() - cpuBefore;
    const long started = pidBefore < 0 ? -1 : lastPid() - pidBefore;
    std::printf("wall_ms %lld runs %d cpu_ms %.1f cpu_share_pct %.3f started %ld\n",
                static_cast<long long>(clock.elapsed()), checker.sweeps, cpu,
                100 * cpu / clock.elapsed(), started);
    return 0;
}

int sweepHosts(const char *file) {
    QFile list(QString::fromLocal8Bit(file));
    if (!list.open(QIODevice::ReadOnly)) return 1;
    std::vector<CheckTarget> targets;
    for (const QByteArray &line : list.readAll().split('\n')) {
        if (!line.isEmpty()) targets.push_back({QString::fromUtf8(line), 0});
    }
    const auto checker = makeSystemHostChecker();
    const double cpuBefore = cpuMs();
    const long pidBefore = lastPid();
    QElapsedTimer clock;
    clock.start();
    std::size_t left = targets.size();
    int states[3] = {};
    const auto pending = checker->sweep(targets, [&](std::size_t, const CheckResult &result) {
        --left;
        ++states[static_cast<int>(result.state)];
    });
    while (left && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (left) return 1;
    const qint64 took = clock.elapsed();
    QApplication::processEvents();
    std::printf("sweep_ms %lld cpu_ms %.1f started %ld answered %d no_answer %d could_not %d\n",
                static_cast<long long>(took), cpuMs() - cpuBefore,
                pidBefore < 0 ? -1 : lastPid() - pidBefore, states[0], states[1], states[2]);
    return 0;
}

#endif

// From the moment the window is asked to check all hosts (what F5 does) until every row has its
// mark.
int checkOnce(const char *file) {
    RealFileReader files;
    const auto launcher = makeSystemLauncher();
    CountingChecker checker;
    MainWindow window(files, *launcher, QString::fromLocal8Bit(file), &checker);
    window.show();
    QApplication::processEvents();
    const int rows = static_cast<int>(window.rows().size());
    const auto done = [&] {
        for (int n = 1; n <= rows; ++n) {
            if (!window.markOf(n) || window.markOf(n)->look() == CheckMark::Look::Checking)
                return false;
        }
        return true;
    };
    // The longest the event loop went without serving a timer that wants to run every 5 ms.
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    const double cpuBefore = cpuMs();
    const long pidBefore = lastPid();
    QElapsedTimer clock;
    clock.start();
    window.checkAll();
    sinceTick.start();
    tick.start(5);
    while (!done() && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!done()) return 1;
    const qint64 took = clock.elapsed();
    // The run's programs have been waited for once the window has heard from them all.
    QApplication::processEvents();
    int answered = 0;
    for (int n = 1; n <= rows; ++n)
        answered += window.markOf(n)->look() == CheckMark::Look::Answered;
    std::printf("check_ms %lld max_stall_ms %lld cpu_ms %.1f started %ld rows %d answered %d\n",
                static_cast<long long>(took), static_cast<long long>(longest), cpuMs() - cpuBefore,
                pidBefore < 0 ? -1 : lastPid() - pidBefore, rows, answered);
    return 0;
}

int check(const char *file, int runs) {
    for (int run = 0; run < runs; ++run) {
        if (const int status = checkOnce(file)) return status;
        std::fflush(stdout);
    }
    return 0;
}

#ifndef _WIN32
// Three ping windows open, then the window left alone for seconds: what wakes it up is counted
// from outside (bench/run.sh runs it under strace). The terminal runs the window's command; the
// ping in it is a stand-in that waits.
int idle(const char *file, int seconds) {
    QTemporaryDir dir;
    const auto write = [&](const char *name, const char *body) {
        QFile script(dir.filePath(QString::fromLatin1(name)));
        if (!script.open(QIODevice::WriteOnly)) return false;
        script.write(body);
        script.close();
        return script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    };
    // The stand-in pings end a little after the run, by themselves.
    const QByteArray ping = "#!/bin/sh\nexec /bin/sleep " + QByteArray::number(seconds + 3) + "\n";
    if (!write("xterm", "#!/bin/sh\nwhile [ \"$1\" != -e ]; do shift; done; shift; exec \"$@\"\n") ||
        !write("ping", ping.constData()))
        return 1;
    QFile::link(QStringLiteral("/bin/sh"), dir.filePath(QStringLiteral("sh")));
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), dir.path());
    RealFileReader files;
    TerminalLauncher launcher(env);
    MainWindow window(files, launcher, QString::fromLocal8Bit(file));
    window.show();
    for (int row = 1; row <= 3; ++row) window.startPing(row);
    std::printf("pid %lld: three ping windows open\n", QCoreApplication::applicationPid());
    std::fflush(stdout);
    QTimer::singleShot(seconds * 1000, [] { QApplication::quit(); });
    return QApplication::exec();
}
#endif

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (std::strcmp(argv[1], "check") == 0 && (argc == 3 || argc == 4))
        return check(argv[2], argc == 4 ? std::atoi(argv[3]) : 1);
#ifndef _WIN32
    if (std::strcmp(argv[1], "clicks") == 0 && argc == 4)
        return clicks(argv[2], std::atoi(argv[3]));
    if (std::strcmp(argv[1], "watch") == 0 && (argc == 4 || argc == 5))
        return watch(argv[2], std::atoi(argv[3]), argc == 5 && std::strcmp(argv[4], "board") == 0);
    if (std::strcmp(argv[1], "sweep") == 0 && argc == 3) return sweepHosts(argv[2]);
    if (std::strcmp(argv[1], "idle") == 0 && argc == 4) return idle(argv[2], std::atoi(argv[3]));
#endif

    FirstPaint watcher;
    QWidget *window = nullptr;
    RealFileReader files;
    const auto launcher = makeSystemLauncher();
    if (std::strcmp(argv[1], "norvex") == 0 && argc == 3) {
        window = new MainWindow(files, *launcher, QString::fromLocal8Bit(argv[2]));
    } else if (std::strcmp(argv[1], "baseline") == 0) {
        window = new QWidget;
        auto *layout = new QVBoxLayout(window);
        layout->addWidget(new QPushButton(QStringLiteral("127.0.0.1")));
    } else {
        return 2;
    }
    // The window's own area is covered by its children: watch paints anywhere in the program.
    QApplication::instance()->installEventFilter(&watcher);
    window->show();
    return QApplication::exec();
}
