// The part of NVIDIA's driver interface the headless editing host calls, declared here and
// loaded at run time (libcuda.so.1, nvcuda.dll): a host serves CUDA devices through the
// driver it finds, so neither it nor the build needs the CUDA toolkit. The effect's filter
// makes its own calls through the CUDA runtime it links; both meet in the device's primary
// context, which the host makes current before it calls the filter.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CUDA_DRIVER_CALL __stdcall
#else
#define CUDA_DRIVER_CALL
#endif

typedef int cuda_result;  // CUresult: 0 is success
typedef int cuda_device;  // CUdevice: an ordinal
typedef struct cuda_context_* cuda_context;
typedef unsigned long long cuda_pointer;  // CUdeviceptr on 64-bit systems

// name, result, arguments; the names are the driver's exported symbols (the _v2 forms the
// toolkit's header maps the plain names to).
#define CHROMALANE_CUDA_DRIVER_FUNCTIONS(X)                                \
    X(cuInit, cuda_result, (unsigned int))                                 \
    X(cuDeviceGetCount, cuda_result, (int*))                               \
    X(cuDeviceGet, cuda_result, (cuda_device*, int))                       \
    X(cuDeviceGetName, cuda_result, (char*, int, cuda_device))             \
    X(cuDevicePrimaryCtxRetain, cuda_result, (cuda_context*, cuda_device)) \
    X(cuDevicePrimaryCtxRelease_v2, cuda_result, (cuda_device))            \
    X(cuCtxSetCurrent, cuda_result, (cuda_context))                        \
    X(cuCtxSynchronize, cuda_result, (void))                               \
    X(cuMemAlloc_v2, cuda_result, (cuda_pointer*, size_t))                 \
    X(cuMemFree_v2, cuda_result, (cuda_pointer))                           \
    X(cuMemcpyHtoD_v2, cuda_result, (cuda_pointer, const void*, size_t))   \
    X(cuMemcpyDtoH_v2, cuda_result, (void*, cuda_pointer, size_t))         \
    X(cuGetErrorName, cuda_result, (cuda_result, const char**))

struct cuda_driver_api {
#define CHROMALANE_CUDA_DRIVER_MEMBER(name, result, args) result(CUDA_DRIVER_CALL* name) args;
    CHROMALANE_CUDA_DRIVER_FUNCTIONS(CHROMALANE_CUDA_DRIVER_MEMBER)
#undef CHROMALANE_CUDA_DRIVER_MEMBER
};

// The driver's functions, loaded and initialised once per process; null where no NVIDIA
// driver is installed, a function is missing or cuInit fails (no usable device). `why`
// (when given) receives the reason.
const cuda_driver_api* cuda_driver_load(const char** why = nullptr);

// "CUDA_ERROR_OUT_OF_MEMORY" and the like, for messages.
const char* cuda_driver_error_name(const cuda_driver_api& api, cuda_result code);
