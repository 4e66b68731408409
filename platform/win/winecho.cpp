#include "platform/win/winecho.h"

// The order matters: winsock2.h before windows.h, and ipexport.h before icmpapi.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ipexport.h>
#include <icmpapi.h>
// clang-format on

#include <vector>

#include "platform/win/syserror.h"

namespace {

// Winsock for the name lookup, for as long as one check runs.
class Winsock {
public:
    Winsock() { m_ok = WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~Winsock() {
        if (m_ok) WSACleanup();
    }
    bool ok() const { return m_ok; }

private:
    WSADATA m_data{};
    bool m_ok = false;
};

class IcmpHandle {
public:
    explicit IcmpHandle(HANDLE handle) : m_handle(handle) {}
    ~IcmpHandle() {
        if (valid()) IcmpCloseHandle(m_handle);
    }
    IcmpHandle(const IcmpHandle &) = delete;
    IcmpHandle &operator=(const IcmpHandle &) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The reply to an IPv6 echo request, laid out as the Windows SDK has it (the address packed, the
// rest aligned); the MinGW headers lack it.
#pragma pack(push, 1)
struct Ipv6AddressEx {
    USHORT port;
    ULONG flowInfo;
    USHORT address[8];
    ULONG scopeId;
};
#pragma pack(pop)
struct Icmpv6EchoReply {
    Ipv6AddressEx Address;
    ULONG Status;
    unsigned int RoundTripTime;
};

// What each echo request carries: 32 bytes, as the system's own ping sends.
constexpr DWORD kPayloadSize = 32;

EchoOutcome failedCall(DWORD error) {
    // The ICMP functions report a timeout and their other reply states as the call's own error.
    if (error >= IP_STATUS_BASE && error <= MAX_IP_STATUS) return outcomeOfStatus(error, 0);
    return {EchoOutcome::CouldNotCheck, -1, systemMessage(error)};
}

EchoOutcome echo4(const sockaddr_in &to, unsigned long timeoutMs) {
    IcmpHandle icmp(IcmpCreateFile());
    if (!icmp.valid()) return failedCall(GetLastError());
    char payload[kPayloadSize] = "norvex host check";
    std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + kPayloadSize + 64);
    const DWORD count = IcmpSendEcho2(icmp.get(), nullptr, nullptr, nullptr,
                                      to.sin_addr.S_un.S_addr, payload, kPayloadSize, nullptr,
                                      reply.data(), static_cast<DWORD>(reply.size()), timeoutMs);
    if (count == 0) return failedCall(GetLastError());
    const auto *echo = reinterpret_cast<const ICMP_ECHO_REPLY *>(reply.data());
    return outcomeOfStatus(echo->Status, echo->RoundTripTime);
}

EchoOutcome echo6(const sockaddr_in6 &to, unsigned long timeoutMs) {
    IcmpHandle icmp(Icmp6CreateFile());
    if (!icmp.valid()) return failedCall(GetLastError());
    sockaddr_in6 from{};
    from.sin6_family = AF_INET6;
    sockaddr_in6 destination = to;
    char payload[kPayloadSize] = "norvex host check";
    std::vector<char> reply(sizeof(Icmpv6EchoReply) + kPayloadSize + 64);
    const DWORD count = Icmp6SendEcho2(icmp.get(), nullptr, nullptr, nullptr, &from, &destination,
                                       payload, kPayloadSize, nullptr, reply.data(),
                                       static_cast<DWORD>(reply.size()), timeoutMs);
    if (count == 0) return failedCall(GetLastError());
    const auto *echo = reinterpret_cast<const Icmpv6EchoReply *>(reply.data());
    return outcomeOfStatus(echo->Status, echo->RoundTripTime);
}

}  // namespace

EchoOutcome echoOnce(const std::wstring &host, unsigned long timeoutMs) {
    const Winsock winsock;
    if (!winsock.ok()) return {EchoOutcome::CouldNotCheck, -1, L"Winsock could not be started"};
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_RAW;
    ADDRINFOW *found = nullptr;
    if (const int error = GetAddrInfoW(host.c_str(), nullptr, &hints, &found); error != 0)
        return {EchoOutcome::CouldNotCheck, -1, host + L": " + systemMessage(error)};
    EchoOutcome outcome{EchoOutcome::CouldNotCheck, -1, host + L": no IPv4 or IPv6 address"};
    for (const ADDRINFOW *a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            outcome = echo4(*reinterpret_cast<const sockaddr_in *>(a->ai_addr), timeoutMs);
            break;
        }
        if (a->ai_family == AF_INET6) {
            outcome = echo6(*reinterpret_cast<const sockaddr_in6 *>(a->ai_addr), timeoutMs);
            break;
        }
    }
    FreeAddrInfoW(found);
    return outcome;
}

EchoOutcome outcomeOfStatus(unsigned long status, unsigned long roundTripMs) {
    switch (status) {
        case IP_SUCCESS:
            return {EchoOutcome::Answered, static_cast<long>(roundTripMs), L""};
        case IP_REQ_TIMED_OUT:
            return {EchoOutcome::NoAnswer, -1, L"no reply within a second"};
        case IP_DEST_NET_UNREACHABLE:
            return {EchoOutcome::NoAnswer, -1, L"Destination net unreachable"};
        case IP_DEST_HOST_UNREACHABLE:
            return {EchoOutcome::NoAnswer, -1, L"Destination host unreachable"};
        case IP_DEST_PROT_UNREACHABLE:
        case IP_DEST_PORT_UNREACHABLE:
            return {EchoOutcome::NoAnswer, -1, L"Destination unreachable"};
        case IP_TTL_EXPIRED_TRANSIT:
        case IP_TTL_EXPIRED_REASSEM:
            return {EchoOutcome::NoAnswer, -1, L"TTL expired in transit"};
        case IP_BAD_DESTINATION:
            return {EchoOutcome::CouldNotCheck, -1, L"not an address an echo request can go to"};
        default:
            return {EchoOutcome::CouldNotCheck, -1,
                    L"the ICMP functions answered with status " + std::to_wstring(status)};
    }
}
