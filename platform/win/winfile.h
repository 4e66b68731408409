#pragma once

#include <cstdint>
#include <string>

// Windows only, and no Qt, so it can be compiled on its own.

// Reads the regular file name whole into *bytes, at most maxBytes of it. Devices (CON, NUL,
// COM1, \\.\ paths), named pipes and folders are refused without blocking; a file another
// program holds open without sharing is refused rather than waited for; paths longer than
// MAX_PATH work. Returns false with a plain-words reason in *error.
bool readRegularFile(const std::wstring &name, std::uint64_t maxBytes, std::string *bytes,
                     std::wstring *error);

// The name to hand to CreateFileW: the full path, in the \\?\ form when it is too long for the
// plain one. Empty when the name leads to a device rather than into a file system.
std::wstring fileSystemPath(const std::wstring &name);
