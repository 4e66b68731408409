#pragma once

#include <string>

// The text of a Windows command line after the program name: a quoted name runs to the next
// quote, an unquoted one to the first space or tab; the blanks after it are skipped too.
std::wstring argumentsAfterProgramName(const std::wstring &commandLine);
