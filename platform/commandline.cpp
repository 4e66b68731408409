#include "platform/commandline.h"

#include <QFile>
#include <QStringList>
#include <cstdio>

#ifdef Q_OS_WIN
#include "platform/win/winconsole.h"
#include "platform/win/winlaunch.h"
#endif

QString rawArgumentText(int argc, char **argv) {
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return QString::fromStdWString(processArgumentText());
#else
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QFile::decodeName(argv[i]);
    return words.join(u' ');
#endif
}

void writeStandardOutput(const QString &text) {
#ifdef Q_OS_WIN
    if (writeToConsole(text.toStdWString())) return;
#endif
    std::fputs(text.toUtf8().constData(), stdout);
}
