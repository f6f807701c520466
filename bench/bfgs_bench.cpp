// Cost of the perceptual matrix fit: BFGS over a 3x3 matrix (9 unknowns) that
// maps a chart's filmed linear RGB to XYZ, minimising the mean OKLab distance to
// the chart's reference values. The "filmed" colours are the reference colours
// pushed through a known distorting matrix, so the fit has an exact answer.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "cards/card.h"
#include "colour/convert.h"
#include "colour/matrix.h"

namespace {

struct fit_data {
    int n;
    std::vector<double> rgb;  // n rows of linear R, G, B
    std::vector<double> ref;  // n rows of reference OKLab
    std::vector<double> xyz;  // n rows of reference XYZ (D50-relative)
    std::vector<double> w;
    double weight_sum;
    double truth[9];  // the matrix that undoes the distortion
    mutable long evaluations;
};

double mean_delta_e(const double* x, const void* data) {
    const auto* d = static_cast<const fit_data*>(data);
    ++d->evaluations;
    double sum = 0.0;
    for (int i = 0; i < d->n; ++i) {
        double XYZ[3], lab[3];
        const auto row = static_cast<size_t>(3 * i);
        mul(XYZ, x, &d->rgb[row], 3, 3, 1);
        OKLab_from_XYZ(lab, XYZ);
        const double dl = lab[0] - d->ref[row], da = lab[1] - d->ref[row + 1],
                     db = lab[2] - d->ref[row + 2];
        sum += d->w[static_cast<size_t>(i)] * std::sqrt(dl * dl + da * da + db * db);
    }
    return sum / d->weight_sum;
}

fit_data make_data(refcard_type type) {
    // Rec. 709 primaries with the D65 white used on the OKLab route.
    const color_space space = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.31271, 0.32902};
    // A camera-like distortion: channel crosstalk and unequal gains.
    const double distort[9] = {0.82, 0.21, -0.06, 0.07, 0.95, 0.12, -0.03, 0.18, 0.71};
    static card c;  // large; one at a time
    cardMakeRef(&c, &space, type);
    const reference_card* ref = refcard(type);
    fit_data d{};
    d.n = ref->patch_count;
    for (int i = 0; i < d.n; ++i) {
        const double lin[3] = {c.linear[0][i], c.linear[1][i], c.linear[2][i]};
        double filmed[3], lab[3], xyz[3];
        mul(filmed, distort, lin, 3, 3, 1);
        OKLab_from_CIELabD50(lab, ref->patches[i].lab);
        XYZ_from_CIELabD50(xyz, ref->patches[i].lab);
        for (int k = 0; k < 3; ++k) {
            d.rgb.push_back(filmed[k] > 0.0 ? filmed[k] : 0.0);
            d.ref.push_back(lab[k]);
            d.xyz.push_back(xyz[k]);
        }
        d.w.push_back(1.0);
    }
    d.weight_sum = static_cast<double>(d.n);
    double to_xyz[9], undo[9];
    M_XYZ_from_RGB(to_xyz, &space);
    invert3(undo, distort);
    mul(d.truth, to_xyz, undo, 3, 3, 3);
    return d;
}

// The linear least-squares start of the fit: XYZ ~ S^T rgb.
void linear_start(double* start, const fit_data& d) {
    double S[9];
    I(S, 3);
    for (int k = 0; k < 3; ++k) solve3_dash(d.n, d.w.data(), d.rgb.data(), d.xyz.data() + k, S + k);
    T(start, S, 3, 3);
}

void BM_bfgs_matrix_fit(benchmark::State& state) {
    const auto type = static_cast<refcard_type>(state.range(0));
    fit_data d = make_data(type);
    double start[9], x[9];
    linear_start(start, d);
    const double before = mean_delta_e(start, &d);
    long evaluations = 0;
    for (auto _ : state) {
        d.evaluations = 0;
        BFGS(x, mean_delta_e, start, &d, 9);
        benchmark::DoNotOptimize(x);
        evaluations = d.evaluations;
    }
    state.counters["patches"] = d.n;
    state.counters["evaluations"] = static_cast<double>(evaluations);
    state.counters["dE_start"] = before;
    state.counters["dE_end"] = mean_delta_e(x, &d);
    state.counters["dE_truth"] = mean_delta_e(d.truth, &d);
}

void BM_linear_start(benchmark::State& state) {
    const fit_data d = make_data(static_cast<refcard_type>(state.range(0)));
    double start[9];
    for (auto _ : state) {
        linear_start(start, d);
        benchmark::DoNotOptimize(start);
    }
    state.counters["patches"] = d.n;
}

}  // namespace

BENCHMARK(BM_bfgs_matrix_fit)
    ->Arg(XRITE_COLORCHECKER_24_AFTER_NOV2014)
    ->Arg(XRITE_COLORCHECKER_SG_AFTER_NOV2014)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_linear_start)
    ->Arg(XRITE_COLORCHECKER_24_AFTER_NOV2014)
    ->Arg(XRITE_COLORCHECKER_SG_AFTER_NOV2014)
    ->Unit(benchmark::kMicrosecond);
