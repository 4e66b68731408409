#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/host.h"
#include "platform/hostcheck.h"

// Runs the checks a window asks for, keyed by row: at most kMaxAtOnce under way, the rest waiting
// in order. What happens is told through the listener's functions, from the event loop; once
// stopped (or destroyed) it tells nothing more.
class CheckQueue {
public:
    static constexpr int kMaxAtOnce = 16;
    static constexpr int kRepeatMs = 5000;

    struct Listener {
        std::function<void(int key)> waiting;  // a check of the key is asked for
        std::function<void(int key, const CheckResult &result)> finished;
        std::function<void()> idle;  // nothing under way or waiting any more
    };

    // hosts: every row that can be checked, by key. repeatMs: the pause between the runs of
    // "keep checking".
    CheckQueue(HostChecker &checker, std::map<int, Host> hosts, Listener listener,
               int repeatMs = kRepeatMs);
    ~CheckQueue();
    CheckQueue(const CheckQueue &) = delete;
    CheckQueue &operator=(const CheckQueue &) = delete;

    // Checks every host, in key order. Whatever was under way or waiting is dropped first: a
    // new request restarts the run rather than adding a second one to it.
    void checkAll();
    // Checks one host (again), ahead of those waiting.
    void checkOne(int key);
    // Repeats checkAll() repeatMs after each run ends, from now (when nothing runs) until it is
    // switched off.
    void setKeepChecking(bool on);
    bool keepChecking() const { return m_keepChecking; }
    // Sets the pause between runs; a pause under way starts again with the new length.
    void setRepeatMs(int ms);
    // Drops every check at once, stopping what is under way.
    void stop();

    int running() const { return static_cast<int>(m_running.size()); }
    bool busy() const { return !m_running.empty() || !m_waiting.empty(); }

private:
    void drop(int key);
    void pump();
    void finish(int key, const CheckResult &result);

    HostChecker &m_checker;
    const std::map<int, Host> m_hosts;
    Listener m_listener;
    std::deque<int> m_waiting;
    std::map<int, std::unique_ptr<PendingCheck>> m_running;
    // Checks that have ended, destroyed from the event loop rather than inside their own report.
    std::vector<std::unique_ptr<PendingCheck>> m_ended;
    bool m_keepChecking = false;
    QObject m_context;  // what the timers and deferred calls belong to
    QTimer m_repeat;
};
