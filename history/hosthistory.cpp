#include "history/hosthistory.h"

#include <cmath>
#include <limits>

using State = CheckResult::State;

namespace {
constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kLongestMicroseconds = (1 << 23) - 1;  // 8.4 s, far past any reply timeout
constexpr int kMostInSummary = std::numeric_limits<quint16>::max();
}  // namespace

DetailTexts::DetailTexts() {
    intern(QString());
    intern(QStringLiteral("(not kept: too many different details)"));
}

quint32 DetailTexts::intern(const QString &text) {
    const QString kept = text.size() > kLongestText
                             ? text.left(kLongestText - 1) + QChar(0x2026)  // an ellipsis
                             : text;
    const auto found = m_index.constFind(kept);
    if (found != m_index.constEnd()) return *found;
    if (m_texts.size() >= kMostTexts) return 1;
    const auto index = static_cast<quint32>(m_texts.size());
    m_texts.push_back(kept);
    m_index.insert(kept, index);
    return index;
}

std::size_t DetailTexts::bytesHeld() const {
    // Each text once (the index shares it), a string header and a hash node of about 48 bytes.
    std::size_t bytes = m_texts.capacity() * sizeof(QString);
    for (const QString &text : m_texts) bytes += 24 + text.capacity() * sizeof(QChar) + 48;
    return bytes;
}

void HostHistory::Tally::add(const HistoryResult &result) {
    switch (result.state) {
        case State::Answered:
            ++answered;
            if (result.roundTripMs >= 0) {
                const double ms = result.roundTripMs;
                minMs = timed == 0 ? ms : std::min(minMs, ms);
                maxMs = timed == 0 ? ms : std::max(maxMs, ms);
                sumMs += ms;
                ++timed;
                if (lastTimedMs >= 0) {
                    jitterSumMs += std::abs(ms - lastTimedMs);
                    ++jitterPairs;
                }
                lastTimedMs = ms;
            }
            break;
        case State::NoAnswer:
            ++lost;
            break;
        case State::CouldNotCheck:
            ++couldNotCheck;
            break;
    }
}

void HostHistory::Tally::merge(const Summary &summary) {
    if (summary.timed > 0) {
        minMs = timed == 0 ? summary.minMs : std::min<double>(minMs, summary.minMs);
        maxMs = timed == 0 ? summary.maxMs : std::max<double>(maxMs, summary.maxMs);
    }
    answered += summary.answered;
    lost += summary.lost;
    couldNotCheck += summary.couldNotCheck;
    timed += summary.timed;
    sumMs += summary.sumMs;
    jitterPairs += summary.jitterPairs;
    jitterSumMs += summary.jitterSumMs;
}

HistoryStretch HostHistory::Tally::stretch(qint64 fromMs, qint64 toMs) const {
    HistoryStretch stretch{fromMs, toMs, answered, lost, couldNotCheck};
    if (timed > 0) {
        stretch.minMs = minMs;
        stretch.maxMs = maxMs;
        stretch.averageMs = sumMs / double(timed);
    }
    if (jitterPairs > 0) stretch.jitterMs = jitterSumMs / double(jitterPairs);
    return stretch;
}

void HostHistory::Tally::fill(HostStats &stats) const {
    const HistoryStretch all = stretch(0, 0);
    stats.sent = all.sent();
    stats.lost = lost;
    stats.couldNotCheck = couldNotCheck;
    stats.minMs = all.minMs;
    stats.averageMs = all.averageMs;
    stats.maxMs = all.maxMs;
    stats.jitterMs = all.jitterMs;
}

HostHistory::HostHistory(DetailTexts &details) : m_details(&details) {}

HostHistory::Sample HostHistory::sampleOf(qint64 atMs, const CheckResult &result, quint32 detail) {
    Sample sample{};
    sample.atMs = static_cast<quint64>(std::max<qint64>(atMs, 0));
    switch (result.state) {
        case State::Answered:
            // A time that is not a finite number is an answer of unknown time.
            sample.code = result.roundTripMs >= 0 && std::isfinite(result.roundTripMs)
                              ? std::llround(std::min(result.roundTripMs * 1000,
                                                      double(kLongestMicroseconds)))
                              : -1;
            break;
        case State::NoAnswer:
            sample.code = -2 - 2 * qint64{detail};
            break;
        case State::CouldNotCheck:
            sample.code = -2 - (2 * qint64{detail} + 1);
            break;
    }
    return sample;
}

HistoryResult HostHistory::resultOf(const Sample &sample) const {
    HistoryResult result;
    result.atMs = static_cast<qint64>(sample.atMs);
    const qint64 code = sample.code;
    if (code >= -1) {
        result.state = State::Answered;
        result.roundTripMs = code >= 0 ? double(code) / 1000 : -1;
    } else {
        const qint64 n = -2 - code;
        result.state = n % 2 ? State::CouldNotCheck : State::NoAnswer;
        result.detail = m_details->text(static_cast<quint32>(n / 2));
    }
    return result;
}

HistoryStretch HostHistory::stretchOf(const Summary &summary) {
    Tally tally;
    tally.merge(summary);
    return tally.stretch(qint64{summary.startMinute} * kMinuteMs,
                         (qint64{summary.startMinute} + summary.minutes) * kMinuteMs);
}

void HostHistory::add(qint64 atMs, const CheckResult &result) {
    const quint32 detail = result.state == State::Answered ? 0 : m_details->intern(result.detail);
    const Sample sample = sampleOf(atMs, result, detail);
    // The tally takes the result as it is kept, so that the session's figures and those of its
    // results agree to the microsecond.
    const HistoryResult kept = resultOf(sample);
    m_session.add(kept);
    if (kept.state == State::NoAnswer) m_lastLostMs = kept.atMs;
    if (m_full.full()) {
        summarise(resultOf(m_full.front()));
        m_full.popFront();
    }
    m_full.push(sample);
}

void HostHistory::summarise(const HistoryResult &result) {
    Summary summary{};
    summary.startMinute = static_cast<quint32>(result.atMs / kMinuteMs);
    summary.minutes = 1;
    switch (result.state) {
        case State::Answered:
            summary.answered = 1;
            if (result.roundTripMs >= 0) {
                summary.timed = 1;
                summary.minMs = summary.maxMs = summary.sumMs = float(result.roundTripMs);
                if (m_lastSummarisedMs >= 0) {
                    summary.jitterPairs = 1;
                    summary.jitterSumMs = float(std::abs(result.roundTripMs - m_lastSummarisedMs));
                }
                m_lastSummarisedMs = result.roundTripMs;
            }
            break;
        case State::NoAnswer:
            summary.lost = 1;
            break;
        case State::CouldNotCheck:
            summary.couldNotCheck = 1;
            break;
    }
    keepMinute(summary);
}

bool HostHistory::mergeInto(Summary &into, const Summary &from) {
    if (into.startMinute != from.startMinute || into.minutes != from.minutes) return false;
    for (const auto count : {&Summary::answered, &Summary::lost, &Summary::couldNotCheck,
                             &Summary::timed, &Summary::jitterPairs}) {
        if (int{into.*count} + int{from.*count} > kMostInSummary) return false;
    }
    if (from.timed > 0) {
        into.minMs = into.timed == 0 ? from.minMs : std::min(into.minMs, from.minMs);
        into.maxMs = into.timed == 0 ? from.maxMs : std::max(into.maxMs, from.maxMs);
    }
    for (const auto count : {&Summary::answered, &Summary::lost, &Summary::couldNotCheck,
                             &Summary::timed, &Summary::jitterPairs})
        into.*count = static_cast<quint16>(into.*count + from.*count);
    into.sumMs += from.sumMs;
    into.jitterSumMs += from.jitterSumMs;
    return true;
}

void HostHistory::keepMinute(const Summary &summary) {
    if (!m_minutes.empty() && mergeInto(m_minutes.back(), summary)) return;
    if (m_minutes.full()) {
        keepHour(m_minutes.front());
        m_minutes.popFront();
    }
    m_minutes.push(summary);
}

void HostHistory::keepHour(Summary summary) {
    summary.startMinute -= summary.startMinute % 60;
    summary.minutes = 60;
    if (!m_hours.empty() && mergeInto(m_hours.back(), summary)) return;
    if (m_hours.full()) {
        const Summary &oldest = m_hours.front();
        if (m_olderFromMs < 0) m_olderFromMs = qint64{oldest.startMinute} * kMinuteMs;
        m_olderToMs = (qint64{oldest.startMinute} + oldest.minutes) * kMinuteMs;
        m_older.merge(oldest);
        m_hours.popFront();
    }
    m_hours.push(summary);
}

HostStats HostHistory::statsFrom(const Tally &tally, qint64 lastLostMs) const {
    HostStats stats;
    tally.fill(stats);
    if (!m_full.empty()) stats.last = resultOf(m_full.back());
    stats.lastLostMs = lastLostMs;
    return stats;
}

HostStats HostHistory::stats() const { return statsFrom(m_session, m_lastLostMs); }

HostStats HostHistory::recentStats(int count) const {
    Tally tally;
    qint64 lastLostMs = -1;
    for (const HistoryResult &result : recent(count)) {
        tally.add(result);
        if (result.state == State::NoAnswer) lastLostMs = result.atMs;
    }
    return statsFrom(tally, lastLostMs);
}

std::vector<HistoryResult> HostHistory::recent(int count) const {
    std::vector<HistoryResult> results;
    const int first = std::max(0, m_full.size() - count);
    results.reserve(m_full.size() - first);
    for (int i = first; i < m_full.size(); ++i) results.push_back(resultOf(m_full[i]));
    return results;
}

void HostHistory::visit(const std::function<void(const HistoryStretch &)> &stretch,
                        const std::function<void(const HistoryResult &)> &result) const {
    if (m_olderFromMs >= 0) stretch(m_older.stretch(m_olderFromMs, m_olderToMs));
    for (int i = 0; i < m_hours.size(); ++i) stretch(stretchOf(m_hours[i]));
    for (int i = 0; i < m_minutes.size(); ++i) stretch(stretchOf(m_minutes[i]));
    for (int i = 0; i < m_full.size(); ++i) result(resultOf(m_full[i]));
}

std::size_t HostHistory::bytesHeld() const {
    return sizeof(*this) + m_full.bytesHeld() + m_minutes.bytesHeld() + m_hours.bytesHeld();
}
