#include "headless/cuda_driver.h"

#include <mutex>

#include "gpu/system_library.h"

namespace {

cuda_driver_api api;
const cuda_driver_api* loaded = nullptr;
const char* failure = "not loaded";
std::once_flag once;

// The library stays loaded for the life of the process, as the device memory and contexts
// made through it do.
void load() {
#if defined(_WIN32)
    static const char* const NAMES[] = {"nvcuda.dll", nullptr};
#else
    static const char* const NAMES[] = {"libcuda.so.1", "libcuda.so", nullptr};
#endif
    void* library = system_library_open(NAMES);
    if (!library) {
        failure = "no NVIDIA driver (libcuda.so.1) could be loaded";
        return;
    }
    bool complete = true;
#define CHROMALANE_CUDA_DRIVER_FIND(name, result, args)                                 \
    api.name = system_library_function<result(CUDA_DRIVER_CALL*) args>(library, #name); \
    complete = complete && api.name;
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
