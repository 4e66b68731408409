// Renders the main window for a list file into a PNG, for the README's pictures. With "--check"
// first, the window checks every host with the system's own way of checking (scripts/screenshot.sh
// puts a stand-in ping first on PATH, so nothing leaves the machine) and is drawn once all have
// answered or not.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "panel/form1.h"
#include "platform/filereader.h"
#include "platform/hostcheck.h"
#include "platform/processlauncher.h"

namespace {
class NoLauncher : public ProcessLauncher {
public:
    void start(const Host &) override {}
};

bool checked(const Form1 &form) {
    const int rows = std::max<int>(1, static_cast<int>(form.list().rows.size()));
    for (int n = 1; n <= rows; ++n) {
        if (!form.markOf(n) || form.markOf(n)->look() == CheckMark::Look::Checking) return false;
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
    Form1 form(files, launcher, QString::fromLocal8Bit(argv[argc - 2]), checker.get());
    form.show();
    QApplication::processEvents();
    if (check) {
        form.checkAll();
        QElapsedTimer clock;
        clock.start();
        while (!checked(form) && clock.elapsed() < 15000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!checked(form)) return 1;
    }
    return form.grab().save(QString::fromLocal8Bit(argv[argc - 1])) ? 0 : 1;
}
