#pragma once

#include <cstdint>
#include <string>

// Windows only, and no Qt, so it can be compiled on its own.

// Opens the regular file name for reading and gives its size. Devices (CON, NUL, COM1, and
// \\.\ paths), named pipes and folders are refused without blocking; a file another program
// holds open without sharing is refused rather than waited for; paths longer than MAX_PATH work.
// Returns the file's handle (INVALID_HANDLE_VALUE with a plain-words reason in *error).
void *openRegularFile(const std::wstring &name, std::uint64_t *size, std::wstring *error);

// Reads at most maxBytes from file; 0 at the end, -1 with a reason in *error.
long long readFromFile(void *file, char *buffer, std::uint64_t maxBytes, std::wstring *error);

// The name to hand to CreateFileW: the full path, in the \\?\ form when it is too long for the
// plain one. Empty when the name leads to a device rather than into a file system.
std::wstring fileSystemPath(const std::wstring &name);
