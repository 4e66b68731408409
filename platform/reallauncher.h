#pragma once

#include <QProcessEnvironment>

#include "platform/processlauncher.h"

// Starts ping in a console window of its own: on Windows a new console, elsewhere the first
// terminal program found on PATH. environment is the one the search and the child use.
class RealProcessLauncher : public ProcessLauncher {
public:
    explicit RealProcessLauncher(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
        : m_environment(std::move(environment)) {}
    void start(const QString &commandLine, const QString &title) override;

private:
    QProcessEnvironment m_environment;
};
