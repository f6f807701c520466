// The few dynamic-loading calls the headless host makes, on Windows: LoadLibrary in place
// of dlopen, so that the loading code reads the same on both systems. Paths are UTF-8.
#pragma once

#include <windows.h>

#include <string>

#include "platform/windows/text.h"

#define RTLD_NOW 0
#define RTLD_LOCAL 0

namespace headless_dl {
inline std::string& last_error() {
    thread_local std::string text;
    return text;
}
inline void remember_error() {
    const DWORD code = GetLastError();
    wchar_t* message = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    last_error() = message ? utf8_from_wide(message) : "";
    if (message) LocalFree(message);
    while (!last_error().empty() && (last_error().back() == '\n' || last_error().back() == '\r'))
        last_error().pop_back();
    last_error() += " (error " + std::to_string(code) + ")";
}
}  // namespace headless_dl

inline void* dlopen(const char* path, int) {
    const std::wstring wide = wide_from_utf8(path);
    // The plug-in's own folder is searched for anything it loads, as hosts do.
    HMODULE m = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m) headless_dl::remember_error();
    return m;
}

inline void* dlsym(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

inline int dlclose(void* library) {
    return FreeLibrary(static_cast<HMODULE>(library)) ? 0 : -1;
}

inline const char* dlerror() {
    return headless_dl::last_error().c_str();
}
