#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstddef>
#include <map>
#include <unordered_map>
#include <vector>

#include "history/hosthistory.h"
#include "platform/host.h"
#include "platform/hostcheck.h"

// Where the history's times come from. A seam so tests can set the time.
class WallClock {
public:
    virtual ~WallClock() = default;
    // The local time now, with its offset from UTC.
    virtual QDateTime now() const = 0;
    // The same moment in ms since 1970 UTC: quicker, as no time zone is looked up.
    virtual qint64 msecsSinceEpoch() const { return now().toMSecsSinceEpoch(); }
};

// The system's clock.
const WallClock &systemWallClock();

// Every check result of the session, per host, keyed by the address text: rows that share an
// address share a history. It also keeps the list's rows, in list order, for those who show it.
// Memory is bounded per host (see HostHistory): 86 hosts checked every 5 seconds for a day hold
// under 5 MiB.
class SessionHistory : public QObject {
    Q_OBJECT

public:
    // The session starts now, by the clock.
    explicit SessionHistory(const WallClock &clock = systemWallClock(), QObject *parent = nullptr);

    // The list's rows, in list order, after a load or a reload. The history of every address
    // among them is kept; that of every other address is dropped.
    void setRows(std::vector<Host> rows);
    const std::vector<Host> &rows() const { return m_rows; }

    // Records a result of the host at address, at the clock's time now (never earlier than the
    // result before it, should the clock be set back).
    void record(const QString &address, const CheckResult &result);

    // The host's history; null when it has none.
    const HostHistory *find(const QString &address) const;
    // The whole session of the host; empty figures when it has no result.
    HostStats statsOf(const QString &address) const;
    // The newest count results of the host.
    HostStats recentStatsOf(const QString &address, int count) const;
    std::vector<HistoryResult> recentOf(const QString &address, int count) const;

    // Whether any row of the list has a result.
    bool checkedAny() const;
    QDateTime startedAt() const { return m_start; }
    // The time of a moment given in ms since the session's start, as the clock shows it (with
    // the offset from UTC in force then).
    QDateTime timeOf(qint64 ms) const;
    // Ms since the session's start, now.
    qint64 nowMs() const;

    // What the histories hold in memory, counted from their containers' capacities.
    std::size_t bytesHeld() const;

signals:
    // A result of the host at address was recorded.
    void recorded(const QString &address);
    // The rows were replaced by others.
    void rowsChanged();

private:
    HostStats withTimes(HostStats stats) const;

    const WallClock &m_clock;
    const QDateTime m_start;
    const qint64 m_startMs;  // since 1970 UTC
    // The offset from UTC in each quarter of an hour asked for so far, by its start: looking up
    // the time zone for every time shown would cost more than all else the board does.
    mutable std::map<qint64, int> m_offsets;
    qint64 m_lastMs = 0;
    std::vector<Host> m_rows;
    DetailTexts m_details;
    std::unordered_map<QString, HostHistory> m_hosts;
};
