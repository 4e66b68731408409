#include "platform/systemfile.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win/handle.h"
#include "platform/win/syserror.h"

namespace {

bool startsWith(const std::wstring &s, const wchar_t *prefix) { return s.rfind(prefix, 0) == 0; }

std::wstring fullPathOf(const std::wstring &name) {
    DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    while (size > 0) {
        std::vector<wchar_t> buffer(size);
        const DWORD got = GetFullPathNameW(name.c_str(), size, buffer.data(), nullptr);
        if (got == 0) break;
        if (got < size) return std::wstring(buffer.data(), got);
        size = got;  // the name changed size under us; ask again
    }
    return {};
}

// The name to hand to CreateFileW: the full path, in the \\?\ form when it is too long for the
// plain one. Empty when the name leads to a device rather than into a file system.
std::wstring fileSystemPath(const std::wstring &name) {
    // Names in the \\?\ form are taken as they stand.
    if (startsWith(name, L"\\\\?\\")) return name;
    const std::wstring full = fullPathOf(name);
    // The system turns reserved names (CON, NUL, COM1, often with an extension too) and
    // \\.\ names into device paths: those are never list files, and some would block a read.
    if (full.empty() || startsWith(full, L"\\\\.\\")) return {};
    if (full.size() < MAX_PATH) return full;
    if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The reasons a user meets most, in the same words on every system.
[[noreturn]] void fail(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            throw LoadError(QStringLiteral("No such file or directory"));
        case ERROR_ACCESS_DENIED:
            throw LoadError(QStringLiteral("Permission denied"));
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            throw LoadError(
                QStringLiteral("another program has it open and shares it with no one"));
        default:
            throw LoadError(QString::fromStdWString(systemMessage(code)));
    }
}

}  // namespace

// Devices (CON, NUL, COM1, and \\.\ paths), named pipes and folders are refused without
// blocking; a file another program holds open without sharing is refused rather than waited
// for; paths longer than MAX_PATH work.
SystemFile::SystemFile(const QString &name) {
    const std::wstring path = fileSystemPath(name.toStdWString());
    if (path.empty()) throw LoadError(QStringLiteral("it names a device, not a file"));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw LoadError(QStringLiteral("it is a folder, not a file"));
    // Full sharing: norvex must never stand in the way of an editor that has the list open.
    Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) fail(GetLastError());
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        throw LoadError(QStringLiteral("it is not a regular file"));
    LARGE_INTEGER bytes{};
    if (!GetFileSizeEx(file.get(), &bytes)) fail(GetLastError());
    m_size = static_cast<qint64>(bytes.QuadPart);
    m_handle = reinterpret_cast<qintptr>(file.release());
}

SystemFile::~SystemFile() { CloseHandle(reinterpret_cast<HANDLE>(m_handle)); }

qint64 SystemFile::read(char *buffer, qint64 maxBytes) {
    const DWORD want = static_cast<DWORD>((std::min)(maxBytes, qint64{1} << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(m_handle), buffer, want, &got, nullptr))
        fail(GetLastError());
    return got;
}
