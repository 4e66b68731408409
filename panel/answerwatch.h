#pragma once

#include <QString>
#include <QTime>
#include <map>
#include <vector>

#include "platform/hostcheck.h"

// Tells when watched hosts start or stop answering for good: a result that differs from the
// host's settled one and holds for two checks in a row (one lost reply is no news). A host's
// first result settles it without news, and could-not-check says nothing either way.
class AnswerWatch {
public:
    // More changes than this in one run are told as one summary per direction.
    static constexpr int kMostSingleNotices = 3;

    struct Notice {
        QString summary;
        QString body;
    };

    // Records a result of the host keyed by its address; name is what notices call it.
    void record(const QString &address, const QString &name, CheckResult::State state,
                const QTime &at);
    // The notices for what settled since the last call: those that stopped answering first.
    std::vector<Notice> takeNotices();
    // Forgets every host: the next result of each settles it again.
    void clear();

private:
    struct Change {
        QString address;
        QString name;
        bool answers;
        QTime at;
    };
    struct Seen {
        int settled = -1;  // 1 answering, 0 not, -1 no result yet
        int streak = 0;    // results in a row that differ from settled
    };
    std::map<QString, Seen> m_hosts;
    std::vector<Change> m_changes;
};
