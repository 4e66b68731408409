#include "history/sessionhistory.h"

#include <set>

namespace {
class SystemWallClock : public WallClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 msecsSinceEpoch() const override { return QDateTime::currentMSecsSinceEpoch(); }
};
}  // namespace

const WallClock &systemWallClock() {
    static const SystemWallClock clock;
    return clock;
}

SessionHistory::SessionHistory(const WallClock &clock, QObject *parent)
    : QObject(parent),
      m_clock(clock),
      m_start(clock.now()),
      m_startMs(m_start.toMSecsSinceEpoch()) {}

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

qint64 SessionHistory::nowMs() const {
    return std::max(m_lastMs, m_clock.msecsSinceEpoch() - m_startMs);
}

QDateTime SessionHistory::timeOf(qint64 ms) const {
    const qint64 at = m_startMs + ms;
    int offset = m_start.offsetFromUtc();
    if (m_start.timeSpec() == Qt::LocalTime || m_start.timeSpec() == Qt::TimeZone) {
        // Offsets change on a quarter hour at the earliest (most zones: on the hour).
        constexpr qint64 kQuarterMs = 15 * 60 * 1000;
        const qint64 quarter = at - ((at % kQuarterMs) + kQuarterMs) % kQuarterMs;
        const auto [found, added] = m_offsets.try_emplace(quarter, 0);
        if (added) found->second = m_start.addMSecs(quarter - m_startMs).offsetFromUtc();
        offset = found->second;
    }
    return QDateTime::fromMSecsSinceEpoch(at, Qt::OffsetFromUTC, offset);
}

HostStats SessionHistory::withTimes(HostStats stats) const {
    if (stats.last) stats.lastAt = timeOf(stats.last->atMs);
    if (stats.lastLostMs >= 0) stats.lastLostAt = timeOf(stats.lastLostMs);
    return stats;
}

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
    return host ? withTimes(host->stats()) : HostStats();
}

HostStats SessionHistory::recentStatsOf(const QString &address, int count) const {
    const HostHistory *host = find(address);
    return host ? withTimes(host->recentStats(count)) : HostStats();
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
    // A hash node holds its key, its value, a link, the hash and about 16 bytes of allocator
    // overhead; the buckets a pointer each.
    std::size_t bytes = sizeof(*this) + m_details.bytesHeld() + m_offsets.size() * 64 +
                        m_hosts.bucket_count() * sizeof(void *);
    for (const auto &[address, host] : m_hosts)
        bytes += 32 + sizeof(address) + 24 + address.capacity() * sizeof(QChar) + host.bytesHeld();
    return bytes;
}
