// Renders the main window for a list file into a PNG, for the README's pictures. With "--check"
// first, the window checks every host with the system's own way of checking (scripts/screenshot.sh
// puts a stand-in fping first on PATH, so nothing leaves the machine) and is drawn once all have
// answered or not.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "panel/mainwindow.h"
#include "platform/filereader.h"
#include "platform/hostcheck.h"
#include "platform/processlauncher.h"

namespace {
class NoLauncher : public ProcessLauncher {
public:
    void start(const Host &) override {}
    void startTraceRoute(const Host &) override {}
};

bool checked(const MainWindow &window) {
    const int rows = std::max<int>(1, static_cast<int>(window.rows().size()));
    for (int n = 1; n <= rows; ++n) {
        if (!window.markOf(n) || window.markOf(n)->look() == CheckMark::Look::Checking) return false;
    }
    return true;
}
}  // namespace

int main(int argc, char **argv) {
    const bool check = argc == 4 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 3 && !check) {
        std::fprintf(stderr, "usage: norvex-screenshot [--check] LISTFILE OUT.png\n");
        return 2;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    RealFileReader files;
    NoLauncher launcher;
    const auto checker = makeSystemHostChecker();
    MainWindow window(files, launcher, QString::fromLocal8Bit(argv[argc - 2]), checker.get());
    window.show();
    QApplication::processEvents();
    if (check) {
        window.checkAll();
        QElapsedTimer clock;
        clock.start();
        while (!checked(window) && clock.elapsed() < 15000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!checked(window)) return 1;
    }
    return window.grab().save(QString::fromLocal8Bit(argv[argc - 1])) ? 0 : 1;
}
