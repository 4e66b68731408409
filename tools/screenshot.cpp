// Renders the main window for a list file into a PNG, for the README's picture.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "panel/form1.h"
#include "platform/filereader.h"
#include "platform/processlauncher.h"

namespace {
class NoLauncher : public ProcessLauncher {
public:
    void start(const Host &) override {}
};
}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: norvex-screenshot LISTFILE OUT.png\n");
        return 2;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    RealFileReader files;
    NoLauncher launcher;
    Form1 form(files, launcher, QString::fromLocal8Bit(argv[1]));
    form.show();
    QApplication::processEvents();
    return form.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
