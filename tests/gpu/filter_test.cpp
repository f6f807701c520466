// The GPU filter in the headless editing host on the machine's OpenCL device (PoCL in CI)
// and, in a build with CUDA on a machine with an NVIDIA GPU, on the CUDA device: its output
// against the CPU render of the same parameters, the table computed only when they change,
// the frame handed to the UI, and its refusals. The filter is linked in, so that its table
// counter and the UI's frame cache can be looked at; the CPU render comes from the plug-in
// file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "gpu/filter.h"
#include "gpu/per_pixel_cpp.h"
#include "headless/gpu_host.h"
#include "headless/host.h"
#include "host/entry.h"
#include "host/param_table.h"
#include "pipeline/image.h"
#include "tests/support/gpu_support.h"

namespace {

constexpr int W = 61, H = 37;

// One device per framework for the whole binary, under the device indices a host would give
// them (CUDA 1, OpenCL 0), opened at first use. A missing OpenCL device fails the tests (CI
// installs one); a missing CUDA device skips them.
struct opened_device {
    headless_gpu_device device;
    std::string failure;
    bool tried = false;
};
opened_device devices[2];

opened_device& device_for(PrGPUDeviceFramework framework) {
    const bool cuda = framework == PrGPUDeviceFramework_CUDA;
    opened_device& d = devices[cuda ? 1 : 0];
    if (!d.tried) {
        d.tried = true;
        headless_gpu_open(&d.device, cuda ? 1 : 0, framework, &d.failure);
    }
    return d;
}

struct filter_fixture : ::testing::TestWithParam<PrGPUDeviceFramework> {
    headless_gpu_device& device = device_for(GetParam()).device;
    headless_plugin plugin;
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    headless_gpu_filter filter;

    static void TearDownTestSuite() {
        for (opened_device& d : devices)
            if (d.failure.empty()) headless_gpu_close(&d.device);
    }
    bool cuda() const { return GetParam() == PrGPUDeviceFramework_CUDA; }
    void SetUp() override {
        const std::string& failure = device_for(GetParam()).failure;
        if (cuda() && !failure.empty()) GTEST_SKIP() << failure;
        ASSERT_TRUE(failure.empty()) << failure;
        std::string error;
        ASSERT_TRUE(headless_load(&plugin, CHROMALANE_PLUGIN_PATH, &error)) << error;
        host = headless_host_new(&plugin, FLAVOUR_PREMIERE);
        PF_Err err = PF_Err_NONE;
        inst = headless_instance_new(host, W, H, &err);
        ASSERT_EQ(err, PF_Err_NONE);
        ASSERT_EQ(headless_gpu_filter_new(inst, &device, &filter, &error, xGPUFilterEntry),
                  suiteError_NoError)
            << error;
    }
    void TearDown() override {
        headless_gpu_filter_delete(&filter);
        if (inst) headless_instance_delete(inst);
        if (host) headless_host_delete(host);
        headless_unload(&plugin);
    }

    // The frame through the GPU filter, as RGBA floats.
    std::vector<float> gpu_render(const std::vector<float>& rgba, bool half_float) {
        headless_gpu_frame frame;
        std::string error;
        EXPECT_TRUE(
            headless_gpu_frame_upload(&device, rgba.data(), W, H, half_float, &frame, &error))
            << error;
        EXPECT_EQ(headless_gpu_render(&filter, &frame), suiteError_NoError);
        std::vector<float> out(rgba.size());
        EXPECT_TRUE(headless_gpu_frame_download(&frame, out.data(), &error)) << error;
        headless_gpu_frame_free(&frame);
        return out;
    }

    // The frame (width x height RGBA floats) through the effect's CPU render.
    std::vector<float> cpu_render(const std::vector<float>& rgba, int width, int height) {
        headless_world in, out;
        world_init(&in, WORLD_BGRA32F, width, height);
        world_init(&out, WORLD_BGRA32F, width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const float* s = &rgba[(size_t)(4 * (y * width + x))];
                const float bgra[4] = {s[2], s[1], s[0], s[3]};
                std::memcpy(static_cast<char*>(in.def.data) + y * in.def.rowbytes + 16 * x, bgra,
                            16);
            }
        const int w0 = inst->width, h0 = inst->height;
        inst->width = width, inst->height = height;
        EXPECT_EQ(headless_render(inst, &in, &out, true), PF_Err_NONE);
        inst->width = w0, inst->height = h0;
        std::vector<float> result(rgba.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                float bgra[4];
                std::memcpy(bgra, static_cast<char*>(out.def.data) + y * out.def.rowbytes + 16 * x,
                            16);
                float* d = &result[(size_t)(4 * (y * width + x))];
                d[0] = bgra[2], d[1] = bgra[1], d[2] = bgra[0], d[3] = bgra[3];
            }
        return result;
    }

    // The effect's table: the 48^3 lattice through the CPU render (the effect is the same
    // for every pixel of a colour).
    std::vector<float> cpu_table() {
        std::vector<float> lattice((size_t)(4 * 48 * 48 * 48));
        for (int i = 0; i < 48 * 48 * 48; ++i) {
            lattice[(size_t)(4 * i)] = (float)(i % 48) / 47.0f;
            lattice[(size_t)(4 * i + 1)] = (float)(i / 48 % 48) / 47.0f;
            lattice[(size_t)(4 * i + 2)] = (float)(i / (48 * 48)) / 47.0f;
            lattice[(size_t)(4 * i + 3)] = 1.0f;
        }
        return cpu_render(lattice, 48 * 48, 48);
    }

    uint64_t computations() const {
        return cuda() ? GPU_cache.cuda.computations : GPU_cache.opencl[device.index].computations;
    }
};

// Colours in and out of 0..1 (a few NaN and infinities among them), alpha varying.
std::vector<float> test_frame() {
    std::vector<float> f((size_t)(4 * W * H));
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {-inf, inf, NAN, -0.0f, 1e-40f, 1.0f, 0.0f};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float* p = &f[(size_t)(4 * (y * W + x))];
            p[0] = -0.1f + 1.2f * (float)x / (float)(W - 1);
            p[1] = -0.1f + 1.2f * (float)y / (float)(H - 1);
            p[2] = 0.5f + 0.6f * std::sin(0.37f * (float)(x + 3 * y));
            p[3] = 0.25f * (float)(x % 5);
            if (y == H - 1 && x < 7) p[0] = p[1] = p[2] = specials[x];
        }
    return f;
}

}  // namespace

// Each pixel of the GPU render lies within the table's own interpolation error at that
// pixel (the CPU render against the CPU's interpolation of the CPU's table), plus 2e-4 for
// the device's math and the CPU render's fast approximations; half frames add one half
// step. Channels outside 0..1 meet the table's clamped edge on the GPU only, so the bound
// there is what the interpolation of the clamped colour gives. An NVIDIA texture unit
// weighs the nodes with 8 fractional bits on each axis, which adds up to 3/256 of the
// spread of the eight nodes around the colour.
TEST_P(filter_fixture, MatchesTheCpuRenderWithinTheTablesInterpolationError) {
    ASSERT_EQ(headless_user_set(inst, P_INPUT_TRANSFER, 37), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, P_EXPOSURE, 0.4), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, P_SATURATION, 125), PF_Err_NONE);
    ASSERT_EQ(headless_user_set(inst, P_CONTRAST, 0.5), PF_Err_NONE);
    const std::vector<float> lut = cpu_table();
    for (bool half_float : {false, true}) {
        std::vector<float> frame = test_frame();
        if (half_float)
            for (float& v : frame) v = half2float(float2half(v));
        const std::vector<float> cpu = cpu_render(frame, W, H);
        const std::vector<float> gpu = gpu_render(frame, half_float);
        float worst = 0, worst_bound = 0;
        for (int i = 0; i < W * H; ++i) {
            const float* in = &frame[(size_t)(4 * i)];
            bool inside = true;
            for (int k = 0; k < 3; ++k) inside = inside && in[k] >= 0.0f && in[k] <= 1.0f;
            float interpolated[3], spread[3];
            gpu_support::cpu_lookup(lut.data(), in, interpolated, spread);
            for (int k = 0; k < 3; ++k) {
                const float g = gpu[(size_t)(4 * i + k)];
                ASSERT_TRUE(std::isfinite(g)) << "pixel " << i;
                const float c = cpu[(size_t)(4 * i + k)];
                const float step = (half_float ? std::fabs(g) / 1024.0f + 6.2e-5f : 0.0f) +
                                   (cuda() ? 3.0f * spread[k] / 256.0f : 0.0f);
                if (!inside) {
                    ASSERT_NEAR(g, interpolated[k], 2e-4f + step) << "pixel " << i;
                    continue;
                }
                const float bound = std::fabs(interpolated[k] - c) + 2e-4f + step;
                ASSERT_LE(std::fabs(g - c), bound) << "pixel " << i << " channel " << k;
                worst = std::fmax(worst, std::fabs(g - c));
                worst_bound = std::fmax(worst_bound, bound);
            }
            ASSERT_EQ(gpu[(size_t)(4 * i + 3)], in[3]) << "alpha of pixel " << i;
        }
        std::printf(
            "%s frame on %s: largest difference from the CPU render %.3g (largest "
            "bound %.3g)\n",
            half_float ? "half" : "float", device.name.c_str(), (double)worst, (double)worst_bound);
    }
}

TEST_P(filter_fixture, ComputesTheTableOnlyWhenAParameterChanges) {
    const std::vector<float> frame = test_frame();
    const uint64_t before = computations();
    const std::vector<float> first = gpu_render(frame, false);
    EXPECT_EQ(computations(), before + 1);
    const std::vector<float> second = gpu_render(frame, false);
    EXPECT_EQ(computations(), before + 1);
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
    ASSERT_EQ(headless_user_set(inst, P_EXPOSURE, 1.0), PF_Err_NONE);
    const std::vector<float> brighter = gpu_render(frame, false);
    EXPECT_EQ(computations(), before + 2);
    EXPECT_GT(brighter[4 * (W * H / 2)], first[4 * (W * H / 2)]);
    gpu_render(frame, true);
    EXPECT_EQ(computations(), before + 2);
}

// The entry's shutdown call (a host's last call before it unloads the plug-in) drops the
// device objects cached per slot, so that the context they hold can go; a filter made after
// it sets them up anew and renders the same frame.
TEST_P(filter_fixture, ShutdownReleasesTheCachedDeviceObjects) {
    const std::vector<float> frame = test_frame();
    const std::vector<float> first = gpu_render(frame, false);
    headless_gpu_filter_delete(&filter);
    ASSERT_EQ(headless_gpu_shutdown(&plugin, xGPUFilterEntry), suiteError_NoError);
    // The CUDA table lives in host memory; only the OpenCL slots hold device objects.
    const opencl_slot& slot = GPU_cache.opencl[device.index];
    if (!cuda()) {
        EXPECT_EQ(slot.ready, 0);
        EXPECT_EQ(slot.calc_kernel, nullptr);
        EXPECT_EQ(slot.lut_image, nullptr);
    }
    std::string error;
    ASSERT_EQ(headless_gpu_filter_new(inst, &device, &filter, &error, xGPUFilterEntry),
              suiteError_NoError)
        << error;
    const std::vector<float> again = gpu_render(frame, false);
    if (!cuda()) {
        EXPECT_EQ(slot.ready, 1);
    }
    EXPECT_EQ(std::memcmp(first.data(), again.data(), first.size() * sizeof(float)), 0);
}

TEST_P(filter_fixture, HandsTheFrameToTheUiOnlyWhenThisInstanceAskedForIt) {
    ASSERT_EQ(headless_user_set_point(inst, P_CORNER_TL, 6.1, 3.7), PF_Err_NONE);
    const std::vector<float> frame = test_frame();
    real_mutex_lock(&global.lock);
    global.request_instance = (uint32_t)inst->id + 1;  // another instance's request
    global.request_tick = 5;
    global.cached_tick = 4;
    global.request_time_us = entry_now_us();
    real_mutex_unlock(&global.lock);
    gpu_render(frame, false);
    EXPECT_EQ(global.cache_image_2.pixels, nullptr);
    EXPECT_EQ(global.cached_tick, 4);

    global.request_instance = (uint32_t)inst->id;
    inst->current_time = 12;
    gpu_render(frame, true);
    real_mutex_lock(&global.lock);
    const image& img = global.cache_image_2;
    ASSERT_NE(img.pixels, nullptr);
    EXPECT_EQ(global.cached_tick, 5);
    EXPECT_EQ(global.cached_frame_time, 12u);
    EXPECT_EQ(img.format, IMAGE_BGRA16F);
    EXPECT_EQ(img.right, W);
    EXPECT_EQ(img.bottom, H);
    EXPECT_EQ(img.row_bytes % 8, 0);
    // The cached frame is the input, before the table was applied.
    half px[4];
    std::memcpy(px, img.pixels + 3 * img.row_bytes + 8 * 10, sizeof px);
    const float* want = &frame[(size_t)(4 * (3 * W + 10))];
    EXPECT_EQ(px[2], float2half(want[0]));
    EXPECT_EQ(px[1], float2half(want[1]));
    EXPECT_EQ(px[3], float2half(want[3]));
    EXPECT_NEAR(global.cache_location_2.corners[0].x, 6.1, 1e-4);
    EXPECT_NEAR(global.cache_location_2.corners[0].y, 3.7, 1e-4);
    EXPECT_EQ(global.cache_location_2.scale_x, 1.0);
    real_mutex_unlock(&global.lock);

    // Served: the next frame caches nothing new and keeps the copy.
    char* kept = global.cache_image_2.pixels;
    gpu_render(frame, true);
    EXPECT_EQ(global.cache_image_2.pixels, kept);
    // A request older than 15 seconds is dropped, and with it the copy.
    global.request_tick = 6;
    global.request_time_us = entry_now_us() - 16000000;
    gpu_render(frame, true);
    EXPECT_EQ(global.request_tick, -1);
    EXPECT_EQ(global.cache_image_2.pixels, nullptr);
}

TEST_P(filter_fixture, RefusesASecondFilterAndDevicesItDoesNotServe) {
    PrGPUFilter table{};
    EXPECT_EQ(headless_gpu_entry(&plugin, 1, &table), suiteError_InvalidParms);
    EXPECT_EQ(headless_gpu_entry(&plugin, 0, &table), suiteError_NoError);  // from the file
    const int32_t counted = global.gpu_filters;
    PrGPUFilterInstance record{};
    EXPECT_EQ(headless_gpu_create(inst, &table, 12, &record), suiteError_Fail);
    EXPECT_EQ(headless_gpu_create(inst, &filter.filter, 12, &record), suiteError_Fail);
    EXPECT_EQ(record.ioPrivatePluginData, nullptr);
    EXPECT_EQ(global.gpu_filters, counted);
}

// Two instances with different settings share the device's table: rendered from several
// threads at once, each frame still comes out as it does alone (the table is recomputed in
// turn under the slot's lock, and the shared kernel's arguments are set one launch at a time).
TEST_P(filter_fixture, InstancesWithOtherSettingsRenderConcurrently) {
    PF_Err err = PF_Err_NONE;
    headless_instance* other = headless_instance_new(host, W, H, &err);
    ASSERT_EQ(err, PF_Err_NONE);
    ASSERT_EQ(headless_user_set(other, P_EXPOSURE, -1.0), PF_Err_NONE);
    headless_gpu_filter second;
    std::string error;
    ASSERT_EQ(headless_gpu_filter_new(other, &device, &second, &error, xGPUFilterEntry),
              suiteError_NoError)
        << error;
    const std::vector<float> frame = test_frame();
    const std::vector<float> want_first = gpu_render(frame, false);
    headless_gpu_filter* mine = &filter;
    std::swap(filter, second);
    const std::vector<float> want_second = gpu_render(frame, false);
    std::swap(filter, second);
    ASSERT_NE(want_first, want_second);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            headless_gpu_filter* f = t % 2 ? &second : mine;
            const std::vector<float>& want = t % 2 ? want_second : want_first;
            for (int k = 0; k < 6; ++k) {
                headless_gpu_frame fr;
                std::string e;
                if (!headless_gpu_frame_upload(&device, frame.data(), W, H, false, &fr, &e) ||
                    headless_gpu_render(f, &fr) != suiteError_NoError) {
                    ++wrong[(size_t)t];
                    continue;
                }
                std::vector<float> got(frame.size());
                if (!headless_gpu_frame_download(&fr, got.data(), &e) || got != want)
                    ++wrong[(size_t)t];
                headless_gpu_frame_free(&fr);
            }
        });
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[(size_t)t], 0) << "thread " << t;
    headless_gpu_filter_delete(&second);
    headless_instance_delete(other);
}

namespace {
std::string framework_name(const ::testing::TestParamInfo<PrGPUDeviceFramework>& p) {
    return p.param == PrGPUDeviceFramework_CUDA ? "CUDA" : "OpenCL";
}
}  // namespace
#ifdef CHROMALANE_CUDA
INSTANTIATE_TEST_SUITE_P(Devices, filter_fixture,
                         ::testing::Values(PrGPUDeviceFramework_OpenCL, PrGPUDeviceFramework_CUDA),
                         framework_name);
#else
INSTANTIATE_TEST_SUITE_P(Devices, filter_fixture, ::testing::Values(PrGPUDeviceFramework_OpenCL),
                         framework_name);
#endif
