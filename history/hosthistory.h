#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "history/ring.h"
#include "platform/hostcheck.h"

// One result as the history gives it back.
struct HistoryResult {
    qint64 atMs = 0;  // since the session's start
    CheckResult::State state = CheckResult::State::CouldNotCheck;
    double roundTripMs = -1;  // when it answered and the time is known; otherwise -1
    QString detail;
};

// Results the history keeps as counts and round-trip figures only: a minute, an hour, or
// everything older than the oldest hour it keeps. Round-trip figures are -1 when unknown.
struct HistoryStretch {
    qint64 fromMs = 0;  // it covers [fromMs, toMs), in ms since the session's start
    qint64 toMs = 0;
    qint64 answered = 0;
    qint64 lost = 0;
    qint64 couldNotCheck = 0;
    double minMs = -1;
    double averageMs = -1;
    double maxMs = -1;
    double jitterMs = -1;
    qint64 sent() const { return answered + lost; }
};

// How a host answered over some of its results. A request is sent when the host answered or the
// reply was lost; a check that could not be made sent nothing and counts as neither.
struct HostStats {
    qint64 sent = 0;
    qint64 lost = 0;
    qint64 couldNotCheck = 0;
    // Over the replies whose time is known; -1 when there is none.
    double minMs = -1;
    double averageMs = -1;
    double maxMs = -1;
    // The mean absolute difference between the round-trip times of consecutive replies (lost
    // ones are skipped); -1 with fewer than two.
    double jitterMs = -1;
    std::optional<HistoryResult> last;
    qint64 lastLostMs = -1;  // since the session's start; -1 when no reply was lost
    // The same two moments on the clock; null when there is none.
    QDateTime lastAt;
    QDateTime lastLostAt;

    qint64 answered() const { return sent - lost; }
    qint64 results() const { return sent + couldNotCheck; }
    // Replies lost as a share of requests sent, 0 to 1; 0 when none was sent.
    double lossShare() const { return sent > 0 ? double(lost) / double(sent) : 0; }
};

// The details of results that did not answer, each text kept once for the whole session.
class DetailTexts {
public:
    // More different texts than this share one that says so.
    static constexpr int kMostTexts = 1024;
    static constexpr int kLongestText = 200;

    DetailTexts();
    quint32 intern(const QString &text);
    const QString &text(quint32 index) const { return m_texts[index]; }
    std::size_t bytesHeld() const;

private:
    std::vector<QString> m_texts;
    QHash<QString, quint32> m_index;
};

// Every result of one host over the session, bounded: the newest kFullResults in full (8 bytes
// each), the kMinutes minutes before them as one summary per minute, the kHours hours before
// those as one per hour (32 bytes per summary), and everything older as one running summary.
// Its counts and round-trip figures over the whole session stay exact whatever is summarised.
class HostHistory {
public:
    static constexpr int kFullResults = 2000;
    static constexpr int kMinutes = 24 * 60;
    static constexpr int kHours = 30 * 24;

    explicit HostHistory(DetailTexts &details);

    // Adds a result at atMs, which is never earlier than the one before.
    void add(qint64 atMs, const CheckResult &result);

    // The whole session, without the clock times (SessionHistory adds them).
    HostStats stats() const;
    // The newest count results kept in full, as stats().
    HostStats recentStats(int count) const;
    // The newest count results kept in full, oldest first.
    std::vector<HistoryResult> recent(int count) const;
    int resultsKept() const { return m_full.size(); }
    // The session in time order: each stretch kept as a summary, oldest first, then each result
    // kept in full.
    void visit(const std::function<void(const HistoryStretch &)> &stretch,
               const std::function<void(const HistoryResult &)> &result) const;

    // What it holds in memory, counted from its containers' capacities.
    std::size_t bytesHeld() const;

private:
    // One result: its time and, in one signed field, how it ended.
    struct Sample {
        quint64 atMs : 40;  // 34 years of ms
        qint64 code : 24;   // >= 0: answered in this many µs; -1: answered, time unknown;
                            // <= -2: -2 - (2 * detail + 1 if it could not be checked)
    };
    static_assert(sizeof(Sample) == 8);

    // A minute or an hour of results. A count that would pass 65,535 starts another summary of
    // the same stretch.
    struct Summary {
        quint32 startMinute;  // since the session's start
        quint16 minutes;
        quint16 answered;
        quint16 lost;
        quint16 couldNotCheck;
        quint16 timed;  // answers with a known time
        quint16 jitterPairs;
        float minMs;
        float maxMs;
        float sumMs;
        float jitterSumMs;
    };
    static_assert(sizeof(Summary) == 32);

    // Counts and sums over any number of results, added in time order.
    struct Tally {
        qint64 answered = 0;
        qint64 lost = 0;
        qint64 couldNotCheck = 0;
        qint64 timed = 0;
        qint64 jitterPairs = 0;
        double minMs = 0;
        double maxMs = 0;
        double sumMs = 0;
        double jitterSumMs = 0;
        double lastTimedMs = -1;  // the round-trip time that the next one is compared with
        void add(const HistoryResult &result);
        void merge(const Summary &summary);
        HistoryStretch stretch(qint64 fromMs, qint64 toMs) const;
        void fill(HostStats &stats) const;
    };

    static Sample sampleOf(qint64 atMs, const CheckResult &result, quint32 detail);
    HistoryResult resultOf(const Sample &sample) const;
    static HistoryStretch stretchOf(const Summary &summary);
    // Moves the oldest full result into the minutes, and what falls out of those onwards.
    void summarise(const HistoryResult &result);
    void keepMinute(const Summary &summary);
    void keepHour(Summary summary);
    static bool mergeInto(Summary &into, const Summary &from);
    HostStats statsFrom(const Tally &tally, qint64 lastLostMs) const;

    DetailTexts *m_details;
    Ring<Sample> m_full{kFullResults};
    Ring<Summary> m_minutes{kMinutes};
    Ring<Summary> m_hours{kHours};
    Tally m_older;  // what fell out of the hours
    qint64 m_olderFromMs = -1;
    qint64 m_olderToMs = -1;
    double m_lastSummarisedMs = -1;  // the round-trip time before the next one summarised
    Tally m_session;
    qint64 m_lastLostMs = -1;
};
