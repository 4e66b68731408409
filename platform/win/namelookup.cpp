#include "platform/win/namelookup.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/win/syserror.h"

// In ws2_32 since Windows 8, but not in the MinGW headers.
extern "C" WINSOCK_API_LINKAGE int WSAAPI GetAddrInfoExCancel(LPHANDLE lpHandle);

namespace {

// One entry per address: TCP's, which an echo request goes to just the same.
ADDRINFOEXW hintsWith(int flags) {
    ADDRINFOEXW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    return hints;
}

std::vector<HostAddress> addressesOf(const ADDRINFOEXW *list) {
    std::vector<HostAddress> addresses;
    // MinGW's ADDRINFOEXW misspells the type of ai_next, hence the cast.
    for (const ADDRINFOEXW *a = list; a; a = reinterpret_cast<const ADDRINFOEXW *>(a->ai_next)) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
            a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        HostAddress address;
        std::memcpy(&address.address, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        addresses.push_back(address);
    }
    return addresses;
}

}  // namespace

struct NameLookup::Request {
    OVERLAPPED overlapped{};  // first: the completion routine is handed its address
    ADDRINFOEXW *found = nullptr;
    HANDLE cancel = nullptr;
    std::mutex mutex;
    bool completed = false;
    // Posts the outcome to the lookup's event loop; cleared when the lookup goes.
    std::function<void(std::vector<HostAddress>, std::wstring)> deliver;
    // The lookup and the system: whichever lets go last frees it.
    std::atomic<int> owners{2};

    void release() {
        if (owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

namespace {

// Called by the system, on a thread of its own, when the lookup ends.
void CALLBACK lookupEnded(DWORD error, DWORD, LPWSAOVERLAPPED overlapped) {
    auto *request = reinterpret_cast<NameLookup::Request *>(overlapped);
    std::vector<HostAddress> addresses = addressesOf(request->found);
    if (request->found) FreeAddrInfoExW(std::exchange(request->found, nullptr));
    const std::wstring failure = error               ? systemMessage(error)
                                 : addresses.empty() ? L"no IPv4 or IPv6 address"
                                                     : std::wstring();
    {
        const std::lock_guard lock(request->mutex);
        request->completed = true;
        if (request->deliver) request->deliver(std::move(addresses), failure);
    }
    request->release();
}

}  // namespace

std::optional<std::vector<HostAddress>> numericAddresses(const std::wstring &host) {
    const ADDRINFOEXW hints = hintsWith(AI_NUMERICHOST);
    ADDRINFOEXW *list = nullptr;
    if (GetAddrInfoExW(host.c_str(), nullptr, NS_ALL, nullptr, &hints, &list, nullptr, nullptr,
                       nullptr, nullptr) != 0)
        return std::nullopt;
    std::vector<HostAddress> addresses = addressesOf(list);
    FreeAddrInfoExW(list);
    return addresses;
}

NameLookup::NameLookup(const std::wstring &host, Found found)
    : m_request(new Request), m_found(std::move(found)) {
    m_request->deliver = [this](std::vector<HostAddress> addresses, std::wstring failure) {
        QMetaObject::invokeMethod(
            &m_context,
            [this, addresses = std::move(addresses), failure = std::move(failure)]() mutable {
                ended(std::move(addresses), failure);
            },
            Qt::QueuedConnection);
    };
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, &m_context, [this] {
        ended({}, L"no answer from the name server within " + std::to_wstring(kLimitMs / 1000) +
                      L" seconds");
    });
    m_limit.start(kLimitMs);

    const ADDRINFOEXW hints = hintsWith(0);
    const int error = GetAddrInfoExW(
        host.c_str(), nullptr, NS_ALL, nullptr, &hints, &m_request->found, nullptr,
        &m_request->overlapped, reinterpret_cast<LPLOOKUPSERVICE_COMPLETION_ROUTINE>(&lookupEnded),
        &m_request->cancel);
    // Ended already, and the routine will not run: its outcome is told the same way.
    if (error != WSA_IO_PENDING) lookupEnded(static_cast<DWORD>(error), 0, &m_request->overlapped);
}

NameLookup::~NameLookup() { letGo(); }

// Once: the limit and the system's outcome may both have been on their way.
void NameLookup::ended(std::vector<HostAddress> addresses, const std::wstring &failure) {
    letGo();
    if (!m_found) return;
    const Found found = std::exchange(m_found, nullptr);  // it may destroy this lookup
    found(std::move(addresses), failure);
}

void NameLookup::letGo() {
    m_limit.stop();
    if (!m_request) return;
    bool pending;
    {
        const std::lock_guard lock(m_request->mutex);
        m_request->deliver = nullptr;
        pending = !m_request->completed;
    }
    if (pending && GetAddrInfoExCancel(&m_request->cancel) != NO_ERROR) {
        // It goes on, and may end after the last Winsock user has cleaned up: Winsock is kept
        // started for it (this start is never matched).
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    std::exchange(m_request, nullptr)->release();
}
