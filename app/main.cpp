#include <QApplication>

#include "panel/form1.h"
#include "platform/commandline.h"
#include "platform/filereader.h"
#include "platform/reallauncher.h"

int main(int argc, char **argv) {
    const QString arguments = rawArgumentText(argc, argv);
    int qtArgc = 1;  // Qt never sees the arguments: "-style x" is a file name like any other
    QApplication app(qtArgc, argv);
    RealFileReader files;
    RealProcessLauncher launcher;
    Form1 form(files, launcher, arguments);
    form.show();
    return QApplication::exec();
}
