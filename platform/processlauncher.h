#pragma once

#include <QString>
#include <functional>
#include <stdexcept>
#include <utility>

// Nothing could be started; the message says what was tried, in plain words.
class LaunchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Starts console programs in windows of their own. A seam so tests can record launches.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts commandLine in a new, normal, activated console window and returns without waiting;
    // nothing is kept of the process. title names the window where the platform allows it.
    // Throws LaunchError when nothing could be started.
    virtual void start(const QString &commandLine, const QString &title) = 0;

    // Where a failure found after start() returned goes (from the event loop): the window closed
    // at once and no other terminal could open it. why says what was tried and what it said.
    using LateFailure = std::function<void(const QString &commandLine, const QString &why)>;
    void setLateFailureHandler(LateFailure handler) { m_lateFailure = std::move(handler); }

protected:
    void reportLateFailure(const QString &commandLine, const QString &why) const {
        if (m_lateFailure) m_lateFailure(commandLine, why);
    }

private:
    LateFailure m_lateFailure;
};
