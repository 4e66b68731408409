#include <QApplication>

#include "panel/mainwindow.h"
#include "platform/commandline.h"
#include "platform/filereader.h"
#include "platform/hostcheck.h"
#include "platform/notifier.h"
#include "platform/processlauncher.h"

int main(int argc, char **argv) {
    const QString arguments = rawArgumentText(argc, argv);
    // Made first: what they start gets the environment norvex was started with.
    const auto launcher = makeSystemLauncher();
    const auto checker = makeSystemHostChecker();
    useOnlyARunningSessionBus();
    int qtArgc = 1;  // Qt never sees the arguments: "-style x" is a file name like any other
    QApplication app(qtArgc, argv);
    RealFileReader files;
    const auto notifier = makeSystemNotifier();
    MainWindow window(files, *launcher, arguments, checker.get(), notifier.get());
    window.show();
    return QApplication::exec();
}
