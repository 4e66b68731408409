#pragma once

#include <string>

// The system's own words for a Win32 error code, without the trailing line break.
std::wstring systemMessage(unsigned long code);
