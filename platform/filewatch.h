#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "platform/networkshare.h"

// Tells when a file may have changed on disk: written in place, replaced by a rename, deleted, or
// created where there was none, in a folder that may itself have been deleted or made since. It
// watches the file and the nearest of its folders that exists (a rename or a deletion takes a
// watched file away), and for a symbolic link each link's folder and the file it leads to; it
// arms again whenever a watched folder changes and after every change it tells. A burst of
// changes (an editor writing in pieces) is told once the file has been quiet for kQuietMs, and at
// the latest kLongestWaitMs after it began; a change during a burst's reading is told again after
// it.
//
// On a network share the system's notices miss other machines' writes, so there the file's stamp
// is also looked at every kShareLookMs; elsewhere no timer runs while the file stays as it is.
class FileWatch : public QObject {
public:
    static constexpr int kQuietMs = 300;
    static constexpr int kLongestWaitMs = 1500;
    static constexpr int kShareLookMs = 2500;
    // Whether a watched file or folder lies on a network share.
    using ShareTest = std::function<bool(const QString &path)>;

    FileWatch(const QString &path, std::function<void()> changed,
              ShareTest isOnShare = isOnNetworkShare);

private:
    struct Stamp {
        bool exists = false;
        qint64 size = -1;
        qint64 modifiedMs = -1;
        qint64 metadataMs = -1;
        bool operator==(const Stamp &) const = default;
    };
    Stamp stamp() const;
    // What to watch, by paths without links: the nearest existing folder of the file and of each
    // link on the way to it, and the file it leads to.
    QStringList places() const;
    // Watches the places as they are now, and looks at the file on a timer where they are shares.
    void arm();
    void noticed();
    void settle();

    QString m_path;
    std::function<void()> m_changed;
    ShareTest m_isOnShare;
    QFileSystemWatcher m_watcher{this};
    Stamp m_seen;
    QTimer m_quiet{this};
    QTimer m_longest{this};
    QTimer m_look{this};
};
