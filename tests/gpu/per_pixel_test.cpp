// The kernels' per-pixel source compiled as C++ against the scalar reference: with the same
// math library every stage and every table node gives the reference's bits on dense
// samples, so what remains between a device and the CPU is the device's math library.
#include "gpu/per_pixel_cpp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"
#include "tests/support/fit_support.h"

using gpu_pixel::float4;

namespace {

// Values in and out of 0..1, and the row of specials every pixel table ends with.
std::vector<float> dense_values() {
    std::vector<float> v;
    for (int i = 0; i <= 4000; ++i) v.push_back(-0.5f + 2.0f * (float)i / 4000.0f);
    for (float x : {1e-6f, 1e-3f, 3.0f, 10.0f, 100.0f, 1e4f}) v.push_back(x);
    const float inf = std::numeric_limits<float>::infinity();
    for (float x : {-inf, inf, NAN, -0.0f, 1e-40f}) v.push_back(x);
    return v;
}

bool same(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// A neutral vector: no curves, identity matrices, no tone change, no protection.
void neutral(float* c) {
    std::memset(c, 0, COEFFICIENT_COUNT * sizeof(float));
    c[INPUT_LEVELS_A] = c[OUTPUT_LEVELS_A] = 1.0f;
    for (int m : {GAINS1_11, GAINS2_11, GAINS3_11, GAINS4_11}) c[m] = c[m + 4] = c[m + 8] = 1.0f;
    c[GAMMA] = 1.0f;
    c[AB_SCALE] = 1.0f;
}

}  // namespace

TEST(GpuPixel, InputStageMatchesTheReferenceBitForBitOnEveryEntry) {
    const std::vector<float> values = dense_values();
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        float c[COEFFICIENT_COUNT];
        neutral(c);
        set_coefficents_for_transfer_function(c, 'i', &TRANSFER_FUNCTION[item]);
        std::vector<float> ref = values;
        apply_input_transfer(c, ref.data(), (int)ref.size());
        for (size_t k = 0; k < values.size(); ++k) {
            const float4 p = gpu_pixel::input_transfer(float4{values[k], 0, 0, 7.0f}, c);
            ASSERT_TRUE(same(p.x, ref[k])) << "item " << item << " x " << values[k];
            ASSERT_EQ(p.w, 7.0f);
        }
    }
}

TEST(GpuPixel, OutputStageMatchesTheReferenceBitForBitOnEveryEntry) {
    const std::vector<float> values = dense_values();
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        float c[COEFFICIENT_COUNT];
        neutral(c);
        set_coefficents_for_transfer_function(c, 'o', &TRANSFER_FUNCTION[item]);
        std::vector<float> ref = values;
        apply_output_transfer(c, ref.data(), (int)ref.size());
        for (size_t k = 0; k < values.size(); ++k) {
            const float4 p = gpu_pixel::output_transfer(float4{values[k], 0, 0, 7.0f}, c);
            ASSERT_TRUE(same(p.x, ref[k])) << "item " << item << " x " << values[k];
            ASSERT_EQ(p.w, 7.0f);
        }
    }
}

TEST(GpuPixel, ToneCurveAndPerceptualRouteMatchTheReference) {
    const std::vector<float> values = dense_values();
    const float settings[][5] = {// gamma, contrast, blacks, whites, ab scale
                                 {1, 0, 0, 0, 1},
                                 {0.5f, 1, 0, 0, 1.3f},
                                 {2.2f, -1.5f, 0.4f, -0.3f, 0.0f},
                                 {1, 2, -1, 1, 2}};
    for (const auto& s : settings) {
        float c[COEFFICIENT_COUNT];
        neutral(c);
        c[GAMMA] = s[0], c[CONTRAST] = s[1], c[BLACKS] = s[2], c[WHITES] = s[3];
        c[AB_SCALE] = s[4];
        for (float v : values) {
            float ref[4] = {v, 0.25f, 0.5f, 1.0f};
            c[DELTAE] = 0;
            apply_correction_and_adjustments(c, ref, 1);
            const float4 rgb = gpu_pixel::apply_curve_RGB(float4{v, 0.25f, 0.5f, 1.0f}, c);
            ASSERT_TRUE(same(rgb.x, ref[0])) << v;
            const float4 lab = gpu_pixel::apply_curve_Lab(float4{v, 0.25f, -0.5f, 1.0f}, c);
            ASSERT_TRUE(same(lab.x, ref[0])) << v;
            ASSERT_TRUE(same(lab.y, 0.25f * s[4]) && same(lab.z, -0.5f * s[4]));
        }
    }
}

TEST(GpuPixel, HighlightProtectionMatchesTheReference) {
    float c[COEFFICIENT_COUNT];
    neutral(c);
    c[WV] = 1.0f;
    c[GAINSY_1] = 0.2126f, c[GAINSY_2] = 0.7152f, c[GAINSY_3] = 0.0722f;
    int blended = 0;
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> channel;
    for (int i = 0; i <= 40; ++i) channel.push_back(-0.5f + 0.075f * (float)i);
    for (float x : {-inf, inf, NAN}) channel.push_back(x);
    for (float r : channel)
        for (float g : channel)
            for (float b : {-0.2f, 0.0f, 0.5f, 1.0f, 1.7f, 2.5f, NAN}) {
                // The RGB route: matrix, highlight protection, tone curve.
                float ref[4] = {r, g, b, 1.0f};
                apply_correction_and_adjustments(c, ref, 1);
                const float4 m = gpu_pixel::matrix_multiply(c + GAINS2_11, float4{r, g, b, 1.0f});
                const float4 p =
                    gpu_pixel::apply_curve_RGB(gpu_pixel::do_highlight_protection(m, c), c);
                ASSERT_TRUE(same(p.x, ref[0]) && same(p.y, ref[1]) && same(p.z, ref[2]))
                    << r << " " << g << " " << b;
                blended += p.x != r && r > 0;
            }
    EXPECT_GT(blended, 100);
    const float4 white = gpu_pixel::do_highlight_protection(float4{2.0f, 2.0f, 2.0f, 0.5f}, c);
    EXPECT_EQ(white.x, 1.0f);
    EXPECT_EQ(white.z, 1.0f);
    EXPECT_EQ(white.w, 0.5f);
}

// Whole table nodes against LUT_generate, every entry on each side, both routes, with
// highlight protection: the same bits.
TEST(GpuPixel, WholeNodesMatchTheCpuTable) {
    const int n = 9;
    std::vector<parameters> settings;
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item)
        for (int mode : {CORRECTION_NONE, CORRECTION_DELTAE}) {
            settings.push_back(fit_support::params_for(item, 1, mode));
            settings.push_back(fit_support::params_for(2, item, mode));
        }
    parameters toned = fit_support::params_for(37, 43, CORRECTION_DELTAE);
    toned.grays = 0.3f, toned.contrast = 1.5f, toned.whites = 0.4f, toned.blacks = -0.2f;
    toned.saturation = 140.0f;
    settings.push_back(toned);
    for (const parameters& p : settings) {
        float c[COEFFICIENT_COUNT];
        set_coefficents(c, &p);
        std::vector<float> lut((size_t)(4 * n * n * n));
        LUT_generate(c, lut.data(), n);
        for (int b = 0; b < n; ++b)
            for (int g = 0; g < n; ++g)
                for (int r = 0; r < n; ++r) {
                    const float* ref = &lut[(size_t)(4 * (r + n * (g + n * b)))];
                    const float step = (float)(n - 1);
                    const float4 v = gpu_pixel::evaluate_node(
                        float4{(float)r / step, (float)g / step, (float)b / step, 0.0f}, c);
                    ASSERT_EQ(v.w, 1.0f);
                    ASSERT_TRUE(same(v.x, ref[0]) && same(v.y, ref[1]) && same(v.z, ref[2]))
                        << "kinds " << p.input_transfer.kind << " -> " << p.output_transfer.kind
                        << " mode " << p.mode << " node " << r << "," << g << "," << b;
                }
    }
}

TEST(GpuPixel, LookupCoordinatesClampToTheTable) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(gpu_pixel::lut_coordinate(0.5f), 23.5f);
    EXPECT_EQ(gpu_pixel::lut_coordinate(1.0f), 47.0f);
    EXPECT_EQ(gpu_pixel::lut_coordinate(1.5f), 47.0f);
    EXPECT_EQ(gpu_pixel::lut_coordinate(-0.1f), 0.0f);
    EXPECT_EQ(gpu_pixel::lut_coordinate(NAN), 0.0f);
    EXPECT_EQ(gpu_pixel::lut_coordinate(inf), 47.0f);
    EXPECT_EQ(gpu_pixel::lut_coordinate(-inf), 0.0f);
}
