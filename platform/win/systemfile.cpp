#include "platform/systemfile.h"

#include <windows.h>

#include "platform/win/winfile.h"

SystemFile::SystemFile(const QString &name) {
    std::wstring error;
    std::uint64_t size = 0;
    const HANDLE file = openRegularFile(name.toStdWString(), &size, &error);
    if (file == INVALID_HANDLE_VALUE) throw LoadError(QString::fromStdWString(error));
    m_handle = reinterpret_cast<qintptr>(file);
    m_size = static_cast<qint64>(size);
}

SystemFile::~SystemFile() { CloseHandle(reinterpret_cast<HANDLE>(m_handle)); }

qint64 SystemFile::read(char *buffer, qint64 maxBytes) {
    std::wstring error;
    const long long got = readFromFile(reinterpret_cast<HANDLE>(m_handle), buffer,
                                       static_cast<std::uint64_t>(maxBytes), &error);
    if (got < 0) throw LoadError(QString::fromStdWString(error));
    return got;
}
