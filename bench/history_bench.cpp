// The history board's figures, run by bench/run.sh, headless: each printed as "name value".
//   open_1h_ms      opening the board over 86 rows of an hour each (720 results at 5 s), until
//                   its table's first paint; median and slowest of the runs
//   open_24h_ms     the same over a day each (17,280 results at 5 s, most of them summarised)
//   update_ms       one run's 86 results recorded and shown (the lines repainted, sorted by loss,
//                   the graph redrawn), on the board over a day; median and slowest
//   update_cpu_ms   the same in processor time of the program's threads, which a loaded machine
//                   does not inflate as it does the wall time
//   memory_bytes    what 86 hosts hold after a day at 5 s, counted from the containers'
//                   capacities, and what the C library handed out for it (glibc's mallinfo2)
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "history/sessionhistory.h"
#include "panel/historyboard.h"
#include "panel/historymodel.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Read as the system's clock is: the moment in ms, the local time only at the session's start.
class BenchClock : public WallClock {
public:
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(ms); }
    qint64 msecsSinceEpoch() const override { return ms; }
    qint64 ms = QDateTime::currentMSecsSinceEpoch();
};

// Counts the paints of a widget.
class Paints : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

const int kRows = 86;

const QString &addressOf(int row) {
    static const std::vector<QString> addresses = [] {
        std::vector<QString> all;
        for (int row = 0; row < kRows; ++row)
            all.push_back(QStringLiteral("127.0.%1.%2").arg(row / 250).arg(row % 250 + 1));
        return all;
    }();
    return addresses[row];
}

// One run: every host answers, but every 13th host loses every 4th reply.
void recordRun(SessionHistory &history, int run) {
    for (int row = 0; row < kRows; ++row) {
        const bool lost = row % 13 == 0 && run % 4 == 0;
        history.record(
            addressOf(row),
            lost ? CheckResult{CheckResult::State::NoAnswer, -1, "no reply"}
                 : CheckResult{
                       CheckResult::State::Answered, 0.1 + (row % 7) * 0.3 + (run % 5) * 0.05, {}});
    }
}

struct Session {
    explicit Session(int runs) {
        std::vector<Host> rows;
        for (int row = 0; row < kRows; ++row)
            rows.push_back({QStringLiteral("host %1").arg(row + 1), addressOf(row)});
        history.setRows(std::move(rows));
        for (int run = 0; run < runs; ++run) {
            recordRun(history, run);
            clock.ms += 5000;
        }
    }
    BenchClock clock;
    SessionHistory history{clock};
};

double processMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void runUntilPainted(const Paints &paints, int before) {
    while (paints.count == before) QApplication::processEvents(QEventLoop::AllEvents);
}

void report(const char *name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s_median %.3f %s_max %.3f\n", name, ms[ms.size() / 2], name, ms.back());
}

std::vector<double> openings(Session &session, int times) {
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        QElapsedTimer clock;
        clock.start();
        HistoryBoard board(session.history, QStringLiteral("bench"));
        board.resize(1280, 800);  // as on a real screen: the offscreen one is 800 pixels wide
        Paints paints;
        board.table()->viewport()->installEventFilter(&paints);
        board.show();
        runUntilPainted(paints, 0);
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return ms;
}

}  // namespace

int main(int argc, char **argv) {
    const int times = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QApplication app(argc, argv);

#ifdef __GLIBC__
    const size_t heapBefore = mallinfo2().uordblks;
#endif
    QElapsedTimer filling;
    filling.start();
    Session day(24 * 3600 / 5);
    const double fillMs = filling.nsecsElapsed() / 1e6;
#ifdef __GLIBC__
    const size_t heapBytes = mallinfo2().uordblks - heapBefore;
#else
    const size_t heapBytes = 0;
#endif
    std::printf("memory_bytes %zu heap_bytes %zu fill_ms %.0f\n", day.history.bytesHeld(),
                heapBytes, fillMs);

    Session hour(3600 / 5);
    report("open_1h_ms", openings(hour, times));
    report("open_24h_ms", openings(day, times));

    // Runs on the open board over a day, sorted worst loss first, the first line's graph shown.
    HistoryBoard board(day.history, QStringLiteral("bench"));
    board.resize(1280, 800);
    Paints paints;
    board.table()->viewport()->installEventFilter(&paints);
    board.show();
    runUntilPainted(paints, 0);
    board.table()->sortByColumn(HistoryModel::Loss, Qt::DescendingOrder);
    QApplication::processEvents();
    std::vector<double> updates;
    std::vector<double> cpu;
    for (int run = 0; run < std::max(times, 50); ++run) {
        day.clock.ms += 5000;
        const int before = paints.count;
        const double cpuBefore = processMs();
        QElapsedTimer clock;
        clock.start();
        recordRun(day.history, 24 * 3600 / 5 + run);
        runUntilPainted(paints, before);
        QApplication::processEvents();  // whatever else the run queued: the graph's redraw
        updates.push_back(clock.nsecsElapsed() / 1e6);
        cpu.push_back(processMs() - cpuBefore);
    }
    report("update_ms", updates);
    report("update_cpu_ms", cpu);
    return 0;
}
