#include "platform/win/portconnect.h"

#include <windows.h>

#include <utility>

#include "platform/win/syserror.h"

namespace {

using State = CheckResult::State;

// How a connect that did not connect ended. Refused and timed out always say it in these words;
// the ways there that are closed say it in the system's words, or in these where it has none.
const struct {
    int error;
    State state;
    const wchar_t *words;
    bool systemWordsFirst;
} kConnectErrors[] = {
    {WSAECONNREFUSED, State::NoAnswer, L"refused: nothing listens on that port", false},
    {WSAETIMEDOUT, State::NoAnswer, L"no answer within a second", false},
    {WSAEHOSTUNREACH, State::NoAnswer, L"no route to the host", true},
    {WSAENETUNREACH, State::NoAnswer, L"the network cannot be reached", true},
    {WSAEHOSTDOWN, State::NoAnswer, L"the host is down", true},
    {WSAENETDOWN, State::NoAnswer, L"the network is down", true},
};

}  // namespace

CheckResult outcomeOfConnectError(int error) {
    for (const auto &known : kConnectErrors) {
        if (known.error != error) continue;
        const std::wstring words =
            known.systemWordsFirst ? systemMessageOr(static_cast<unsigned long>(error), known.words)
                                   : known.words;
        return {known.state, -1, QString::fromStdWString(words)};
    }
    return {State::CouldNotCheck, -1,
            QString::fromStdWString(systemMessage(static_cast<unsigned long>(error)))};
}

PortConnect::PortConnect(std::vector<HostAddress> addresses, int port, Done done)
    : m_addresses(std::move(addresses)), m_done(std::move(done)), m_event(WSACreateEvent()) {
    for (HostAddress &a : m_addresses) {
        if (a.family() == AF_INET)
            reinterpret_cast<sockaddr_in *>(&a.address)->sin_port =
                htons(static_cast<u_short>(port));
        else
            reinterpret_cast<sockaddr_in6 *>(&a.address)->sin6_port =
                htons(static_cast<u_short>(port));
    }
    m_notifier.setHandle(m_event);
    QObject::connect(&m_notifier, &QWinEventNotifier::activated, &m_context, [this] { outcome(); });
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, &m_context, [this] {
        closeSocket();
        finish({State::NoAnswer, -1, QStringLiteral("no answer within a second")});
    });
    m_limit.start(HostChecker::kReplyTimeoutMs);
    if (m_event == WSA_INVALID_EVENT) {
        m_lastError = WSAGetLastError();
        m_next = m_addresses.size();
    }
    tryNext();
}

PortConnect::~PortConnect() {
    closeSocket();
    if (m_event != WSA_INVALID_EVENT) WSACloseEvent(m_event);
}

void PortConnect::tryNext() {
    while (m_next < m_addresses.size()) {
        const HostAddress &to = m_addresses[m_next++];
        closeSocket();
        m_socket = socket(to.family(), SOCK_STREAM, IPPROTO_TCP);
        // From here on the socket does not block, and the event is set once the connect has an
        // outcome.
        if (m_socket == INVALID_SOCKET || WSAEventSelect(m_socket, m_event, FD_CONNECT) != 0) {
            m_lastError = WSAGetLastError();
            continue;
        }
        m_clock.start();
        if (::connect(m_socket, to.get(), to.length) == 0) {
            finish({State::Answered, m_clock.nsecsElapsed() / 1e6, QString()});
            return;
        }
        m_lastError = WSAGetLastError();
        if (m_lastError == WSAEWOULDBLOCK) {
            m_notifier.setEnabled(true);
            return;
        }
    }
    if (m_addresses.empty()) {
        finish({State::CouldNotCheck, -1, QStringLiteral("no IPv4 or IPv6 address")});
        return;
    }
    closeSocket();
    finish(outcomeOfConnectError(m_lastError));
}

void PortConnect::outcome() {
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(m_socket, m_event, &events) != 0) {
        m_lastError = WSAGetLastError();
    } else if (!(events.lNetworkEvents & FD_CONNECT)) {
        return;  // not yet: the notifier waits on
    } else if (events.iErrorCode[FD_CONNECT_BIT] == 0) {
        const double ms = m_clock.nsecsElapsed() / 1e6;
        closeSocket();
        finish({State::Answered, ms, QString()});
        return;
    } else {
        m_lastError = events.iErrorCode[FD_CONNECT_BIT];
    }
    tryNext();  // the next address, if there is one
}

// Told from the event loop, never from inside the constructor, and once.
void PortConnect::finish(const CheckResult &result) {
    m_limit.stop();
    if (!m_done) return;
    QMetaObject::invokeMethod(
        &m_context, [done = std::exchange(m_done, nullptr), result] { done(result); },
        Qt::QueuedConnection);
}

void PortConnect::closeSocket() {
    m_notifier.setEnabled(false);
    if (m_socket == INVALID_SOCKET) return;
    closesocket(std::exchange(m_socket, INVALID_SOCKET));
    WSAResetEvent(m_event);
}
