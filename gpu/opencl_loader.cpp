#include <cstdint>
#include <mutex>

#include "gpu/opencl.h"
#include "gpu/system_library.h"

namespace {

void* open_library() {
#if defined(_WIN32)
    static const char* const NAMES[] = {"OpenCL.dll", nullptr};
#elif defined(__APPLE__)
    static const char* const NAMES[] = {"/System/Library/Frameworks/OpenCL.framework/OpenCL",
                                        nullptr};
#else
    static const char* const NAMES[] = {"libOpenCL.so.1", "libOpenCL.so", nullptr};
#endif
    return system_library_open(NAMES);
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
#define CHROMALANE_OPENCL_FIND(name, result, args)                                 \
    api.name = system_library_function<result(CL_API_CALL*) args>(library, #name); \
    complete = complete && api.name;
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
