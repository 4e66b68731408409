#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <memory>

#include "platform/processlauncher.h"

// Starts ping in a console window of its own: on Windows a new console, elsewhere the first
// terminal program that opens one. environment is the one the search and the child use (and
// where the desktop is read from); helper is the program given to terminals whose parsing norvex
// does not know (empty: the one installed beside norvex).
class RealProcessLauncher : public ProcessLauncher {
public:
    explicit RealProcessLauncher(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        QString helper = QString());
    ~RealProcessLauncher() override;
    void start(const QString &commandLine, const QString &title) override;

    // How long a terminal that exits with a failure counts as not having opened its window.
    static constexpr int kEarlyExitMs = 1500;

private:
    QProcessEnvironment m_environment;
    QString m_helper;
    // Parent of the watchers of terminals just started; they never end a terminal.
    std::unique_ptr<QObject> m_watchers;
};
