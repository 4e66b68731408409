#pragma once

#include <QProcessEnvironment>

#include "platform/hostcheck.h"

// Checks hosts the POSIX way. Echo targets: every one with one fping process where fping is
// installed (see sweepWithFping), else the system ping, one request each ("-c 1"), a reply
// timeout of a second ("-W 1"), numbers only ("-n"), the host as the one word after "--",
// kMostAtOnce at a time. fping and ping are looked for in the absolute folders of environment's
// PATH at each sweep, so one installed while norvex runs is used from the next, and run in the C
// locale, whose words the readers of their output know; no shell reads anything. A ping still
// running after hardLimitMs (a slow name lookup) is stopped, and so is an fping run after that
// and time for its name lookups. Port targets: a TCP connect each, made by norvex itself (see
// sweepPorts), side by side with the echo requests.
class PingChecker : public HostChecker {
public:
    static constexpr int kHardLimitMs = 4000;

    explicit PingChecker(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
                         int hardLimitMs = kHardLimitMs);
    std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) override;
    static constexpr int kMostAtOnce = 16;

private:
    std::unique_ptr<PendingCheck> sweepEcho(const std::vector<QString> &hosts, Each each);
    std::unique_ptr<PendingCheck> pingOnce(const QString &hostName, Done done);

    QProcessEnvironment m_environment;
    int m_hardLimitMs;
};

// How a ping run with "-c 1" ended, from its exit and what it printed.
CheckResult readPingRun(bool exitedNormally, int exitCode, const QString &output);
