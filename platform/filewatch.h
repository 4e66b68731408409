#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>

// Tells when a file may have changed on disk: written in place, replaced by a rename, deleted, or
// created where there was none. It watches the file and its folder, because a rename or a
// deletion takes the watched file away. A burst of changes (an editor writing in pieces) is told
// once the file has been quiet for kQuietMs, and at the latest kLongestWaitMs after it began; a
// change during a burst's reading is told again after it.
class FileWatch : public QObject {
public:
    static constexpr int kQuietMs = 300;
    static constexpr int kLongestWaitMs = 1500;

    FileWatch(const QString &path, std::function<void()> changed);

private:
    struct Stamp {
        bool exists = false;
        qint64 size = -1;
        qint64 modifiedMs = -1;
        qint64 metadataMs = -1;
        bool operator==(const Stamp &) const = default;
    };
    Stamp stamp() const;
    void noticed();
    void settle();

    QString m_path;
    std::function<void()> m_changed;
    QFileSystemWatcher m_watcher;
    Stamp m_seen;
    QTimer m_quiet;
    QTimer m_longest;
};
