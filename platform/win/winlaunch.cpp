#include "platform/win/winlaunch.h"

#include <windows.h>

#include <vector>

#include "platform/win/handle.h"
#include "platform/win/syserror.h"

namespace {

bool isFile(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isAbsolute(const std::wstring &dir) {
    return (dir.size() >= 3 && dir[1] == L':' && (dir[2] == L'\\' || dir[2] == L'/')) ||
           (dir.size() >= 2 && dir[0] == L'\\' && dir[1] == L'\\');
}

std::wstring joinPath(std::wstring dir, const std::wstring &name) {
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    return dir + name;
}

}  // namespace

std::wstring findProgramOutsideCurrentDirectory(const std::wstring &program) {
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const std::wstring path = joinPath(std::wstring(system, n), program);
        if (isFile(path)) return path;
    }
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size);
    const DWORD got = GetEnvironmentVariableW(L"PATH", buffer.data(), size);
    const std::wstring path(buffer.data(), got < size ? got : 0);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t stop = path.find(L';', start);
        if (stop == std::wstring::npos) stop = path.size();
        std::wstring dir = path.substr(start, stop - start);
        if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"')
            dir = dir.substr(1, dir.size() - 2);
        // Relative entries, like the current directory, could find a planted program.
        if (isAbsolute(dir) && isFile(joinPath(dir, program))) return joinPath(dir, program);
        start = stop + 1;
    }
    return {};
}

bool startInNewConsole(const std::wstring &program, const std::wstring &commandLine,
                       std::wstring *error) {
    const std::wstring application = findProgramOutsideCurrentDirectory(program);
    if (application.empty()) {
        *error = program + L" was not found in the system folder or on PATH.";
        return false;
    }
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info)) {
        *error = L"Starting " + application + L" failed: " + systemMessage(GetLastError());
        return false;
    }
    // Nothing is kept of the process: it is the user's to stop.
    Handle thread(info.hThread);
    Handle process(info.hProcess);
    return true;
}
