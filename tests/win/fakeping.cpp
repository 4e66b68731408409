// Stands in for ping.exe in tests under Wine: records how it was started and exits at once.
// The record goes to %NORVEX_FAKE_PING_DIR%\ping-<pid>.txt, one "key=value" line each:
//   command=<GetCommandLineW()>   image=<its own path>
//   flags=<STARTUPINFO dwFlags>   show=<wShowWindow>
//   console=<1 when it has a console window>   attached=<processes on that console>
//   title=<that console's title>
// Written aside and renamed, so a reader never sees half of one.
#include <windows.h>

#include <string>

namespace {

std::string utf8(const std::wstring &text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

}  // namespace

int wmain() {
    wchar_t dir[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"NORVEX_FAKE_PING_DIR", dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 3;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t image[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, image, MAX_PATH);
    DWORD attached[8];
    const DWORD onConsole = GetConsoleProcessList(attached, 8);

    std::string record = "command=" + utf8(GetCommandLineW()) + "\n";
    record += "image=" + utf8(image) + "\n";
    record += "flags=" + std::to_string(startup.dwFlags) + "\n";
    record += "show=" + std::to_string(startup.wShowWindow) + "\n";
    record += "console=" + std::string(GetConsoleWindow() ? "1" : "0") + "\n";
    record += "attached=" + std::to_string(onConsole) + "\n";
    wchar_t title[256] = L"";
    GetConsoleTitleW(title, 256);
    record += "title=" + utf8(title) + "\n";

    const std::wstring base = std::wstring(dir) + L"\\ping-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring part = base + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written,
                              nullptr);
    CloseHandle(file);
    if (!ok || !MoveFileExW(part.c_str(), (base + L".txt").c_str(), MOVEFILE_REPLACE_EXISTING))
        return 5;
    return 0;
}
