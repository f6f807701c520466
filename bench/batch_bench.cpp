// Rendering on every core, as the tool's batches do: 100 HD frames spread over worker
// threads that render through one plug-in instance at once, and one 8K frame split into
// bands of rows; and the LUT export per format and size. File reading and writing are
// left out: the numbers are the effect's and the host's.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/plugin_support.h"
#include "cli/parallel.h"
#include "headless/host.h"
#include "pipeline/lut.h"
#include "pipeline/slots.h"

namespace {

// CPU time of the whole process (every thread): on a machine whose other cores are busy
// with other work, wall time cannot show the scaling, but the CPU a frame costs shows
// whether threads add work of their own.
double process_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void fill_float(headless_world* w) {
    auto* f = reinterpret_cast<float*>(w->memory.data());
    for (size_t i = 0; i < w->memory.size() / 4; ++i)
        f[i] = static_cast<float>((i * 2654435761u) % 1000u) / 1000.0f;
}

struct plugin_instance {
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    plugin_instance(int width, int height) {
        host = headless_host_new(loaded_plugin(), FLAVOUR_AE);
        PF_Err err = 0;
        inst = headless_instance_new(host, width, height, &err);
        headless_user_set(inst, 49, 0.5);  // exposure, so that the frame is not an identity
    }
    ~plugin_instance() {
        headless_instance_delete(inst);
        headless_host_delete(host);
    }
};

// 100 float 1080p frames per iteration; arg: worker threads.
void BM_batch_100_frames_1080p(benchmark::State& state) {
    if (!loaded_plugin()) return state.SkipWithError("plug-in file not loaded");
    constexpr int W = 1920, H = 1080, FRAMES = 100;
    const int threads = static_cast<int>(state.range(0));
    plugin_instance p(W, H);
    std::vector<headless_world> in(static_cast<size_t>(threads)), out(in.size());
    for (size_t k = 0; k < in.size(); ++k) {
        world_init(&in[k], WORLD_ARGB32F, W, H);
        world_init(&out[k], WORLD_ARGB32F, W, H);
        fill_float(&in[k]);
    }
    std::atomic<int> failed{0};
    const double cpu0 = process_cpu_seconds();
    for (auto _ : state) {
        std::atomic<int> next{0};
        run_on_threads(threads, [&](int k) {
            for (int i = next++; i < FRAMES; i = next++)
                if (headless_render(p.inst, &in[static_cast<size_t>(k)],
                                    &out[static_cast<size_t>(k)]) != PF_Err_NONE)
                    ++failed;
        });
    }
    if (failed) state.SkipWithError("render failed");
    const double frames = static_cast<double>(state.iterations()) * FRAMES;
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = (process_cpu_seconds() - cpu0) * 1e3 / frames;
}
BENCHMARK(BM_batch_100_frames_1080p)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// One float 8K frame (7680 x 4320) in one band per thread; arg: threads.
void BM_frame_8k_in_bands(benchmark::State& state) {
    if (!loaded_plugin()) return state.SkipWithError("plug-in file not loaded");
    constexpr int W = 7680, H = 4320;
    const int threads = static_cast<int>(state.range(0));
    plugin_instance p(W, H);
    headless_world in, out;
    world_init(&in, WORLD_ARGB32F, W, H);
    world_init(&out, WORLD_ARGB32F, W, H);
    fill_float(&in);
    std::atomic<int> failed{0};
    const double cpu0 = process_cpu_seconds();
    for (auto _ : state) {
        run_on_threads(threads, [&](int k) {
            const int y0 = H * k / threads, y1 = H * (k + 1) / threads;
            if (headless_render_rows(p.inst, &in, &out, y0, y1 - y0) != PF_Err_NONE) ++failed;
        });
    }
    if (failed) state.SkipWithError("render failed");
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * W * H);
    state.counters["cpu_ms_per_frame"] =
        (process_cpu_seconds() - cpu0) * 1e3 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_frame_8k_in_bands)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Generating and writing a table: args format (0 cube, 1 clf, 2 cube-shaper) and points.
void BM_LUT_export(benchmark::State& state) {
    const auto format = static_cast<lut_format>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    parameters p = defaults_for(49, 2);  // ACEScg to sRGB
    float c[COEFFICIENT_COUNT];
    set_coefficents(c, &p);
    const lut_shaper s = format == LUT_FORMAT_CUBE ? lut_shaper{} : LUT_shaper_for(c, 16.0);
    std::vector<float> lut(static_cast<size_t>(4 * n * n * n));
    for (auto _ : state) {
        LUT_generate_shaped(c, lut.data(), n, s);
        std::FILE* f = std::tmpfile();
        if (!f || !LUT_write(f, format, lut.data(), n, s, "bench")) state.SkipWithError("write");
        if (f) std::fclose(f);
    }
}
BENCHMARK(BM_LUT_export)
    ->ArgsProduct({{0, 1, 2}, {33, 65}})
    ->ArgNames({"format", "n"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
