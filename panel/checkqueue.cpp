#include "panel/checkqueue.h"

#include <algorithm>

CheckQueue::CheckQueue(HostChecker &checker, std::map<int, Host> hosts, Listener listener,
                       int repeatMs)
    : m_checker(checker), m_hosts(std::move(hosts)), m_listener(std::move(listener)) {
    m_repeat.setSingleShot(true);
    m_repeat.setInterval(repeatMs);
    QObject::connect(&m_repeat, &QTimer::timeout, &m_context, [this] { checkAll(); });
}

CheckQueue::~CheckQueue() { stop(); }

void CheckQueue::checkAll() {
    m_repeat.stop();
    m_waiting.clear();
    m_running.clear();  // stops them
    for (const auto &[key, host] : m_hosts) {
        m_waiting.push_back(key);
        m_listener.waiting(key);
    }
    pump();
}

void CheckQueue::checkOne(int key) {
    if (!m_hosts.count(key)) return;
    drop(key);
    m_waiting.push_front(key);
    m_listener.waiting(key);
    pump();
}

void CheckQueue::setKeepChecking(bool on) {
    m_keepChecking = on;
    if (!on) {
        m_repeat.stop();
    } else if (!busy()) {
        checkAll();
    }
}

void CheckQueue::setRepeatMs(int ms) {
    m_repeat.setInterval(ms);
    if (m_repeat.isActive()) m_repeat.start();
}

void CheckQueue::stop() {
    m_repeat.stop();
    m_waiting.clear();
    m_running.clear();
    m_ended.clear();
}

void CheckQueue::drop(int key) {
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), key), m_waiting.end());
    m_running.erase(key);
}

void CheckQueue::pump() {
    while (running() < kMaxAtOnce && !m_waiting.empty()) {
        const int key = m_waiting.front();
        m_waiting.pop_front();
        const Host &host = m_hosts.at(key);
        const auto done = [this, key](const CheckResult &result) { finish(key, result); };
        if (const std::optional<PortTarget> port = host.portTarget()) {
            m_running[key] = m_checker.checkPort(port->host, port->port, done);
            continue;
        }
        const QString target = host.checkTarget();
        if (target.isEmpty()) {
            // Nothing to send to: said at once, from the event loop as any result.
            QTimer::singleShot(0, &m_context, [this, key] {
                finish(key, {CheckResult::State::CouldNotCheck, -1,
                             QStringLiteral("the address names no host")});
            });
            m_running[key] = nullptr;
            continue;
        }
        m_running[key] = m_checker.check(target, done);
    }
    if (!busy()) {
        m_listener.idle();
        if (m_keepChecking) m_repeat.start();
    }
}

void CheckQueue::finish(int key, const CheckResult &result) {
    const auto it = m_running.find(key);
    if (it == m_running.end()) return;  // dropped meanwhile
    if (it->second) {
        m_ended.push_back(std::move(it->second));
        QTimer::singleShot(0, &m_context, [this] { m_ended.clear(); });
    }
    m_running.erase(it);
    m_listener.finished(key, result);
    pump();
}
