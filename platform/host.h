#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Where a port row's probe connects: a host name or address, and a TCP port.
struct PortTarget {
    QString host;  // a name, an IPv4 address, or an IPv6 address without its brackets
    int port;      // 1 to 65535
    friend bool operator==(const PortTarget &, const PortTarget &) = default;
};

// One host of the list as a click or a check sees it: its label and its address text.
struct Host {
    QString label;    // may be empty, as for the placeholder button
    QString address;  // exactly as the list has it

    // The command line a click asks for: "ping.exe -t " followed by the address, unchanged.
    QString commandLine() const { return QStringLiteral("ping.exe -t ") + address; }
    // The address split into words the way a Windows program splits its command line: what a
    // ping that takes its arguments as words (every Unix ping) is given.
    QStringList words() const;
    // "label - address", or the address alone when there is no label.
    QString title() const;
    // What a check of the host sends its one echo request to, and a trace route traces: the last
    // word that is neither an option (it starts with "-"), an option's value (the word after one
    // of the system ping's options that take a value) nor a plain number (an unknown option's
    // value), so the options of "-l 1000 10.0.0.1", "10.0.0.1 -n 5" or "10.0.0.1 -I eth0" stay
    // out of it. An address that has no such word for the system's own ping is read as the other
    // system's ping would read it. Empty when there is no such word. For a port row, its host.
    QString checkTarget() const;
    // For a port row, where its probe connects: the address is one word, HOST:PORT or
    // [IPv6-ADDRESS]:PORT, with a port from 1 to 65535 and a host that cannot be taken for an
    // option. Anything else is none, and goes to ping as it is.
    std::optional<PortTarget> portTarget() const;
};
