#pragma once

#include <string>

// One word of a Windows command line, quoted so that the C runtime reads it back unchanged:
// quoted when it is empty or holds a blank or a quote, with backslashes doubled only before a
// quote. No Qt: norvex-hold uses it too.
inline std::wstring quotedArgument(const std::wstring &word) {
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) return word;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L'"';
}
