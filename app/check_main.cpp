// norvex-check FILE: says what norvex would make of a list file, and why it would fail.
#include <QCoreApplication>
#include <cstdio>

#include "list/load.h"
#include "list/report.h"
#include "platform/commandline.h"
#include "platform/filereader.h"

int main(int argc, char **argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr,
                     "usage: norvex-check FILE\n"
                     "Reads FILE as norvex would and prints the title, the rows and the window\n"
                     "height; when loading would fail, it says why. Exit status: 0 loads,\n"
                     "1 would fail, 2 bad usage.\n");
        return 2;
    }
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    RealFileReader files;
    const ListReport report = reportList(loadList(files, rawArgumentText(argc, argv)));
    writeStandardOutput(report.text);
    return report.status;
}
