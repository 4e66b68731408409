#include "history/sessionhistory.h"

#include <set>

namespace {
class SystemWallClock : public WallClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
}  // namespace

const WallClock &systemWallClock() {
    static const SystemWallClock clock;
    return clock;
}

SessionHistory::SessionHistory(const WallClock &clock, QObject *parent)
    : QObject(parent), m_clock(clock), m_start(clock.now()) {}

void SessionHistory::setRows(std::vector<Host> rows) {
    const auto same = [](const Host &a, const Host &b) {
        return a.label == b.label && a.address == b.address;
    };
    if (std::equal(rows.begin(), rows.end(), m_rows.begin(), m_rows.end(), same)) return;
    m_rows = std::move(rows);
    std::set<QString> addresses;
    for (const Host &row : m_rows) addresses.insert(row.address);
    std::erase_if(m_hosts, [&](const auto &host) { return !addresses.count(host.first); });
    emit rowsChanged();
}

qint64 SessionHistory::nowMs() const { return std::max(m_lastMs, m_start.msecsTo(m_clock.now())); }

void SessionHistory::record(const QString &address, const CheckResult &result) {
    m_lastMs = nowMs();
    m_hosts.try_emplace(address, m_details).first->second.add(m_lastMs, result);
    emit recorded(address);
}

const HostHistory *SessionHistory::find(const QString &address) const {
    const auto found = m_hosts.find(address);
    return found == m_hosts.end() ? nullptr : &found->second;
}

HostStats SessionHistory::statsOf(const QString &address) const {
    const HostHistory *host = find(address);
    return host ? host->stats(m_start) : HostStats();
}

HostStats SessionHistory::recentStatsOf(const QString &address, int count) const {
    const HostHistory *host = find(address);
    return host ? host->recentStats(count, m_start) : HostStats();
}

std::vector<HistoryResult> SessionHistory::recentOf(const QString &address, int count) const {
    const HostHistory *host = find(address);
    return host ? host->recent(count) : std::vector<HistoryResult>();
}

bool SessionHistory::checkedAny() const {
    for (const Host &row : m_rows) {
        if (find(row.address)) return true;
    }
    return false;
}

std::size_t SessionHistory::bytesHeld() const {
    // A map node holds its key, its value and about 48 bytes of links and allocator overhead.
    std::size_t bytes = sizeof(*this) + m_details.bytesHeld();
    for (const auto &[address, host] : m_hosts)
        bytes += 48 + sizeof(address) + 24 + address.capacity() * sizeof(QChar) + host.bytesHeld();
    return bytes;
}
