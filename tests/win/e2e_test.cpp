// norvex.exe end to end under Wine: started with exact command lines, watched from outside
// through Win32 alone (title, client size, pixels, real mouse clicks), with a stand-in ping.exe
// that records how it was started. Nothing here pings anything.
#include <gtest/gtest.h>
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <chrono>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/handle.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kProgramTitle[] = L"norvex by Brastel v1.1";
constexpr COLORREF kOdd = 0x00E0FEFF;
constexpr COLORREF kEven = 0x00FFECD8;

std::string utf8(const std::wstring &text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring fullPath(const std::wstring &path) {
    wchar_t buffer[4096];
    const DWORD n = GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
    return std::wstring(buffer, n < 4096 ? n : 0);
}

std::wstring thisFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\'));
}

std::wstring systemFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, n);
}

void writeFile(const std::wstring &path, const std::string &bytes) {
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid()) << utf8(path);
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::string readFile(const std::wstring &path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (file.valid() && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

void removeTree(const std::wstring &path) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

// A fresh folder of its own, removed with everything in it.
class TempDir {
public:
    TempDir() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static int serial = 0;
        m_path = std::wstring(base) + L"norvex-e2e-" + std::to_wstring(GetCurrentProcessId()) +
                 L"-" + std::to_wstring(++serial);
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempDir() { removeTree(m_path); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::wstring &path() const { return m_path; }
    std::wstring file(const std::wstring &name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// A list of the given lines, CR LF after each, in UTF-8.
std::string listText(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += line + "\r\n";
    return text;
}

// This process's environment with some variables replaced (an empty value removes one).
std::vector<wchar_t> environmentWith(const std::map<std::wstring, std::wstring> &changes) {
    std::vector<wchar_t> block;
    wchar_t *strings = GetEnvironmentStringsW();
    for (const wchar_t *p = strings; *p; p += wcslen(p) + 1) {
        const std::wstring entry = p;
        const std::wstring name = entry.substr(0, entry.find(L'=', 1));
        bool replaced = false;
        for (const auto &[key, value] : changes)
            replaced |= _wcsicmp(key.c_str(), name.c_str()) == 0;
        if (!replaced) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    FreeEnvironmentStringsW(strings);
    for (const auto &[key, value] : changes) {
        if (value.empty()) continue;
        const std::wstring entry = key + L"=" + value;
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    block.push_back(L'\0');
    return block;
}

struct Found {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK collect(HWND window, LPARAM data) {
    auto *found = reinterpret_cast<Found *>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == found->pid && IsWindowVisible(window)) found->windows.push_back(window);
    return TRUE;
}

std::wstring titleOf(HWND window) {
    wchar_t text[2048];
    const int n = GetWindowTextW(window, text, 2048);
    return std::wstring(text, n > 0 ? n : 0);
}

// norvex.exe started with an exact command line; closed (and if need be ended) at the end.
class Norvex {
public:
    Norvex(const std::wstring &arguments, const std::wstring &folder,
           std::vector<wchar_t> environment = environmentWith({})) {
        const std::wstring exe = fullPath(thisFolder() + L"\\..\\..\\norvex.exe");
        std::wstring line = L"norvex.exe";
        if (!arguments.empty()) line += L" " + arguments;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        m_started = CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                                   CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(),
                                   &startup, &m_info);
    }
    ~Norvex() {
        if (!m_started) return;
        for (HWND window : windows()) PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(m_info.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(m_info.hProcess, 1);
        WaitForSingleObject(m_info.hProcess, 5000);
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    Norvex(const Norvex &) = delete;
    Norvex &operator=(const Norvex &) = delete;

    bool started() const { return m_started; }
    bool running() const { return WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit status once it has ended within the time; STILL_ACTIVE when it has not.
    DWORD exitStatus(std::chrono::milliseconds patience) const {
        DWORD status = STILL_ACTIVE;
        if (WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(patience.count())) ==
            WAIT_OBJECT_0)
            GetExitCodeProcess(m_info.hProcess, &status);
        return status;
    }

    std::vector<HWND> windows() const {
        Found found{m_info.dwProcessId, {}};
        EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
        return found.windows;
    }

    // The main window once it shows a title; null when none came within the time.
    HWND mainWindow(std::chrono::milliseconds patience = 30s) {
        const auto until = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < until && running()) {
            for (HWND window : windows()) {
                if (!titleOf(window).empty()) {
                    m_main = window;
                    // Let it paint before anything is read off the screen.
                    std::this_thread::sleep_for(500ms);
                    return window;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return nullptr;
    }

    // A real click (mouse down and up through the system's input queue) at a client position.
    void click(int x, int y) const { mouse(x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }

    // Clicks the button of row n (the placeholder button is where row 1's is not).
    void clickRow(int n) const { click(165, (40 + 375 * (n - 1)) / 15 + 12); }

    // Keys pressed and let go through the system's input queue, with the window in front.
    void press(std::initializer_list<WORD> keys) const {
        SetForegroundWindow(m_main);
        std::this_thread::sleep_for(300ms);
        for (const WORD key : keys) {
            INPUT input[2]{};
            input[0].type = input[1].type = INPUT_KEYBOARD;
            input[0].ki.wVk = input[1].ki.wVk = key;
            input[1].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(2, input, sizeof(INPUT));
            std::this_thread::sleep_for(300ms);
        }
    }

    // A key pressed with a modifier held (Ctrl+T).
    void chord(WORD modifier, WORD key) const {
        SetForegroundWindow(m_main);
        std::this_thread::sleep_for(300ms);
        INPUT input[4]{};
        for (INPUT &i : input) i.type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[3].ki.wVk = modifier;
        input[1].ki.wVk = input[2].ki.wVk = key;
        input[2].ki.dwFlags = input[3].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(4, input, sizeof(INPUT));
        std::this_thread::sleep_for(300ms);
    }

    // A right click at a client position.
    void rightClick(int x, int y) const { mouse(x, y, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

    COLORREF pixel(int x, int y) const {
        HDC dc = GetDC(m_main);
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(m_main, dc);
        return colour;
    }

private:
    void mouse(int x, int y, DWORD down, DWORD up) const {
        SetForegroundWindow(m_main);
        SetWindowPos(m_main, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        std::this_thread::sleep_for(300ms);
        POINT p{x, y};
        ClientToScreen(m_main, &p);
        SetCursorPos(p.x, p.y);
        std::this_thread::sleep_for(100ms);
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_MOUSE;
        input[0].mi.dwFlags = down;
        input[1].mi.dwFlags = up;
        SendInput(2, input, sizeof(INPUT));
        std::this_thread::sleep_for(300ms);
    }

    PROCESS_INFORMATION m_info{};
    bool m_started = false;
    HWND m_main = nullptr;
};

// What a started ping.exe recorded.
using Record = std::map<std::string, std::string>;

// The stand-in ping.exe in place of the system's, with WINEDLLOVERRIDES=ping.exe=n (set by
// the test's environment) making Wine run it instead of its own; the original comes back after.
class FakePing {
public:
    // name: the system program it stands in for (tracert.exe too, with its own override).
    explicit FakePing(const std::wstring &name = L"ping.exe") {
        m_system = systemFolder() + L"\\" + name;
        m_saved = m_records.file(name + L".saved");
        m_hadOne = MoveFileExW(m_system.c_str(), m_saved.c_str(), MOVEFILE_COPY_ALLOWED);
    }
    ~FakePing() {
        DeleteFileW(m_system.c_str());
        if (m_hadOne) MoveFileExW(m_saved.c_str(), m_system.c_str(), MOVEFILE_COPY_ALLOWED);
    }
    FakePing(const FakePing &) = delete;
    FakePing &operator=(const FakePing &) = delete;

    static std::wstring program() { return thisFolder() + L"\\fakeping.exe"; }
    // Puts the stand-in where the system keeps ping.exe.
    bool install() const { return CopyFileW(program().c_str(), m_system.c_str(), FALSE); }
    std::vector<wchar_t> environment(const std::wstring &path) const {
        return environmentWith({{L"NORVEX_FAKE_PING_DIR", m_records.path()}, {L"PATH", path}});
    }

    // Waits for count records, or returns what there is when the time is up.
    std::vector<Record> records(std::size_t count, std::chrono::milliseconds patience = 20s) const {
        const auto until = std::chrono::steady_clock::now() + patience;
        std::vector<Record> result;
        for (;;) {
            result.clear();
            WIN32_FIND_DATAW found;
            HANDLE find = FindFirstFileW(m_records.file(L"ping-*.txt").c_str(), &found);
            if (find != INVALID_HANDLE_VALUE) {
                do {
                    Record record;
                    std::istringstream lines(readFile(m_records.file(found.cFileName)));
                    for (std::string line; std::getline(lines, line);) {
                        const auto eq = line.find('=');
                        record[line.substr(0, eq)] = line.substr(eq + 1);
                    }
                    result.push_back(record);
                } while (FindNextFileW(find, &found));
                FindClose(find);
            }
            if (result.size() >= count || std::chrono::steady_clock::now() > until) return result;
            std::this_thread::sleep_for(100ms);
        }
    }

private:
    TempDir m_records;
    std::wstring m_system;
    std::wstring m_saved;
    bool m_hadOne = false;
};

std::string example() { return readFile(thisFolder() + L"\\example.nvx"); }

TEST(NorvexExe, ExampleListGivesTitleClientSizeAndRowColours) {
    TempDir dir;
    writeFile(dir.file(L"norvex.nvx"), example());
    Norvex norvex(L"", dir.path());
    ASSERT_TRUE(norvex.started());
    HWND window = norvex.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(utf8(titleOf(window)), utf8(std::wstring(kProgramTitle) + L"  [norvex.nvx]"));

    // 3375 twips wide; four rows: 40 + 4 x 375 + 440 outer, less the 400 allowed for the frame.
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right - client.left, 225);
    EXPECT_EQ(client.bottom - client.top, 105);

    // Left of the label text, inside each band.
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE("row " + std::to_string(n));
        const int y = (40 + 375 * (n - 1)) / 15 + 12;
        EXPECT_EQ(norvex.pixel(4, y), n % 2 ? kOdd : kEven);
    }

    // Twips follow the monitor's own DPI.
    const DPI_AWARENESS_CONTEXT context = GetWindowDpiAwarenessContext(window);
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(context), DPI_AWARENESS_PER_MONITOR_AWARE);
}

TEST(NorvexExe, ClickStartsPingWithTheRowsAddressInAConsoleOfItsOwn) {
    FakePing ping;
    ASSERT_TRUE(ping.install());
    TempDir dir;
    writeFile(dir.file(L"hosts.nvx"),
              listText({"[LIST]", "Plain=127.0.0.1", "Quoted=\"127.0.0.3\" -w 5",
                        "Accent=h\xC3\xB6st.localhost", "Spaced = ::1"}));
    Norvex norvex(L"hosts.nvx", dir.path(), ping.environment(systemFolder()));
    ASSERT_NE(norvex.mainWindow(), nullptr);
    const char *expected[] = {
        "ping.exe -t 127.0.0.1",
        "ping.exe -t \"127.0.0.3\" -w 5",
        "ping.exe -t h\xC3\xB6st.localhost",
        "ping.exe -t  ::1",
    };
    for (std::size_t n = 1; n <= 4; ++n) {
        SCOPED_TRACE(expected[n - 1]);
        norvex.clickRow(static_cast<int>(n));
        const std::vector<Record> records = ping.records(n);
        ASSERT_EQ(records.size(), n);
        bool seen = false;
        for (const Record &r : records) {
            if (r.at("command") != expected[n - 1]) continue;
            seen = true;
            EXPECT_EQ(r.at("flags"), std::to_string(STARTF_USESHOWWINDOW));
            EXPECT_EQ(r.at("show"), std::to_string(SW_SHOWNORMAL));
            EXPECT_EQ(r.at("console"), "1");   // a console window
            EXPECT_EQ(r.at("attached"), "1");  // shared with no one: its own
        }
        EXPECT_TRUE(seen);
    }
    EXPECT_TRUE(norvex.running());
}

TEST(NorvexExe, TwoClicksAreTwoProcesses) {
    FakePing ping;
    ASSERT_TRUE(ping.install());
    TempDir dir;
    Norvex norvex(L"", dir.path(), ping.environment(systemFolder()));  // no list: one button
    ASSERT_NE(norvex.mainWindow(), nullptr);
    norvex.click(1845 / 15 + 40, 120 / 15 + 12);
    norvex.click(1845 / 15 + 40, 120 / 15 + 12);
    const std::vector<Record> records = ping.records(2);
    ASSERT_EQ(records.size(), 2u);
    for (const Record &r : records) EXPECT_EQ(r.at("command"), "ping.exe -t 127.0.0.1");
}

// With no ping.exe in the system folder or an absolute PATH folder, copies in the current
// folder and in a relative PATH entry stay unrun, and the user is told instead.
TEST(NorvexExe, NeverRunsPingFromTheCurrentDirectory) {
    FakePing ping;  // the system's own ping.exe is moved away and nothing replaces it
    TempDir dir;
    writeFile(dir.file(L"norvex.nvx"), example());
    CreateDirectoryW(dir.file(L"relative").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(FakePing::program().c_str(), dir.file(L"ping.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW(FakePing::program().c_str(), dir.file(L"relative\\ping.exe").c_str(), FALSE));
    Norvex norvex(L"", dir.path(), ping.environment(L"relative;.;" + systemFolder()));
    ASSERT_NE(norvex.mainWindow(), nullptr);
    norvex.clickRow(1);

    std::vector<HWND> windows;
    for (int i = 0; i < 100 && windows.size() < 2; ++i) {
        std::this_thread::sleep_for(100ms);
        windows = norvex.windows();
    }
    EXPECT_EQ(windows.size(), 2u) << "no warning appeared";
    EXPECT_TRUE(ping.records(1, 3s).empty()) << "a planted ping.exe ran";
    EXPECT_TRUE(norvex.running());

    // An absolute PATH folder is searched.
    TempDir tools;
    ASSERT_TRUE(CopyFileW(FakePing::program().c_str(), tools.file(L"ping.exe").c_str(), FALSE));
    Norvex found(L"", dir.path(), ping.environment(L"relative;" + tools.path()));
    ASSERT_NE(found.mainWindow(), nullptr);
    found.clickRow(1);
    const std::vector<Record> records = ping.records(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].at("image"), utf8(tools.file(L"ping.exe")));
}

TEST(NorvexExe, DeviceNamesEndInTheFailureCaption) {
    TempDir dir;
    const std::string list = example();
    // A file another program holds open and shares with no one.
    writeFile(dir.file(L"locked.nvx"), list);
    Handle locked(CreateFileW(dir.file(L"locked.nvx").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked.valid());
    // A named pipe that is there and would never send a byte.
    const std::wstring pipeName =
        L"\\\\.\\pipe\\norvex-e2e-" + std::to_wstring(GetCurrentProcessId());
    Handle pipe(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4, 0, 0, 0,
                                 nullptr));
    ASSERT_TRUE(pipe.valid());

    const std::wstring failing[] = {
        L"CON",
        L"NUL",
        L"AUX",
        L"PRN",
        L"COM1",
        L"LPT1",
        L"CON.nvx",
        L"nul.nvx",
        L"COM1.txt",
        L"\\\\.\\NUL",
        L"\\\\.\\pipe\\nothing",
        pipeName,
        dir.path(),
        dir.file(L"locked.nvx"),
        dir.file(L"missing.nvx"),
    };
    for (const std::wstring &name : failing) {
        SCOPED_TRACE(utf8(name));
        Norvex norvex(name, dir.path());
        HWND window = norvex.mainWindow(20s);
        ASSERT_NE(window, nullptr) << "no window: a hang?";
        EXPECT_EQ(utf8(titleOf(window)), utf8(L" [" + name + L"] not found"));
    }
}

TEST(NorvexExe, LongUnicodeAndQuotedPathsLoad) {
    TempDir dir;
    const std::string list = example();
    // Deeper than MAX_PATH allows in the plain form.
    std::wstring deep = dir.path();
    while (deep.size() < 300) {
        deep += L"\\a-long-folder-name-to-pass-the-old-limit";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    const std::wstring longName = deep + L"\\hosts.nvx";
    writeFile(L"\\\\?\\" + longName, list);
    writeFile(dir.file(L"H\u00f6stlista \u00fc.nvx"), list);
    CreateDirectoryW(L"C:\\Lists", nullptr);
    writeFile(L"C:\\Lists\\office hosts.nvx", list);

    const struct {
        std::wstring arguments;
        std::wstring shown;
    } cases[] = {
        {longName, longName},
        {L"H\u00f6stlista \u00fc.nvx", L"H\u00f6stlista \u00fc.nvx"},
        {L"\"C:\\Lists\\office hosts.nvx\"", L"C:\\Lists\\office hosts.nvx"},  // as Explorer
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(utf8(c.arguments));
        Norvex norvex(c.arguments, dir.path());
        HWND window = norvex.mainWindow(20s);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(utf8(titleOf(window)),
                  utf8(std::wstring(kProgramTitle) + L"  [" + c.shown + L"]"));
    }
    DeleteFileW(L"C:\\Lists\\office hosts.nvx");
    RemoveDirectoryW(L"C:\\Lists");
    removeTree(L"\\\\?\\" + dir.path());
}

// Run by tests/win/check_netns.sh, under Wine in a network namespace of its own whose loopback
// answers echo requests only to an even last address byte: of 127.0.0.1 .. 127.0.0.86, half
// are silent. norvex.exe checks them with the IP Helper API, first from its context menu, then
// from the keyboard; the mark of every row, read off a screen tall enough for all of them, says
// which answered.
TEST(NorvexExe, DISABLED_ChecksAHalfSilentLoopbackListFromTheMenuAndTheKeyboard) {
    char marker[8] = {};
    ASSERT_TRUE(GetEnvironmentVariableA("NORVEX_HALF_SILENT", marker, sizeof marker) > 0)
        << "run it with tests/win/check_netns.sh, which makes half the loopback silent";
    TempDir dir;
    std::vector<std::string> lines{"[LIST]"};
    for (int i = 1; i <= 86; ++i)
        lines.push_back("host" + std::to_string(i) + "=127.0.0." + std::to_string(i));
    writeFile(dir.file(L"hosts.nvx"), listText(lines));
    constexpr COLORREF kAnswered = 0x003B7F1B;  // the green disc
    constexpr COLORREF kNoAnswer = 0x002828C6;  // the red square

    for (const bool fromMenu : {true, false}) {
        SCOPED_TRACE(fromMenu ? "from the context menu" : "from the keyboard (F5)");
        Norvex norvex(L"hosts.nvx", dir.path());
        HWND window = norvex.mainWindow();
        ASSERT_NE(window, nullptr);
        if (fromMenu) {
            // On row 1's band: "Check this host", a separator, "Check all hosts".
            norvex.rightClick(20, 10);
            norvex.press({VK_DOWN, VK_DOWN, VK_RETURN});
        } else {
            norvex.press({VK_F5});
        }
        // The check began during the pause after the last key.
        const auto started = std::chrono::steady_clock::now();
        // A point inside row n's mark, clear of its sign.
        const auto markColour = [&](int n) {
            const int top = static_cast<int>(std::lround((40.0 + 375 * (n - 1) + 90) / 15));
            return norvex.pixel(92 + 1, top + 6);
        };
        RECT client{};
        GetClientRect(window, &client);
        ASSERT_EQ(client.bottom - client.top, (40 + 375 * 86 + 40) / 15) << "not all rows in view";
        const auto allMarked = [&] {
            for (int n = 1; n <= 86; ++n) {
                if (markColour(n) != (n % 2 ? kNoAnswer : kAnswered)) return false;
            }
            return true;
        };
        while (!allMarked() && std::chrono::steady_clock::now() - started < 20s)
            std::this_thread::sleep_for(200ms);
        const auto took = std::chrono::steady_clock::now() - started;
        for (int n = 1; n <= 86; ++n) {
            SCOPED_TRACE("row " + std::to_string(n));
            EXPECT_EQ(markColour(n), n % 2 ? kNoAnswer : kAnswered);
        }
        // Every request goes out at once: one reply timeout, and the time Wine takes to hand 86
        // requests to its network service (about a second in all). Sixteen at a time took three.
        EXPECT_LT(took, 2s) << "86 rows took "
                            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                            << " ms";
        EXPECT_EQ(utf8(titleOf(window)), utf8(std::wstring(kProgramTitle) + L"  [hosts.nvx]"));
    }
}

// Run by tests/win/check_netns.sh too, where name lookups go unanswered as well: closing the
// window with every check out, echo requests to silent hosts and names, connects to ports of
// names, ends norvex.exe at once, cleanly.
TEST(NorvexExe, DISABLED_ClosingTheWindowWithChecksOutEndsItAtOnce) {
    ASSERT_TRUE(GetEnvironmentVariableA("NORVEX_HALF_SILENT", nullptr, 0) > 0)
        << "run it with tests/win/check_netns.sh, which makes hosts and names silent";
    TempDir dir;
    std::vector<std::string> lines{"[LIST]"};
    for (int i = 1; i <= 4; ++i) lines.push_back("name=stuck" + std::to_string(i) + ".norvex.test");
    for (int i = 1; i <= 60; ++i) lines.push_back("host=127.0.0." + std::to_string(2 * i - 1));
    for (int i = 5; i <= 8; ++i)
        lines.push_back("port=stuck" + std::to_string(i) + ".norvex.test:443");
    writeFile(dir.file(L"hosts.nvx"), listText(lines));
    Norvex norvex(L"hosts.nvx", dir.path());
    HWND window = norvex.mainWindow();
    ASSERT_NE(window, nullptr);
    // Rows 1 and 5 (a name, a silent host): their marks' corner of the window.
    const auto marks = [&] {
        std::vector<COLORREF> pixels;
        for (const int top : {8, 108})
            for (int y = top; y < top + 16; ++y)
                for (int x = 88; x < 108; ++x) pixels.push_back(norvex.pixel(x, y));
        return pixels;
    };
    const std::vector<COLORREF> unchecked = marks();
    norvex.press({VK_F5});
    ASSERT_NE(marks(), unchecked) << "no check started";
    const auto closed = std::chrono::steady_clock::now();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(norvex.exitStatus(10s), 0u);
    const auto took = std::chrono::steady_clock::now() - closed;
    // Nothing waits for a reply or a lookup: about half a second under Wine, from WM_CLOSE to
    // the process's end. A stuck lookup would take ten.
    EXPECT_LT(took, 2s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                        << " ms";
}

// The processes called name that run now.
std::vector<DWORD> processesNamed(const std::wstring &name) {
    std::vector<DWORD> found;
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

void endAll(const std::wstring &name) {
    for (const DWORD pid : processesNamed(name)) {
        Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
}

// Ctrl+T runs tracert on the focused row's host word alone, under norvex-hold, whose console
// stays open once tracert has ended; a port row's click runs norvex-probe there, which connects
// to the port about once a second.
TEST(NorvexExe, TraceRouteAndAPortRowRunInConsolesThatStayOpen) {
    FakePing tracert(L"tracert.exe");
    ASSERT_TRUE(tracert.install());
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    int length = sizeof at;
    getsockname(listener, reinterpret_cast<sockaddr *>(&at), &length);
    listen(listener, 8);
    const std::string port = std::to_string(ntohs(at.sin_port));
    TempDir dir;
    writeFile(dir.file(L"hosts.nvx"),
              listText({"[LIST]", "Web=127.0.0.1:" + port, "Gate=-w 5 127.0.0.7"}));
    Norvex norvex(L"hosts.nvx", dir.path(), tracert.environment(systemFolder()));
    ASSERT_NE(norvex.mainWindow(), nullptr);

    norvex.press({VK_TAB});  // from row 1, which has the focus at start, to row 2
    norvex.chord(VK_CONTROL, 'T');
    const std::vector<Record> traced = tracert.records(1);
    ASSERT_EQ(traced.size(), 1u);
    const std::string command = traced[0].at("command");
    EXPECT_EQ(command.substr(command.rfind(' ')), " 127.0.0.7") << command;
    EXPECT_EQ(traced[0].at("console"), "1");
    EXPECT_EQ(traced[0].at("attached"), "2") << "tracert shares its console with norvex-hold";
    EXPECT_EQ(traced[0].at("title"), "tracert 127.0.0.7");
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(processesNamed(L"norvex-hold.exe").size(), 1u) << "the console closed with tracert";
    endAll(L"norvex-hold.exe");

    norvex.clickRow(1);
    int accepted = 0;
    const auto until = std::chrono::steady_clock::now() + 4s;
    while (std::chrono::steady_clock::now() < until) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval wait{0, 200000};
        if (select(0, &ready, nullptr, nullptr, &wait) == 1) {
            closesocket(accept(listener, nullptr, nullptr));
            ++accepted;
        }
    }
    EXPECT_GE(accepted, 3) << "the probe connected " << accepted << " times in 4 s";
    EXPECT_LE(accepted, 6);
    EXPECT_EQ(processesNamed(L"norvex-probe.exe").size(), 1u);
    endAll(L"norvex-probe.exe");
    endAll(L"norvex-hold.exe");
    closesocket(listener);
    WSACleanup();
}

}  // namespace

// An editor's save replaces the list by a rename: the running window follows it within about two
// seconds, and one written in place too.
TEST(NorvexExe, FollowsItsListWhenItIsReplacedOrRewritten) {
    TempDir dir;
    writeFile(dir.file(L"norvex.nvx"), listText({"[LIST]", "a=127.0.0.1"}));
    Norvex norvex(L"", dir.path());
    ASSERT_TRUE(norvex.started());
    HWND window = norvex.mainWindow();
    ASSERT_NE(window, nullptr);
    const auto clientHeight = [&] {
        RECT client{};
        GetClientRect(window, &client);
        return client.bottom - client.top;
    };
    const auto waitForHeight = [&](int height) {
        for (int i = 0; i < 40 && clientHeight() != height; ++i) Sleep(100);
        return clientHeight();
    };
    EXPECT_EQ(clientHeight(), 30);  // one row: (40 + 375 + 40) twips
    writeFile(dir.file(L"norvex.new"), listText({"[LIST]", "a=127.0.0.1", "b=127.0.0.2:80"}));
    ASSERT_TRUE(MoveFileExW(dir.file(L"norvex.new").c_str(), dir.file(L"norvex.nvx").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(waitForHeight(55), 55) << "a list renamed over it was not loaded";
    writeFile(dir.file(L"norvex.nvx"), listText({"no marker: no rows"}));
    EXPECT_EQ(waitForHeight(43), 43) << "a list written in place was not loaded";
}
