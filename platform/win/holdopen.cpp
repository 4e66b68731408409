// norvex-hold: runs a program in this console window and keeps the window open once it has
// ended, so that what it printed, and why it ended, can be read; a key closes it. norvex opens
// trace route and port probe windows this way. The program's words reach it as they are, each
// quoted for its command line: no shell reads them. No Qt: a console program of its own.

#include <conio.h>
#include <windows.h>

#include <string>

#include "platform/win/quote.h"

namespace {

void say(const std::wstring &text) {
    DWORD written = 0;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        // Not a console (a test's pipe): the same words as UTF-8.
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string bytes(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), n, nullptr, nullptr);
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

// Ctrl+C ends the program in the window, not the window: the program gets it too.
BOOL WINAPI keepWindow(DWORD event) { return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT; }

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        say(L"Usage: norvex-hold PROGRAM [WORD...]\r\n");
        return 2;
    }
    SetConsoleCtrlHandler(keepWindow, TRUE);
    const std::wstring program = argv[1];
    std::wstring line = quotedArgument(program);
    for (int i = 2; i < argc; ++i) line += L' ' + quotedArgument(argv[i]);
    const std::wstring name = program.substr(program.find_last_of(L"\\/") + 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        say(L"\r\n" + name + L" has ended.");
    } else {
        say(name + L" could not be started (error " + std::to_wstring(GetLastError()) + L").");
    }
    // Only where someone can press a key: a test's pipe has no console to wait on.
    if (GetConsoleWindow() && GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR) {
        say(L" Press any key to close this window.");
        _getwch();
    }
    say(L"\r\n");
    return 0;
}
