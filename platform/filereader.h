#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "platform/loaderror.h"

// Reads list files whole. A seam so tests can hand start-up any bytes without a disk.
class FileReader {
public:
    virtual ~FileReader() = default;
    // Returns the whole content of the named file; throws LoadError when it cannot.
    virtual QByteArray readAll(const QString &name) = 0;
    // Calls changed, from the event loop, when the named file may have changed on disk, until
    // the returned watch is destroyed. The default watches nothing.
    virtual std::unique_ptr<QObject> watch(const QString &name, std::function<void()> changed) {
        (void)name;
        (void)changed;
        return nullptr;
    }
};

// The largest list file read: far above any real list, low enough that a wrong file cannot
// exhaust memory.
inline constexpr qint64 kMaxListFileBytes = qint64{32} * 1024 * 1024;

// Reads regular files only, of at most maxBytes. Directories, devices, pipes and sockets are
// refused without blocking, so a wrong name can never hang start-up.
class RealFileReader : public FileReader {
public:
    explicit RealFileReader(qint64 maxBytes = kMaxListFileBytes) : m_maxBytes(maxBytes) {}
    QByteArray readAll(const QString &name) override;
    // A FileWatch on the file.
    std::unique_ptr<QObject> watch(const QString &name, std::function<void()> changed) override;

private:
    qint64 m_maxBytes;
};
