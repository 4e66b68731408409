#include "platform/win/consolelauncher.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win/handle.h"
#include "platform/win/quote.h"
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

// The full path of program (a bare file name such as "ping.exe") in the system folder or in an
// absolute PATH folder, never the current directory; empty when it is nowhere.
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

// A program installed beside norvex.exe; empty when it is not there.
std::wstring besideNorvex(const std::wstring &program) {
    std::vector<wchar_t> own(MAX_PATH);
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size()))) ==
           own.size())
        own.resize(own.size() * 2);
    std::wstring dir(own.data(), n);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    const std::wstring path = dir + program;
    return isFile(path) ? path : std::wstring();
}

// Runs application with commandLine in a new console window, shown normally, with the system's
// title (the program's path) or the one given; keeps nothing.
void startInNewConsole(const std::wstring &application, const std::wstring &commandLine,
                       const std::wstring &title = std::wstring()) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    std::vector<wchar_t> titleText(title.begin(), title.end());
    titleText.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    if (!title.empty()) startup.lpTitle = titleText.data();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info)) {
        const std::wstring why =
            L"Starting " + application + L" failed: " + systemMessage(GetLastError());
        throw LaunchError(QString::fromStdWString(why).toStdString());
    }
    // Nothing is kept of the process: it is the user's to stop.
    Handle thread(info.hThread);
    Handle process(info.hProcess);
}

// program, run by norvex-hold so that its window stays open once it has ended. The window is
// titled by what it runs ("tracert gateway") rather than by norvex-hold's path.
void startHeldOpen(const std::wstring &program, const std::vector<std::wstring> &words) {
    const std::wstring hold = besideNorvex(L"norvex-hold.exe");
    if (hold.empty()) throw LaunchError("norvex-hold.exe is not installed beside norvex.exe.");
    std::wstring line = quotedArgument(hold) + L' ' + quotedArgument(program);
    std::wstring title = program.substr(program.find_last_of(L"\\/") + 1);
    if (title.size() > 4 && _wcsicmp(title.c_str() + title.size() - 4, L".exe") == 0)
        title.erase(title.size() - 4);
    for (const std::wstring &word : words) {
        line += L' ' + quotedArgument(word);
        if (word != L"--") title += L' ' + word;
    }
    startInNewConsole(hold, line, title);
}

}  // namespace

void ConsoleLauncher::start(const Host &host) {
    if (const std::optional<PortTarget> port = host.portTarget()) {
        const std::wstring probe = besideNorvex(L"norvex-probe.exe");
        if (probe.empty())
            throw LaunchError("norvex-probe.exe is not installed beside norvex.exe.");
        startHeldOpen(probe, {L"--", port->host.toStdWString(), std::to_wstring(port->port)});
        return;
    }
    const std::wstring application = findProgramOutsideCurrentDirectory(L"ping.exe");
    if (application.empty())
        throw LaunchError("ping.exe was not found in the system folder or on PATH.");
    startInNewConsole(application, host.commandLine().toStdWString());
}

void ConsoleLauncher::startTraceRoute(const Host &host) {
    const QString target = host.checkTarget();
    // tracert reads a word starting with "/" as an option.
    if (target.isEmpty() || target.startsWith(u'/'))
        throw LaunchError("The address names no host to trace.");
    const std::wstring tracert = findProgramOutsideCurrentDirectory(L"tracert.exe");
    if (tracert.empty())
        throw LaunchError("tracert.exe was not found in the system folder or on PATH.");
    startHeldOpen(tracert, {target.toStdWString()});
}

std::unique_ptr<ProcessLauncher> makeSystemLauncher() {
    return std::make_unique<ConsoleLauncher>();
}
