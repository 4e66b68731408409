#include "platform/win/wincmdline.h"

#include <windows.h>

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

std::wstring processArgumentText() { return argumentsAfterProgramName(GetCommandLineW()); }
