// Throughput of the CPU render driver on a UHD frame, one thread, with the effect's
// defaults for camera-log footage: S-Log3 / S-Gamut3.Cine in, Rec. 709 out, "deltaE"
// with reference cards, highlight protection on.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "pipeline/render.h"
#include "pipeline/slots.h"
#include "synth/synth.h"

namespace {

int WIDTH = 3840;
int HEIGHT = 2160;

struct frame {
    std::vector<char> memory;
    image img{};
};

// A frame in 64-byte aligned memory, as hosts allocate, filled with code values spread
// like footage (mostly mid-tones, some highlights).
frame make_frame(imageFormat f) {
    frame fr;
    const int bpp = imageFormatBytes(f);
    fr.memory.resize((size_t)WIDTH * HEIGHT * (size_t)bpp + 64);
    char* base = fr.memory.data();
    base += (64 - (reinterpret_cast<uintptr_t>(base) & 63)) & 63;
    fr.img.flag1 = fr.img.flag2 = 1;
    fr.img.format = f;
    fr.img.right = WIDTH;
    fr.img.bottom = HEIGHT;
    fr.img.scale_x = fr.img.scale_y = fr.img.pixel_aspect = 1.0;
    fr.img.row_bytes = WIDTH * bpp;
    fr.img.pixels = base;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.15f, 0.75f);
    const size_t n = (size_t)WIDTH * HEIGHT;
    for (size_t i = 0; i < n; ++i) {
        char* p = base + i * (size_t)bpp;
        const float v[4] = {u(rng), u(rng), u(rng), 1.0f};
        if (f == IMAGE_RGBA32F) {
            std::memcpy(p, v, 16);
        } else if (f == IMAGE_ARGB8) {
            for (int c = 0; c < 4; ++c) p[c] = (char)(unsigned char)(v[(c + 3) % 4] * 255.0f);
        } else if (f == IMAGE_ARGB15) {
            for (int c = 0; c < 4; ++c) {
                const auto h = (uint16_t)(v[(c + 3) % 4] * 32768.0f);
                std::memcpy(p + 2 * c, &h, 2);
            }
        }
    }
    return fr;
}

void run_with(benchmark::State& state, imageFormat format, render_backend backend,
              const parameters& p);

void run(benchmark::State& state, imageFormat format, render_backend backend) {
    run_with(state, format, backend, camera_log_defaults());
}

// With saturation and tone adjusted, so that the perceptual route runs its cube roots
// (with neutral settings it skips them).
void run_adjusted(benchmark::State& state, imageFormat format, render_backend backend) {
    parameters p = camera_log_defaults();
    p.saturation = 120.0f;
    p.contrast = 0.3f;
    run_with(state, format, backend, p);
}

// The same on a 512 x 256 frame that stays in the caches: the arithmetic alone, without
// waiting on memory.
void run_cached(benchmark::State& state, imageFormat format, render_backend backend) {
    WIDTH = 512;
    HEIGHT = 256;
    run_with(state, format, backend, camera_log_defaults());
    WIDTH = 3840;
    HEIGHT = 2160;
}

// Linear in and out, no correction: what reading and writing the frame costs.
void run_plain(benchmark::State& state, imageFormat format, render_backend backend) {
    parameters p = camera_log_defaults();
    p.input_transfer = TRANSFER_FUNCTION[1];
    p.output_transfer = TRANSFER_FUNCTION[1];
    p.mode = CORRECTION_IDENTITY;
    run_with(state, format, backend, p);
}

void run_with(benchmark::State& state, imageFormat format, render_backend backend,
              const parameters& p) {
    if (!render_backend_available(backend)) {
        state.SkipWithError("backend not available on this processor");
        return;
    }
    frame in = make_frame(format);
    frame out = make_frame(format);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    const OfxRectI area{0, 0, WIDTH, HEIGHT};
    for (auto _ : state) {
        render_coefficients(&in.img, &out.img, &area, coeffs, nullptr, nullptr, backend);
        benchmark::DoNotOptimize(out.img.pixels);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)WIDTH * HEIGHT);
    state.SetLabel(render_backend_name(backend));
}

// A camera frame rather than noise: the demo's synthetic shot (a chart under a warm cast in
// a cluttered scene, with noise and vignetting) encoded in S-Log3. Neighbouring pixels
// are alike and channels move together, as in footage, where the random frames above
// make every vector a mix of dark and bright, saturated and grey.
const synth_shot& demo_shot() {
    static synth_shot shot;
    if (shot.pixels.empty())
        synth_demo_shot(WIDTH, HEIGHT, 43, XRITE_COLORCHECKER_24_AFTER_NOV2014, &shot);
    return shot;
}

void render_shot(benchmark::State& state, const image* in, imageFormat format) {
    frame out = make_frame(format);
    float coeffs[COEFFICIENT_COUNT];
    const parameters p = camera_log_defaults();
    set_coefficents(coeffs, &p);
    const OfxRectI area{0, 0, WIDTH, HEIGHT};
    for (auto _ : state) {
        render_coefficients(in, &out.img, &area, coeffs, nullptr, nullptr, RENDER_AUTO);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)WIDTH * HEIGHT);
    state.SetLabel(render_backend_name(render_backend_auto()));
}

void BM_render_shot_rgba32f(benchmark::State& state) {
    render_shot(state, &demo_shot().frame, IMAGE_RGBA32F);
}

// The same camera frame in the hosts' integer formats, quantised as a host would. Their
// codes are decoded through a table, read at random on noise but mostly from nearby
// entries on footage.
void BM_render_shot_integer(benchmark::State& state, imageFormat format) {
    const synth_shot& shot = demo_shot();
    frame in = make_frame(format);
    const bool eight = format == IMAGE_ARGB8;
    const float top = eight ? 255.0f : 32768.0f;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            const float* s = reinterpret_cast<const float*>(shot.frame.pixels +
                                                            (ptrdiff_t)y * shot.frame.row_bytes) +
                             4 * x;
            char* p = in.img.pixels + (ptrdiff_t)y * in.img.row_bytes +
                      (ptrdiff_t)x * imageFormatBytes(format);
            for (int c = 0; c < 4; ++c) {
                const float v = c == 0 ? 1.0f : s[c - 1];  // alpha first
                const float q = std::min(std::max(v, 0.0f), 1.0f) * top + 0.5f;
                if (eight) {
                    p[c] = (char)(unsigned char)q;
                } else {
                    const auto h = (uint16_t)q;
                    std::memcpy(p + 2 * c, &h, 2);
                }
            }
        }
    render_shot(state, &in.img, format);
}

// With CHROMALANE_BENCH_FRAMES=DIR, the two UHD float frames the rows above render (the
// camera frame and the noise) are also written there as planar G, B, R floats
// (shot.gbrpf32, noise.gbrpf32), for bench/render_vs_lut3d.py to give other renderers the
// same pixels.
void write_planar(const image& img, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::vector<float> row(static_cast<size_t>(WIDTH));
    for (int channel : {1, 2, 0})
        for (int y = 0; y < HEIGHT; ++y) {
            const auto* s =
                reinterpret_cast<const float*>(img.pixels + (ptrdiff_t)y * img.row_bytes);
            for (int x = 0; x < WIDTH; ++x) row[(size_t)x] = s[4 * x + channel];
            std::fwrite(row.data(), sizeof(float), row.size(), f);
        }
    if (std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

[[maybe_unused]] const bool frames_written = [] {
    const char* dir = std::getenv("CHROMALANE_BENCH_FRAMES");
    if (!dir || !*dir) return false;
    write_planar(demo_shot().frame, std::string(dir) + "/shot.gbrpf32");
    write_planar(make_frame(IMAGE_RGBA32F).img, std::string(dir) + "/noise.gbrpf32");
    return true;
}();

// The whole render call from a parameters record, as the host layer makes it: the fit
// comes from the memo after the first frame.
void BM_render_from_parameters_rgba32f(benchmark::State& state) {
    frame in = make_frame(IMAGE_RGBA32F);
    frame out = make_frame(IMAGE_RGBA32F);
    const parameters p = camera_log_defaults();
    const OfxRectI area{0, 0, WIDTH, HEIGHT};
    for (auto _ : state) {
        render(&in.img, &out.img, &area, nullptr, &p, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)WIDTH * HEIGHT);
    state.SetLabel(render_backend_name(render_backend_auto()));
}

}  // namespace

BENCHMARK_CAPTURE(run, rgba32f_auto, IMAGE_RGBA32F, RENDER_AUTO)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, rgba32f_avx512, IMAGE_RGBA32F, RENDER_AVX512)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, rgba32f_avx2, IMAGE_RGBA32F, RENDER_AVX2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, rgba32f_lanes4, IMAGE_RGBA32F, RENDER_LANES4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, rgba32f_portable, IMAGE_RGBA32F, RENDER_PORTABLE)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, argb8_auto, IMAGE_ARGB8, RENDER_AUTO)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, argb15_auto, IMAGE_ARGB15, RENDER_AUTO)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_plain, rgba32f_copy_avx2, IMAGE_RGBA32F, RENDER_AVX2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_adjusted, rgba32f_auto, IMAGE_RGBA32F, RENDER_AUTO)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_cached, rgba32f_avx2, IMAGE_RGBA32F, RENDER_AVX2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_cached, rgba32f_lanes4, IMAGE_RGBA32F, RENDER_LANES4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_from_parameters_rgba32f)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_render_shot_rgba32f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_render_shot_integer, argb8, IMAGE_ARGB8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_render_shot_integer, argb15, IMAGE_ARGB15)->Unit(benchmark::kMillisecond);
