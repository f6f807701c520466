#include <cstdint>
#include <mutex>

#include "gpu/opencl.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

void* open_library() {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA("OpenCL.dll"));
#elif defined(__APPLE__)
    return dlopen("/System/Library/Frameworks/OpenCL.framework/OpenCL", RTLD_NOW | RTLD_LOCAL);
#else
    void* lib = dlopen("libOpenCL.so.1", RTLD_NOW | RTLD_LOCAL);
    return lib ? lib : dlopen("libOpenCL.so", RTLD_NOW | RTLD_LOCAL);
#endif
}

void* find_symbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

opencl_api api;
const opencl_api* loaded = nullptr;
std::once_flag once;

// The library stays loaded for the life of the process: kernels, images and queues made
// through it live in process-wide caches until unload.
void load() {
    void* library = open_library();
    if (!library) return;
    bool complete = true;
#define CHROMALANE_OPENCL_FIND(name, result, args)                                              \
    {                                                                                           \
        void* f = find_symbol(library, #name);                                                  \
        complete = complete && f;                                                               \
        api.name = reinterpret_cast<result(CL_API_CALL*) args>(reinterpret_cast<uintptr_t>(f)); \
    }
    CHROMALANE_OPENCL_FUNCTIONS(CHROMALANE_OPENCL_FIND)
#undef CHROMALANE_OPENCL_FIND
    if (complete) loaded = &api;
}

}  // namespace

const opencl_api* opencl_load() {
    std::call_once(once, load);
    return loaded;
}

const char* opencl_error_name(cl_int code) {
    switch (code) {
        case CL_SUCCESS:
            return "CL_SUCCESS";
        case CL_DEVICE_NOT_FOUND:
            return "CL_DEVICE_NOT_FOUND";
        case CL_OUT_OF_HOST_MEMORY:
            return "CL_OUT_OF_HOST_MEMORY";
        case CL_BUILD_PROGRAM_FAILURE:
            return "CL_BUILD_PROGRAM_FAILURE";
        case CL_INVALID_VALUE:
            return "CL_INVALID_VALUE";
        case -4:
            return "CL_MEM_OBJECT_ALLOCATION_FAILURE";
        case -5:
            return "CL_OUT_OF_RESOURCES";
        case -1001:
            return "CL_PLATFORM_NOT_FOUND_KHR";
        default:
            return "OpenCL error";
    }
}
