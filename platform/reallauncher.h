#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <memory>

#include "platform/processlauncher.h"

// Starts ping in a console window of its own: on Windows a new console, elsewhere the first
// terminal program that opens one. environment is the one the search and the child use (and
// where the desktop is read from); helper is the program given to terminals whose parsing norvex
// does not know (empty: the one installed beside norvex). A terminal that exits with a failure
// within earlyExitMs counts as not having opened its window.
class RealProcessLauncher : public ProcessLauncher {
public:
    static constexpr int kEarlyExitMs = 1500;

    explicit RealProcessLauncher(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        QString helper = QString(), int earlyExitMs = kEarlyExitMs);
    ~RealProcessLauncher() override;
    void start(const QString &commandLine, const QString &title) override;

private:
    QProcessEnvironment m_environment;
    QString m_helper;
    int m_earlyExitMs;
    // Parent of the watchers of terminals just started; they never end a terminal.
    std::unique_ptr<QObject> m_watchers;
};
