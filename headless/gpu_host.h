// The editing host's GPU side, headless: an OpenCL device (any the system offers; PoCL runs
// OpenCL on the processor) or an NVIDIA device through the CUDA driver, frames in device
// memory, and the effect's GPU filter loaded from the plug-in file through xGPUFilterEntry
// and driven as the host drives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gpu/opencl.h"
#include "headless/cuda_driver.h"
#include "headless/host.h"
#include "hostsdk/gpu_filter.h"

// One device, known to the filter under a device index (0 ... 11). OpenCL: its context and
// in-order queue. CUDA: the device's primary context, where the filter's runtime calls land.
struct headless_gpu_device {
    PrGPUDeviceFramework framework = PrGPUDeviceFramework_OpenCL;
    const opencl_api* cl = nullptr;
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    const cuda_driver_api* cuda = nullptr;
    cuda_device cuda_ordinal = 0;
    cuda_context cuda_primary = nullptr;
    uint32_t index = 0;
    std::string name;  // "platform: device"
};

// Opens a device of the framework (OpenCL or CUDA) as device `index`: for OpenCL the first
// that supports images, for CUDA the first the driver lists. On failure returns false with
// the reason in `error` (no OpenCL library, no NVIDIA driver, no device ...).
bool headless_gpu_open(headless_gpu_device* d, uint32_t index, PrGPUDeviceFramework framework,
                       std::string* error);
// Closes what headless_gpu_open opened, also what it left open when it failed part way.
void headless_gpu_close(headless_gpu_device* d);

// A BGRA frame in device memory: four floats per pixel, or four half floats.
struct headless_gpu_frame {
    headless_gpu_device* device = nullptr;
    void* memory = nullptr;  // the cl_mem, or the CUDA device address
    int width = 0, height = 0;
    int32_t row_bytes = 0;
    bool half = false;
};
// Allocates a frame (rows padded as hosts pad them) and fills it from RGBA floats
// (width * height * 4, R first); half frames are converted with float2half.
bool headless_gpu_frame_upload(headless_gpu_device* d, const float* rgba, int width, int height,
                               bool half_float, headless_gpu_frame* f, std::string* error);
// Reads a frame back into RGBA floats.
bool headless_gpu_frame_download(const headless_gpu_frame* f, float* rgba, std::string* error);
void headless_gpu_frame_free(headless_gpu_frame* f);

// The effect's GPU filter for one effect instance on one device.
struct headless_gpu_filter {
    headless_instance* instance = nullptr;
    headless_gpu_device* device = nullptr;
    PrGPUFilter filter{};
    PrGPUFilterInstance record{};
    bool created = false;
};

// Finds xGPUFilterEntry in the plug-in file (or takes `entry` when given: a filter linked
// into the caller), starts the filter and creates an instance for the effect instance on
// the device. Returns the host's result code (0 on success).
prSuiteError headless_gpu_filter_new(headless_instance* inst, headless_gpu_device* d,
                                     headless_gpu_filter* filter, std::string* error,
                                     PrGPUFilterEntry entry = nullptr);
void headless_gpu_filter_delete(headless_gpu_filter* filter);

// Renders a frame in place through the filter at the instance's current time.
prSuiteError headless_gpu_render(headless_gpu_filter* filter, headless_gpu_frame* frame);

// Calls of the filter's entry with an index, and of its instance creation with a device
// index, as given (for tests of the filter's refusals).
prSuiteError headless_gpu_entry(headless_plugin* plugin, int32_t index, PrGPUFilter* filter,
                                PrGPUFilterEntry entry = nullptr);
prSuiteError headless_gpu_create(headless_instance* inst, const PrGPUFilter* filter,
                                 uint32_t device_index, PrGPUFilterInstance* record);
// The entry's shutdown call, as a host makes it before unloading the plug-in.
prSuiteError headless_gpu_shutdown(headless_plugin* plugin, PrGPUFilterEntry entry = nullptr);
