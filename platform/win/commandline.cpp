#include "platform/commandline.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/win/commandline.h"

namespace {

// Writes text to the console that standard output is, as UTF-16, so every character shows
// whatever the console's code page. Returns false, writing nothing, when standard output is not
// a console (a pipe or a file).
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

}  // namespace

std::wstring argumentsAfterProgramName(const std::wstring &commandLine) {
    std::size_t p = 0;
    const std::size_t end = commandLine.size();
    if (p < end && commandLine[p] == L'"') {
        ++p;
        while (p < end && commandLine[p] != L'"') ++p;
        if (p < end) ++p;
    }
    while (p < end && commandLine[p] != L' ' && commandLine[p] != L'\t') ++p;
    while (p < end && (commandLine[p] == L' ' || commandLine[p] == L'\t')) ++p;
    return commandLine.substr(p);
}

QString rawArgumentText(int, char **) {
    // Windows hands a program its command line whole: argv has already split and unquoted it.
    return QString::fromStdWString(argumentsAfterProgramName(GetCommandLineW()));
}

void writeStandardOutput(const QString &text) {
    if (writeToConsole(text.toStdWString())) return;
    std::fputs(text.toUtf8().constData(), stdout);
}
