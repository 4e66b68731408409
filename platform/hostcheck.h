#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

// How one check of a host ended.
struct CheckResult {
    enum class State {
        Answered,       // a reply came back, or the port accepted the connection
        NoAnswer,       // the request went out and nothing answered in time, the port refused,
                        // or the way there is closed ("Destination Host Unreachable", "No route
                        // to host", "Network is unreachable")
        CouldNotCheck,  // nothing could be tried: an unknown name, no ping, no host in the address
    };
    State state = State::CouldNotCheck;
    double roundTripMs = -1;  // when it answered and the time is known
    QString detail;           // why there was no answer, or why it could not be checked
};

// Where one check goes: a host for an echo request, or a host and a TCP port for one connect.
struct CheckTarget {
    QString host;  // a name or an address, never an option
    int port = 0;  // 1 to 65535 for a port row; 0 for an echo request

    bool operator==(const CheckTarget &other) const {
        return port == other.port && host == other.host;
    }
    bool operator<(const CheckTarget &other) const {
        return port != other.port ? port < other.port : host < other.host;
    }
};

// Checks under way. Destroying it stops them at once, and no result of theirs comes after.
class PendingCheck {
public:
    virtual ~PendingCheck() = default;
};

// Checks hosts: the seam through which the window's checks reach the system, so tests can stand in
// for the system's own way.
class HostChecker {
public:
    virtual ~HostChecker() = default;
    // Timeout for a reply, and so about how long a run of silent hosts takes.
    static constexpr int kReplyTimeoutMs = 1000;

    using Each = std::function<void(std::size_t index, const CheckResult &result)>;
    // Checks every target, all at once as far as the system allows, so that a whole list takes
    // about one reply timeout: one echo request each, or one TCP connect that sends nothing
    // (connected is Answered with the time; refused, no answer in time or no way there NoAnswer,
    // the detail saying which; a name that cannot be resolved CouldNotCheck). Calls each(i, result)
    // once for targets[i], later, from the event loop, in any order, within a few seconds. The
    // targets come once each. Never throws: what cannot be started ends CouldNotCheck.
    virtual std::unique_ptr<PendingCheck> sweep(std::vector<CheckTarget> targets, Each each) = 0;

    using Done = std::function<void(const CheckResult &result)>;
    // A sweep of one: an echo request to hostName, or with a port one connect.
    std::unique_ptr<PendingCheck> check(const QString &hostName, Done done) {
        return checkPort(hostName, 0, std::move(done));
    }
    std::unique_ptr<PendingCheck> checkPort(const QString &hostName, int port, Done done) {
        return sweep({CheckTarget{hostName, port}},
                     [done = std::move(done)](std::size_t, const CheckResult &r) { done(r); });
    }
};

// Runs the targets of a sweep through start, one check each, at most mostAtOnce at a time: for a
// system whose checks go one by one (a ping process each).
std::unique_ptr<PendingCheck> sweepOneByOne(
    std::vector<CheckTarget> targets, HostChecker::Each each, int mostAtOnce,
    std::function<std::unique_ptr<PendingCheck>(const CheckTarget &, HostChecker::Done)> start);

// The system's own way of checking: fping (else the system ping) and connects of its own on POSIX
// systems, the IP Helper API's echo functions and connects of its own on Windows.
std::unique_ptr<HostChecker> makeSystemHostChecker();
