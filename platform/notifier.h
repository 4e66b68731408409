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

// The desktop's own notices: the notification service on the session bus on Linux, a tray icon's
// messages on Windows.
std::unique_ptr<Notifier> makeSystemNotifier();
