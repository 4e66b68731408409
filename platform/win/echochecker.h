#pragma once

#include "platform/hostcheck.h"

// Checks a host with the ICMP functions of the IP Helper API: no process, no window, and replies
// read from their status rather than from text in the system's language. Each check blocks a
// thread of its own (name lookup, then at most a second for the reply); at most kMaxEchoes
// requests are out at once, also while a check dropped by a restart is still waiting for its
// reply.
class EchoChecker : public HostChecker {
public:
    static constexpr int kMaxEchoes = 16;
    std::unique_ptr<PendingCheck> check(const QString &hostName, Done done) override;
};
