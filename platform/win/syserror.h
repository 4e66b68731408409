#pragma once

#include <string>

// The system's own words for a Win32 error code, without the trailing line break.
std::wstring systemMessage(unsigned long code);

// The same, or fallback where the system has no words for the code (Wine has none for most
// Winsock errors).
std::wstring systemMessageOr(unsigned long code, const std::wstring &fallback);
