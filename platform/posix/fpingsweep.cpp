#include "platform/posix/fpingsweep.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/wait.h>

#include <QDir>
#include <QTimer>
#include <algorithm>
#include <map>
#include <optional>

#include "platform/posix/childprocess.h"

namespace {

using State = CheckResult::State;
using Results = std::vector<std::pair<std::size_t, CheckResult>>;
using Words = std::map<QByteArray, std::vector<std::size_t>>;  // the targets of each host word

// fping reads each line of its input into 132 bytes: a longer line would become two hosts.
constexpr qsizetype kLongestWord = 131;
// fping looks the names up one after another before it sends anything: the time allowed for each.
constexpr int kLookupMs = 100;

// The most fping prints for one host: a line of what went wrong ("ICMP Host Unreachable from
// 10.0.0.254 for ICMP Echo sent to HOST", or a send error's words after "HOST: ") and one of how
// it ended, each the host word and at most some 70 bytes.
qsizetype mostOutputFor(const QByteArray &word) { return 2 * word.size() + 100; }

// Why word cannot go to fping on a line of its own (fping skips what it takes for a comment, and
// takes the first word of a line); empty when it can.
QString unreadable(const QByteArray &word) {
    if (word.size() > kLongestWord)
        return QStringLiteral("too long for fping to read (%1 bytes at most)").arg(kLongestWord);
    if (word.startsWith('#')) return QStringLiteral("a host name does not start with #");
    for (const char c : word) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7f)
            return QStringLiteral("a host name holds no spaces or control characters");
    }
    return {};
}

// A name fping must look up, rather than an address.
bool isName(const QByteArray &word) {
    in6_addr address{};
    return ::inet_pton(AF_INET, word.constData(), &address) != 1 &&
           ::inet_pton(AF_INET6, word.constData(), &address) != 1;
}

// Hands results to each, one after another, until each has destroyed whatever alive belongs to.
void tell(const HostChecker::Each &each, const std::weak_ptr<char> &alive, const Results &results) {
    for (const auto &[index, result] : results) {
        if (alive.expired()) return;
        each(index, result);
    }
}

// What fping said of each host word it was given, in the C locale:
//   HOST is alive (0.04 ms)           a reply, with -e its time
//   HOST is unreachable               no reply in time
//   HOST: error while sending ping: No route to host
//   HOST: Name or service not known
//   ICMP Host Unreachable from 10.0.0.254 for ICMP Echo sent to HOST
// complaint: the last line about none of them (fping's own trouble, such as no raw socket).
struct Heard {
    std::optional<CheckResult> verdict;
    QString why;  // what went wrong on the way, or why it was not sent
};
struct FpingOutput {
    std::map<QByteArray, Heard> hosts;
    QString complaint;
};

FpingOutput readFpingOutput(const QByteArray &output, const Words &words,
                            const QByteArray &program) {
    FpingOutput read;
    const auto known = [&](const QByteArray &word) { return words.count(word) != 0; };
    for (QByteArray line : output.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) continue;
        const qsizetype sentTo = line.lastIndexOf(" sent to ");
        if (line.startsWith("ICMP") && sentTo > 0 && known(line.mid(sentTo + 9))) {
            const qsizetype echo = line.indexOf(" for ICMP Echo");
            read.hosts[line.mid(sentTo + 9)].why =
                QString::fromUtf8(line.left(echo > 0 ? echo : sentTo));
            continue;
        }
        const qsizetype space = line.indexOf(' ');
        const QByteArray first = line.left(space);
        const QByteArray rest = line.mid(space + 1);
        if (space > 0 && known(first) && rest.startsWith("is alive")) {
            const qsizetype open = rest.indexOf('('), close = rest.indexOf(" ms)");
            bool ok = false;
            const double ms =
                open > 0 && close > open ? rest.mid(open + 1, close - open - 1).toDouble(&ok) : -1;
            read.hosts[first].verdict = CheckResult{State::Answered, ok ? ms : -1, QString()};
            continue;
        }
        if (space > 0 && known(first) && rest == "is unreachable") {
            read.hosts[first].verdict = CheckResult{State::NoAnswer, -1, QString()};
            continue;
        }
        const qsizetype colon = line.indexOf(": ");
        if (colon > 0 && known(line.left(colon))) {
            QByteArray why = line.mid(colon + 2);
            if (why.startsWith("error while sending ping: ")) why = why.mid(26);
            read.hosts[line.left(colon)].why = QString::fromUtf8(why);
            continue;
        }
        if (line.startsWith(program + ": ")) line = "fping" + line.mid(program.size());
        read.complaint = QString::fromUtf8(line);
    }
    return read;
}

// One fping process and the host words it was given.
class FpingRun {
public:
    FpingRun(const QString &program, const QProcessEnvironment &environment,
             const std::vector<QByteArray> &order, Words words, int limitMs, HostChecker::Each each)
        : m_program(program.toUtf8()),
          m_words(std::move(words)),
          m_each(std::move(each)),
          m_fping(ChildProcess::OnDestroy::Kill) {
        QByteArray input;
        for (const QByteArray &word : order) input += word + '\n';
        // The round-trip time; no retries; the reply timeout; the least interval between sends.
        const QStringList arguments{QStringLiteral("-e"),
                                    QStringLiteral("-r"),
                                    QStringLiteral("0"),
                                    QStringLiteral("-t"),
                                    QString::number(HostChecker::kReplyTimeoutMs),
                                    QStringLiteral("-i"),
                                    QStringLiteral("1")};
        const ChildProcess::Setup setup{
            program, arguments, environment, QDir::rootPath(), ChildProcess::Output::Pipe, input};
        QString error;
        if (!m_fping.start(setup, &error)) {
            QTimer::singleShot(0, &m_fping, [this, error] {
                end(QStringLiteral("fping could not be started: %1").arg(error));
            });
            return;
        }
        m_fping.onFinished([this, limitMs](int status) {
            if (m_stopped) {
                end(QStringLiteral("fping gave no result within %1 seconds (a slow name lookup?)")
                        .arg(limitMs / 1000.0, 0, 'g', 2));
            } else if (status != ChildProcess::kStatusLost && WIFSIGNALED(status)) {
                end(QStringLiteral("fping ended before it answered for this host (signal %1)")
                        .arg(WTERMSIG(status)));
            } else {
                end(QStringLiteral("fping ended before it answered for this host"));
            }
        });
        m_limit.setSingleShot(true);
        QObject::connect(&m_limit, &QTimer::timeout, &m_fping, [this] {
            m_stopped = true;
            m_fping.kill();  // its end, with all it said, comes through onFinished
        });
        m_limit.start(limitMs);
    }

private:
    // Tells every host's result; unheard: why a host fping said nothing of has none.
    void end(const QString &unheard) {
        m_limit.stop();
        const QByteArray output = m_fping.output();
        const FpingOutput read = readFpingOutput(output, m_words, m_program);
        QString silent = output.size() >= ChildProcess::kMaxOutput
                             ? QStringLiteral("fping said more than norvex reads")
                             : unheard;
        if (!read.complaint.isEmpty()) silent += QStringLiteral(": ") + read.complaint;
        Results results;
        for (const auto &[word, targets] : m_words) {
            const auto heard = read.hosts.find(word);
            CheckResult result{State::CouldNotCheck, -1, silent};
            if (heard != read.hosts.end() && heard->second.verdict) {
                result = *heard->second.verdict;
                if (result.state == State::NoAnswer) {
                    result.detail = heard->second.why.isEmpty()
                                        ? QStringLiteral("no reply within a second")
                                        : heard->second.why;
                }
            } else if (heard != read.hosts.end() && !heard->second.why.isEmpty()) {
                result.detail = heard->second.why;  // a name that cannot be looked up
            }
            for (const std::size_t index : targets) results.emplace_back(index, result);
        }
        const HostChecker::Each each = m_each;  // it may destroy this run
        tell(each, m_alive, results);
    }

    const QByteArray m_program;
    const Words m_words;
    const HostChecker::Each m_each;
    ChildProcess m_fping;
    QTimer m_limit;
    bool m_stopped = false;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};

class FpingSweep : public PendingCheck {
public:
    FpingSweep(const QString &program, const QProcessEnvironment &environment,
               const std::vector<QString> &hosts, HostChecker::Each each, int hardLimitMs)
        : m_each(std::move(each)) {
        std::vector<QByteArray> order;
        Words words;
        Results unsent;
        for (std::size_t i = 0; i < hosts.size(); ++i) {
            const QByteArray word = hosts[i].toUtf8();
            if (const QString why = unreadable(word); !why.isEmpty()) {
                unsent.emplace_back(i, CheckResult{State::CouldNotCheck, -1, why});
                continue;
            }
            std::vector<std::size_t> &targets = words[word];
            if (targets.empty()) order.push_back(word);
            targets.push_back(i);
        }
        // As few runs as what fping may print allows: one for any list of addresses that fits a
        // window. Names go to a run of their own: fping looks them up one after another before it
        // sends, and a name server that does not answer would hold up every address with them.
        std::stable_partition(order.begin(), order.end(),
                              [](const QByteArray &word) { return !isName(word); });
        std::vector<QByteArray> runOrder;
        Words runWords;
        qsizetype output = 0;
        int names = 0;
        const auto startRun = [&] {
            const int limitMs = hardLimitMs + static_cast<int>(runOrder.size()) + names * kLookupMs;
            m_runs.push_back(std::make_unique<FpingRun>(program, environment, runOrder,
                                                        std::move(runWords), limitMs, m_each));
            runOrder.clear();
            runWords.clear();
            output = 0;
            names = 0;
        };
        for (const QByteArray &word : order) {
            const bool firstName = isName(word) && names == 0;
            if (!runOrder.empty() &&
                (firstName || output + mostOutputFor(word) > ChildProcess::kMaxOutput))
                startRun();
            output += mostOutputFor(word);
            names += isName(word);
            runOrder.push_back(word);
            runWords[word] = std::move(words[word]);
        }
        if (!runOrder.empty()) startRun();
        if (!unsent.empty()) {
            QTimer::singleShot(0, &m_context, [this, unsent] {
                const HostChecker::Each each = m_each;  // it may destroy this sweep
                tell(each, m_alive, unsent);
            });
        }
    }

private:
    const HostChecker::Each m_each;
    std::vector<std::unique_ptr<FpingRun>> m_runs;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
    QObject m_context;
};

}  // namespace

std::unique_ptr<PendingCheck> sweepWithFping(const QString &fping,
                                             const QProcessEnvironment &environment,
                                             const std::vector<QString> &hosts,
                                             HostChecker::Each each, int hardLimitMs) {
    return std::make_unique<FpingSweep>(fping, environment, hosts, std::move(each), hardLimitMs);
}
