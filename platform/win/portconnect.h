#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QWinEventNotifier>
#include <functional>
#include <vector>

#include "platform/hostcheck.h"
#include "platform/win/namelookup.h"

// One TCP connect to a port for a check, sending nothing: a non-blocking socket whose outcome the
// event loop is told of, tried on the host's addresses in turn until one accepts, within one
// reply timeout for them all. done(result) is called once, later, from the event loop: connected
// is Answered with the time it took, and the rest as outcomeOfConnectError says; nothing within
// the timeout is NoAnswer. Destroying it closes the socket, and nothing is called after. Winsock
// must be started while it lives.
class PortConnect {
public:
    using Done = std::function<void(const CheckResult &result)>;

    PortConnect(std::vector<HostAddress> addresses, int port, Done done);
    ~PortConnect();
    PortConnect(const PortConnect &) = delete;
    PortConnect &operator=(const PortConnect &) = delete;

private:
    void tryNext();
    void outcome();
    void finish(const CheckResult &result);
    void closeSocket();

    std::vector<HostAddress> m_addresses;
    std::size_t m_next = 0;
    Done m_done;
    SOCKET m_socket = INVALID_SOCKET;
    WSAEVENT m_event;  // set when a try has an outcome; every try reuses it
    QWinEventNotifier m_notifier;
    int m_lastError = 0;
    QElapsedTimer m_clock;  // since the current try began
    QTimer m_limit;
    QObject m_context;
};

// What a connect's error means for a check: refused and no way there (no route, the network or
// host down) are NoAnswer, with the system's words where it has them; nothing within the time is
// NoAnswer too; anything else, which kept the connect from being tried, CouldNotCheck.
CheckResult outcomeOfConnectError(int error);
