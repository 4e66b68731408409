#include "platform/win/syserror.h"

#include <windows.h>

std::wstring systemMessageOr(unsigned long code, const std::wstring &fallback) {
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = n ? std::wstring(text, n) : fallback;
    if (text) LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message;
}

std::wstring systemMessage(unsigned long code) {
    return systemMessageOr(code, L"error " + std::to_wstring(code));
}
