#pragma once

// winsock2.h before windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One address of a host, as the socket and ICMP functions take it.
struct HostAddress {
    sockaddr_storage address{};
    int length = 0;

    int family() const { return address.ss_family; }
    const sockaddr *get() const { return reinterpret_cast<const sockaddr *>(&address); }
};

// host's addresses when it is written as one (IPv4, or IPv6 with or without a scope): read at
// once, nothing is asked of a name server. nullopt for anything else, a name to look up.
std::optional<std::vector<HostAddress>> numericAddresses(const std::wstring &host);

// Looks a name up without blocking: found(addresses, failure) is called once, later, from the
// event loop, with the addresses or with the words that say why there are none. A name server
// that has not answered within kLimitMs is a failure too. Destroying the lookup cancels it where
// the system can (Wine cannot: there it ends alone, touching nothing of this object), and nothing
// is called after. Winsock must be started while it lives.
class NameLookup {
public:
    static constexpr int kLimitMs = 4000;
    using Found =
        std::function<void(std::vector<HostAddress> addresses, const std::wstring &failure)>;

    NameLookup(const std::wstring &host, Found found);
    ~NameLookup();
    NameLookup(const NameLookup &) = delete;
    NameLookup &operator=(const NameLookup &) = delete;

    // The part the system completes, shared with it until it has.
    struct Request;

private:
    void ended(std::vector<HostAddress> addresses, const std::wstring &failure);
    void letGo();

    Request *m_request = nullptr;
    Found m_found;
    QObject m_context;  // what the system's completion is delivered to
    QTimer m_limit;
};
