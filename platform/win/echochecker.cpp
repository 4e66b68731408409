#include "platform/win/echochecker.h"

// The order matters: winsock2.h before windows.h, and ipexport.h before icmpapi.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ipexport.h>
#include <icmpapi.h>
// clang-format on

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/tcpconnect.h"
#include "platform/win/handle.h"
#include "platform/win/syserror.h"

// In ws2_32 since Windows 8, but not in the MinGW headers.
extern "C" WINSOCK_API_LINKAGE int WSAAPI GetAddrInfoExCancel(LPHANDLE lpHandle);

namespace {

using State = CheckResult::State;

CheckResult couldNotCheck(const std::wstring &why) {
    return {State::CouldNotCheck, -1, QString::fromStdWString(why)};
}

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
constexpr DWORD kTimeoutMs = HostChecker::kReplyTimeoutMs;

CheckResult failedCall(DWORD error) {
    // The ICMP functions report a timeout and their other reply states as the call's own error.
    if (error >= IP_STATUS_BASE && error <= MAX_IP_STATUS) return outcomeOfStatus(error, 0);
    return couldNotCheck(systemMessage(error));
}

CheckResult echo4(const sockaddr_in &to) {
    IcmpHandle icmp(IcmpCreateFile());
    if (!icmp.valid()) return failedCall(GetLastError());
    char payload[kPayloadSize] = "norvex host check";
    std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + kPayloadSize + 64);
    const DWORD count = IcmpSendEcho2(icmp.get(), nullptr, nullptr, nullptr,
                                      to.sin_addr.S_un.S_addr, payload, kPayloadSize, nullptr,
                                      reply.data(), static_cast<DWORD>(reply.size()), kTimeoutMs);
    if (count == 0) return failedCall(GetLastError());
    const auto *echo = reinterpret_cast<const ICMP_ECHO_REPLY *>(reply.data());
    return outcomeOfStatus(echo->Status, echo->RoundTripTime);
}

CheckResult echo6(const sockaddr_in6 &to) {
    IcmpHandle icmp(Icmp6CreateFile());
    if (!icmp.valid()) return failedCall(GetLastError());
    sockaddr_in6 from{};
    from.sin6_family = AF_INET6;
    sockaddr_in6 destination = to;
    char payload[kPayloadSize] = "norvex host check";
    std::vector<char> reply(sizeof(Icmpv6EchoReply) + kPayloadSize + 64);
    const DWORD count = Icmp6SendEcho2(icmp.get(), nullptr, nullptr, nullptr, &from, &destination,
                                       payload, kPayloadSize, nullptr, reply.data(),
                                       static_cast<DWORD>(reply.size()), kTimeoutMs);
    if (count == 0) return failedCall(GetLastError());
    const auto *echo = reinterpret_cast<const Icmpv6EchoReply *>(reply.data());
    return outcomeOfStatus(echo->Status, echo->RoundTripTime);
}

// The addresses a lookup found, freed on every path out.
struct Addresses {
    Addresses() = default;
    Addresses(const Addresses &) = delete;
    Addresses &operator=(const Addresses &) = delete;
    ~Addresses() {
        if (list) FreeAddrInfoExW(list);
    }
    ADDRINFOEXW *list = nullptr;
};

// A name lookup under way, owned both by the thread waiting for it and by the system, which
// completes it: whichever lets go last frees it. So a lookup that cannot be cancelled (Wine's
// cannot) can be left to end on its own, touching nothing but itself.
struct Lookup {
    OVERLAPPED overlapped{};  // first: the completion routine gets its address
    ADDRINFOEXW *found = nullptr;
    HANDLE cancel = nullptr;
    DWORD error = 0;
    Handle ended{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> owners{2};
};

void letGo(Lookup *lookup) {
    if (lookup->owners.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (lookup->found) FreeAddrInfoExW(lookup->found);
    delete lookup;
}

void CALLBACK lookupEnded(DWORD error, DWORD, LPWSAOVERLAPPED overlapped) {
    auto *lookup = reinterpret_cast<Lookup *>(overlapped);
    lookup->error = error;
    SetEvent(lookup->ended.get());
    letGo(lookup);
}

// Finds host's addresses; 0, or the lookup's error (WSA_E_CANCELLED when stop came first). An
// address is read at once; a name is looked up asynchronously, so that stopping never waits
// for a name server that does not answer.
int lookUp(const std::wstring &host, HANDLE stop, Addresses &out) {
    ADDRINFOEXW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_flags = AI_NUMERICHOST;
    const int numeric = GetAddrInfoExW(host.c_str(), nullptr, NS_ALL, nullptr, &hints, &out.list,
                                       nullptr, nullptr, nullptr, nullptr);
    if (numeric != EAI_NONAME) return numeric;

    hints.ai_flags = 0;
    auto *lookup = new Lookup;
    int error = GetAddrInfoExW(host.c_str(), nullptr, NS_ALL, nullptr, &hints, &lookup->found,
                               nullptr, &lookup->overlapped,
                               reinterpret_cast<LPLOOKUPSERVICE_COMPLETION_ROUTINE>(&lookupEnded),
                               &lookup->cancel);
    if (error != WSA_IO_PENDING) {  // ended already, and the routine will not run
        out.list = std::exchange(lookup->found, nullptr);
        delete lookup;
        return error;
    }
    const HANDLE events[] = {lookup->ended.get(), stop};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Windows ends a cancelled lookup at once; where it goes on, it is left to end alone,
        // with Winsock kept started for it (WSACleanup is never matched with this start).
        GetAddrInfoExCancel(&lookup->cancel);
        if (WaitForSingleObject(lookup->ended.get(), 100) != WAIT_OBJECT_0) {
            WSADATA data;
            WSAStartup(MAKEWORD(2, 2), &data);
            letGo(lookup);
            return WSA_E_CANCELLED;
        }
    }
    error = static_cast<int>(lookup->error);
    out.list = std::exchange(lookup->found, nullptr);
    letGo(lookup);
    return error;
}

// Sends host one echo request and waits at most a reply timeout for the answer; a name is
// looked up first. stop cuts the lookup short, and then nothing is sent.
CheckResult echoOnce(const std::wstring &host, HANDLE stop) {
    Addresses addresses;
    if (const int error = lookUp(host, stop, addresses); error != 0)
        return couldNotCheck(host + L": " + systemMessage(error));
    if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return {};
    // MinGW's ADDRINFOEXW misspells the type of ai_next, hence the cast.
    for (const ADDRINFOEXW *a = addresses.list; a;
         a = reinterpret_cast<const ADDRINFOEXW *>(a->ai_next)) {
        if (a->ai_family == AF_INET)
            return echo4(*reinterpret_cast<const sockaddr_in *>(a->ai_addr));
        if (a->ai_family == AF_INET6)
            return echo6(*reinterpret_cast<const sockaddr_in6 *>(a->ai_addr));
    }
    return couldNotCheck(host + L": no IPv4 or IPv6 address");
}

// Where a check's result goes: its receiver, in the thread that asked, is cleared when the check
// goes, so a result that comes too late goes nowhere.
struct Mailbox {
    std::mutex mutex;
    QObject *receiver = nullptr;
};

class EchoRun : public PendingCheck {
public:
    EchoRun() : m_mailbox(std::make_shared<Mailbox>()) { m_mailbox->receiver = &m_receiver; }
    ~EchoRun() override {
        // A result already posted goes with the receiver; none is posted after this.
        const std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->receiver = nullptr;
    }
    const std::shared_ptr<Mailbox> &mailbox() const { return m_mailbox; }

private:
    std::shared_ptr<Mailbox> m_mailbox;
    QObject m_receiver;
};

struct Job {
    std::wstring host;
    HostChecker::Done done;
    std::shared_ptr<Mailbox> mailbox;
    std::string portHost;  // a port row's host, UTF-8; its port, or 0 for an echo request
    int port = 0;
};

// One TCP connect for a port row, sending nothing.
CheckResult connectCheck(const std::string &host, int port) {
    const ConnectOutcome o = connectOnce(host, port, HostChecker::kReplyTimeoutMs);
    const QString detail = QString::fromStdString(o.detail);
    switch (o.kind) {
        case ConnectOutcome::Kind::Connected:
            return {CheckResult::State::Answered, o.ms, QString()};
        case ConnectOutcome::Kind::Refused:
            return {CheckResult::State::NoAnswer, -1,
                    QStringLiteral("refused: nothing listens on that port")};
        case ConnectOutcome::Kind::NoAnswer:
            return {CheckResult::State::NoAnswer, -1, QStringLiteral("no answer within a second")};
        case ConnectOutcome::Kind::NameNotFound:
            return {CheckResult::State::CouldNotCheck, -1,
                    QStringLiteral("name not found: %1").arg(QString::fromStdString(host))};
        case ConnectOutcome::Kind::Failed:
        case ConnectOutcome::Kind::Stopped:
            break;
    }
    return {CheckResult::State::CouldNotCheck, -1, detail};
}

}  // namespace

class EchoChecker::Pool {
public:
    Pool() {
        WSADATA data;
        m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }

    ~Pool() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
            m_queue.clear();
        }
        *m_open = false;
        SetEvent(m_stop.get());
        m_wake.notify_all();
        for (std::thread &thread : m_threads) thread.join();
        if (m_winsock) WSACleanup();
    }

    void submit(Job job) {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(job));
        // A thread more while every one is busy, up to the limit.
        if (m_queue.size() > m_idle && m_threads.size() < static_cast<std::size_t>(kMaxEchoes)) {
            try {
                m_threads.emplace_back([this] { work(); });
            } catch (const std::system_error &) {
                if (m_threads.empty()) {
                    deliver(m_queue.back(), couldNotCheck(L"no thread could be started"));
                    m_queue.pop_back();
                }
            }
        }
        m_wake.notify_one();
    }

private:
    void work() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                ++m_idle;
                m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
                --m_idle;
                if (m_stopping) return;
                job = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (!wanted(job)) continue;  // dropped before it started: nothing is sent
            deliver(job, !m_winsock ? couldNotCheck(L"Winsock could not be started")
                         : job.port   ? connectCheck(job.portHost, job.port)
                                      : echoOnce(job.host, m_stop.get()));
        }
    }

    static bool wanted(const Job &job) {
        const std::lock_guard lock(job.mailbox->mutex);
        return job.mailbox->receiver != nullptr;
    }

    // Posts the result to the asking thread's event loop, unless the check or the pool has gone
    // by the time it would arrive.
    void deliver(Job &job, CheckResult result) {
        const std::lock_guard lock(job.mailbox->mutex);
        if (!job.mailbox->receiver) return;
        QMetaObject::invokeMethod(
            job.mailbox->receiver,
            [result = std::move(result), done = std::move(job.done), open = m_open] {
                if (*open) done(result);
            },
            Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_stopping = false;
    bool m_winsock = false;
    Handle m_stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // cuts name lookups short
    const std::shared_ptr<std::atomic<bool>> m_open = std::make_shared<std::atomic<bool>>(true);
};

EchoChecker::EchoChecker() : m_pool(std::make_unique<Pool>()) {}

EchoChecker::~EchoChecker() = default;

std::unique_ptr<PendingCheck> EchoChecker::sweep(std::vector<CheckTarget> targets, Each each) {
    return sweepOneByOne(std::move(targets), std::move(each), kMaxEchoes,
                         [this](const CheckTarget &target, Done done) {
                             return checkOne(target, std::move(done));
                         });
}

std::unique_ptr<PendingCheck> EchoChecker::checkOne(const CheckTarget &target, Done done) {
    auto run = std::make_unique<EchoRun>();
    m_pool->submit({target.host.toStdWString(), std::move(done), run->mailbox(),
                    target.port ? target.host.toStdString() : std::string(), target.port});
    return run;
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
