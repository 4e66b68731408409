#include "platform/host.h"

#include "platform/cmdsplit.h"

QStringList Host::words() const { return splitWindowsCommandLine(address); }

QString Host::title() const {
    return label.isEmpty() ? address : label + QStringLiteral(" - ") + address;
}

QString Host::checkTarget() const {
    const QStringList all = words();
    for (auto word = all.crbegin(); word != all.crend(); ++word) {
        if (word->isEmpty() || word->startsWith(u'-')) continue;
        bool number = false;
        word->toULongLong(&number);
        if (!number) return *word;
    }
    return {};
}
