#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "platform/host.h"

// Nothing could be started; the message says what was tried, in plain words.
class LaunchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Starts ping windows. A seam so tests can record launches.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts a continuous ping of host in a new, normal, activated console window of its own and
    // returns without waiting; nothing is kept of the process. Throws LaunchError when nothing
    // could be started.
    virtual void start(const Host &host) = 0;
    // Starts a trace route to the host's checkTarget() in a window of its own, the same way and
    // with the same errors as start().
    virtual void startTraceRoute(const Host &host) = 0;

    // Where a failure found after start() returned goes (from the event loop): the window closed
    // at once and no other terminal could open it. why says what was tried and what it said.
    using LateFailure = std::function<void(const Host &host, const QString &why)>;
    void setLateFailureHandler(LateFailure handler) { m_lateFailure = std::move(handler); }

protected:
    void reportLateFailure(const Host &host, const QString &why) const {
        if (m_lateFailure) m_lateFailure(host, why);
    }

private:
    LateFailure m_lateFailure;
};

// The launcher of the system norvex runs on: a console of its own on Windows, a terminal
// program elsewhere.
std::unique_ptr<ProcessLauncher> makeSystemLauncher();
