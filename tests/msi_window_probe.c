/* Finds the top-level window whose title starts with a given text, prints its title and the
 * program file of the process that owns it, then closes it and waits for that process to end.
 * Usage: msi_window_probe.exe TITLE_PREFIX SECONDS
 * Exit status 0 when found and closed, 1 when no such window appeared in time. */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

struct search {
    const wchar_t *prefix;
    HWND found;
};

static BOOL CALLBACK visit(HWND window, LPARAM param) {
    struct search *s = (struct search *)param;
    wchar_t title[1024];
    if (!IsWindowVisible(window) || GetWindowTextW(window, title, 1024) <= 0) return TRUE;
    if (wcsncmp(title, s->prefix, wcslen(s->prefix)) != 0) return TRUE;
    s->found = window;
    return FALSE;
}

static BOOL CALLBACK list(HWND window, LPARAM param) {
    (void)param;
    wchar_t title[1024];
    if (IsWindowVisible(window) && GetWindowTextW(window, title, 1024) > 0)
        fwprintf(stderr, L"  visible window: \"%ls\"\n", title);
    return TRUE;
}

static void printUtf8(const char *what, const wchar_t *text) {
    char buffer[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (n <= 0) strcpy(buffer, "?");
    printf("%s: %s\n", what, buffer);
}

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: msi_window_probe.exe TITLE_PREFIX SECONDS\n");
        return 2;
    }
    struct search s = {argv[1], NULL};
    DWORD deadline = GetTickCount() + (DWORD)_wtoi(argv[2]) * 1000;
    while (!s.found && (LONG)(deadline - GetTickCount()) > 0) {
        EnumWindows(visit, (LPARAM)&s);
        if (!s.found) Sleep(200);
    }
    if (!s.found) {
        fprintf(stderr, "no window titled \"%ls...\" appeared\n", argv[1]);
        EnumWindows(list, 0);
        return 1;
    }
    wchar_t title[1024];
    GetWindowTextW(s.found, title, 1024);
    printUtf8("title", title);

    DWORD pid = 0;
    GetWindowThreadProcessId(s.found, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
    wchar_t image[MAX_PATH] = L"?";
    DWORD size = MAX_PATH;
    if (process) QueryFullProcessImageNameW(process, 0, image, &size);
    printUtf8("program", image);
    fflush(stdout);

    PostMessageW(s.found, WM_CLOSE, 0, 0);
    DWORD ended = process ? WaitForSingleObject(process, 15000) : WAIT_FAILED;
    if (process) CloseHandle(process);
    if (ended != WAIT_OBJECT_0) {
        fprintf(stderr, "the window's program did not end after WM_CLOSE\n");
        return 1;
    }
    return 0;
}
