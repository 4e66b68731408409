#include "platform/win/winconsole.h"

#include <windows.h>

#include <algorithm>

bool writeToConsole(const std::wstring &text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = static_cast<DWORD>((std::min)(text.size() - done, std::size_t{8192}));
        DWORD written = 0;
        if (!WriteConsoleW(out, text.data() + done, chunk, &written, nullptr) || written == 0)
            return true;  // a console that stops taking text: nothing better to do
        done += written;
    }
    return true;
}
