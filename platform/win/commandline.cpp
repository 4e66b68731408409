#include "platform/commandline.h"

#include <cstdio>

#include "platform/win/wincmdline.h"
#include "platform/win/winconsole.h"

QString rawArgumentText(int, char **) {
    // Windows hands a program its command line whole: argv has already split and unquoted it.
    return QString::fromStdWString(processArgumentText());
}

void writeStandardOutput(const QString &text) {
    if (writeToConsole(text.toStdWString())) return;
    std::fputs(text.toUtf8().constData(), stdout);
}
