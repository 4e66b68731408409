#include "platform/tcpconnect.h"

// winsock2.h before windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <string>
#include <utility>

#include "platform/win/handle.h"

// In ws2_32 since Windows 8, but not in the MinGW headers.
extern "C" WINSOCK_API_LINKAGE int WSAAPI GetAddrInfoExCancel(LPHANDLE lpHandle);

namespace {

using Clock = std::chrono::steady_clock;

// How long a wait goes without looking at the stop flag.
constexpr DWORD kStopSliceMs = 50;

std::wstring wide(const std::string &utf8) {
    std::wstring out(utf8.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string utf8(const wchar_t *text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::string systemWords(int error) {
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t *>(&text), 0,
                   nullptr);
    std::string words = text ? utf8(text) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
        words.pop_back();
    return words;
}

std::string numericAddress(const sockaddr *address, size_t length) {
    wchar_t text[NI_MAXHOST] = L"";
    GetNameInfoW(address, static_cast<socklen_t>(length), text, NI_MAXHOST, nullptr, 0,
                 NI_NUMERICHOST);
    return utf8(text);
}

// Winsock for as long as one connect runs; started once per thread, so it nests cheaply.
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

class Socket {
public:
    explicit Socket(SOCKET s) : m_socket(s) {}
    ~Socket() {
        if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    SOCKET get() const { return m_socket; }

private:
    SOCKET m_socket;
};

// A connect that no route leads to, in the words POSIX systems use: the same line on both, and
// Wine's system messages have none for these errors.
constexpr struct {
    int error;
    const char *words;
} kUnreachable[] = {
    {WSAENETUNREACH, "Network is unreachable"},
    {WSAEHOSTUNREACH, "No route to host"},
    {WSAEHOSTDOWN, "Host is down"},
    {WSAENETDOWN, "Network is down"},
};

ConnectOutcome failure(int error, std::string address) {
    const auto kind = error == WSAECONNREFUSED ? ConnectOutcome::Kind::Refused
                                               : ConnectOutcome::Kind::Failed;
    for (const auto &u : kUnreachable) {
        if (u.error == error) return {kind, -1, std::move(address), u.words};
    }
    return {kind, -1, std::move(address), systemWords(error)};
}

ConnectOutcome connectTo(const ADDRINFOEXW &a, Clock::time_point deadline,
                         const volatile std::sig_atomic_t *stop) {
    const std::string address = numericAddress(a.ai_addr, a.ai_addrlen);
    const Socket socket(::socket(a.ai_family, SOCK_STREAM, IPPROTO_TCP));
    if (socket.get() == INVALID_SOCKET) return failure(WSAGetLastError(), address);
    u_long nonBlocking = 1;
    ioctlsocket(socket.get(), FIONBIO, &nonBlocking);
    const Clock::time_point start = Clock::now();
    if (::connect(socket.get(), a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        return failure(WSAGetLastError(), address);
    for (;;) {
        if (stop && *stop) return {ConnectOutcome::Kind::Stopped, -1, address, {}};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return {ConnectOutcome::Kind::NoAnswer, -1, address, {}};
        // In slices, so that a stop is seen soon.
        const long slice = static_cast<long>(left < kStopSliceMs ? left : kStopSliceMs);
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket.get(), &writable);
        FD_SET(socket.get(), &failed);
        timeval wait{0, slice * 1000};
        const int ready = select(0, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) return failure(WSAGetLastError(), address);
        if (ready == 0) continue;
        if (FD_ISSET(socket.get(), &writable))
            return {ConnectOutcome::Kind::Connected,
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count(),
                    address,
                    {}};
        int error = 0;
        int length = sizeof error;
        getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
        return failure(error ? error : WSAECONNREFUSED, address);
    }
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
struct NameLookup {
    OVERLAPPED overlapped{};  // first: the completion routine gets its address
    ADDRINFOEXW *found = nullptr;
    HANDLE cancel = nullptr;
    DWORD error = 0;
    Handle ended{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> owners{2};
};

void letGo(NameLookup *lookup) {
    if (lookup->owners.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (lookup->found) FreeAddrInfoExW(lookup->found);
    delete lookup;
}

void CALLBACK lookupEnded(DWORD error, DWORD, LPWSAOVERLAPPED overlapped) {
    auto *lookup = reinterpret_cast<NameLookup *>(overlapped);
    lookup->error = error;
    SetEvent(lookup->ended.get());
    letGo(lookup);
}

// Finds host's addresses: 0, or the lookup's error (WSA_E_CANCELLED once *stop is set). An
// address is read at once; a name is looked up asynchronously and waited for in slices, so that
// Ctrl+C never waits for a name server that does not answer.
int lookUp(const std::wstring &host, const std::wstring &service,
           const volatile std::sig_atomic_t *stop, Addresses &out) {
    ADDRINFOEXW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST;
    const int numeric = GetAddrInfoExW(host.c_str(), service.c_str(), NS_ALL, nullptr, &hints,
                                       &out.list, nullptr, nullptr, nullptr, nullptr);
    if (numeric != EAI_NONAME) return numeric;

    hints.ai_flags = 0;  // all families: ::1 too where only IPv4 has an address beyond loopback
    auto *lookup = new NameLookup;
    int error = GetAddrInfoExW(host.c_str(), service.c_str(), NS_ALL, nullptr, &hints,
                               &lookup->found, nullptr, &lookup->overlapped,
                               reinterpret_cast<LPLOOKUPSERVICE_COMPLETION_ROUTINE>(&lookupEnded),
                               &lookup->cancel);
    if (error != WSA_IO_PENDING) {  // ended already, and the routine will not run
        out.list = std::exchange(lookup->found, nullptr);
        delete lookup;
        return error;
    }
    while (WaitForSingleObject(lookup->ended.get(), kStopSliceMs) != WAIT_OBJECT_0) {
        if (!stop || !*stop) continue;
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

volatile std::sig_atomic_t *stopFlag = nullptr;

BOOL WINAPI requestStop(DWORD) {
    *stopFlag = 1;
    // Closing the window ends the program once this returns: give the summary time to show.
    Sleep(1000);
    return TRUE;
}

}  // namespace

ConnectOutcome connectOnce(const std::string &host, int port, int timeoutMs,
                           const volatile std::sig_atomic_t *stop) {
    const Winsock winsock;
    if (!winsock.ok()) return {ConnectOutcome::Kind::Failed, -1, {}, "Winsock could not start"};
    Addresses found;
    if (const int error = lookUp(wide(host), std::to_wstring(port), stop, found); error != 0) {
        if (error == WSA_E_CANCELLED) return {ConnectOutcome::Kind::Stopped, -1, {}, {}};
        const bool unknown = error == WSAHOST_NOT_FOUND || error == WSANO_DATA;
        return {unknown ? ConnectOutcome::Kind::NameNotFound : ConnectOutcome::Kind::Failed, -1,
                {}, systemWords(error)};
    }
    // The time a name server took is no part of the timeout.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ConnectOutcome outcome{ConnectOutcome::Kind::NameNotFound, -1, {}, "no address"};
    // MinGW's ADDRINFOEXW misspells the type of ai_next, hence the cast.
    for (const ADDRINFOEXW *a = found.list; a;
         a = reinterpret_cast<const ADDRINFOEXW *>(a->ai_next)) {
        outcome = connectTo(*a, deadline, stop);
        if (outcome.kind == ConnectOutcome::Kind::Connected ||
            outcome.kind == ConnectOutcome::Kind::Stopped ||
            outcome.kind == ConnectOutcome::Kind::NoAnswer)
            break;
    }
    return outcome;
}

void setStopOnInterrupt(volatile std::sig_atomic_t *stop) {
    stopFlag = stop;
    SetConsoleCtrlHandler(requestStop, TRUE);
}
