#include "platform/filewatch.h"

#include <QDateTime>
#include <QFileInfo>

FileWatch::FileWatch(const QString &path, std::function<void()> changed)
    : m_path(QFileInfo(path).absoluteFilePath()), m_changed(std::move(changed)) {
    m_seen = stamp();
    if (m_seen.exists) m_watcher.addPath(m_path);
    const QString folder = QFileInfo(m_path).absolutePath();
    if (QFileInfo(folder).isDir()) m_watcher.addPath(folder);
    for (QTimer *timer : {&m_quiet, &m_longest}) {
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, &FileWatch::settle);
    }
    m_quiet.setInterval(kQuietMs);
    m_longest.setInterval(kLongestWaitMs);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileWatch::noticed);
    // The folder changes with every file in it: only a change of this file's stamp counts.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (m_quiet.isActive() || !(stamp() == m_seen)) noticed();
    });
}

FileWatch::Stamp FileWatch::stamp() const {
    const QFileInfo info(m_path);
    if (!info.exists()) return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch(),
            info.metadataChangeTime().toMSecsSinceEpoch()};
}

void FileWatch::noticed() {
    m_quiet.start();
    if (!m_longest.isActive()) m_longest.start();
}

void FileWatch::settle() {
    m_quiet.stop();
    m_longest.stop();
    m_seen = stamp();
    // A file replaced or created anew is another file to the system, and one renamed away may
    // still be the one watched: watch whatever is there now.
    if (m_watcher.files().contains(m_path)) m_watcher.removePath(m_path);
    if (m_seen.exists) m_watcher.addPath(m_path);
    m_changed();
}
