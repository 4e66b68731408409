#include "panel/answerwatch.h"

#include <algorithm>

#include "history/historywords.h"

std::optional<bool> Settled::record(bool yes) {
    const int now = yes ? 1 : 0;
    if (m_state < 0 || now == m_state) {
        m_state = now;
        m_streak = 0;
        return std::nullopt;
    }
    if (++m_streak < 2) return std::nullopt;
    m_state = now;
    m_streak = 0;
    return yes;
}

void AnswerWatch::setSlowAboveMs(int ms) {
    m_slowAboveMs = std::max(ms, 0);
    for (auto &[key, host] : m_hosts) host.slow = Settled();
}

void AnswerWatch::record(const QString &key, const QString &name, const CheckResult &result,
                         const QTime &at) {
    if (result.state == CheckResult::State::CouldNotCheck) return;
    auto [it, added] = m_run.try_emplace(key);
    Run &run = it->second;
    if (added) m_runOrder.push_back(key);
    if (!run.names.contains(name)) run.names << name;
    run.at = at;
    if (result.state == CheckResult::State::NoAnswer) {
        run.noAnswer = true;
        return;
    }
    run.answered = true;
    if (result.roundTripMs >= 0 && (run.fastestMs < 0 || result.roundTripMs < run.fastestMs))
        run.fastestMs = result.roundTripMs;
}

void AnswerWatch::clear() {
    m_hosts.clear();
    m_run.clear();
    m_runOrder.clear();
}

std::vector<AnswerWatch::Notice> AnswerWatch::endRun() {
    std::vector<Change> changes;
    for (const QString &key : m_runOrder) {
        const Run &run = m_run.at(key);
        Host &host = m_hosts[key];
        const QString name = run.names.join(QStringLiteral(", "));
        // One reply in the run is an answer: the host is there.
        if (const std::optional<bool> answers = host.answers.record(run.answered))
            changes.push_back({*answers ? AnswersAgain : Stopped, name, run.fastestMs, run.at});
        if (!run.answered || m_slowAboveMs <= 0 || run.fastestMs < 0) continue;
        if (const std::optional<bool> slow = host.slow.record(run.fastestMs > m_slowAboveMs))
            changes.push_back({*slow ? Slow : Quick, name, run.fastestMs, run.at});
    }
    m_run.clear();
    m_runOrder.clear();
    std::vector<Notice> told = notices(changes, Stopped, AnswersAgain);
    const std::vector<Notice> speed = notices(changes, Slow, Quick);
    told.insert(told.end(), speed.begin(), speed.end());
    return told;
}

namespace {

QString timeText(const QTime &at) { return at.toString(QStringLiteral("HH:mm:ss")); }

// A change told on its own, by kind: what follows the row's name, and the body.
struct One {
    const char *said;
    const char *body;
};
const One kOne[] = {
    {" stopped answering", "No answer twice in a row, the last time at {at}."},
    {" answers again", "Answered twice in a row, the last time at {at}."},
    {" answers slowly: {ms} ms", "Slower than {limit} ms twice in a row, the last time at {at}."},
    {" answers quickly again", "Within {limit} ms twice in a row, the last time at {at}."},
};

}  // namespace

std::vector<AnswerWatch::Notice> AnswerWatch::notices(const std::vector<Change> &changes, Kind a,
                                                      Kind b) const {
    std::vector<Notice> told;
    const auto count = std::count_if(changes.begin(), changes.end(),
                                     [&](const Change &c) { return c.kind == a || c.kind == b; });
    const bool summarise = count > kMostSingleNotices;
    const QString limit = QString::number(m_slowAboveMs);
    for (const Kind kind : {a, b}) {
        std::vector<const Change *> these;
        for (const Change &c : changes) {
            if (c.kind == kind) these.push_back(&c);
        }
        if (!summarise || these.size() == 1) {
            for (const Change *c : these) {
                const One &words = kOne[kind];
                told.push_back({c->name + QLatin1String(words.said)
                                              .toString()
                                              .replace(QLatin1String("{ms}"), formatMs(c->ms)),
                                QLatin1String(words.body)
                                    .toString()
                                    .replace(QLatin1String("{limit}"), limit)
                                    .replace(QLatin1String("{at}"), timeText(c->at))});
            }
            continue;
        }
        if (these.empty()) continue;
        // A body a notice can show: the first few names, then how many more.
        constexpr size_t kNamesShown = 8;
        QStringList names;
        for (size_t i = 0; i < std::min(these.size(), kNamesShown); ++i) names << these[i]->name;
        QString body = names.join(QStringLiteral(", "));
        if (these.size() > kNamesShown)
            body += QStringLiteral(" and %1 more").arg(these.size() - kNamesShown);
        static const char *const kSaid[] = {"stopped answering", "answer again", "answer slowly",
                                            "answer quickly again"};
        told.push_back(
            {QStringLiteral("%1 hosts %2").arg(these.size()).arg(QLatin1String(kSaid[kind])),
             body});
    }
    return told;
}
