#include "platform/win/winfile.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win/handle.h"
#include "platform/win/syserror.h"

namespace {

bool startsWith(const std::wstring &s, const wchar_t *prefix) {
    return s.rfind(prefix, 0) == 0;
}

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

bool readRegularFile(const std::wstring &name, std::uint64_t maxBytes, std::string *bytes,
                     std::wstring *error) {
    const std::wstring path = fileSystemPath(name);
    if (path.empty()) {
        *error = L"it names a device, not a file";
        return false;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = L"it is a folder, not a file";
        return false;
    }
    // Full sharing: norvex must never stand in the way of an editor that has the list open.
    Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        *error = reason(GetLastError());
        return false;
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        *error = L"it is not a regular file";
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        *error = systemMessage(GetLastError());
        return false;
    }
    const auto tooLarge = [&] {
        *error = L"the file is larger than " + std::to_wstring(maxBytes / (1024 * 1024)) + L" MiB";
        return false;
    };
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return tooLarge();

    // One byte more than the size shows a file that grew while it was read.
    bytes->assign(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes->size()) {
            if (filled > maxBytes) return tooLarge();
            bytes->resize(static_cast<std::size_t>(
                (std::min)(std::uint64_t{bytes->size()} * 2 + 65536, maxBytes + 1)));
        }
        const DWORD want = static_cast<DWORD>(
            (std::min)(bytes->size() - filled, std::size_t{1} << 30));
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes->data() + filled, want, &got, nullptr)) {
            *error = reason(GetLastError());
            return false;
        }
        if (got == 0) break;
        filled += got;
    }
    if (filled > maxBytes) return tooLarge();
    bytes->resize(filled);
    return true;
}
