#pragma once

#include <QString>

// The command line a click asks for: "ping.exe -t " followed by the address, unchanged.
inline QString pingCommandLine(const QString &address) {
    return QStringLiteral("ping.exe -t ") + address;
}
