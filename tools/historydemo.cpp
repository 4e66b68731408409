// Opens the history board over a made-up session of six hours, for a look at it or its picture:
//   norvex-history-demo            the board, live: one more run of results every second
//   norvex-history-demo OUT.png    draws the board once into OUT.png and exits
// Nothing is checked and nothing is sent: every result is made up here, from a fixed seed.
#include <QApplication>
#include <QTableView>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <random>

#include "history/sessionhistory.h"
#include "panel/historyboard.h"

namespace {

// The session's time, moved on by hand: a working morning, the same in every picture.
class DemoClock : public WallClock {
public:
    QDateTime now() const override { return at; }
    QDateTime at{QDate(2026, 12, 7), QTime(6, 30)};
};

using State = CheckResult::State;

// One run: every host's result, each in its own way.
void recordRun(SessionHistory &history, std::mt19937 &random, int run) {
    std::uniform_real_distribution<double> share(0, 1);
    std::normal_distribution<double> noise(0, 1);
    const auto answer = [&](double ms, double spread) {
        return CheckResult{State::Answered, std::max(0.02, ms + spread * noise(random)), {}};
    };
    const CheckResult lost{State::NoAnswer, -1, QStringLiteral("no reply within 1 s")};
    const bool lunch = run > 2400 && run < 2640;  // the office switch restarted: 20 minutes
    history.record(QStringLiteral("127.0.0.1"), answer(0.05, 0.01));
    history.record(QStringLiteral("127.0.0.2"), share(random) < 0.01 ? lost : answer(0.6, 0.15));
    if (!lunch) {
        history.record(QStringLiteral("127.0.0.3"),
                       share(random) < 0.04 ? lost : answer(18 + 6 * std::sin(run / 90.0), 2));
        history.record(QStringLiteral("127.0.0.4"), run > 3600 ? lost : answer(3, 0.8));
    }
    history.record(QStringLiteral("127.0.0.5"), share(random) < 0.1 ? lost : answer(240, 40));
    history.record(QStringLiteral("printer.example"),
                   {State::CouldNotCheck, -1, QStringLiteral("unknown name")});
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: norvex-history-demo [OUT.png]\n");
        return 2;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    DemoClock clock;
    SessionHistory history(clock);
    history.setRows({{QStringLiteral("This computer"), QStringLiteral("127.0.0.1")},
                     {QStringLiteral("Gateway"), QStringLiteral("127.0.0.2")},
                     {QStringLiteral("Branch office, VPN"), QStringLiteral("127.0.0.3")},
                     {QStringLiteral("File server"), QStringLiteral("127.0.0.4")},
                     {QStringLiteral("Satellite link"), QStringLiteral("127.0.0.5")},
                     {QStringLiteral("Old printer"), QStringLiteral("printer.example")},
                     {QStringLiteral("Not checked"), QStringLiteral("-w 500")}});
    std::mt19937 random(2026);
    int run = 0;
    for (; run < 6 * 3600 / 5; ++run) {
        recordRun(history, random, run);
        clock.at = clock.at.addMSecs(5000 + run % 7 * 40);
    }
    HistoryBoard board(history, QStringLiteral("norvex: history of demo.nvx"));
    board.resize(1280, 700);  // whatever the screen: the offscreen one is 800 pixels wide
    board.show();
    board.table()->selectRow(2);  // a link with losses and a pause in checking
    QApplication::processEvents();
    if (argc == 2) return board.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    QTimer more;
    QObject::connect(&more, &QTimer::timeout, [&] {
        recordRun(history, random, run++);
        clock.at = clock.at.addMSecs(5000);
    });
    more.start(1000);
    return app.exec();
}
