// Opening a system library by name at run time and finding its functions, on every system
// the plug-in and the headless host build for: the GPU frameworks' libraries are found
// where the driver installed them, so that nothing links against them.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// The first of `names` (null-ended) that opens; null when none does. The handle is never
// closed: what is made through such a library lives in process-wide caches.
inline void* system_library_open(const char* const* names) {
    for (; *names; ++names) {
#if defined(_WIN32)
        if (void* lib = reinterpret_cast<void*>(LoadLibraryA(*names))) return lib;
#else
        if (void* lib = dlopen(*names, RTLD_NOW | RTLD_LOCAL)) return lib;
#endif
    }
    return nullptr;
}

// A function of the library as `F` (a function pointer type), or null.
template <typename F>
F system_library_function(void* library, const char* name) {
#if defined(_WIN32)
    void* f = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    void* f = dlsym(library, name);
#endif
    return reinterpret_cast<F>(reinterpret_cast<uintptr_t>(f));
}
