#pragma once

#include <QString>
#include <functional>
#include <memory>

// How one check of a host ended.
struct CheckResult {
    enum class State {
        Answered,       // a reply came back
        NoAnswer,       // the request went out and nothing answered in time, or the way there
                        // is closed ("Destination Host Unreachable", "Network is unreachable")
        CouldNotCheck,  // nothing was sent: an unknown name, no ping, no host in the address
    };
    State state = State::CouldNotCheck;
    double roundTripMs = -1;  // when it answered and the time is known
    QString detail;           // why there was no answer, or why it could not be checked
};

// One check under way. Destroying it stops the check at once, and its result never comes.
class PendingCheck {
public:
    virtual ~PendingCheck() = default;
};

// Sends a host one echo request. A seam so tests can stand in for the system's own way.
class HostChecker {
public:
    virtual ~HostChecker() = default;
    // Timeout for the reply, and so about how long a check of a silent host takes.
    static constexpr int kReplyTimeoutMs = 1000;

    using Done = std::function<void(const CheckResult &result)>;
    // Checks hostName (a name or an address, never an option) and calls done once, later, from
    // the event loop, within a few seconds. Never throws: what cannot start ends CouldNotCheck.
    virtual std::unique_ptr<PendingCheck> check(const QString &hostName, Done done) = 0;
    // Checks a port row: one TCP connect to port on hostName, waiting kReplyTimeoutMs, sending
    // nothing. Connected is Answered (with the time), refused or no answer in time NoAnswer (the
    // detail says which), a name that cannot be resolved CouldNotCheck. Otherwise as check().
    virtual std::unique_ptr<PendingCheck> checkPort(const QString &hostName, int port,
                                                    Done done) = 0;
};

// The system's own way of checking: the system ping on POSIX systems, the ICMP functions of the
// IP Helper API on Windows.
std::unique_ptr<HostChecker> makeSystemHostChecker();
