#include "platform/win/winfile.h"

#include <windows.h>

#include <algorithm>
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

// The reasons a user meets most, in the same words on every system.
std::wstring reason(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return L"No such file or directory";
        case ERROR_ACCESS_DENIED:
            return L"Permission denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return L"another program has it open and shares it with no one";
        default:
            return systemMessage(code);
    }
}

}  // namespace

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

void *openRegularFile(const std::wstring &name, std::uint64_t *size, std::wstring *error) {
    const std::wstring path = fileSystemPath(name);
    if (path.empty()) {
        *error = L"it names a device, not a file";
        return INVALID_HANDLE_VALUE;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = L"it is a folder, not a file";
        return INVALID_HANDLE_VALUE;
    }
    // Full sharing: norvex must never stand in the way of an editor that has the list open.
    Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        *error = reason(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        *error = L"it is not a regular file";
        return INVALID_HANDLE_VALUE;
    }
    LARGE_INTEGER bytes{};
    if (!GetFileSizeEx(file.get(), &bytes)) {
        *error = systemMessage(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return file.release();
}

long long readFromFile(void *file, char *buffer, std::uint64_t maxBytes, std::wstring *error) {
    const DWORD want = static_cast<DWORD>((std::min)(maxBytes, std::uint64_t{1} << 30));
    DWORD got = 0;
    if (!ReadFile(file, buffer, want, &got, nullptr)) {
        *error = reason(GetLastError());
        return -1;
    }
    return got;
}
