#include "panel/answerwatch.h"

#include <QStringList>
#include <algorithm>

void AnswerWatch::record(const QString &address, const QString &name, CheckResult::State state,
                         const QTime &at) {
    if (state == CheckResult::State::CouldNotCheck) return;
    const int answers = state == CheckResult::State::Answered ? 1 : 0;
    Seen &seen = m_hosts[address];
    if (seen.settled < 0 || answers == seen.settled) {
        seen.settled = answers;
        seen.streak = 0;
        return;
    }
    if (++seen.streak < 2) return;
    seen.settled = answers;
    seen.streak = 0;
    // A host that changed back and forth within one run is told once, as it now stands.
    const auto same = std::find_if(m_changes.begin(), m_changes.end(),
                                   [&](const Change &c) { return c.address == address; });
    if (same != m_changes.end()) m_changes.erase(same);
    m_changes.push_back({address, name, answers == 1, at});
}

namespace {

QString said(bool answers, bool many) {
    if (!answers) return QStringLiteral("stopped answering");
    return many ? QStringLiteral("answer again") : QStringLiteral("answers again");
}

}  // namespace

std::vector<AnswerWatch::Notice> AnswerWatch::takeNotices() {
    std::vector<Notice> notices;
    const bool summarise = static_cast<int>(m_changes.size()) > kMostSingleNotices;
    for (const bool answers : {false, true}) {
        std::vector<const Change *> changes;
        for (const Change &c : m_changes) {
            if (c.answers == answers) changes.push_back(&c);
        }
        if (!summarise || changes.size() == 1) {
            for (const Change *c : changes) {
                notices.push_back(
                    {c->name + u' ' + said(answers, false),
                     QStringLiteral("%1 twice in a row, the last time at %2.")
                         .arg(answers ? QStringLiteral("Answered") : QStringLiteral("No answer"),
                              c->at.toString(QStringLiteral("HH:mm:ss")))});
            }
            continue;
        }
        if (changes.empty()) continue;
        // A body a notice can show: the first few names, then how many more.
        constexpr size_t kNamesShown = 8;
        QStringList names;
        for (size_t i = 0; i < std::min(changes.size(), kNamesShown); ++i)
            names << changes[i]->name;
        QString body = names.join(QStringLiteral(", "));
        if (changes.size() > kNamesShown)
            body += QStringLiteral(" and %1 more").arg(changes.size() - kNamesShown);
        notices.push_back(
            {QStringLiteral("%1 hosts %2").arg(changes.size()).arg(said(answers, true)), body});
    }
    m_changes.clear();
    return notices;
}

void AnswerWatch::clear() {
    m_hosts.clear();
    m_changes.clear();
}
