// One HD frame through the plug-in file in the headless host (smart render, both hosts'
// float and 8-bit worlds) against the render driver called directly with the same
// settings: the cost of the host layer around the render.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "bench/plugin_support.h"
#include "headless/host.h"
#include "pipeline/render.h"

namespace {

constexpr int WIDTH = 1920;
constexpr int HEIGHT = 1080;

void fill(headless_world* w) {
    for (size_t i = 0; i < w->memory.size(); ++i)
        w->memory[i] = static_cast<char>((i * 2654435761u) >> 24);
    if (w->format == WORLD_ARGB32F || w->format == WORLD_BGRA32F) {
        auto* f = reinterpret_cast<float*>(w->memory.data());
        for (size_t i = 0; i < w->memory.size() / 4; ++i)
            f[i] = static_cast<float>((i * 2654435761u) % 1000u) / 1000.0f;
    }
    if (w->format == WORLD_ARGB16) {  // 0 to 32768
        auto* v = reinterpret_cast<uint16_t*>(w->memory.data());
        for (size_t i = 0; i < w->memory.size() / 2; ++i)
            v[i] = static_cast<uint16_t>((i * 2654435761u) % 32769u);
    }
}

void through_plugin(benchmark::State& state, host_flavour flavour, world_format format) {
    if (!loaded_plugin()) {
        state.SkipWithError("plug-in file not loaded");
        return;
    }
    headless_host* host = headless_host_new(loaded_plugin(), flavour);
    PF_Err err = 0;
    headless_instance* inst = headless_instance_new(host, WIDTH, HEIGHT, &err);
    headless_user_set(inst, 49, 0.5);  // exposure, so that the frame is not an identity
    headless_world in, out;
    world_init(&in, format, WIDTH, HEIGHT);
    world_init(&out, format, WIDTH, HEIGHT);
    fill(&in);
    for (auto _ : state) {
        if (headless_render(inst, &in, &out) != PF_Err_NONE) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(out.memory.data());
    }
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
    headless_instance_delete(inst);
    headless_host_delete(host);
}

void directly(benchmark::State& state, world_format format, imageFormat image_format) {
    auto p = std::make_unique<parameters>();
    parameters_defaults(p.get());
    p->exposure = 0.5f;
    headless_world in, out;
    world_init(&in, format, WIDTH, HEIGHT);
    world_init(&out, format, WIDTH, HEIGHT);
    fill(&in);
    auto wrap = [&](headless_world& w, image* img) {
        std::memset(static_cast<void*>(img), 0, sizeof(*img));
        img->flag1 = img->flag2 = 1;
        img->format = image_format;
        img->right = WIDTH;
        img->bottom = HEIGHT;
        img->scale_x = img->scale_y = img->pixel_aspect = 1.0;
        img->row_bytes = w.def.rowbytes;
        img->pixels = w.memory.data();
    };
    image a, b;
    wrap(in, &a);
    wrap(out, &b);
    OfxRectI area{0, 0, WIDTH, HEIGHT};
    for (auto _ : state) {
        render(&a, &b, &area, nullptr, p.get(), nullptr, nullptr);
        benchmark::DoNotOptimize(out.memory.data());
    }
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
}

}  // namespace

BENCHMARK_CAPTURE(through_plugin, compositing_argb32f, FLAVOUR_AE, WORLD_ARGB32F)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(directly, argb32f, WORLD_ARGB32F, IMAGE_ARGB32F)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(through_plugin, compositing_argb8, FLAVOUR_AE, WORLD_ARGB8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(directly, argb8, WORLD_ARGB8, IMAGE_ARGB8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(through_plugin, compositing_argb16, FLAVOUR_AE, WORLD_ARGB16)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(directly, argb16, WORLD_ARGB16, IMAGE_ARGB15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(through_plugin, editing_bgra8, FLAVOUR_PREMIERE, WORLD_BGRA8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(directly, bgra8, WORLD_BGRA8, IMAGE_BGRA8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(through_plugin, editing_bgra32f, FLAVOUR_PREMIERE, WORLD_BGRA32F)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(directly, bgra32f, WORLD_BGRA32F, IMAGE_BGRA32F)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
