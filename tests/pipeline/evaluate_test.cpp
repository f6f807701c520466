#include "pipeline/evaluate.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "pipeline/slots.h"
#include "pipeline/transfer.h"

namespace {

const float INF = std::numeric_limits<float>::infinity();
const float NAN_ = std::numeric_limits<float>::quiet_NaN();
const float DENORMAL = std::numeric_limits<float>::denorm_min();

void set_identity(float* c, int first) {
    for (int k = 0; k < 9; ++k) c[first + k] = (k % 4 == 0) ? 1.0f : 0.0f;
}

// A vector that changes nothing: no curves, unit levels, identity matrices, no tone
// adjustment, highlight protection off.
struct vec {
    float c[COEFFICIENT_COUNT] = {};
    vec() {
        c[INPUT_LEVELS_A] = 1.0f;
        c[OUTPUT_LEVELS_A] = 1.0f;
        for (int m : {GAINS1_11, GAINS2_11, GAINS3_11, GAINS4_11}) set_identity(c, m);
        c[GAMMA] = 1.0f;
        c[AB_SCALE] = 1.0f;
    }
    float& operator[](int slot) { return c[slot]; }
};

// One value through the correction stage as the red channel of a grey-free pixel.
float tone(vec& v, float x) {
    float p[4] = {x, 0.0f, 0.0f, 1.0f};
    apply_correction_and_adjustments(v.c, p, 1);
    return p[0];
}

TEST(Evaluate, NeutralVectorPassesNonNegativeValues) {
    vec v;
    const float in[] = {0.0f, 0.25f, 0.5f, 1.0f, 7.5f, -0.5f, -INF, INF, NAN_, -0.0f, DENORMAL};
    // +Inf counts as the largest float: what comes out is always finite.
    const float want[] = {0.0f, 0.25f, 0.5f, 1.0f, 7.5f, 0.0f, 0.0f, FLT_MAX, 0.0f, 0.0f, DENORMAL};
    const int n = int(std::size(in));
    std::vector<float> a(in, in + n), b(in, in + n);
    apply_input_transfer(v.c, a.data(), n);
    apply_output_transfer(v.c, b.data(), n);
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(a[size_t(k)], want[k]) << k;
        EXPECT_EQ(b[size_t(k)], want[k]) << k;
        EXPECT_FALSE(std::signbit(a[size_t(k)])) << k;
    }
    float px[] = {0.1f, 0.5f, 2.0f, 0.75f, -1.0f, 0.3f, 0.2f, -5.0f};
    apply_correction_and_adjustments(v.c, px, 2);
    const float px_want[] = {0.1f, 0.5f, 2.0f, 0.75f, 0.0f, 0.3f, 0.2f, -5.0f};
    for (int k = 0; k < 8; ++k) EXPECT_FLOAT_EQ(px[k], px_want[k]) << k;
}

TEST(Evaluate, EmptyCountsChangeNothing) {
    vec v;
    v[INPUT_LEVELS_A] = 2.0f;
    v[OUTPUT_LEVELS_A] = 2.0f;
    v[GAMMA] = 2.0f;
    float p[4] = {0.5f, -1.0f, 0.25f, 0.5f};
    apply_input_transfer(v.c, p, 0);
    apply_input_transfer(v.c, p, -4);
    apply_output_transfer(v.c, p, 0);
    apply_correction_and_adjustments(v.c, p, 0);
    EXPECT_EQ(p[0], 0.5f);
    EXPECT_EQ(p[1], -1.0f);
    EXPECT_EQ(p[2], 0.25f);
}

TEST(Evaluate, ToneCurve) {
    vec v;
    EXPECT_EQ(tone(v, -0.3f), 0.0f);
    EXPECT_EQ(tone(v, -INF), 0.0f);
    v[CONTRAST] = 1.0f;
    const float a = 0.5f / (std::sqrt(2.0f) - 1.0f);
    EXPECT_NEAR(tone(v, 0.25f), a * (std::pow(2.0f, 0.25f) - 1.0f), 1e-6f);
    EXPECT_NEAR(tone(v, 0.25f), 0.22839f, 1e-5f);
    EXPECT_NEAR(tone(v, 0.5f), 0.5f, 1e-6f);
    EXPECT_NEAR(tone(v, std::nextafter(1.0f, 0.0f)), 1.0f, 1e-6f);
    EXPECT_NEAR(tone(v, 0.75f), 1.0f - 0.22839f, 1e-5f);  // symmetric about 0.5
    EXPECT_EQ(tone(v, 1.0f), 1.0f);
    EXPECT_EQ(tone(v, 3.0f), 3.0f);
    EXPECT_EQ(tone(v, 0.0f), 0.0f);
    v[CONTRAST] = -1.5f;  // lower contrast bends the other way and still keeps the ends
    EXPECT_GT(tone(v, 0.25f), 0.25f);
    EXPECT_NEAR(tone(v, 0.5f), 0.5f, 1e-6f);

    vec b;
    b[BLACKS] = 1.0f;
    EXPECT_NEAR(tone(b, 0.25f), 0.3125f, 1e-6f);
    EXPECT_NEAR(tone(b, 0.5f), 0.5f, 1e-6f);
    EXPECT_NEAR(tone(b, 0.75f), 0.75f, 1e-6f);
    vec w;
    w[WHITES] = 1.0f;
    EXPECT_NEAR(tone(w, 0.75f), 0.8125f, 1e-6f);
    EXPECT_NEAR(tone(w, 0.25f), 0.25f, 1e-6f);
    EXPECT_NEAR(tone(w, std::nextafter(1.0f, 0.0f)), 1.0f, 1e-6f);

    vec g;
    g[GAMMA] = 2.0f;
    EXPECT_NEAR(tone(g, 0.5f), 0.25f, 1e-7f);
    g[GAMMA] = -1.0f;  // a power of 0 is 0, whatever the exponent
    EXPECT_EQ(tone(g, 0.0f), 0.0f);
}

TEST(Evaluate, HighlightProtection) {
    vec v;
    v[WV] = 1.0f;
    v[GAINSY_1] = 0.2126f;
    v[GAINSY_2] = 0.7152f;
    v[GAINSY_3] = 0.0722f;
    float p[] = {2.0f, 2.0f, 2.0f, 0.5f, 0.5f,  0.5f, 0.5f, 0.25f,
                 1.5f, 0.2f, 0.1f, 1.0f, -1.0f, 3.0f, 0.0f, 1.0f};
    apply_correction_and_adjustments(v.c, p, 4);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(p[k], 1.0f);
    EXPECT_EQ(p[3], 0.5f);  // alpha untouched
    for (int k = 4; k < 7; ++k) EXPECT_EQ(p[k], 0.5f);
    // One channel above the level: the pixel is pulled toward neutral, nothing exceeds w.
    EXPECT_LE(p[8], 1.0f);
    EXPECT_GT(p[8], 0.2f);
    EXPECT_GT(p[9], 0.2f);
    EXPECT_GT(p[10], 0.1f);
    EXPECT_LT(p[9], 1.0f);
    // Luminance at or above w: neutral.
    for (int k = 12; k < 15; ++k) EXPECT_FLOAT_EQ(p[k], 1.0f) << k;

    // NaN channels count as w and never leak out.
    float q[] = {NAN_, 0.5f, 0.5f, 1.0f, INF, INF, INF, 1.0f};
    apply_correction_and_adjustments(v.c, q, 2);
    for (int k : {0, 1, 2, 4, 5, 6}) EXPECT_FALSE(std::isnan(q[k])) << k;
    for (int k : {4, 5, 6}) EXPECT_EQ(q[k], 1.0f);

    // Off at w = 0.
    v[WV] = 0.0f;
    float r[] = {2.0f, 2.0f, 2.0f, 1.0f};
    apply_correction_and_adjustments(v.c, r, 1);
    EXPECT_EQ(r[0], 2.0f);
}

TEST(Evaluate, RgbRouteAppliesTheMatrix) {
    vec v;
    const float m[] = {0.5f, 0.25f, 0.0f, 0.0f, 1.0f, 0.5f, 0.125f, 0.0f, 2.0f};
    std::memcpy(v.c + GAINS2_11, m, sizeof m);
    float p[] = {0.2f, 0.4f, 0.1f, 1.0f};
    apply_correction_and_adjustments(v.c, p, 1);
    EXPECT_FLOAT_EQ(p[0], 0.5f * 0.2f + 0.25f * 0.4f);
    EXPECT_FLOAT_EQ(p[1], 0.4f + 0.5f * 0.1f);
    EXPECT_FLOAT_EQ(p[2], 0.125f * 0.2f + 2.0f * 0.1f);
}

TEST(Evaluate, PerceptualRoute) {
    vec v;
    v[DELTAE] = 1.0f;
    float p[] = {0.2f, 0.4f, 0.8f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    apply_correction_and_adjustments(v.c, p, 2);
    EXPECT_NEAR(p[0], 0.2f, 1e-6f);  // cube root and cube cancel
    EXPECT_NEAR(p[1], 0.4f, 1e-6f);
    EXPECT_NEAR(p[2], 0.8f, 1e-6f);
    EXPECT_EQ(p[4], 0.0f);

    // An opponent space (L = mean, a = r - g, b = g - b): scale 0 leaves only lightness,
    // so every pixel comes out grey.
    const float to_lab[] = {1 / 3.0f, 1 / 3.0f, 1 / 3.0f, 1, -1, 0, 0, 1, -1};
    const float from_lab[] = {1,        2 / 3.0f, 1 / 3.0f,  1,        -1 / 3.0f,
                              1 / 3.0f, 1,        -1 / 3.0f, -2 / 3.0f};
    std::memcpy(v.c + GAINS3_11, to_lab, sizeof to_lab);
    std::memcpy(v.c + GAINS4_11, from_lab, sizeof from_lab);
    float q[] = {0.2f, 0.4f, 0.8f, 1.0f};
    apply_correction_and_adjustments(v.c, q, 1);
    EXPECT_NEAR(q[0], 0.2f, 1e-6f);  // lab round trip with full scale: unchanged
    EXPECT_NEAR(q[2], 0.8f, 1e-6f);
    v[AB_SCALE] = 0.0f;
    float r[] = {0.2f, 0.4f, 0.8f, 1.0f};
    apply_correction_and_adjustments(v.c, r, 1);
    EXPECT_NEAR(r[0], r[1], 1e-6f);
    EXPECT_NEAR(r[1], r[2], 1e-6f);
    const float l = (std::cbrt(0.2f) + std::cbrt(0.4f) + std::cbrt(0.8f)) / 3.0f;
    EXPECT_NEAR(r[0], l * l * l, 1e-5f);
    // Negative cone values give cube root 0; cubes keep their sign.
    v[AB_SCALE] = 1.0f;
    float s[] = {-0.5f, 0.0f, 0.0f, 1.0f, NAN_, 0.1f, 0.1f, 1.0f};
    apply_correction_and_adjustments(v.c, s, 2);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_FALSE(std::isnan(s[5]));
}

TEST(Evaluate, LevelsClampBelowBlack) {
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents_for_transfer_function(c, 'i', &TRANSFER_FUNCTION[3]);  // Rec. 709
    float v[] = {0.0f, 10.0f / 255, 16.0f / 255, 235.0f / 255, 1.0f};
    apply_input_transfer(c, v, 5);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[1], 0.0f);
    EXPECT_NEAR(v[2], 0.0f, 1e-7f);
    EXPECT_NEAR(v[3], 1.0f, 1e-6f);
    EXPECT_GT(v[4], 1.0f);
}

// Every catalogue curve, both directions, on the awkward values: nothing comes out
// negative or NaN, and infinity in gives infinity (or the curve's ceiling) out.
TEST(Evaluate, SpecialValuesThroughEveryCurve) {
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        if (item == 11 || item == 46) continue;
        for (char side : {'i', 'o'}) {
            float c[COEFFICIENT_COUNT] = {};
            set_coefficents_for_transfer_function(c, side, &TRANSFER_FUNCTION[item]);
            float v[] = {0.0f, 0.5f, 1.0f, 2.0f, -INF, INF, NAN_, -0.0f, DENORMAL};
            if (side == 'i')
                apply_input_transfer(c, v, int(std::size(v)));
            else
                apply_output_transfer(c, v, int(std::size(v)));
            for (float x : v) {
                EXPECT_FALSE(std::isnan(x)) << item << side;
                EXPECT_GE(x, 0.0f) << item << side;
                EXPECT_FALSE(std::signbit(x)) << item << side;
            }
            EXPECT_EQ(v[4], v[7]);  // -inf reads as black
            EXPECT_EQ(v[6], v[7]);  // NaN reads as black
        }
    }
}

// A form number outside 1-7 in a TYPE slot means no curve.
TEST(Evaluate, UnknownFormIsNoCurve) {
    vec v;
    for (float form : {0.5f, 8.0f, -3.0f, 100.0f, NAN_}) {
        v[INPUT_TYPE] = form;
        v[OUTPUT_TYPE] = form;
        v[INPUT_A] = v[OUTPUT_A] = 3.0f;
        float x[] = {0.3f};
        apply_input_transfer(v.c, x, 1);
        apply_output_transfer(v.c, x, 1);
        EXPECT_EQ(x[0], 0.3f) << form;
    }
    v[INPUT_TYPE] = 1.9f;  // truncated to form 1
    v[INPUT_A] = 2.0f;
    v[INPUT_B] = 1.0f;
    float y[] = {0.5f};
    apply_input_transfer(v.c, y, 1);
    EXPECT_FLOAT_EQ(y[0], 0.25f);
}

}  // namespace
