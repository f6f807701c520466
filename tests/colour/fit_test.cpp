#include "colour/fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "colour/convert.h"
#include "colour/matrix.h"
#include "pipeline/evaluate.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"
#include "tests/support/fit_support.h"

using fit_support::params_for;

namespace {

constexpr int LINEAR_SRGB = 1;  // linear curve, Rec. 709 primaries, D65

// Linear in and out, nothing but the correction: the correction stage can be judged on
// patch values directly.
parameters linear_params(int mode) {
    parameters p = params_for(LINEAR_SRGB, LINEAR_SRGB, mode);
    p.white_balance = false;
    p.preserve_lightness = false;
    p.highlight_protection = false;
    return p;
}

// Source card = A * target card patch by patch (A row-major 3x3), marked as read from a
// frame.
void make_source(parameters* p, const double* A) {
    const int n = p->target.ref->patch_count;
    for (int i = 0; i < n; ++i) {
        const double t[3] = {p->target.linear[0][i], p->target.linear[1][i],
                             p->target.linear[2][i]};
        for (int k = 0; k < 3; ++k)
            p->source.linear[k][i] =
                (float)(A[3 * k] * t[0] + A[3 * k + 1] * t[1] + A[3 * k + 2] * t[2]);
    }
    p->source.reference = 0;
    p->source.display_valid = 0;
}

void gains2(const float* c, double* m) {
    for (int k = 0; k < 9; ++k) m[k] = c[GAINS2_11 + k];
}

// The corrected source patches through the reference correction stage, compared with the
// target card in OKLab (both taken as linear sRGB): mean and largest difference.
struct deltaE_result {
    double mean, worst;
};

deltaE_result corrected_deltaE(const parameters& p, const float* coeffs) {
    double M[9];
    M_XYZ_from_RGB(M, &p.output_space);
    const int n = p.source.ref->patch_count;
    double sum = 0.0, worst = 0.0;
    for (int i = 0; i < n; ++i) {
        float px[4] = {p.source.linear[0][i], p.source.linear[1][i], p.source.linear[2][i], 1.0f};
        apply_correction_and_adjustments(coeffs, px, 1);
        const double got[3] = {px[0], px[1], px[2]};
        const double want[3] = {p.target.linear[0][i], p.target.linear[1][i],
                                p.target.linear[2][i]};
        double xg[3], xw[3], lg[3], lw[3];
        mul(xg, M, got, 3, 3, 1);
        mul(xw, M, want, 3, 3, 1);
        OKLab_from_XYZ(lg, xg);
        OKLab_from_XYZ(lw, xw);
        const double d =
            std::sqrt((lg[0] - lw[0]) * (lg[0] - lw[0]) + (lg[1] - lw[1]) * (lg[1] - lw[1]) +
                      (lg[2] - lw[2]) * (lg[2] - lw[2]));
        sum += d;
        worst = std::fmax(worst, d);
    }
    return {sum / n, worst};
}

}  // namespace

// ---- RGB route ----------------------------------------------------------------------

TEST(FitRgb, NoneLeavesTheIdentityAndSaturationZeroMakesGrey) {
    parameters p = linear_params(CORRECTION_NONE);
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    EXPECT_EQ(c[DELTAE], 0.0f);
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(c[GAINS2_11 + 3 * j + k], j == k ? 1.0f : 0.0f);

    p.saturation = 0.0f;
    set_coefficents(c, &p);
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[GAINS2_11 + 3 * j + k], c[GAINSY_1 + k], 1e-7);
}

TEST(FitRgb, PerChannelRecoversKnownGains) {
    parameters p = linear_params(CORRECTION_PER_CHANNEL);
    // Source equal to target: gains 1 and a refit of a = 1, b = 0.
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[GAINS2_11 + 3 * j + k], j == k ? 1.0 : 0.0, 1e-5);
    // A source made by per-channel gains is corrected back by their inverses.
    const double A[9] = {1.25, 0, 0, 0, 0.9, 0, 0, 0, 0.7};
    make_source(&p, A);
    set_coefficents(c, &p);
    EXPECT_NEAR(c[GAINS2_11], 1 / 1.25, 1e-4);
    EXPECT_NEAR(c[GAINS2_22], 1 / 0.9, 1e-4);
    EXPECT_NEAR(c[GAINS2_33], 1 / 0.7, 1e-4);
}

TEST(FitRgb, MixChannelsRecoversAKnownMatrixAndExposure) {
    parameters p = linear_params(CORRECTION_MIX_CHANNELS);
    const double A[9] = {0.9, 0.15, 0.02, 0.05, 0.8, 0.1, 0.01, 0.12, 0.7};  // camera-like mixing
    double A2[9];
    for (int k = 0; k < 9; ++k) A2[k] = A[k] * 0.5;  // and one stop under
    make_source(&p, A2);
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    double inv[9], m[9];
    ASSERT_TRUE(invert3(inv, A2));
    gains2(c, m);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(m[k], inv[k], 2e-4 * std::fabs(inv[k]) + 2e-5) << k;
    const deltaE_result d = corrected_deltaE(p, c);
    std::printf("mix channels: OKLab deltaE mean %.2g, largest %.2g\n", d.mean, d.worst);
    EXPECT_LT(d.worst, 1e-4);
}

TEST(FitRgb, ExposureWhiteBalanceAndPreserveLightness) {
    parameters p = linear_params(CORRECTION_MIX_CHANNELS);
    const double A[9] = {0.9, 0.15, 0.02, 0.05, 0.8, 0.1, 0.01, 0.12, 0.7};
    make_source(&p, A);
    float base[COEFFICIENT_COUNT] = {}, c[COEFFICIENT_COUNT] = {};
    set_coefficents(base, &p);
    // Preserve lightness off: 1 EV doubles every element.
    p.exposure = 1.0f;
    set_coefficents(c, &p);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(c[GAINS2_11 + k], 2 * base[GAINS2_11 + k], 1e-6);
    // Preserve lightness on: white comes out with luminance 2^EV.
    p.preserve_lightness = true;
    for (float ev : {-1.5f, 0.0f, 1.0f}) {
        p.exposure = ev;
        set_coefficents(c, &p);
        double y = 0.0;
        for (int j = 0; j < 3; ++j)
            y += c[GAINSY_1 + j] *
                 (c[GAINS2_11 + 3 * j] + c[GAINS2_11 + 3 * j + 1] + c[GAINS2_11 + 3 * j + 2]);
        EXPECT_NEAR(y, std::exp2(ev), 1e-5);
    }
    // White balance on in mode "None": a cast on the neutral patches is removed.
    parameters q = linear_params(CORRECTION_NONE);
    const double cast[9] = {1.3, 0, 0, 0, 1.0, 0, 0, 0, 0.75};
    make_source(&q, cast);
    q.white_balance = true;
    set_coefficents(c, &q);
    EXPECT_NEAR(c[GAINS2_11], 1 / 1.3, 1e-4);
    EXPECT_NEAR(c[GAINS2_22], 1.0, 1e-4);
    EXPECT_NEAR(c[GAINS2_33], 1 / 0.75, 1e-4);
    EXPECT_EQ(c[GAINS2_12], 0.0f);
}

TEST(FitRgb, DegenerateCardsGiveTheDocumentedFallbacks) {
    // All-black source: every weight is 0, so both fitting modes give an all-zero matrix.
    for (int mode : {CORRECTION_PER_CHANNEL, CORRECTION_MIX_CHANNELS}) {
        parameters p = linear_params(mode);
        const double zero[9] = {};
        make_source(&p, zero);
        float c[COEFFICIENT_COUNT] = {};
        set_coefficents(c, &p);
        for (int k = 0; k < 9; ++k) EXPECT_EQ(c[GAINS2_11 + k], 0.0f) << mode;
        for (int k = 0; k < 9; ++k) EXPECT_TRUE(std::isfinite(c[GAINS1_11 + k]));
    }
    // Negative and non-number patch values are read as 0.
    parameters p = linear_params(CORRECTION_MIX_CHANNELS);
    const double A[9] = {0.9, 0.15, 0.02, 0.05, 0.8, 0.1, 0.01, 0.12, 0.7};
    make_source(&p, A);
    parameters q = p;
    p.source.linear[0][3] = -0.5f;
    p.source.linear[1][5] = std::numeric_limits<float>::quiet_NaN();
    p.source.linear[2][7] = -std::numeric_limits<float>::infinity();
    q.source.linear[0][3] = 0.0f;
    q.source.linear[1][5] = 0.0f;
    q.source.linear[2][7] = 0.0f;
    float a[COEFFICIENT_COUNT] = {}, b[COEFFICIENT_COUNT] = {};
    set_coefficents(a, &p);
    set_coefficents(b, &q);
    for (int k = 0; k < COEFFICIENT_COUNT; ++k) EXPECT_EQ(a[k], b[k]) << k;
    // Mode -1: nothing fitted, matrices at their starting values.
    parameters r = linear_params(CORRECTION_IDENTITY);
    r.highlight_protection = true;
    make_source(&r, A);
    set_coefficents(a, &r);
    EXPECT_EQ(a[DELTAE], 0.0f);
    EXPECT_EQ(a[WV], 0.0f);
    EXPECT_EQ(a[GAINS2_11], 1.0f);
    EXPECT_EQ(a[GAINS2_12], 0.0f);
    EXPECT_FLOAT_EQ(a[GAINS3_11], (float)M_OKLab2[0]);
}

// ---- perceptual route ---------------------------------------------------------------

TEST(FitPerceptual, ReferenceCardsOfTheSameSpaceGiveTheIdentity) {
    parameters p = linear_params(CORRECTION_DELTAE);
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    EXPECT_NE(c[DELTAE], 0.0f);
    double g1[9], g2[9], prod[9];
    for (int k = 0; k < 9; ++k) {
        g1[k] = c[GAINS1_11 + k];
        g2[k] = c[GAINS2_11 + k];
    }
    mul(prod, g2, g1, 3, 3, 3);
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(prod[3 * j + k], j == k ? 1.0 : 0.0, 1e-5);
    // 1 EV (preserve lightness off) doubles Csrc, and so GAINS1.
    float e[COEFFICIENT_COUNT] = {};
    p.exposure = 1.0f;
    set_coefficents(e, &p);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(e[GAINS1_11 + k], 2 * c[GAINS1_11 + k], 1e-6);
}

TEST(FitPerceptual, DeltaECorrectsAKnownMatrixBack) {
    parameters p = linear_params(CORRECTION_DELTAE);
    const double A[9] = {0.9, 0.15, 0.02, 0.05, 0.8, 0.1, 0.01, 0.12, 0.7};
    double A2[9];
    for (int k = 0; k < 9; ++k) A2[k] = A[k] * 0.7;
    make_source(&p, A2);
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    const deltaE_result d = corrected_deltaE(p, c);
    std::printf("deltaE: OKLab deltaE mean %.2g, largest %.2g\n", d.mean, d.worst);
    EXPECT_LT(d.mean, 2e-3);
    EXPECT_LT(d.worst, 5e-3);
}

TEST(FitPerceptual, DeltaEWhiteBalanceOnlyRemovesAVonKriesCast) {
    parameters p = linear_params(CORRECTION_DELTAE_WB);
    p.white_balance = true;
    // A cast made in CAT02 cone space: exactly what three gains there can undo.
    double Mrgb[9], cone[9], tmp[9], cast[9];
    M_XYZ_from_RGB(Mrgb, &p.input_space);
    const double g[3] = {1.15, 1.0, 0.8};
    mul(cone, M_CAT02, Mrgb, 3, 3, 3);
    diagmul(tmp, g, cone, 3, 3);
    mul(cone, M_CAT02inv, tmp, 3, 3, 3);
    double Minv[9];
    ASSERT_TRUE(invert3(Minv, Mrgb));
    mul(cast, Minv, cone, 3, 3, 3);
    make_source(&p, cast);
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    const deltaE_result d = corrected_deltaE(p, c);
    std::printf("deltaE WB only: OKLab deltaE mean %.2g, largest %.2g\n", d.mean, d.worst);
    EXPECT_LT(d.mean, 3e-3);
    EXPECT_LT(d.worst, 8e-3);
}

TEST(FitPerceptual, PreserveLightnessMapsWhiteToTheInputLuminance) {
    for (int mode : {CORRECTION_DELTAE_WB, CORRECTION_DELTAE}) {
        parameters p = linear_params(mode);
        const double A[9] = {0.9, 0.15, 0.02, 0.05, 0.8, 0.1, 0.01, 0.12, 0.7};
        make_source(&p, A);
        p.preserve_lightness = true;
        p.exposure = 0.5f;
        float c[COEFFICIENT_COUNT] = {};
        set_coefficents(c, &p);
        float px[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        apply_correction_and_adjustments(c, px, 1);
        const double y = c[GAINSY_1] * px[0] + c[GAINSY_2] * px[1] + c[GAINSY_3] * px[2];
        double Min[9];
        M_XYZ_from_RGB(Min, &p.input_space);
        // Exposure applies after the normalisation, through the cube of the cone space.
        EXPECT_NEAR(y, (Min[3] + Min[4] + Min[5]) * std::exp2(0.5), 2e-4) << mode;
    }
}

TEST(FitPerceptual, ASingularTargetFitFallsBackToTheOutputSpace) {
    // A target card of all zeros cannot define the way back to output RGB.
    parameters p = linear_params(CORRECTION_DELTAE);
    const double A[9] = {0.9, 0.15, 0.02, 0.05, 0.8, 0.1, 0.01, 0.12, 0.7};
    make_source(&p, A);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < CARD_MAX_PATCHES; ++i) p.target.linear[k][i] = 0.0f;
    p.target.reference = 0;
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents(c, &p);
    for (int k = GAINS1_11; k <= GAINS4_33; ++k) EXPECT_TRUE(std::isfinite(c[k])) << k;
    // The same in a colour space whose primaries coincide.
    parameters q = linear_params(CORRECTION_DELTAE_WB);
    q.output_space = color_space{0.3, 0.3, 0.3, 0.3, 0.3, 0.3, 0.3127, 0.329};
    set_coefficents(c, &q);
    for (int k = GAINS1_11; k <= GAINS4_33; ++k) EXPECT_TRUE(std::isfinite(c[k])) << k;
}

TEST(FitPerceptual, ObjectivesMeasureOKLabDistance) {
    // Three patches whose reference is their own OKLab: distance 0 at the true matrix.
    double rgb[9] = {0.2, 0.3, 0.4, 0.8, 0.1, 0.1, 0.05, 0.6, 0.2};
    double M[9];
    color_space srgb = COLOR_SPACE[LINEAR_SRGB];
    M_XYZ_from_RGB(M, &srgb);
    double ref[9];
    for (int i = 0; i < 3; ++i) {
        double xyz[3];
        mul(xyz, M, rgb + 3 * i, 3, 3, 1);
        OKLab_from_XYZ(ref + 3 * i, xyz);
    }
    const double w[3] = {1, 2, 1};
    card_fit_data d{3, rgb, ref, w, 4.0, nullptr, nullptr};
    EXPECT_NEAR(card_deltaE(M, &d), 0.0, 1e-12);
    double M2[9];
    for (int k = 0; k < 9; ++k) M2[k] = M[k] * 1.1;
    EXPECT_GT(card_deltaE(M2, &d), 0.01);
    double to_cone[9];
    mul(to_cone, M_CAT02, M, 3, 3, 3);
    d.to_cone = to_cone;
    d.from_cone = M_CAT02inv;
    const double ones[3] = {1, 1, 1};
    EXPECT_NEAR(card_WB_deltaE(ones, &d), 0.0, 1e-9);
    // No weights at all: 0, not a division by zero.
    card_fit_data empty{0, rgb, ref, w, 0.0, to_cone, M_CAT02inv};
    EXPECT_EQ(card_deltaE(M, &empty), 0.0);
}
