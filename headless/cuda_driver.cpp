#include "headless/cuda_driver.h"

#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

void* open_library() {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA("nvcuda.dll"));
#else
    void* lib = dlopen("libcuda.so.1", RTLD_NOW | RTLD_LOCAL);
    return lib ? lib : dlopen("libcuda.so", RTLD_NOW | RTLD_LOCAL);
#endif
}

void* find_symbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

cuda_driver_api api;
const cuda_driver_api* loaded = nullptr;
const char* failure = "not loaded";
std::once_flag once;

// The library stays loaded for the life of the process, as the device memory and contexts
// made through it do.
void load() {
    void* library = open_library();
    if (!library) {
        failure = "no NVIDIA driver (libcuda.so.1) could be loaded";
        return;
    }
    bool complete = true;
#define CHROMALANE_CUDA_DRIVER_FIND(name, result, args)                                       \
    {                                                                                         \
        void* f = find_symbol(library, #name);                                                \
        complete = complete && f;                                                             \
        api.name =                                                                            \
            reinterpret_cast<result(CUDA_DRIVER_CALL*) args>(reinterpret_cast<uintptr_t>(f)); \
    }
    CHROMALANE_CUDA_DRIVER_FUNCTIONS(CHROMALANE_CUDA_DRIVER_FIND)
#undef CHROMALANE_CUDA_DRIVER_FIND
    if (!complete) {
        failure = "the NVIDIA driver lacks a function the host needs (too old?)";
        return;
    }
    if (api.cuInit(0) != 0) {
        failure = "the NVIDIA driver found no usable device (cuInit failed)";
        return;
    }
    loaded = &api;
}

}  // namespace

const cuda_driver_api* cuda_driver_load(const char** why) {
    std::call_once(once, load);
    if (!loaded && why) *why = failure;
    return loaded;
}

const char* cuda_driver_error_name(const cuda_driver_api& driver, cuda_result code) {
    const char* name = nullptr;
    if (driver.cuGetErrorName(code, &name) != 0 || !name) return "CUDA error";
    return name;
}
