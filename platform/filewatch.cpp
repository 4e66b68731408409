#include "platform/filewatch.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>

namespace {

// Links followed in a chain before it is taken for a loop, as Linux does.
constexpr int kMostLinks = 40;

// The nearest folder at or above path that exists, without links; empty where none does.
QString nearestFolder(QString path) {
    for (;;) {
        const QFileInfo info(path);
        if (info.isDir()) return info.canonicalFilePath();
        const QString up = info.absolutePath();
        if (up == path) return {};
        path = up;
    }
}

}  // namespace

FileWatch::FileWatch(const QString &path, std::function<void()> changed, ShareTest isOnShare)
    : m_path(QFileInfo(path).absoluteFilePath()),
      m_changed(std::move(changed)),
      m_isOnShare(std::move(isOnShare)) {
    m_seen = stamp();
    for (QTimer *timer : {&m_quiet, &m_longest}) {
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, &FileWatch::settle);
    }
    m_quiet.setInterval(kQuietMs);
    m_longest.setInterval(kLongestWaitMs);
    m_look.setInterval(kShareLookMs);
    connect(&m_look, &QTimer::timeout, this, [this] {
        if (!(stamp() == m_seen)) noticed();
    });
    arm();
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileWatch::noticed);
    // The folder changes with every file in it: only a change of this file's stamp counts. A
    // folder on the way that came or went changes what is watched.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        arm();
        if (m_quiet.isActive() || !(stamp() == m_seen)) noticed();
    });
}

FileWatch::Stamp FileWatch::stamp() const {
    const QFileInfo info(m_path);
    if (!info.exists()) return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch(),
            info.metadataChangeTime().toMSecsSinceEpoch()};
}

QStringList FileWatch::places() const {
    QStringList places;
    QString hop = m_path;
    for (int links = 0; links <= kMostLinks; ++links) {
        const QFileInfo info(hop);
        const QString folder = nearestFolder(info.absolutePath());
        if (!folder.isEmpty() && !places.contains(folder)) places << folder;
        if (!info.isSymbolicLink()) {
            // A folder where the file was is no list: what happens inside it is no change.
            if (info.exists() && !info.isDir()) places << info.canonicalFilePath();
            break;
        }
        hop = info.symLinkTarget();
    }
    return places;
}

void FileWatch::arm() {
    // A folder may come or go while this runs; its parent is watched by then, so a second look
    // sees it.
    QStringList wanted;
    for (int tries = 0; tries < 3; ++tries) {
        wanted = places();
        const QStringList watched = m_watcher.files() + m_watcher.directories();
        QStringList gone, added;
        for (const QString &place : watched) {
            if (!wanted.contains(place)) gone << place;
        }
        for (const QString &place : wanted) {
            if (!watched.contains(place)) added << place;
        }
        if (!gone.isEmpty()) m_watcher.removePaths(gone);
        if (!added.isEmpty()) m_watcher.addPaths(added);
        if (places() == wanted) break;
    }
    if (std::any_of(wanted.begin(), wanted.end(), m_isOnShare)) {
        if (!m_look.isActive()) m_look.start();
    } else {
        m_look.stop();
    }
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
    if (!m_watcher.files().isEmpty()) m_watcher.removePaths(m_watcher.files());
    arm();
    m_changed();
}
