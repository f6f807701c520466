#include "pipeline/transfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

namespace {

// ---------------------------------------------------------------------------------------
// Helpers: one catalogue entry through the input or output stage alone.

struct stage {
    float coeffs[COEFFICIENT_COUNT] = {};
    stage(int item, char side, int iso = 0) {
        transfer_function tf = TRANSFER_FUNCTION[item];
        if (iso) tf.iso = iso;
        set_coefficents_for_transfer_function(coeffs, side, &tf);
    }
    float operator[](int slot) const { return coeffs[slot]; }
};

float encode(int item, float linear, int iso = 0) {
    stage s(item, 'o', iso);
    apply_output_transfer(s.coeffs, &linear, 1);
    return linear;
}

float decode(int item, float code, int iso = 0) {
    stage s(item, 'i', iso);
    apply_input_transfer(s.coeffs, &code, 1);
    return code;
}

bool is_separator(int item) {
    return item == 11 || item == 46;
}

// ---------------------------------------------------------------------------------------
// The curves as their makers and standards publish them, in double precision: scene
// linear light in, the full-range code value (10-bit code / 1023) that the host hands
// the effect out. Written from the public definitions, not from the catalogue.

double log10d(double x) {
    return std::log10(x);
}
double legal10(double y) {
    return (64.0 + 876.0 * y) / 1023.0;
}
double legal12(double y) {
    return (256.0 + 3504.0 * y) / 4095.0;
}

double srgb(double x) {
    return x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
}
double bt709(double x) {
    const double v = x < 0.018 ? 4.5 * x : 1.099 * std::pow(x, 0.45) - 0.099;
    return (16.0 + 219.0 * v) / 255.0;  // 8-bit legal range
}
double bt2020(double x) {
    const double alpha = 1.09929682680944, beta = 0.018053968510807;
    const double v = x < beta ? 4.5 * x : alpha * std::pow(x, 0.45) - (alpha - 1);
    return legal12(v);
}
double pq(double x) {  // x = 1 at 10000 cd/m2
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(x, m1);
    return std::pow((c1 + c2 * p) / (1 + c3 * p), m2);
}
double hlg(double x) {
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * std::log(4 * a);
    return x <= 1.0 / 12 ? std::sqrt(3 * x) : a * std::log(12 * x - b) + c;
}
double davinci_intermediate(double x) {
    return x <= 0.00262409 ? x * 10.44426855 : (std::log2(x + 0.0075) + 7.0) * 0.07329248;
}
double gamma26(double x) {
    return std::pow(x, 1 / 2.6);
}
double dcdm(double x) {
    return std::pow(x * 48 / 52.37, 1 / 2.6);
}
double logc3_ei800(double x) {
    return x > 0.010591 ? 0.247190 * log10d(5.555556 * x + 0.052272) + 0.385537
                        : 5.367655 * x + 0.092809;
}
double logc4(double x) {
    const double a = (std::pow(2.0, 18) - 16) / 117.45, b = (1023.0 - 95) / 1023, c = 95.0 / 1023;
    const double s = (7 * std::log(2.0) * std::pow(2.0, 7 - 14 * c / b)) / (a * b);
    const double t = (std::pow(2.0, 14 * (-c / b) + 6) - 64) / a;
    return x >= t ? (std::log2(a * x + 64) - 6) / 14 * b + c : (x - t) / s + c;
}
double bmd_film_gen5(double x) {
    const double A = 0.08692876065491224, B = 0.005494072432257808, C = 0.5300133392291939;
    const double D = 8.283605932402494, E = 0.09246575342465753;
    return x < 0.005 ? D * x + E : A * std::log(x + B) + C;
}
// Canon Log, Canon Log 2 and Canon Log 3 (version 1 constants) on reflectance / 0.9, in
// the legal range of 10-bit code.
double canon_log(double x) {
    return legal10(0.529136 * log10d(10.1596 * x / 0.9 + 1) + 0.0730597);
}
double canon_log2(double x) {
    return legal10(0.281863093 * log10d(87.09937546 * x / 0.9 + 1) + 0.035388128);
}
double canon_log3(double x) {
    x /= 0.9;
    return legal10(x <= 0.014 ? 2.3069815 * x + 0.073059361
                              : 0.42889912 * log10d(14.98325 * x + 1) + 0.069886632);
}
double dlog(double x) {
    return x <= 0.0078 ? 6.025 * x + 0.0929 : 0.256663 * log10d(0.9892 * x + 0.0108) + 0.584555;
}
double flog(double x) {
    return x >= 0.00089 ? 0.344676 * log10d(0.555556 * x + 0.009468) + 0.790453
                        : 8.735631 * x + 0.092864;
}
double flog2(double x) {
    return x >= 0.000889 ? 0.245281 * log10d(5.555556 * x + 0.064829) + 0.384316
                         : 8.799461 * x + 0.092864;
}
double protune(double x) {
    return log10d(112 * x + 1) / log10d(113.0);
}
double llog(double x) {
    return x <= 0.006 ? 8 * x + 0.09 : 0.27 * log10d(1.3 * x + 0.0115) + 0.6;
}
double nlog(double x) {
    return x < 0.328 ? 650.0 / 1023 * std::cbrt(x + 0.0075)
                     : 150.0 / 1023 * std::log(x) + 619.0 / 1023;
}
double vlog(double x) {
    return x < 0.01 ? 5.6 * x + 0.125 : 0.241514 * log10d(x + 0.00873) + 0.598206;
}
double log3g10(double x) {
    x += 0.01;
    return x < 0 ? x * 15.1927 : 0.224282 * log10d(x * 155.975327 + 1);
}
double slog(double x) {
    return legal10(0.432699 * log10d(x / 0.9 + 0.037584) + 0.616596 + 0.03);
}
double slog2(double x) {
    return legal10(0.432699 * log10d(155.0 * (x / 0.9) / 219.0 + 0.037584) + 0.616596 + 0.03);
}
double slog3(double x) {
    return x >= 0.01125 ? (420.0 + log10d((x + 0.01) / (0.18 + 0.01)) * 261.5) / 1023.0
                        : (x * (171.2102946929 - 95.0) / 0.01125 + 95.0) / 1023.0;
}
double acescc(double x) {
    if (x < std::pow(2.0, -15)) return (std::log2(std::pow(2.0, -16) + x * 0.5) + 9.72) / 17.52;
    return (std::log2(x) + 9.72) / 17.52;
}
double acesproxy12(double x) {  // without the rounding to whole code values
    const double code = (std::log2(x) + 2.5) * 200 + 1700;
    return std::max(code, 256.0) / 4095.0;
}

// How each catalogue entry relates to its published curve. `scale` is the factor on
// scene light by which the catalogue differs: 1 / 0.9 where the catalogue leaves out the
// published 0.9 reflectance factor (it reads 90 % reflectance as 1.0), and N-Log's
// 14.78086. `level_tol` is the largest difference in code value that the preset levels
// make (Canon's entries use 8-bit legal levels 16/255 and 235/255 where the published
// curves use 10-bit 64/1023 and 940/1023).
struct published {
    int item;
    double (*curve)(double);
    double scale;
    double level_tol;
    double low;  // smallest scene light with a usable code value
};

const published PUBLISHED[] = {
    {2, srgb, 1, 0, 1e-4},
    {3, bt709, 1, 0, 1e-4},
    {4, bt2020, 1, 0, 1e-4},
    {5, pq, 1, 0, 1e-4},
    {6, hlg, 1, 0, 1e-4},
    {7, davinci_intermediate, 1, 0, 1e-4},
    {8, gamma26, 1, 0, 1e-4},
    {9, gamma26, 1, 0, 1e-4},
    {10, dcdm, 1, 0, 1e-4},
    {14, logc4, 1, 0, 1e-4},
    {21, bmd_film_gen5, 1, 0, 1e-4},
    {22, canon_log, 1 / 0.9, 3e-3, 1e-4},
    {23, canon_log2, 1 / 0.9, 3e-3, 1e-4},
    {24, canon_log2, 1 / 0.9, 3e-3, 1e-4},
    {25, canon_log2, 1 / 0.9, 3e-3, 1e-4},
    {26, canon_log2, 1 / 0.9, 3e-3, 1e-4},
    {27, canon_log3, 1 / 0.9, 3e-3, 1e-4},
    {28, canon_log3, 1 / 0.9, 3e-3, 1e-4},
    {29, canon_log3, 1 / 0.9, 3e-3, 1e-4},
    {30, canon_log3, 1 / 0.9, 3e-3, 1e-4},
    {31, dlog, 1, 0, 1e-4},
    {32, flog, 1, 0, 1e-4},
    {33, flog2, 1, 0, 1e-4},
    {34, protune, 1, 0, 1e-4},
    {35, llog, 1, 0, 1e-4},
    {36, llog, 1, 0, 1e-4},
    {37, nlog, 1 / 14.78086, 0, 1e-4},
    {38, vlog, 1, 0, 1e-4},
    {39, log3g10, 1, 0, 1e-4},
    {40, slog, 1 / 0.9, 0, 1e-4},
    {41, slog2, 1 / 0.9, 0, 1e-4},
    {42, slog3, 1, 0, 1e-4},
    {43, slog3, 1, 0, 1e-4},
    {48, acescc, 1, 0, 0.0011857},  // codes below 0 are cut by the output clamp
    {50, acesproxy12, 1, 0, 0.0011857},
};

// ---------------------------------------------------------------------------------------

TEST(Catalogue, TablesAreConsistent) {
    const transfer_function zero{};
    EXPECT_EQ(std::memcmp(&TRANSFER_FUNCTION[0], &zero, sizeof zero), 0);
    std::vector<std::string> names;
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item)
        names.push_back(transfer_popup_name(item));
    EXPECT_EQ(names.front(), "Linear sRGB");
    EXPECT_EQ(names[42], "Sony S-Log3 / S-Gamut3.Cine");
    EXPECT_EQ(names.back(), "ACESproxy");
    EXPECT_EQ(transfer_popup_name(0), "");
    EXPECT_EQ(transfer_popup_name(51), "");
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : "|") + n;
    EXPECT_EQ(joined, TRANSFER_SPACES_STR);

    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        const transfer_function& tf = TRANSFER_FUNCTION[item];
        const color_space& cs = COLOR_SPACE[item];
        EXPECT_EQ(is_separator(item), names[size_t(item - 1)] == "(-") << item;
        EXPECT_EQ(tf.a + tf.b + tf.c + tf.d + tf.e + tf.f, 0.0f);
        EXPECT_EQ(tf.g + tf.h + tf.i, 0);
        const bool logc = tf.kind == 10 || tf.kind == 11 || tf.kind == 12;
        EXPECT_EQ(tf.iso, logc ? 160 : 100) << item;
        if (is_separator(item)) {
            EXPECT_EQ(tf.black, 0.0f);
            EXPECT_EQ(tf.white, 0.0f);
            EXPECT_EQ(cs.white_x + cs.white_y + cs.red_x, 0.0);
        } else {
            EXPECT_LT(tf.black, tf.white) << item;
            EXPECT_GT(cs.white_y, 0.3) << item;
        }
    }
    // Chromaticities are single-precision values widened to double.
    EXPECT_EQ(COLOR_SPACE[1].red_x, double(0.64f));
    EXPECT_EQ(COLOR_SPACE[21].blue_y, double(-0.0820452f));
    EXPECT_EQ(COLOR_SPACE[10].white_x, double(0.33333f));
    EXPECT_EQ(COLOR_SPACE[9].white_y, double(0.351f));

    EXPECT_EQ(ISO[0], -1.0);
    std::string iso_text;
    for (int k = 1; k <= ISO_COUNT; ++k)
        iso_text += (k > 1 ? "|" : "") + std::to_string(static_cast<int>(ISO[k]));
    EXPECT_EQ(iso_text, ISO_STR);
}

TEST(Catalogue, PopupMappings) {
    const int kinds[][2] = {{-2, 46},  {-1, 11},  {1, 1},   {2, 2},    {3, 3},    {4, 4},
                            {5, 8},    {6, 9},    {7, 10},  {8, 7},    {10, 12},  {11, 13},
                            {12, 14},  {20, 22},  {28, 30}, {30, 38},  {40, 40},  {44, 44},
                            {50, 47},  {53, 50},  {60, 32}, {61, 33},  {70, 37},  {80, 31},
                            {90, 34},  {101, 5},  {102, 6}, {110, 15}, {116, 21}, {122, 45},
                            {130, 39}, {140, 35}, {141, 36}};
    for (const auto& k : kinds) {
        EXPECT_EQ(transfer_as_popup(k[0]), k[1]) << k[0];
        EXPECT_EQ(transfer_as_popup(float(k[0])), k[1]) << k[0];
    }
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item)
        EXPECT_EQ(transfer_as_popup(TRANSFER_FUNCTION[item].kind), item);
    EXPECT_EQ(transfer_as_popup(0), -1);
    EXPECT_EQ(transfer_as_popup(13), -1);
    EXPECT_EQ(transfer_as_popup(13.7f), -1);
    EXPECT_EQ(transfer_as_popup(101.9f), 5);
    EXPECT_EQ(transfer_as_popup(-1.5f), 11);
    // Values that do not truncate to an int name nothing (and must not be converted).
    EXPECT_EQ(transfer_as_popup(NAN), -1);
    EXPECT_EQ(transfer_as_popup(INFINITY), -1);
    EXPECT_EQ(transfer_as_popup(-3e9f), -1);
    EXPECT_EQ(transfer_as_popup(2147483648.0f), -1);
    EXPECT_EQ(transfer_as_popup(-2147483648.0f), -1);

    EXPECT_EQ(iso_as_popup(50), 1);
    EXPECT_EQ(iso_as_popup(800), 13);
    EXPECT_EQ(iso_as_popup(3200), 19);
    EXPECT_EQ(iso_as_popup(900), -1);
    EXPECT_EQ(iso_as_popup(-1), -1);
    EXPECT_EQ(iso_as_popup(800.9f), 13);
    EXPECT_EQ(iso_as_popup(NAN), -1);
    EXPECT_EQ(iso_as_popup(1e20f), -1);
}

TEST(Coefficients, SidesWriteOnlyTheirSlots) {
    for (int item = 0; item <= TRANSFER_SPACE_COUNT; ++item) {
        for (char side : {'i', 'o'}) {
            float c[COEFFICIENT_COUNT];
            for (float& v : c) v = 12345.0f;
            set_coefficents_for_transfer_function(c, side, &TRANSFER_FUNCTION[item]);
            for (int slot = 0; slot < COEFFICIENT_COUNT; ++slot) {
                const bool mine =
                    side == 'i' ? slot <= INPUT_CUT2
                                : (slot >= OUTPUT_TYPE && slot <= OUTPUT_LEVELS_B) || slot == WV;
                if (mine) {
                    EXPECT_NE(c[slot], 12345.0f) << item << side << slot;
                } else {
                    EXPECT_EQ(c[slot], 12345.0f) << item << side << slot;
                }
            }
            // Whatever the curve, G, H, I and CUT2 hold the form-7 constants.
            const int base = side == 'i' ? INPUT_TYPE : OUTPUT_TYPE;
            const float fixed_in[] = {0.1350798f, 0.13938421f, -0.0f, 0.70303428f};
            const float fixed_out[] = {-0.20796195f, 7.1744142f, 0.0f, 0.24962451f};
            const float* fixed = side == 'i' ? fixed_in : fixed_out;
            EXPECT_EQ(c[base + 7], fixed[0]);
            EXPECT_EQ(c[base + 8], fixed[1]);
            EXPECT_EQ(c[base + 9], fixed[2]);
            EXPECT_EQ(std::signbit(c[base + 9]), side == 'i');
            EXPECT_EQ(c[base + 11], fixed[3]);
        }
    }
}

TEST(Coefficients, DerivedSlots) {
    stage out(2, 'o'), in(2, 'i');
    EXPECT_EQ(out[OUTPUT_TYPE], 1.0f);
    EXPECT_EQ(out[OUTPUT_A], 0.41666666f);
    EXPECT_EQ(out[OUTPUT_B], 1.055f);
    EXPECT_EQ(out[OUTPUT_C], -0.055f);
    EXPECT_EQ(out[OUTPUT_E], 12.92f);
    EXPECT_EQ(out[OUTPUT_F], 0.0f);
    EXPECT_EQ(out[OUTPUT_CUT], 0.0031308f);
    EXPECT_NEAR(out[WV], 1.0f, 1e-6f);
    EXPECT_EQ(out[OUTPUT_LEVELS_A], 1.0f);
    EXPECT_EQ(out[OUTPUT_LEVELS_B], 0.0f);
    EXPECT_FLOAT_EQ(in[INPUT_A], 2.4f);
    EXPECT_NEAR(in[INPUT_CUT], 0.04045f, 1e-7f);
    EXPECT_FLOAT_EQ(in[INPUT_E], 1.0f / 12.92f);

    EXPECT_NEAR(stage(10, 'o')[WV], std::pow(1 / 0.9670427, 2.6), 1e-6);
    EXPECT_NEAR(stage(10, 'o')[WV], 1.0910, 1e-4);
    // A pure power law keeps its decoding toe out of reach, and finite.
    for (int item : {8, 9, 10}) {
        EXPECT_EQ(stage(item, 'i')[INPUT_CUT], 0.0f);
        EXPECT_TRUE(std::isfinite(stage(item, 'i')[INPUT_E]));
    }

    stage logc800(13, 'o', 800);
    const float expected800[] = {5.555556f, 0.052272f, 0.24719f, 0.385537f, 5.367655f, 0.092809f};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(logc800[OUTPUT_A + k], expected800[k]);
    EXPECT_EQ(logc800[OUTPUT_CUT], 0.010591f);
    for (int iso : {50, 100, 160, 2000, 3200, 12345}) {
        stage s(13, 'o', iso);
        EXPECT_EQ(s[OUTPUT_CUT], 0.005561f) << iso;
        EXPECT_EQ(s[OUTPUT_B], 0.080216f) << iso;
    }
    for (int iso : {160, 800, 1600}) {
        EXPECT_EQ(stage(12, 'o', iso)[OUTPUT_CUT], 0.0f);
        EXPECT_EQ(stage(12, 'o', iso)[OUTPUT_A], 5.061087f);
    }
    EXPECT_EQ(stage(12, 'o', 800)[OUTPUT_C], 0.247189f);
    EXPECT_EQ(stage(12, 'o', 800)[OUTPUT_F], 0.131313f);

    for (int item : {1, 47, 49}) {
        stage s(item, 'o');
        EXPECT_EQ(s[OUTPUT_TYPE], 0.0f);
        EXPECT_EQ(s[WV], 1.0f);
    }
    // A kind the catalogue does not know is linear.
    transfer_function unknown = TRANSFER_FUNCTION[2];
    unknown.kind = 9999;
    float c[COEFFICIENT_COUNT] = {};
    set_coefficents_for_transfer_function(c, 'o', &unknown);
    EXPECT_EQ(c[OUTPUT_TYPE], 0.0f);
    EXPECT_EQ(c[WV], 1.0f);

    // Rec. 709 levels: 16/255 and 235/255 land on 0 and 1 before the curve.
    stage rec709(3, 'i');
    EXPECT_NEAR(16.0f / 255 * rec709[INPUT_LEVELS_A] + rec709[INPUT_LEVELS_B], 0.0f, 1e-6f);
    EXPECT_NEAR(235.0f / 255 * rec709[INPUT_LEVELS_A] + rec709[INPUT_LEVELS_B], 1.0f, 1e-6f);
    EXPECT_EQ(decode(3, 10.0f / 255), 0.0f);
    stage rec709o(3, 'o');
    EXPECT_FLOAT_EQ(rec709o[OUTPUT_LEVELS_A], 219.0f / 255);
    EXPECT_FLOAT_EQ(rec709o[OUTPUT_LEVELS_B], 16.0f / 255);
}

// WV is the scene light that the output curve encodes as code value 1.0 (before levels).
TEST(Coefficients, HighlightLevelEncodesToOne) {
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        if (is_separator(item)) continue;
        stage s(item, 'o');
        s.coeffs[OUTPUT_LEVELS_A] = 1.0f;
        s.coeffs[OUTPUT_LEVELS_B] = 0.0f;
        float v = s[WV];
        apply_output_transfer(s.coeffs, &v, 1);
        EXPECT_NEAR(v, 1.0f, 2e-5f) << transfer_popup_name(item);
    }
}

// ---------------------------------------------------------------------------------------
// Published anchor values, straight from the makers' and standards' stated numbers.

TEST(Published, AnchorValues) {
    // The makers' 18 % grey code values.
    EXPECT_NEAR(decode(43, 0.41055718f), 0.18f, 1e-5f);  // S-Log3: 420 / 1023
    EXPECT_NEAR(encode(42, 0.18f), 420.0f / 1023, 1e-6f);
    EXPECT_NEAR(encode(42, 0.0f), 95.0f / 1023, 1e-6f);
    EXPECT_NEAR(decode(42, 800.0f / 1023), 5.3829f, 2e-3f);
    EXPECT_NEAR(encode(13, 0.18f, 800), 0.391007f, 1e-5f);  // Log C EI 800
    EXPECT_NEAR(decode(13, 0.391007f, 800), 0.18f, 1e-5f);
    for (float x : {0.001f, 0.01f, 0.18f, 0.9f, 4.0f, 30.0f})
        EXPECT_NEAR(encode(13, x, 800), logc3_ei800(x), 2e-6) << x;
    for (int iso : {160, 400, 1600}) EXPECT_NEAR(encode(12, 0.18f, iso), 0.391007f, 1e-6f);
    EXPECT_NEAR(encode(39, 0.18f), 1.0f / 3, 1e-6f);    // Log3G10
    EXPECT_NEAR(encode(38, 0.18f), 0.423311f, 2e-6f);   // V-Log
    EXPECT_NEAR(encode(7, 0.18f), 0.336043f, 2e-6f);    // DaVinci Intermediate
    EXPECT_NEAR(encode(48, 0.18f), 0.4135884f, 2e-6f);  // ACEScc
    EXPECT_NEAR(encode(48, 1.0f), 0.5547945f, 2e-6f);
    EXPECT_NEAR(encode(33, 0.18f), 0.391007f, 1e-5f);  // F-Log2
    EXPECT_NEAR(encode(35, 0.18f), 0.435314f, 1e-5f);  // L-Log
    // PQ at 100 and 1000 cd/m2, HLG at its break point and peak.
    EXPECT_NEAR(encode(5, 0.01f), 0.508078f, 2e-5f);
    EXPECT_NEAR(encode(5, 0.1f), 0.751827f, 2e-5f);
    EXPECT_NEAR(encode(5, 1.0f), 1.0f, 1e-5f);
    EXPECT_NEAR(decode(5, 0.508078f), 0.01f, 2e-6f);
    EXPECT_NEAR(encode(6, 1.0f / 12), 0.5f, 1e-6f);
    EXPECT_NEAR(encode(6, 1.0f), 1.0f, 1e-6f);
    // sRGB and BT.709 break points.
    EXPECT_NEAR(encode(2, 0.0031308f), 0.04045f, 1e-6f);
    EXPECT_NEAR(decode(2, 0.04045f), 0.0031308f, 1e-7f);
    EXPECT_NEAR(encode(2, 0.18f), 0.4613561f, 1e-6f);
    EXPECT_NEAR(encode(3, 0.018f), (16 + 219 * 0.081f) / 255, 3e-4f);
    EXPECT_NEAR(encode(3, 1.0f), 235.0f / 255, 1e-6f);
    EXPECT_NEAR(encode(3, 0.0f), 16.0f / 255, 1e-7f);
    // The linear entries pass light through unchanged.
    for (int item : {1, 47, 49}) {
        EXPECT_EQ(encode(item, 0.37f), 0.37f);
        EXPECT_EQ(decode(item, 3.5f), 3.5f);
    }
}

// Every entry with a published definition matches it at 18 % grey, 90 % white and a
// spread of other points, in both directions.
TEST(Published, CatalogueFollowsPublishedCurves) {
    const double points[] = {0.002, 0.01, 0.05, 0.18, 0.5, 0.9, 1.0, 2.0, 8.0};
    for (const published& p : PUBLISHED) {
        const float wv = stage(p.item, 'o')[WV];
        for (double x : points) {
            if (x < p.low || x > double(wv)) continue;
            // The catalogue reads scene light x where the published curve reads x / scale.
            const double code = p.curve(x / p.scale);
            const float got = encode(p.item, float(x));
            EXPECT_NEAR(got, code, 2e-5 + p.level_tol) << transfer_popup_name(p.item) << " x=" << x;
            if (p.level_tol == 0) {
                const float back = decode(p.item, float(code));
                EXPECT_NEAR(back, x, 1e-4 * x + 1e-6)
                    << transfer_popup_name(p.item) << " code=" << code;
            }
        }
    }
}

// The entries that differ from the published curve by their scene-light scale give
// visibly different 18 % grey codes; pin that down so a change is noticed.
TEST(Published, KnownDifferences) {
    // S-Log and S-Log2 read 90 % reflectance as 1.0: their 18 % grey lands where the
    // published curves put 16.2 %.
    EXPECT_NEAR(encode(40, 0.18f), slog(0.9 * 0.18), 1e-5);
    EXPECT_NEAR(encode(41, 0.18f), slog2(0.9 * 0.18), 1e-5);
    EXPECT_NEAR(slog2(0.18), 347.0 / 1023, 0.5 / 1023);            // the maker's 18 % grey code
    EXPECT_NEAR(encode(37, 0.18f / 14.78086f), nlog(0.18), 1e-5);  // N-Log
    EXPECT_NEAR(encode(27, 0.18f), canon_log3(0.9 * 0.18), 3e-3);
    // ACEScc: scene light below 2^-9.72 would encode below code 0 and is cut there.
    EXPECT_EQ(encode(48, 0.001f), 0.0f);
    EXPECT_GT(encode(48, 0.0012f), 0.0f);
}

// ---------------------------------------------------------------------------------------

double useful_low(int item) {
    for (const published& p : PUBLISHED)
        if (p.item == item) return std::max(p.low, 1e-3);
    return 1e-3;
}

// decode(encode(x)) == x over each curve's useful range: from 0.001 (or where its codes
// start) up to the light that encodes as 1.0.
TEST(RoundTrip, EveryEntry) {
    const int n = 1500;
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        if (is_separator(item)) continue;
        const stage out(item, 'o'), in(item, 'i');
        const double lo = useful_low(item), hi = double(out[WV]);
        std::vector<float> x(n), v(n);
        for (int k = 0; k < n; ++k) x[size_t(k)] = float(lo * std::pow(hi / lo, k / (n - 1.0)));
        v = x;
        apply_output_transfer(out.coeffs, v.data(), n);
        apply_input_transfer(in.coeffs, v.data(), n);
        // PQ raises its ratio to the power 78.8, which magnifies float rounding.
        const double rel = item == 5 ? 3e-4 : 3e-5;
        // L-Log's published curve folds back at its break: light just above 0.006 encodes
        // below the toe's top code, so those codes are ambiguous and decode by the toe.
        const double fold_lo = 0.006, fold_hi = 0.0064;
        for (int k = 0; k < n; ++k) {
            const double xi = x[size_t(k)];
            if ((item == 35 || item == 36) && xi > fold_lo && xi < fold_hi) continue;
            ASSERT_NEAR(v[size_t(k)], xi, rel * xi + 5e-8)
                << transfer_popup_name(item) << " x=" << xi;
        }
    }
    // Through the exposure indices of Log C.
    for (int item : {12, 13}) {
        for (int iso = 1; iso <= ISO_COUNT; ++iso) {
            for (float x : {0.002f, 0.01f, 0.18f, 1.0f, 10.0f}) {
                const int ei = int(ISO[iso]);
                EXPECT_NEAR(decode(item, encode(item, x, ei), ei), x, 3e-5f * x)
                    << item << " EI " << ei;
            }
        }
    }
}

// The published jump at a curve's break point, in code value (measured across a small
// neighbourhood: the catalogue's single-precision break may sit just beside the published one).
double published_jump(const published& p, double cut) {
    const double h = 1e-6 * cut;
    return std::fabs(p.curve((cut + h) / p.scale) - p.curve((cut - h) / p.scale));
}

// No entry jumps at a break point by more than its published curve does (a few published
// curves have small steps of their own: BT.709, F-Log, L-Log, N-Log).
TEST(RoundTrip, NoJumpsAtBreakPoints) {
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        if (is_separator(item)) continue;
        const stage out(item, 'o');
        const published* pub = nullptr;
        for (const published& p : PUBLISHED)
            if (p.item == item) pub = &p;
        std::vector<float> cuts = {out[OUTPUT_CUT]};
        if (out[OUTPUT_TYPE] == 7.0f) cuts.push_back(out[OUTPUT_CUT2]);
        for (float cut : cuts) {
            if (!(cut > 0.0f)) continue;  // light below 0 never reaches the curve
            const float below = std::nextafter(cut, 0.0f);
            const double jump = std::fabs(double(encode(item, cut)) - encode(item, below));
            const double allowed = (pub ? published_jump(*pub, cut) : 0.0) + 3e-6;
            EXPECT_LE(jump, allowed) << transfer_popup_name(item) << " at " << cut;
        }
        // The decoding side, at the code value of the break.
        const stage in(item, 'i');
        std::vector<float> icuts = {in[INPUT_CUT]};
        if (in[INPUT_TYPE] == 7.0f) icuts.push_back(in[INPUT_CUT2]);
        const transfer_function& tf = TRANSFER_FUNCTION[item];
        for (float icut : icuts) {
            const float code = icut * (tf.white - tf.black) + tf.black;
            if (!(code > 0.0f) || in[INPUT_TYPE] == 0.0f) continue;
            const double a = decode(item, code), b = decode(item, std::nextafter(code, 0.0f));
            // ACESproxy codes below 256/4095 are outside its legal range and decode as 0.
            if (item == 50) continue;
            // A step of d in code value is a step of about d / slope in light.
            double allowed = 1e-4 * std::max(a, 1e-3);
            const double cut = double(stage(item, 'o')[OUTPUT_CUT]);
            if (pub && cut > 0) {
                const double slope =
                    (double(encode(item, float(cut))) - encode(item, float(0.9 * cut))) /
                    (0.1 * cut);
                allowed += 2.0 * published_jump(*pub, cut) / slope;
            }
            EXPECT_LE(std::fabs(a - b), allowed) << transfer_popup_name(item) << " code " << code;
        }
    }
}

}  // namespace
