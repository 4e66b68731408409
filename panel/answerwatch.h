#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <map>
#include <optional>
#include <vector>

#include "platform/hostcheck.h"

// A yes-or-no state of a host that changes only once the other answer has come twice in a row, so
// that one lost reply, or one slow one, is no news. The first answer settles it without a change.
class Settled {
public:
    // The new state when this answer changed it; none when it did not (the first one included).
    std::optional<bool> record(bool yes);

private:
    int m_state = -1;  // 1 yes, 0 no, -1 nothing yet
    int m_streak = 0;  // answers in a row that differ from the state
};

// Tells when watched hosts stop answering or answer again, and, with a limit set, when they start
// or stop answering slowly. Hosts are keyed by what is checked, so rows that share a host are one
// host here; each run counts once per host, however many of its rows the run checked. A host's
// first run settles it without news, and could-not-check says nothing either way.
class AnswerWatch {
public:
    // More changes of one kind than this in one run are told as one summary per direction.
    static constexpr int kMostSingleNotices = 3;

    struct Notice {
        QString summary;  // plain text
        QString body;     // plain text too: a notifier that shows markup escapes it
    };

    // Replies slower than ms count as slow; 0 (the default) watches no speed. Speed is watched
    // afresh from the next run.
    void setSlowAboveMs(int ms);
    int slowAboveMs() const { return m_slowAboveMs; }
    // Records a result of the host keyed by key, in the run under way; name is what notices call
    // the row it came for.
    void record(const QString &key, const QString &name, const CheckResult &result,
                const QTime &at);
    // Ends the run: counts what each host's results in it came to, and returns the notices for
    // what settled: those that stopped answering first.
    std::vector<Notice> endRun();
    // Forgets every host: the next result of each settles it again.
    void clear();

private:
    // What a host's results in one run came to.
    struct Run {
        QStringList names;
        bool answered = false;
        bool noAnswer = false;
        double fastestMs = -1;  // of its replies in this run
        QTime at;
    };
    struct Host {
        Settled answers;
        Settled slow;
    };
    enum Kind { Stopped, AnswersAgain, Slow, Quick };
    struct Change {
        Kind kind;
        QString name;
        double ms;
        QTime at;
    };
    std::vector<Notice> notices(const std::vector<Change> &changes, Kind a, Kind b) const;

    int m_slowAboveMs = 0;
    std::map<QString, Host> m_hosts;
    std::map<QString, Run> m_run;
    QStringList m_runOrder;  // the hosts of the run, in the order their first result came
};
