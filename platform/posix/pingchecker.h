#pragma once

#include <QProcessEnvironment>

#include "platform/hostcheck.h"

// Checks a host with the system ping: one request ("-c 1"), a reply timeout of a second ("-W 1"),
// numbers only ("-n"), and the host as the one word after "--"; no shell reads any of it. ping is
// looked for in the absolute folders of environment's PATH, and runs in the C locale so that what
// it prints can be read. A ping still running after hardLimitMs (a slow name lookup) is stopped.
// A port row is checked by norvex-probe (probe; empty: the one installed beside norvex) with one
// try, the same way.
class PingChecker : public HostChecker {
public:
    static constexpr int kHardLimitMs = 4000;

    explicit PingChecker(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
                         int hardLimitMs = kHardLimitMs, QString probe = QString());
    // At most kMostAtOnce programs at a time.
    std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) override;
    static constexpr int kMostAtOnce = 16;

private:
    std::unique_ptr<PendingCheck> checkOne(const CheckTarget &target, Done done);
    std::unique_ptr<PendingCheck> pingOnce(const QString &hostName, Done done);
    std::unique_ptr<PendingCheck> probeOnce(const QString &hostName, int port, Done done);

    QProcessEnvironment m_environment;
    int m_hardLimitMs;
    QString m_probe;
};

// How a ping run with "-c 1" ended, from its exit and what it printed.
CheckResult readPingRun(bool exitedNormally, int exitCode, const QString &output);
// How a norvex-probe run with "-c 1" ended, from its exit and what it printed.
CheckResult readProbeRun(bool exitedNormally, int exitCode, const QString &output);
