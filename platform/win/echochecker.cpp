#include "platform/win/echochecker.h"

// The order matters: winsock2.h before windows.h, winternl.h (the completion routine's type)
// before icmpapi.h, and ipexport.h before icmpapi.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winternl.h>
#define PIO_APC_ROUTINE_DEFINED
#include <iphlpapi.h>
#include <ipexport.h>
#include <icmpapi.h>
// clang-format on

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <optional>
#include <string>
#include <utility>

#include "platform/win/namelookup.h"
#include "platform/win/portconnect.h"
#include "platform/win/syserror.h"

namespace {

using State = CheckResult::State;

CheckResult couldNotCheck(const std::wstring &why) {
    return {State::CouldNotCheck, -1, QString::fromStdWString(why)};
}

class IcmpHandle {
public:
    IcmpHandle() = default;
    ~IcmpHandle() { close(); }
    IcmpHandle(const IcmpHandle &) = delete;
    IcmpHandle &operator=(const IcmpHandle &) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    void open(HANDLE handle) { m_handle = handle; }
    void close() {
        if (valid()) IcmpCloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE));
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
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
constexpr DWORD kTimeoutMs = HostChecker::kReplyTimeoutMs;
// How long a sweep sends before it lets the event loop run: under Wine every request is a call
// to another process, and a long list must not hold the window meanwhile.
constexpr int kSendSliceMs = 5;

CheckResult failedCall(DWORD error) {
    // The ICMP functions report a timeout and their other reply states as the call's own error.
    if (error >= IP_STATUS_BASE && error <= MAX_IP_STATUS) return outcomeOfStatus(error, 0);
    return couldNotCheck(systemMessage(error));
}

}  // namespace

// An echo request out, with what the system reads and writes while it is: kept until the
// request's completion routine has run, also when its sweep has gone by then.
struct EchoRequest {
    EchoChecker::Sweep *sweep;  // null once the sweep has let it go: the routine frees it
    std::size_t index;
    bool ipv6;
    bool completed = false;  // the routine has run
    char payload[kPayloadSize] = "norvex host check";
    sockaddr_in6 from{};
    sockaddr_in6 to{};
    // A reply with its data, an ICMP error's 8 bytes, and the system's IO_STATUS_BLOCK.
    alignas(8) char reply[sizeof(ICMP_ECHO_REPLY) + sizeof(Icmpv6EchoReply) + kPayloadSize + 8 +
                          sizeof(IO_STATUS_BLOCK) + 64]{};
};

namespace {

void NTAPI echoRoutine(void *context, IO_STATUS_BLOCK *, ULONG);

// The reply in a request's buffer once it is parsed. On 64-bit Windows an IPv4 reply is an
// ICMP_ECHO_REPLY32, whose status and time sit where ICMP_ECHO_REPLY has them.
CheckResult readReply(const EchoRequest &request) {
    if (request.ipv6) {
        const auto *echo = reinterpret_cast<const Icmpv6EchoReply *>(request.reply);
        return outcomeOfStatus(echo->Status, echo->RoundTripTime);
    }
    const auto *echo = reinterpret_cast<const ICMP_ECHO_REPLY32 *>(request.reply);
    return outcomeOfStatus(echo->Status, echo->RoundTripTime);
}

}  // namespace

class EchoChecker::Sweep : public PendingCheck {
public:
    Sweep(EchoChecker &checker, std::vector<CheckTarget> targets, Each each)
        : m_checker(&checker), m_each(std::move(each)), m_winsock(checker.m_winsock) {
        m_checks.reserve(targets.size());
        for (CheckTarget &target : targets)
            m_checks.push_back({target.host.toStdWString(), target.port, {}, {}, nullptr, false});
        checker.m_sweeps.insert(this);
        sendSome();
    }

    ~Sweep() override {
        stop();
        if (m_checker) m_checker->m_sweeps.erase(this);
    }

    // Ends every check under way; nothing is told after.
    void stop() {
        if (m_stopped) return;
        m_stopped = true;
        for (Check &check : m_checks) {
            check.lookup.reset();
            check.connect.reset();
            if (EchoRequest *request = std::exchange(check.echo, nullptr)) {
                if (request->completed)
                    delete request;  // the system is done with it
                else
                    request->sweep = nullptr;
            }
        }
        // Ends the requests where the system cancels them; where it lets them run to their
        // timeout (Wine does), their buffers wait for them.
        m_icmp4.close();
        m_icmp6.close();
    }

    void leaveChecker() { m_checker = nullptr; }

    // The routine of a request has run: its outcome is read from the event loop.
    void echoCompleted(EchoRequest *request) {
        QMetaObject::invokeMethod(
            &m_context,
            [this, request] {
                if (!m_stopped) echoEnded(request);
            },
            Qt::QueuedConnection);
    }

private:
    struct Check {
        std::wstring host;
        int port;
        std::unique_ptr<NameLookup> lookup;
        std::unique_ptr<PortConnect> connect;
        EchoRequest *echo;
        bool told;
    };

    // Starts checks for a few milliseconds, then goes on from the event loop.
    void sendSome() {
        QElapsedTimer clock;
        clock.start();
        while (!m_stopped && m_next < m_checks.size()) {
            start(m_next++);
            if (clock.elapsed() >= kSendSliceMs && m_next < m_checks.size()) {
                QTimer::singleShot(0, &m_context, [this] { sendSome(); });
                return;
            }
        }
    }

    void start(std::size_t index) {
        Check &check = m_checks[index];
        if (!m_winsock) {
            finish(index, couldNotCheck(L"Winsock could not be started"));
            return;
        }
        if (const auto addresses = numericAddresses(check.host)) {
            begin(index, *addresses);
            return;
        }
        check.lookup = std::make_unique<NameLookup>(
            check.host,
            [this, index](std::vector<HostAddress> addresses, const std::wstring &failure) {
                if (failure.empty())
                    begin(index, addresses);
                else
                    finish(index, couldNotCheck(m_checks[index].host + L": " + failure));
            });
    }

    // The host's addresses are known: an echo request to the first, or a connect.
    void begin(std::size_t index, const std::vector<HostAddress> &addresses) {
        Check &check = m_checks[index];
        if (addresses.empty()) {
            finish(index, couldNotCheck(check.host + L": no IPv4 or IPv6 address"));
        } else if (check.port) {
            check.connect = std::make_unique<PortConnect>(
                addresses, check.port, [this, index](const CheckResult &r) { finish(index, r); });
        } else {
            send(index, addresses.front());
        }
    }

    void send(std::size_t index, const HostAddress &to) {
        auto *request = new EchoRequest{this, index, to.family() == AF_INET6};
        const HANDLE icmp = openIcmp(request->ipv6);
        if (icmp == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            delete request;
            finish(index, failedCall(error));
            return;
        }
        DWORD count;
        if (request->ipv6) {
            request->from.sin6_family = AF_INET6;
            request->to = *reinterpret_cast<const sockaddr_in6 *>(to.get());
            count = Icmp6SendEcho2(icmp, nullptr, &echoRoutine, request, &request->from,
                                   &request->to, request->payload, kPayloadSize, nullptr,
                                   request->reply, sizeof request->reply, kTimeoutMs);
        } else {
            const IPAddr address =
                reinterpret_cast<const sockaddr_in *>(to.get())->sin_addr.S_un.S_addr;
            count = IcmpSendEcho2(icmp, nullptr, &echoRoutine, request, address, request->payload,
                                  kPayloadSize, nullptr, request->reply, sizeof request->reply,
                                  kTimeoutMs);
        }
        const DWORD error = GetLastError();
        if (count == 0 && error == ERROR_IO_PENDING) {
            m_checks[index].echo = request;
            return;
        }
        // Ended at once. A request the system took (replies, or a reply state as the error) still
        // gets its routine, which frees it; one it refused gets none.
        const CheckResult result = count ? readReply(*request) : failedCall(error);
        if (count || (error >= IP_STATUS_BASE && error <= MAX_IP_STATUS))
            request->sweep = nullptr;
        else
            delete request;
        finish(index, result);
    }

    HANDLE openIcmp(bool ipv6) {
        IcmpHandle &icmp = ipv6 ? m_icmp6 : m_icmp4;
        // Wine has no IPv6 echo: Icmp6CreateFile fails there, and says so.
        if (!icmp.valid()) icmp.open(ipv6 ? Icmp6CreateFile() : IcmpCreateFile());
        return icmp.get();
    }

    void echoEnded(EchoRequest *request) {
        m_checks[request->index].echo = nullptr;
        // Wine lacks Icmp6ParseReplies, but never gets here with an IPv6 request.
        const DWORD count = request->ipv6 ? Icmp6ParseReplies(request->reply, sizeof request->reply)
                                          : IcmpParseReplies(request->reply, sizeof request->reply);
        const CheckResult result = count ? readReply(*request) : failedCall(GetLastError());
        const std::size_t index = request->index;
        delete request;
        finish(index, result);
    }

    // Tells the result from the event loop, once; what the check still holds goes then too.
    void finish(std::size_t index, CheckResult result) {
        if (m_checks[index].told) return;
        m_checks[index].told = true;
        QMetaObject::invokeMethod(
            &m_context,
            [this, index, result = std::move(result)] {
                if (m_stopped) return;
                m_checks[index].lookup.reset();
                m_checks[index].connect.reset();
                const Each each = m_each;  // it may destroy this sweep, and m_each with it
                each(index, result);
            },
            Qt::QueuedConnection);
    }

    EchoChecker *m_checker;
    const Each m_each;
    const bool m_winsock;
    std::vector<Check> m_checks;
    std::size_t m_next = 0;
    bool m_stopped = false;
    IcmpHandle m_icmp4;
    IcmpHandle m_icmp6;
    QObject m_context;  // what is told later is delivered to it, and goes with it
};

namespace {

// The completion routine of every echo request: the system queues it to the thread that sent
// the request, which runs it in an alertable wait (Qt's event loop waits alertably). It only
// hands the request on, so it is safe wherever that wait is.
void NTAPI echoRoutine(void *context, IO_STATUS_BLOCK *, ULONG) {
    auto *request = static_cast<EchoRequest *>(context);
    request->completed = true;
    if (request->sweep)
        request->sweep->echoCompleted(request);
    else
        delete request;
}

}  // namespace

EchoChecker::EchoChecker() {
    WSADATA data;
    m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

EchoChecker::~EchoChecker() {
    for (Sweep *sweep : m_sweeps) {
        sweep->stop();
        sweep->leaveChecker();
    }
    if (m_winsock) WSACleanup();
}

std::unique_ptr<PendingCheck> EchoChecker::sweep(std::vector<CheckTarget> targets, Each each) {
    return std::make_unique<Sweep>(*this, std::move(targets), std::move(each));
}

CheckResult outcomeOfStatus(unsigned long status, unsigned long roundTripMs) {
    switch (status) {
        case IP_SUCCESS:
            return {State::Answered, static_cast<double>(roundTripMs), QString()};
        case IP_REQ_TIMED_OUT:
            return {State::NoAnswer, -1, QStringLiteral("no reply within a second")};
        case IP_DEST_NET_UNREACHABLE:
            return {State::NoAnswer, -1, QStringLiteral("Destination net unreachable")};
        case IP_DEST_HOST_UNREACHABLE:
            return {State::NoAnswer, -1, QStringLiteral("Destination host unreachable")};
        case IP_DEST_PROT_UNREACHABLE:
        case IP_DEST_PORT_UNREACHABLE:
            return {State::NoAnswer, -1, QStringLiteral("Destination unreachable")};
        case IP_TTL_EXPIRED_TRANSIT:
        case IP_TTL_EXPIRED_REASSEM:
            return {State::NoAnswer, -1, QStringLiteral("TTL expired in transit")};
        case IP_BAD_DESTINATION:
            return {State::CouldNotCheck, -1,
                    QStringLiteral("not an address an echo request can go to")};
        default:
            return {State::CouldNotCheck, -1,
                    QStringLiteral("the ICMP functions answered with status %1").arg(status)};
    }
}

std::unique_ptr<HostChecker> makeSystemHostChecker() { return std::make_unique<EchoChecker>(); }
