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

namespace {

using Clock = std::chrono::steady_clock;

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
ConnectOutcome connectTo(const addrinfo &a, Clock::time_point deadline, const volatile std::sig_atomic_t *stop) {
    ConnectOutcome outcome{ConnectOutcome::Kind::Failed, -1, numericAddress(a.ai_addr, a.ai_addrlen), {}};
    const Socket socket(::socket(a.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0) return failure(ConnectOutcome::Kind::Failed, errno, outcome.address);
    const Clock::time_point start = Clock::now();
    if (::connect(socket.fd(), a.ai_addr, a.ai_addrlen) != 0 && errno != EINPROGRESS) {
        const int error = errno;
        return failure(error == ECONNREFUSED ? ConnectOutcome::Kind::Refused
                                             : ConnectOutcome::Kind::Failed,
                       error, outcome.address);
    }
    for (;;) {
        if (stop && *stop) return {ConnectOutcome::Kind::Stopped, -1, outcome.address, {}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return {ConnectOutcome::Kind::NoAnswer, -1, outcome.address, {}};
        pollfd wanted{socket.fd(), POLLOUT, 0};
        // In slices, so that a stop is seen soon even where Ctrl+C does not interrupt poll.
        const int ready = ::poll(&wanted, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready < 0 && errno != EINTR) return failure(ConnectOutcome::Kind::Failed, errno, outcome.address);
        if (ready <= 0) continue;
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == 0) {
            outcome.kind = ConnectOutcome::Kind::Connected;
            outcome.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            return outcome;
        }
        return failure(error == ECONNREFUSED ? ConnectOutcome::Kind::Refused
                                             : ConnectOutcome::Kind::Failed,
                       error, outcome.address);
    }
}

}  // namespace

ConnectOutcome connectOnce(const std::string &host, int port, int timeoutMs,
                           const volatile std::sig_atomic_t *stop) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); error != 0) {
        const bool unknown = error == EAI_NONAME || error == EAI_NODATA || error == EAI_FAIL;
        return {unknown ? ConnectOutcome::Kind::NameNotFound : ConnectOutcome::Kind::Failed, -1,
                {}, gai_strerror(error)};
    }
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
