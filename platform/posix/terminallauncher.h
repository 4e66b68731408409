#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcessEnvironment>
#include <memory>

#include "platform/processlauncher.h"

// Starts ping in the first terminal program that opens a window for it. environment is the one
// the search and the terminal use (and where the desktop is read from); helper is the program
// given to terminals whose parsing norvex does not know (empty: the one installed beside norvex).
// A terminal that exits with a failure within earlyExitMs counts as not having opened its window,
// and the next one is tried. Starts of a terminal whose running instance drops what it is handed
// while it starts up (deepin-terminal) are spaced out, a later one started from the event loop.
class TerminalLauncher : public ProcessLauncher {
public:
    static constexpr int kEarlyExitMs = 1500;

    explicit TerminalLauncher(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        QString helper = QString(), int earlyExitMs = kEarlyExitMs, QString probe = QString());
    ~TerminalLauncher() override;
    void start(const Host &host) override;
    // mtr where it is installed (it keeps tracing, as ping keeps pinging), else traceroute, else
    // tracepath; with none, the window says which package to install.
    void startTraceRoute(const Host &host) override;

private:
    enum class Purpose { Click, TraceRoute };
    void launch(const Host &host, Purpose purpose);

    QProcessEnvironment m_environment;
    QString m_helper;
    QString m_probe;  // norvex-probe, for port rows; empty: the one installed beside norvex
    int m_earlyExitMs;
    // Parent of the watchers of terminals just started; they never end a terminal.
    std::unique_ptr<QObject> m_watchers;
    QElapsedTimer m_clock;
    qint64 m_nextSpacedStart = 0;  // on m_clock: when the next spaced start may be made
};
