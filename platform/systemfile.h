#pragma once

#include <QString>
#include <QtGlobal>

#include "platform/loaderror.h"

// A list file opened by the system's own calls: RealFileReader's reading loop runs on it. Only a
// regular file opens, and opening never blocks (a pipe, a device or a folder is refused at once).
// Each system has its own implementation, in posix/ or win/.
class SystemFile {
public:
    // Throws LoadError, with the reason alone ("it is a folder, not a file"), when name is not a
    // regular file that can be read.
    explicit SystemFile(const QString &name);
    ~SystemFile();
    SystemFile(const SystemFile &) = delete;
    SystemFile &operator=(const SystemFile &) = delete;

    // The size in bytes when it was opened.
    qint64 size() const { return m_size; }
    // Reads at most maxBytes into buffer; 0 at the end. Throws LoadError.
    qint64 read(char *buffer, qint64 maxBytes);

private:
    qintptr m_handle = -1;
    qint64 m_size = 0;
};
