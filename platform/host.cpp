#include "platform/host.h"

#include "platform/cmdsplit.h"

QStringList Host::words() const { return splitWindowsCommandLine(address); }

QString Host::title() const {
    return label.isEmpty() ? address : label + QStringLiteral(" - ") + address;
}

namespace {

// A ping's options: those that take a value (the word after them, or where options may be joined
// as "-nI lo" or "-Ilo" the rest of the word, is that value, never the host) and those that do
// not.
struct PingSyntax {
    const char *valueLetters;
    const char *flagLetters;
    bool joinedOptions;  // getopt's "-nI lo" and "-c3"
    bool slashOptions;   // "/n 5" as well as "-n 5"
};
// Windows' ping.exe: -n count, -l size, -i TTL, -v TOS, -r count, -s count, -j and -k host lists,
// -w timeout, -S source address, -c compartment.
constexpr PingSyntax kWindowsPing{"nlivrsjkwSc", "tafRp46", false, true};
// Linux's ping (iputils): -c count, -e identifier, -F flow label, -i interval, -I interface,
// -l preload, -m mark, -M path MTU discovery, -N node information, -p pattern, -Q TOS, -s size,
// -S send buffer, -t TTL, -T timestamps, -w deadline, -W timeout.
constexpr PingSyntax kLinuxPing{"ceFiIlmMNpQsStTwW", "aAbBCdDfhHLnOqrRUvV46", true, false};

bool isPlainNumber(const QString &word) {
    bool number = false;
    word.toULongLong(&number);
    return number;
}

// How a ping reads an address: the last word that is neither an option, an option's value nor a
// plain number (the value of an option it does not have), and whether it knows every option.
struct Reading {
    QString host;
    bool knowsEveryOption = true;
};

Reading readAs(const QStringList &words, const PingSyntax &syntax) {
    Reading reading;
    const QLatin1String values(syntax.valueLetters), flags(syntax.flagLetters);
    bool options = true;  // until "--"
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        // "/n" is an option of Windows' ping, and to any other ping one it does not know.
        const bool slash = word.size() == 2 && word[0] == u'/' && word[1].isLetter();
        if (options && slash && !syntax.slashOptions) {
            reading.knowsEveryOption = false;
            continue;
        }
        if (options && (word.startsWith(u'-') || slash) && word.size() > 1) {
            if (word == QLatin1String("--")) {
                options = !syntax.joinedOptions;  // getopt's end of options
                continue;
            }
            if (word.startsWith(QLatin1String("--")) ||
                (!syntax.joinedOptions && word.size() > 2)) {
                reading.knowsEveryOption = false;  // its value, if any, reads as a number
                continue;
            }
            for (qsizetype letter = 1; letter < word.size(); ++letter) {
                if (values.contains(word[letter])) {
                    if (letter == word.size() - 1) ++i;  // the value is the next word
                    break;
                }
                if (!flags.contains(word[letter])) reading.knowsEveryOption = false;
            }
            continue;
        }
        // Nor is a word that could be taken for an option.
        if (!word.isEmpty() && !word.startsWith(u'-') && !isPlainNumber(word)) reading.host = word;
    }
    return reading;
}

// The system's own ping reads an address first; one written for the other system's ping (say
// "10.0.0.1 -I eth0", whose -I Windows' ping does not have, or "-t 10.0.0.1", where -t takes a
// value on Linux but not on Windows) is read its way.
#ifdef Q_OS_WIN
constexpr const PingSyntax *kReadings[] = {&kWindowsPing, &kLinuxPing};
#else
constexpr const PingSyntax *kReadings[] = {&kLinuxPing, &kWindowsPing};
#endif

}  // namespace

QString Host::checkTarget() const {
    if (const std::optional<PortTarget> port = portTarget()) return port->host;
    const QStringList all = words();
    // The first ping that knows every option and finds a host; else the first that finds one.
    QString anyHost;
    for (const PingSyntax *syntax : kReadings) {
        const Reading reading = readAs(all, *syntax);
        if (reading.host.isEmpty()) continue;
        if (reading.knowsEveryOption) return reading.host;
        if (anyHost.isEmpty()) anyHost = reading.host;
    }
    return anyHost;
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
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
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
