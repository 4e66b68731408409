#include "platform/posix/pingchecker.h"

#include <sys/wait.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include "platform/posix/childprocess.h"
#include "platform/posix/fpingsweep.h"
#include "platform/posix/portsweep.h"
#include "platform/posix/searchpath.h"

namespace {

using State = CheckResult::State;

// The first line of output that contains any of needles, trimmed.
QString lineWith(const QString &output, std::initializer_list<const char *> needles) {
    for (const QString &line : output.split(u'\n')) {
        for (const char *needle : needles) {
            if (line.contains(QLatin1String(needle), Qt::CaseInsensitive)) return line.trimmed();
        }
    }
    return {};
}

// What ping said last, without its own name in front.
QString lastWords(const QString &output) {
    const QStringList lines = output.trimmed().split(u'\n');
    QString last = lines.isEmpty() ? QString() : lines.last().trimmed();
    if (last.startsWith(QStringLiteral("ping: "))) last = last.mid(6);
    return last;
}

// A check is a ping process, killed and reaped when the check goes.
class PingRun : public PendingCheck {
public:
    PingRun(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment, int hardLimitMs, HostChecker::Done done)
        : m_done(std::move(done)), m_ping(ChildProcess::OnDestroy::Kill) {
        const QString name = QFileInfo(program).fileName();
        // Its stdout and stderr, read as they come; its start folder, one that is always there.
        const ChildProcess::Setup setup{program, arguments, environment, QDir::rootPath(),
                                        ChildProcess::Output::Pipe};
        QString error;
        if (!m_ping.start(setup, &error)) {
            // Reported after check() has returned, as every other result is.
            QMetaObject::invokeMethod(
                &m_ping,
                [this, error, name] {
                    finish({State::CouldNotCheck, -1,
                            QStringLiteral("%1 could not be started: %2").arg(name, error)});
                },
                Qt::QueuedConnection);
            return;
        }
        m_ping.onFinished([this](int status) {
            const bool exited = status != ChildProcess::kStatusLost && WIFEXITED(status);
            finish(readPingRun(exited, exited ? WEXITSTATUS(status) : -1,
                               QString::fromLocal8Bit(m_ping.output())));
        });
        m_limit.setSingleShot(true);
        QObject::connect(&m_limit, &QTimer::timeout, &m_ping, [this, hardLimitMs, name] {
            m_ping.kill();
            finish({State::CouldNotCheck, -1,
                    QStringLiteral("%1 gave no result within %2 seconds (a slow name lookup?)")
                        .arg(name)
                        .arg(hardLimitMs / 1000)});
        });
        m_limit.start(hardLimitMs);
    }

private:
    void finish(const CheckResult &result) {
        if (!m_done) return;
        m_limit.stop();
        // done may destroy this check: nothing of it is touched afterwards.
        const HostChecker::Done done = std::move(m_done);
        m_done = nullptr;
        done(result);
    }

    HostChecker::Done m_done;
    ChildProcess m_ping;
    QTimer m_limit;
};

// A check that ends before anything is sent; its result comes from the event loop all the same.
class Refused : public PendingCheck {
public:
    Refused(CheckResult result, HostChecker::Done done) {
        QTimer::singleShot(0, &m_context, [result, done = std::move(done)] { done(result); });
    }

private:
    QObject m_context;  // gone with the check, and the result with it
};

// What a check's program runs with: the absolute PATH folders alone, and the C locale, whose
// words the readers of its output know.
QProcessEnvironment checkEnvironment(const QStringList &dirs) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), dirs.join(u':'));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    return environment;
}

}  // namespace

CheckResult readPingRun(bool exitedNormally, int exitCode, const QString &output) {
    if (!exitedNormally) return {State::CouldNotCheck, -1, QStringLiteral("ping ended abnormally")};
    static const QRegularExpression reply(
        QStringLiteral(R"(bytes from .*time[=<]\s*([0-9.]+)\s*ms)"));
    const QRegularExpressionMatch answered = reply.match(output);
    // A router's "Destination Host Unreachable" is a reply, but not from the host.
    const QString unreachable =
        lineWith(output, {"Unreachable", "No route to host", "Host is down"});
    if (exitCode == 0 && answered.hasMatch())
        return {State::Answered, answered.captured(1).toDouble(), QString()};
    if (!unreachable.isEmpty()) return {State::NoAnswer, -1, unreachable};
    if (exitCode == 0) return {State::Answered, -1, QString()};
    if (exitCode == 1) return {State::NoAnswer, -1, QStringLiteral("no reply within a second")};
    return {State::CouldNotCheck, -1, lastWords(output)};
}

PingChecker::PingChecker(QProcessEnvironment environment, int hardLimitMs)
    : m_environment(std::move(environment)), m_hardLimitMs(hardLimitMs) {}

namespace {

// A sweep of echo and port targets together, each kind its own way.
class EchoAndPorts : public PendingCheck {
public:
    std::unique_ptr<PendingCheck> echo, ports;
};

// Each for a part of a sweep: its index i is the sweep's at[i].
HostChecker::Each partOf(const HostChecker::Each &each, std::vector<std::size_t> at) {
    return [each, at = std::move(at)](std::size_t i, const CheckResult &r) { each(at[i], r); };
}

}  // namespace

std::unique_ptr<PendingCheck> PingChecker::sweep(std::vector<CheckTarget> targets, Each each) {
    std::vector<QString> hosts;
    std::vector<CheckTarget> ports;
    std::vector<std::size_t> hostAt, portAt;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (targets[i].port) {
            ports.push_back(std::move(targets[i]));
            portAt.push_back(i);
        } else {
            hosts.push_back(std::move(targets[i].host));
            hostAt.push_back(i);
        }
    }
    auto both = std::make_unique<EchoAndPorts>();
    if (!ports.empty()) both->ports = sweepPorts(std::move(ports), partOf(each, std::move(portAt)));
    if (!hosts.empty()) both->echo = sweepEcho(hosts, partOf(each, std::move(hostAt)));
    return both;
}

std::unique_ptr<PendingCheck> PingChecker::sweepEcho(const std::vector<QString> &hosts,
                                                     Each each) {
    const QStringList dirs = searchPath(m_environment);
    const QString fping = findExecutable(QStringLiteral("fping"), dirs);
    if (!fping.isEmpty())
        return sweepWithFping(fping, checkEnvironment(dirs), hosts, std::move(each), m_hardLimitMs);
    std::vector<CheckTarget> targets;
    for (const QString &host : hosts) targets.push_back({host, 0});
    return sweepOneByOne(std::move(targets), std::move(each), kMostAtOnce,
                         [this](const CheckTarget &target, Done done) {
                             return pingOnce(target.host, std::move(done));
                         });
}

std::unique_ptr<PendingCheck> PingChecker::pingOnce(const QString &hostName, Done done) {
    const QStringList dirs = searchPath(m_environment);
    const QString ping = findExecutable(QStringLiteral("ping"), dirs);
    if (ping.isEmpty()) {
        return std::make_unique<Refused>(
            CheckResult{State::CouldNotCheck, -1,
                        QStringLiteral("no ping program was found on PATH")},
            std::move(done));
    }
    const QStringList arguments{QStringLiteral("-n"),
                                QStringLiteral("-c"),
                                QStringLiteral("1"),
                                QStringLiteral("-W"),
                                QString::number(kReplyTimeoutMs / 1000),
                                QStringLiteral("--"),
                                hostName};
    return std::make_unique<PingRun>(ping, arguments, checkEnvironment(dirs), m_hardLimitMs,
                                     std::move(done));
}

std::unique_ptr<HostChecker> makeSystemHostChecker() { return std::make_unique<PingChecker>(); }
