#pragma once

#include <memory>
#include <set>

#include "platform/hostcheck.h"

// Checks hosts with the ICMP functions of the IP Helper API: no process, no window, and replies
// read from their status rather than from text in the system's language. A sweep sends every
// request at once, asynchronously: each request's completion routine runs on the thread that
// sent it, from the event loop's alertable wait, so no thread of the checker's own waits for a
// reply. A port row is one non-blocking connect (PortConnect), all of them at once too, and a
// name is looked up asynchronously (NameLookup). Destroying a sweep, or the checker with sweeps
// still out, ends every check at once: lookups are cancelled, sockets closed, and a request's
// reply buffer is kept until the system is done with it. No result comes after.
class EchoChecker : public HostChecker {
public:
    EchoChecker();
    ~EchoChecker() override;
    EchoChecker(const EchoChecker &) = delete;
    EchoChecker &operator=(const EchoChecker &) = delete;

    std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) override;

    class Sweep;

private:
    bool m_winsock = false;
    std::set<Sweep *> m_sweeps;  // under way, stopped when the checker goes
};

// What a reply status of the ICMP functions (IP_SUCCESS, IP_REQ_TIMED_OUT, ...) means. A router's
// "destination host unreachable" is a reply, but not an answer from the host.
CheckResult outcomeOfStatus(unsigned long status, unsigned long roundTripMs);
