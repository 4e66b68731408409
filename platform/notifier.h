#pragma once

#include <QString>
#include <memory>

// Shows desktop notices. A seam so tests can record them; failing to show one is never an error
// the user is bothered with, so nothing here throws or blocks.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString &summary, const QString &body) = 0;
    // Told when watching starts and stops: a notifier with a presence of its own (a tray icon)
    // shows it only while watching.
    virtual void setWatching(bool) {}
};

// Keeps the program to a session bus that is already running: where none runs, the D-Bus library
// would start one of its own (for Qt's accessibility code, at start-up) that outlives the program
// and writes files in the home folder. Call it before the application object is made, after the
// launcher, so that the programs norvex starts get the environment it was started with.
void useOnlyARunningSessionBus();

// The desktop's own notices: the notification service on the session bus on Linux, a tray icon's
// messages on Windows.
std::unique_ptr<Notifier> makeSystemNotifier();
