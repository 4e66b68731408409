#include "platform/host.h"

#include "platform/cmdsplit.h"

QStringList Host::words() const { return splitWindowsCommandLine(address); }

QString Host::title() const {
    return label.isEmpty() ? address : label + QStringLiteral(" - ") + address;
}

QString Host::checkTarget() const {
    if (const std::optional<PortTarget> port = portTarget()) return port->host;
    const QStringList all = words();
    for (auto word = all.crbegin(); word != all.crend(); ++word) {
        if (word->isEmpty() || word->startsWith(u'-')) continue;
        bool number = false;
        word->toULongLong(&number);
        if (!number) return *word;
    }
    return {};
}

namespace {

bool isNameOrIpv4(QStringView host) {
    if (host.isEmpty() || host.startsWith(u'-') || host.startsWith(u'.')) return false;
    for (QChar c : host) {
        if (!(c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_')) return false;
    }
    return true;
}

// Hex groups with colons (an IPv4 tail allowed), and an optional zone after "%".
bool isIpv6(QStringView address) {
    const qsizetype zone = address.indexOf(u'%');
    const QStringView bare = zone < 0 ? address : address.first(zone);
    if (zone >= 0 && !isNameOrIpv4(address.sliced(zone + 1))) return false;
    if (!bare.contains(u':')) return false;
    for (QChar c : bare) {
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                         (c >= u'A' && c <= u'F');
        if (!(hex || c == u':' || c == u'.')) return false;
    }
    return true;
}

}  // namespace

std::optional<PortTarget> Host::portTarget() const {
    const QStringList all = words();
    if (all.size() != 1) return std::nullopt;
    const QStringView word = all.front();
    const qsizetype colon = word.lastIndexOf(u':');
    if (colon < 0) return std::nullopt;
    const QStringView portText = word.sliced(colon + 1);
    if (portText.isEmpty() || portText.size() > 5) return std::nullopt;
    for (QChar c : portText) {
        if (c < u'0' || c > u'9') return std::nullopt;
    }
    const int port = portText.toInt();
    if (port < 1 || port > 65535) return std::nullopt;
    QStringView host = word.first(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) {
        host = host.sliced(1, host.size() - 2);
        if (!isIpv6(host)) return std::nullopt;
    } else if (!isNameOrIpv4(host)) {
        // Also an IPv6 address without brackets, whose last group would read as the port.
        return std::nullopt;
    }
    return PortTarget{host.toString(), port};
}
