// The GPU path on a UHD frame: the effect's GPU filter through the headless editing host on
// the OpenCL device (PoCL runs it on the processor), table application alone and table
// computation; and, in a build with CUDA and on a machine with an NVIDIA GPU, the CUDA
// kernels as the filter launches them and the whole filter on the CUDA device. Compare with
// BM_Render* (the CPU render driver).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gpu/cuda_bridge.h"
#include "gpu/per_pixel_cpp.h"
#include "headless/gpu_host.h"
#include "headless/host.h"
#include "pipeline/image.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"

namespace {

constexpr int WIDTH = 3840;
constexpr int HEIGHT = 2160;

std::vector<float> uhd_frame() {
    std::vector<float> f((size_t)WIDTH * HEIGHT * 4);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = i % 4 == 3 ? 1.0f : (float)((i * 2654435761u) % 1000u) / 1000.0f;
    return f;
}

// One plug-in, host, instance and device per framework, for all the filter benchmarks.
struct filter_setup {
    headless_plugin plugin;
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    headless_gpu_device device;
    headless_gpu_filter filter;
    std::string error;
    bool ok = false;
};

filter_setup* setup(PrGPUDeviceFramework framework) {
    static filter_setup s[2];
    static bool tried[2] = {};
    const int k = framework == PrGPUDeviceFramework_CUDA ? 1 : 0;
    if (!tried[k]) {
        tried[k] = true;
        filter_setup& f = s[k];
        if (!headless_load(&f.plugin, CHROMALANE_PLUGIN_PATH, &f.error)) return &f;
        f.host = headless_host_new(&f.plugin, FLAVOUR_PREMIERE);
        PF_Err err = 0;
        f.inst = headless_instance_new(f.host, WIDTH, HEIGHT, &err);
        headless_user_set(f.inst, 43, 5);  // "deltaE"
        headless_user_set(f.inst, 3, 43);  // a camera log curve in
        if (err || !headless_gpu_open(&f.device, (uint32_t)k, framework, &f.error)) return &f;
        f.ok = headless_gpu_filter_new(f.inst, &f.device, &f.filter, &f.error) == 0;
        if (f.ok) std::fprintf(stderr, "device: %s\n", f.device.name.c_str());
    }
    return &s[k];
}

// The filter's render of a frame already on the device, as the host calls it each frame:
// the table is computed once beforehand, so this is the table's application (for CUDA with
// its upload into a texture, as every frame does it) and the wait for the device.
void gpu_filter_apply(benchmark::State& state, PrGPUDeviceFramework framework) {
    filter_setup* s = setup(framework);
    if (!s->ok) {
        state.SkipWithError(s->error.c_str());
        return;
    }
    const bool half_float = state.range(0) != 0;
    headless_gpu_frame frame;
    const std::vector<float> pixels = uhd_frame();
    if (!headless_gpu_frame_upload(&s->device, pixels.data(), WIDTH, HEIGHT, half_float, &frame,
                                   &s->error)) {
        state.SkipWithError(s->error.c_str());
        return;
    }
    headless_gpu_render(&s->filter, &frame);  // the table, once
    for (auto _ : state)
        if (headless_gpu_render(&s->filter, &frame) != 0) state.SkipWithError("render failed");
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
    state.SetLabel(s->device.name + (half_float ? ", half" : ", float"));
    headless_gpu_frame_free(&frame);
}

// A changed parameter each frame: the table computed (110,592 evaluations), then applied to
// a frame small enough not to count.
void gpu_filter_table(benchmark::State& state, PrGPUDeviceFramework framework) {
    filter_setup* s = setup(framework);
    if (!s->ok) {
        state.SkipWithError(s->error.c_str());
        return;
    }
    headless_gpu_frame frame;
    const std::vector<float> pixels((size_t)16 * 16 * 4, 0.5f);
    if (!headless_gpu_frame_upload(&s->device, pixels.data(), 16, 16, false, &frame, &s->error)) {
        state.SkipWithError(s->error.c_str());
        return;
    }
    int n = 0;
    for (auto _ : state) {
        headless_store(s->inst, 49, (n++ % 2) ? 0.5 : 0.25);  // exposure
        if (headless_gpu_render(&s->filter, &frame) != 0) state.SkipWithError("render failed");
    }
    state.SetItemsProcessed(state.iterations() * 48 * 48 * 48);
    state.SetLabel(s->device.name);
    headless_gpu_frame_free(&frame);
}

void BM_GpuFilterApplyOpenCL(benchmark::State& state) {
    gpu_filter_apply(state, PrGPUDeviceFramework_OpenCL);
}
BENCHMARK(BM_GpuFilterApplyOpenCL)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_GpuFilterTableOpenCL(benchmark::State& state) {
    gpu_filter_table(state, PrGPUDeviceFramework_OpenCL);
}
BENCHMARK(BM_GpuFilterTableOpenCL)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef CHROMALANE_CUDA
struct cuda_setup {
    bool ok = false;
    std::string name;
    int32_t calc[3], apply[2];
    std::vector<float> lut;
};

cuda_setup* cuda() {
    static cuda_setup s;
    static bool tried = false;
    if (!tried) {
        tried = true;
        s.ok = cuda_device_present(&s.name) && cuda_launch_shapes(s.calc, s.apply);
        parameters p;
        parameters_defaults(&p);
        float c[COEFFICIENT_COUNT];
        set_coefficents(c, &p);
        s.lut.resize((size_t)48 * 48 * 48 * 4);
        LUT_generate(c, s.lut.data(), 48);
        if (s.ok) std::fprintf(stderr, "CUDA device: %s\n", s.name.c_str());
    }
    return &s;
}

// As the filter computes a table: device memory, copies up, the kernel, the copy down.
void BM_CudaCalcLUT(benchmark::State& state) {
    cuda_setup* s = cuda();
    if (!s->ok) {
        state.SkipWithError("no CUDA device");
        return;
    }
    parameters p;
    parameters_defaults(&p);
    float c[COEFFICIENT_COUNT];
    set_coefficents(c, &p);
    std::vector<float> out(s->lut.size());
    for (auto _ : state)
        if (!cuda_calc_LUT(c, out.data(), s->calc)) state.SkipWithError("kernel failed");
    state.SetItemsProcessed(state.iterations() * 48 * 48 * 48);
    state.SetLabel(s->name);
}
BENCHMARK(BM_CudaCalcLUT)->Unit(benchmark::kMicrosecond)->UseRealTime();

// As the filter applies a table: the table uploaded into a 3-D array and bound as a texture,
// the kernel over the frame, synchronised.
void BM_CudaApplyLUT(benchmark::State& state) {
    cuda_setup* s = cuda();
    if (!s->ok) {
        state.SkipWithError("no CUDA device");
        return;
    }
    const bool half_float = state.range(0) != 0;
    const int bpp = half_float ? 8 : 16;
    const size_t bytes = (size_t)WIDTH * HEIGHT * (size_t)bpp;
    std::vector<char> host(bytes);
    const std::vector<float> pixels = uhd_frame();
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (half_float) {
            const half h = float2half(pixels[i]);
            std::memcpy(&host[2 * i], &h, 2);
        } else {
            std::memcpy(&host[4 * i], &pixels[i], 4);
        }
    }
    void* device = cuda_alloc(bytes);
    if (!device || !cuda_copy_to_device(device, host.data(), bytes)) {
        state.SkipWithError("no device memory");
        return;
    }
    const frame_geometry g{WIDTH, half_float ? 1 : 0, WIDTH, HEIGHT};
    for (auto _ : state)
        if (!cuda_apply_LUT(s->lut.data(), s->apply, device, g)) state.SkipWithError("failed");
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
    state.SetLabel(s->name + (half_float ? ", half" : ", float"));
    cuda_free(device);
}
BENCHMARK(BM_CudaApplyLUT)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The whole filter on the CUDA device through the headless editing host: what a frame costs
// the host, parameter reads and the table's lock included.
void BM_GpuFilterApplyCuda(benchmark::State& state) {
    gpu_filter_apply(state, PrGPUDeviceFramework_CUDA);
}
BENCHMARK(BM_GpuFilterApplyCuda)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();
void BM_GpuFilterTableCuda(benchmark::State& state) {
    gpu_filter_table(state, PrGPUDeviceFramework_CUDA);
}
BENCHMARK(BM_GpuFilterTableCuda)->Unit(benchmark::kMicrosecond)->UseRealTime();
#endif

}  // namespace
