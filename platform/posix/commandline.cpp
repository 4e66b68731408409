#include "platform/commandline.h"

#include <QFile>
#include <QStringList>
#include <cstdio>

QString rawArgumentText(int argc, char **argv) {
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QFile::decodeName(argv[i]);
    return words.join(u' ');
}

void writeStandardOutput(const QString &text) { std::fputs(text.toUtf8().constData(), stdout); }
