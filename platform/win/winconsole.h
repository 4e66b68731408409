#pragma once

#include <string>

// Windows only, and no Qt, so it can be compiled on its own.

// Writes text to the console that standard output is, as UTF-16, so every character shows
// whatever the console's code page. Returns false, writing nothing, when standard output is not
// a console (a pipe or a file).
bool writeToConsole(const std::wstring &text);
