#include "platform/host.h"

#include "platform/cmdsplit.h"

QStringList Host::words() const { return splitWindowsCommandLine(address); }

QString Host::title() const {
    return label.isEmpty() ? address : label + QStringLiteral(" - ") + address;
}
