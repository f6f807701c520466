// The editing host's GPU filter: the effect rendered on the host's device through a
// 48 x 48 x 48 table of the whole per-pixel transform, computed on the device only when a
// byte of the parameters record changes, and applied to every frame in place.
#pragma once

#include <cstdint>

#include "gpu/cuda_bridge.h"
#include "gpu/opencl.h"
#include "hostsdk/gpu_filter.h"
#include "pipeline/parameters.h"
#include "platform/platform.h"

constexpr int GPU_SLOTS = 12;  // device indices 0 ... 11
constexpr int LUT_NODES = 48;
constexpr size_t LUT_BYTES = 48 * 48 * 48 * 16;

// One OpenCL device's kernels and table, made by the first filter instance on the device.
struct opencl_slot {
    uint8_t ready;
    uint8_t locks_made;
    rwlock_ lut_lock;        // shared while applying, exclusive while recomputing
    real_mutex launch_lock;  // a kernel's arguments are set and launched by one thread at a time
    cl_context context;      // the host's context the objects below belong to
    cl_device_id device;
    cl_kernel calc_kernel;
    cl_kernel apply_kernel;
    cl_mem lut_image;
    cl_sampler lut_sampler;
    uint8_t have_lut;
    uint64_t computations;  // tables computed, for tests and benchmarks
    parameters last_params;
};

// The CUDA section: one table in host memory, shared by every CUDA device.
struct cuda_section {
    struct {
        uint8_t ready;
        int32_t calc_block[3];
        int32_t apply_block[2];
    } slot[GPU_SLOTS];
    rwlock_ lut_lock;
    float* host_lut;
    uint8_t host_lut_ready;
    uint8_t have_lut;
    uint64_t computations;  // tables computed, for tests and benchmarks
    parameters last_params;
};

struct GPU_cache_record {
    real_mutex lock;  // held while a device slot is set up
    cuda_section cuda;
    opencl_slot opencl[GPU_SLOTS];
};
extern GPU_cache_record GPU_cache;

extern "C" prSuiteError xGPUFilterEntry(csSDK_uint32 host_interface_version, csSDK_int32* io_index,
                                        prBool is_startup, piSuitesPtr suites,
                                        PrGPUFilter* out_filter, PrGPUFilterInfo* out_info);

class GPU_filter : public PrGPUFilterBase {
  public:
    ~GPU_filter() override;
    prSuiteError Initialize(PrGPUFilterInstance* instance) override;
    prSuiteError Render(const PrGPUFilterRenderParams* render_params, const PPixHand* frames,
                        csSDK_int32 frame_count, PPixHand* out_frame) override;

  private:
    prSuiteError get_params(PrTime time, parameters* p);
    prSuiteError get_transfer_function(PrTime time, bool input, transfer_function* tf);
    prSuiteError get_color_space(PrTime time, bool input, color_space* cs);
    prSuiteError get_number(PrTime time, int index, double* value);
    void cache_frame_if_needed(uint32_t instance_id, const PrGPUFilterRenderParams* render_params,
                               const frame_geometry& g, void* pixels, int32_t row_bytes);
    prSuiteError calc_LUT(const parameters* p);
    prSuiteError apply_LUT(const frame_geometry& g, void* pixels);
    char* host_memory_malloc(size_t size, void* device_source);
    void host_memory_free(char* pixels);
    prSuiteError setup_opencl_slot();

    const PrSDKOpaqueEffectDataSuite* mOpaqueEffectDataSuite = nullptr;
    bool mCounted = false;
};
