// Sampling the correction into a 48-point table, and writing that table as a cube file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"

namespace {

void camera_log(float* c) {
    const parameters p = camera_log_defaults();
    set_coefficents(c, &p);
}

void BM_LUT_generate_48(benchmark::State& state) {
    float c[COEFFICIENT_COUNT];
    camera_log(c);
    std::vector<float> lut(48 * 48 * 48 * 4);
    for (auto _ : state) {
        LUT_generate(c, lut.data(), 48);
        benchmark::ClobberMemory();
    }
}

void BM_LUT_write_cube_48(benchmark::State& state) {
    float c[COEFFICIENT_COUNT];
    camera_log(c);
    std::vector<float> lut(48 * 48 * 48 * 4);
    LUT_generate(c, lut.data(), 48);
    const std::string path =
        (std::filesystem::temp_directory_path() / "chromalane_bench.cube").string();
    for (auto _ : state) {
        if (!LUT_write_cube_file(path, lut.data(), 48)) state.SkipWithError("cannot write");
    }
    std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_LUT_generate_48)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LUT_write_cube_48)->Unit(benchmark::kMillisecond);
