#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/host.h"
#include "platform/hostcheck.h"

// Runs the checks a window asks for, keyed by row. A run of the whole list goes out as one sweep,
// every host at once, and rows that share a target are sent once. What happens is told through
// the listener's functions, from the event loop; once stopped (or destroyed) it tells nothing more.
class CheckQueue {
public:
    static constexpr int kRepeatMs = 5000;

    struct Listener {
        std::function<void(int key)> waiting;  // a check of the key is asked for
        std::function<void(int key, const CheckResult &result)> finished;
        std::function<void()> idle;  // nothing under way any more: a run has ended
    };

    // hosts: every row that can be checked, by key. repeatMs: the pause between the runs of
    // "keep checking".
    CheckQueue(HostChecker &checker, std::map<int, Host> hosts, Listener listener,
               int repeatMs = kRepeatMs);
    ~CheckQueue();
    CheckQueue(const CheckQueue &) = delete;
    CheckQueue &operator=(const CheckQueue &) = delete;

    // Checks every host at once. Whatever was under way is dropped first: a new request restarts
    // the run rather than adding a second one to it.
    void checkAll();
    // Checks one host (again), beside whatever is under way.
    void checkOne(int key);
    // Repeats checkAll() repeatMs after each run ends, from now (when nothing runs) until it is
    // switched off.
    void setKeepChecking(bool on);
    bool keepChecking() const { return m_keepChecking; }
    // Sets the pause between runs; a pause under way starts again with the new length.
    void setRepeatMs(int ms);
    // Drops every check at once, stopping what is under way.
    void stop();

    // Sweeps under way.
    int sweeps() const { return static_cast<int>(m_sweeps.size()); }
    bool busy() const { return !m_sweeps.empty(); }

private:
    struct Sweep {
        std::vector<std::vector<int>> keys;  // the rows each target's result goes to
        std::vector<bool> told;              // whether each target's result has come
        std::size_t left = 0;                // targets whose result has not come
        std::unique_ptr<PendingCheck> pending;
    };
    void start(const std::vector<int> &keys);
    void finish(std::uint64_t sweep, std::size_t index, const CheckResult &result);
    void endIfIdle();

    HostChecker &m_checker;
    const std::map<int, Host> m_hosts;
    Listener m_listener;
    std::map<std::uint64_t, Sweep> m_sweeps;
    std::uint64_t m_nextSweep = 1;
    std::map<int, std::uint64_t> m_askedIn;  // the sweep whose result a row waits for
    // Sweeps that have ended, destroyed from the event loop rather than inside their own report.
    std::vector<std::unique_ptr<PendingCheck>> m_ended;
    bool m_keepChecking = false;
    QObject m_context;  // what the timers and deferred calls belong to
    QTimer m_repeat;
};
