#include "panel/checkqueue.h"

namespace {

// What a row's check goes to; no host when its address names none.
CheckTarget targetOf(const Host &host) {
    if (const std::optional<PortTarget> port = host.portTarget()) return {port->host, port->port};
    return {host.checkTarget(), 0};
}

}  // namespace

CheckQueue::CheckQueue(HostChecker &checker, std::map<int, Host> hosts, Listener listener,
                       int repeatMs)
    : m_checker(checker), m_hosts(std::move(hosts)), m_listener(std::move(listener)) {
    m_repeat.setSingleShot(true);
    m_repeat.setInterval(repeatMs);
    QObject::connect(&m_repeat, &QTimer::timeout, &m_context, [this] { checkAll(); });
}

CheckQueue::~CheckQueue() { stop(); }

void CheckQueue::checkAll() {
    stop();
    std::vector<int> keys;
    for (const auto &[key, host] : m_hosts) keys.push_back(key);
    start(keys);
}

void CheckQueue::checkOne(int key) {
    if (m_hosts.count(key)) start({key});
}

void CheckQueue::start(const std::vector<int> &keys) {
    const std::uint64_t id = m_nextSweep++;
    Sweep &sweep = m_sweeps[id];
    std::vector<CheckTarget> targets;
    std::map<CheckTarget, std::size_t> indexOf;
    std::vector<int> nowhere;
    for (const int key : keys) {
        m_askedIn[key] = id;
        m_listener.waiting(key);
        const CheckTarget target = targetOf(m_hosts.at(key));
        if (target.host.isEmpty()) {
            nowhere.push_back(key);
            continue;
        }
        const auto [at, added] = indexOf.emplace(target, targets.size());
        if (added) {
            targets.push_back(target);
            sweep.keys.emplace_back();
        }
        sweep.keys[at->second].push_back(key);
    }
    sweep.left = targets.size();
    sweep.told.assign(targets.size(), false);
    if (!nowhere.empty()) {
        // Nothing to send to: said from the event loop, as every result is.
        sweep.keys.push_back(nowhere);
        sweep.told.push_back(false);
        ++sweep.left;
        QTimer::singleShot(0, &m_context, [this, id, index = sweep.keys.size() - 1] {
            finish(id, index,
                   {CheckResult::State::CouldNotCheck, -1,
                    QStringLiteral("the address names no host")});
        });
    }
    if (!targets.empty()) {
        sweep.pending = m_checker.sweep(std::move(targets),
                                        [this, id](std::size_t index, const CheckResult &result) {
                                            finish(id, index, result);
                                        });
    }
    if (sweep.left == 0) {
        m_sweeps.erase(id);
        endIfIdle();
    }
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
    m_sweeps.clear();  // stops them
    m_askedIn.clear();
    m_ended.clear();
}

void CheckQueue::finish(std::uint64_t id, std::size_t index, const CheckResult &result) {
    const auto it = m_sweeps.find(id);
    // Dropped meanwhile, or said twice.
    if (it == m_sweeps.end() || index >= it->second.keys.size() || it->second.told[index]) return;
    Sweep &sweep = it->second;
    sweep.told[index] = true;
    // Rows asked for again since wait for the later check.
    std::vector<int> told;
    for (const int key : sweep.keys[index]) {
        const auto asked = m_askedIn.find(key);
        if (asked == m_askedIn.end() || asked->second != id) continue;
        m_askedIn.erase(asked);
        told.push_back(key);
    }
    if (--sweep.left == 0) {
        if (sweep.pending) {
            m_ended.push_back(std::move(sweep.pending));
            QTimer::singleShot(0, &m_context, [this] { m_ended.clear(); });
        }
        m_sweeps.erase(it);
    }
    for (const int key : told) m_listener.finished(key, result);
    endIfIdle();
}

void CheckQueue::endIfIdle() {
    if (busy()) return;
    m_listener.idle();
    if (m_keepChecking) m_repeat.start();
}
