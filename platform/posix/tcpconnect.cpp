#include "platform/tcpconnect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// How long a wait goes without looking at the stop flag.
constexpr int kStopSliceMs = 50;

std::string numericAddress(const sockaddr *address, socklen_t length) {
    char text[NI_MAXHOST] = "";
    getnameinfo(address, length, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
    return text;
}

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

ConnectOutcome failure(ConnectOutcome::Kind kind, int error, std::string address) {
    return {kind, -1, std::move(address), std::strerror(error)};
}

// One address: a non-blocking connect, waited for until deadline.
ConnectOutcome connectTo(const addrinfo &a, Clock::time_point deadline,
                         const volatile std::sig_atomic_t *stop) {
    ConnectOutcome outcome{
        ConnectOutcome::Kind::Failed, -1, numericAddress(a.ai_addr, a.ai_addrlen), {}};
    const Socket socket(::socket(a.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0) return failure(ConnectOutcome::Kind::Failed, errno, outcome.address);
    const Clock::time_point start = Clock::now();
    if (::connect(socket.fd(), a.ai_addr, a.ai_addrlen) != 0 && errno != EINPROGRESS) {
        const int error = errno;
        return failure(
            error == ECONNREFUSED ? ConnectOutcome::Kind::Refused : ConnectOutcome::Kind::Failed,
            error, outcome.address);
    }
    for (;;) {
        if (stop && *stop) return {ConnectOutcome::Kind::Stopped, -1, outcome.address, {}};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return {ConnectOutcome::Kind::NoAnswer, -1, outcome.address, {}};
        pollfd wanted{socket.fd(), POLLOUT, 0};
        // In slices, so that a stop is seen soon even where Ctrl+C does not interrupt poll.
        const int ready =
            ::poll(&wanted, 1, static_cast<int>(std::min<long long>(left.count(), kStopSliceMs)));
        if (ready < 0 && errno != EINTR)
            return failure(ConnectOutcome::Kind::Failed, errno, outcome.address);
        if (ready <= 0) continue;
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == 0) {
            outcome.kind = ConnectOutcome::Kind::Connected;
            outcome.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            return outcome;
        }
        return failure(
            error == ECONNREFUSED ? ConnectOutcome::Kind::Refused : ConnectOutcome::Kind::Failed,
            error, outcome.address);
    }
}

// A name lookup on glibc's own thread, and what it reads while it runs.
struct NameLookup {
    std::string host, service;
    addrinfo hints{};
    gaicb request{};
};

// Looks a name up, waiting in slices until it ends or *stop is set: then EAI_CANCELED. A lookup
// already asking a name server cannot be cancelled; it is left to end on its own, keeping what
// it reads (a stop ends the program, so this happens once).
int lookUpName(const std::string &host, const std::string &service, int flags,
               const volatile std::sig_atomic_t *stop, addrinfo **found) {
    auto lookup = std::make_unique<NameLookup>();
    lookup->host = host;
    lookup->service = service;
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = flags;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb *requests[] = {&lookup->request};
    if (const int error = getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr); error != 0) return error;
    const timespec slice{0, kStopSliceMs * 1000000L};
    while (gai_error(&lookup->request) == EAI_INPROGRESS) {
        if (stop && *stop) {
            const int cancelled = gai_cancel(&lookup->request);
            if (cancelled == EAI_NOTCANCELED) {
                static_cast<void>(lookup.release());  // glibc's thread still writes to it
            } else if (cancelled == EAI_ALLDONE && lookup->request.ar_result) {
                freeaddrinfo(lookup->request.ar_result);
            }
            return EAI_CANCELED;
        }
        gai_suspend(requests, 1, &slice);
    }
    *found = lookup->request.ar_result;
    return gai_error(&lookup->request);
}

bool isLoopback(const addrinfo &a) {
    if (a.ai_family == AF_INET6)
        return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6 *>(a.ai_addr)->sin6_addr);
    const auto *v4 = reinterpret_cast<const sockaddr_in *>(a.ai_addr);
    return a.ai_family == AF_INET && ntohl(v4->sin_addr.s_addr) >> 24 == IN_LOOPBACKNET;
}

// Finds host's addresses: 0, or a getaddrinfo error (EAI_CANCELED when *stop came first).
int lookUp(const std::string &host, const std::string &service,
           const volatile std::sig_atomic_t *stop, addrinfo **found) {
    // An address is taken as it is, whatever addresses this machine has.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, found);
        error != EAI_NONAME)
        return error;
    // AI_ADDRCONFIG asks only for the families this machine has an address of, but counts no
    // loopback address: where IPv4 has another and IPv6 none, it finds no ::1 and turns a hosts
    // file's ::1 into 127.0.0.1. A name it finds nowhere, or only on loopback, is asked again
    // without it.
    const int error = lookUpName(host, service, AI_ADDRCONFIG, stop, found);
    bool loopbackOnly = error == 0;
    for (const addrinfo *a = error == 0 ? *found : nullptr; a && loopbackOnly; a = a->ai_next)
        loopbackOnly = isLoopback(*a);
    if (loopbackOnly) {
        freeaddrinfo(*found);
        *found = nullptr;
    } else if (error != EAI_NONAME && error != EAI_NODATA && error != EAI_ADDRFAMILY) {
        return error;
    }
    return lookUpName(host, service, 0, stop, found);
}

}  // namespace

ConnectOutcome connectOnce(const std::string &host, int port, int timeoutMs,
                           const volatile std::sig_atomic_t *stop) {
    addrinfo *found = nullptr;
    if (const int error = lookUp(host, std::to_string(port), stop, &found); error != 0) {
        if (error == EAI_CANCELED) return {ConnectOutcome::Kind::Stopped, -1, {}, {}};
        const bool unknown = error == EAI_NONAME || error == EAI_NODATA || error == EAI_FAIL ||
                             error == EAI_ADDRFAMILY;
        return {unknown ? ConnectOutcome::Kind::NameNotFound : ConnectOutcome::Kind::Failed,
                -1,
                {},
                gai_strerror(error)};
    }
    // The time a name server took is no part of the timeout.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ConnectOutcome outcome{ConnectOutcome::Kind::NameNotFound, -1, {}, "no address"};
    for (const addrinfo *a = found; a; a = a->ai_next) {
        outcome = connectTo(*a, deadline, stop);
        if (outcome.kind == ConnectOutcome::Kind::Connected ||
            outcome.kind == ConnectOutcome::Kind::Stopped ||
            outcome.kind == ConnectOutcome::Kind::NoAnswer)
            break;
    }
    freeaddrinfo(found);
    return outcome;
}

namespace {
volatile std::sig_atomic_t *stopFlag = nullptr;
void requestStop(int) { *stopFlag = 1; }
}  // namespace

void setStopOnInterrupt(volatile std::sig_atomic_t *stop) {
    stopFlag = stop;
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);  // the terminal window closed
}
