#pragma once

#include <memory>

#include "platform/hostcheck.h"

// Checks a host with the ICMP functions of the IP Helper API: no process, no window, and replies
// read from their status rather than from text in the system's language. The checks share a pool
// of at most kMaxEchoes threads, so at most that many requests are out at once, also while a
// check dropped by a restart is still waiting for its reply. Destroying the checker drops the
// checks not started yet and waits for those under way (a reply timeout at most; a name lookup is
// cancelled, or left to the system): no thread of it is left and no result comes after it.
class EchoChecker : public HostChecker {
public:
    static constexpr int kMaxEchoes = 16;

    EchoChecker();
    ~EchoChecker() override;
    EchoChecker(const EchoChecker &) = delete;
    EchoChecker &operator=(const EchoChecker &) = delete;

    // Echo requests and, on the same pool, TCP connects.
    std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) override;

private:
    std::unique_ptr<PendingCheck> checkOne(const CheckTarget &target, Done done);

    class Pool;
    std::unique_ptr<Pool> m_pool;
};

// What a reply status of the ICMP functions (IP_SUCCESS, IP_REQ_TIMED_OUT, ...) means. A router's
// "destination host unreachable" is a reply, but not an answer from the host.
CheckResult outcomeOfStatus(unsigned long status, unsigned long roundTripMs);
