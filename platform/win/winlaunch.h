#pragma once

#include <string>

// Windows only, and no Qt, so it can be compiled on its own.

// The full path of program (a bare file name such as "ping.exe") in the system folder or in an
// absolute PATH folder, never the current directory; empty when it is nowhere.
std::wstring findProgramOutsideCurrentDirectory(const std::wstring &program);

// Starts commandLine in a new console window, shown normally and activated, without waiting,
// running the program found by findProgramOutsideCurrentDirectory. Keeps no handle. Returns
// false with a plain-words reason in *error when it could not be started.
bool startInNewConsole(const std::wstring &program, const std::wstring &commandLine,
                       std::wstring *error);
