#include "platform/networkshare.h"

#include <windows.h>

#include <QDir>
#include <string>

namespace {

bool startsWith(const std::wstring &s, const wchar_t *prefix) { return s.rfind(prefix, 0) == 0; }

// \\server\share\... and \\?\UNC\server\share\..., but not the \\?\ and \\.\ forms of local names.
bool isUncPath(const std::wstring &path) {
    if (startsWith(path, L"\\\\?\\UNC\\")) return true;
    return startsWith(path, L"\\\\") && !startsWith(path, L"\\\\?\\") &&
           !startsWith(path, L"\\\\.\\");
}

}  // namespace

bool isOnNetworkShare(const QString &path) {
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (isUncPath(native)) return true;
    // The root of the volume the path is on: a drive letter, or a folder a volume is mounted on.
    std::wstring root(native.size() + MAX_PATH, L'\0');
    if (!GetVolumePathNameW(native.c_str(), root.data(), static_cast<DWORD>(root.size())))
        return false;
    // A drive letter mapped to a share.
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}
