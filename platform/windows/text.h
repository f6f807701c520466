// Paths cross the platform functions as UTF-8 and the system's wide-character calls as
// UTF-16, so that names outside the ANSI code page survive both ways.
#pragma once

#include <windows.h>

#include <string>

// UTF-16 from UTF-8; empty for an empty or malformed text.
inline std::wstring wide_from_utf8(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, w.data(), n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

// UTF-8 from UTF-16; empty for an empty or malformed text.
inline std::string utf8_from_wide(const wchar_t* text) {
    const int n =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}
