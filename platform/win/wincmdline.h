#pragma once

#include <string>

// The text of a Windows command line after the program name: a quoted name runs to the next
// quote, an unquoted one to the first space or tab; the blanks after it are skipped too.
// No Qt here: this builds with any Windows compiler.
std::wstring argumentsAfterProgramName(const std::wstring &commandLine);

// The raw argument text of this process: its command line after the program name.
std::wstring processArgumentText();
