// Cost of building a coefficient vector: a fresh fit, and a repeat answered by the memo,
// for a 24-patch and a 140-patch chart read from footage (not reference cards).
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/bench_support.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"

namespace {

parameters sampled(refcard_type chart, int mode) {
    parameters p = camera_log_defaults(chart);
    // A camera-like mix, a stop under, and a little deterministic noise.
    const double A[9] = {0.45, 0.07, 0.01, 0.03, 0.4, 0.05, 0.005, 0.06, 0.35};
    const int n = p.source.ref->patch_count;
    for (int i = 0; i < n; ++i) {
        const double t[3] = {p.source.linear[0][i], p.source.linear[1][i], p.source.linear[2][i]};
        for (int k = 0; k < 3; ++k)
            p.source.linear[k][i] =
                (float)((A[3 * k] * t[0] + A[3 * k + 1] * t[1] + A[3 * k + 2] * t[2]) *
                        (1.0 + 0.01 * std::sin(7.0 * i + k)));
    }
    p.source.reference = 0;
    p.mode = mode;
    return p;
}

refcard_type chart_of(int patches) {
    return patches == 24 ? XRITE_COLORCHECKER_24_AFTER_NOV2014
                         : XRITE_COLORCHECKER_SG_AFTER_NOV2014;
}

void BM_set_coefficents_fresh(benchmark::State& state) {
    const parameters p = sampled(chart_of((int)state.range(0)), (int)state.range(1));
    float c[COEFFICIENT_COUNT];
    for (auto _ : state) {
        set_coefficents(c, &p);
        benchmark::DoNotOptimize(c);
    }
    state.SetLabel(std::to_string(p.source.ref->patch_count) + " patches, mode " +
                   std::to_string(p.mode));
}

void BM_set_coefficents_memo(benchmark::State& state) {
    const parameters p = sampled(chart_of((int)state.range(0)), (int)state.range(1));
    float c[COEFFICIENT_COUNT];
    coefficient_memo_clear();
    set_coefficents_memo(c, &p);
    for (auto _ : state) {
        set_coefficents_memo(c, &p);
        benchmark::DoNotOptimize(c);
    }
    state.SetLabel(std::to_string(p.source.ref->patch_count) + " patches, mode " +
                   std::to_string(p.mode));
}

}  // namespace

BENCHMARK(BM_set_coefficents_fresh)
    ->ArgsProduct({{24, 140}, {3, 4, 5}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_set_coefficents_memo)
    ->ArgsProduct({{24, 140}, {3, 4, 5}})
    ->Unit(benchmark::kMillisecond);
