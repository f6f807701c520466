#include "pipeline/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/slots.h"
#include "tests/support/fit_support.h"

using fit_support::item_with_form;
using fit_support::params_for;
using fit_support::reference_pixels;

namespace {

std::vector<render_backend> backends() {
    std::vector<render_backend> list;
    for (render_backend b : {RENDER_PORTABLE, RENDER_LANES4, RENDER_AVX2, RENDER_AVX512})
        if (render_backend_available(b)) list.push_back(b);
    return list;
}

// Dense RGB samples over -0.1 ... 1.3 (past both ends of the nominal range), with
// alphas that vary, ending with the special values.
std::vector<float> dense_samples() {
    std::vector<float> px;
    const int steps = 15;
    for (int b = 0; b < steps; ++b)
        for (int g = 0; g < steps; ++g)
            for (int r = 0; r < steps; ++r) {
                const float s = 1.4f / (float)(steps - 1);
                px.insert(px.end(), {-0.1f + (float)r * s, -0.1f + (float)g * s,
                                     -0.1f + (float)b * s, (float)((r + g + b) % 7) / 6.0f});
            }
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float den = std::numeric_limits<float>::denorm_min() * 3.0f;
    const float specials[5] = {-inf, inf, nan, -0.0f, den};
    for (float a : specials)
        for (float b : specials) px.insert(px.end(), {a, b, 0.5f, 0.25f});
    return px;
}

struct frame {
    std::vector<char> memory;
    image img{};
};

// A frame of `width` x `height` pixels of format f whose first row starts `offset` bytes
// into its memory and whose rows are `pad` bytes apart beyond the pixels (row bytes
// negative when `upside_down`). The memory ends exactly at the last byte of the last
// row in address order, so that any read or write past a row is caught by the address
// sanitizer.
frame make_frame(imageFormat f, int width, int height, int offset, int pad, bool upside_down) {
    frame fr;
    const int bpp = imageFormatBytes(f);
    const int stride = width * bpp + pad;
    fr.memory.assign((size_t)(offset + stride * (height - 1) + width * bpp), (char)0x5a);
    fr.img.flag1 = fr.img.flag2 = 1;
    fr.img.format = f;
    fr.img.right = width;
    fr.img.bottom = height;
    fr.img.scale_x = fr.img.scale_y = fr.img.pixel_aspect = 1.0;
    if (upside_down) {
        fr.img.row_bytes = -stride;
        fr.img.pixels = fr.memory.data() + offset + (ptrdiff_t)stride * (height - 1);
    } else {
        fr.img.row_bytes = stride;
        fr.img.pixels = fr.memory.data() + offset;
    }
    return fr;
}

char* pixel_at(const image& img, int x, int y) {
    return img.pixels + (ptrdiff_t)y * img.row_bytes + (ptrdiff_t)x * imageFormatBytes(img.format);
}

struct layout {
    int kind;    // 0: 8-bit, 1: RGBA16, 2: ARGB15, 3: float, 4: half
    int pos[4];  // positions of R, G, B, A
};

layout layout_of(imageFormat f) {
    switch (f) {
        case IMAGE_RGBA8:
            return {0, {0, 1, 2, 3}};
        case IMAGE_RGBA16:
            return {1, {0, 1, 2, 3}};
        case IMAGE_RGBA32F:
            return {3, {0, 1, 2, 3}};
        case IMAGE_ARGB8:
            return {0, {1, 2, 3, 0}};
        case IMAGE_ARGB15:
            return {2, {1, 2, 3, 0}};
        case IMAGE_ARGB32F:
            return {3, {1, 2, 3, 0}};
        case IMAGE_BGRA8:
            return {0, {2, 1, 0, 3}};
        case IMAGE_BGRA32F:
            return {3, {2, 1, 0, 3}};
        default:
            return {4, {2, 1, 0, 3}};
    }
}

float code_scale(int kind) {
    return kind == 0 ? 255.0f : kind == 1 ? 65535.0f : 32768.0f;
}

// Writes RGBA floats into a pixel; integer formats take the nearest code.
void put_pixel(const image& img, int x, int y, const float* rgba) {
    const layout l = layout_of(img.format);
    char* p = pixel_at(img, x, y);
    for (int c = 0; c < 4; ++c) {
        const float v = rgba[c];
        if (l.kind == 3) {
            std::memcpy(p + 4 * l.pos[c], &v, 4);
        } else if (l.kind == 4) {
            const uint16_t h = float2half(v);
            std::memcpy(p + 2 * l.pos[c], &h, 2);
        } else {
            const float s = code_scale(l.kind);
            const float cl = std::isnan(v) ? 0.0f : std::fmin(std::fmax(v, 0.0f), 1.0f);
            const auto code = (uint32_t)std::lround(cl * s);
            if (l.kind == 0)
                p[l.pos[c]] = (char)(unsigned char)code;
            else {
                const auto h = (uint16_t)code;
                std::memcpy(p + 2 * l.pos[c], &h, 2);
            }
        }
    }
}

// Reads a pixel as the render driver's input conversion does.
void get_pixel(const image& img, int x, int y, float* rgba) {
    const layout l = layout_of(img.format);
    const char* p = pixel_at(img, x, y);
    for (int c = 0; c < 4; ++c) {
        if (l.kind == 3) {
            std::memcpy(&rgba[c], p + 4 * l.pos[c], 4);
        } else if (l.kind == 4) {
            uint16_t h;
            std::memcpy(&h, p + 2 * l.pos[c], 2);
            rgba[c] = half2float(h);
        } else if (l.kind == 0) {
            rgba[c] = (float)(unsigned char)p[l.pos[c]] * 0.003921569f;
        } else {
            uint16_t h;
            std::memcpy(&h, p + 2 * l.pos[c], 2);
            rgba[c] = (float)h / code_scale(l.kind);
        }
    }
}

// Raw output channel value in the format's own units (codes for integer formats).
double raw_channel(const image& img, int x, int y, int c) {
    const layout l = layout_of(img.format);
    const char* p = pixel_at(img, x, y);
    if (l.kind == 3) {
        float v;
        std::memcpy(&v, p + 4 * l.pos[c], 4);
        return v;
    }
    if (l.kind == 0) return (unsigned char)p[l.pos[c]];
    uint16_t h;
    std::memcpy(&h, p + 2 * l.pos[c], 2);
    return l.kind == 4 ? (double)half2float(h) : (double)h;
}

// The expected value of one channel in the output format's own units.
// Colour is truncated to a code, alpha rounded.
double expected_channel(imageFormat f, float v, bool alpha) {
    const layout l = layout_of(f);
    if (l.kind == 3 || l.kind == 4) return v;
    const float cl = !(v > 0.0f) ? 0.0f : (v > 1.0f ? 1.0f : v);
    return alpha ? std::floor(cl * code_scale(l.kind) + 0.5f) : std::trunc(cl * code_scale(l.kind));
}

struct comparison {
    double worst = 0.0;  // largest |fast - reference| / max(1, |reference|) over R, G, B
    int nonfinite = 0;
};

// Whether a backend fuses multiply-adds: the fused and the unfused builds each give the
// same bits among themselves, and are compared with the reference separately.
bool fused(render_backend b) {
    return b == RENDER_AVX2 || b == RENDER_AVX512;
}

comparison compare_with_reference(const float* coeffs, const frame& in, const frame& out, int width,
                                  int height, double tolerance, const char* what);

// Renders `in` into `out` with every backend, checks that the backends of each family
// (fused multiply-adds or not) write the same bytes, and compares each family's result
// with the reference functions; returns the worse of the two.
comparison render_and_compare(const float* coeffs, const frame& in, frame& out, int width,
                              int height, double tolerance, const char* what) {
    comparison result;
    const OfxRectI area{0, 0, width, height};
    std::vector<char> first[2];
    for (render_backend b : backends()) {
        std::fill(out.memory.begin(), out.memory.end(), (char)0x5a);
        render_coefficients(&in.img, &out.img, &area, coeffs, nullptr, nullptr, b);
        std::vector<char>& family = first[fused(b) ? 1 : 0];
        if (family.empty()) {
            family = out.memory;
            const comparison c =
                compare_with_reference(coeffs, in, out, width, height, tolerance, what);
            result.worst = std::fmax(result.worst, c.worst);
            result.nonfinite += c.nonfinite;
        } else {
            EXPECT_TRUE(family == out.memory)
                << what << ": backend " << render_backend_name(b) << " differs from its family";
        }
    }
    return result;
}

comparison compare_with_reference(const float* coeffs, const frame& in, const frame& out, int width,
                                  int height, double tolerance, const char* what) {
    comparison result;
    const bool integer_out = layout_of(out.img.format).kind <= 2;
    const bool half_out = layout_of(out.img.format).kind == 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float px[4];
            get_pixel(in.img, x, y, px);
            const float alpha = px[3];
            // Special values become 0 or the largest float, whose arithmetic overflows on
            // both sides in ways the two need not share: they must give finite colours.
            bool special = false;
            for (int c = 0; c < 3; ++c) special = special || !(std::fabs(px[c]) < 1e30f);
            reference_pixels(coeffs, px, 1);
            if (special) {
                for (int c = 0; c < 3; ++c)
                    if (!std::isfinite(raw_channel(out.img, x, y, c))) ++result.nonfinite;
                continue;
            }
            for (int c = 0; c < 4; ++c) {
                const double want =
                    expected_channel(out.img.format, c == 3 ? alpha : px[c], c == 3);
                const double got = raw_channel(out.img, x, y, c);
                if (!std::isfinite(got)) {
                    ++result.nonfinite;
                    continue;
                }
                if (c == 3) {
                    if (half_out)  // rounded to the nearest half
                        EXPECT_NEAR(got, want, std::fabs(want) / 2048.0 + 1e-7) << what;
                    else
                        EXPECT_EQ(got, want) << what << ": alpha at " << x << "," << y;
                    continue;
                }
                if (integer_out) {
                    // One code either way: truncation turns an error of 1e-5 at a code
                    // boundary into a whole step.
                    EXPECT_LE(std::fabs(got - want), 1.0) << what << " at " << x << "," << y;
                    continue;
                }
                double err = std::fabs(got - want) / std::fmax(1.0, std::fabs(want));
                if (half_out) err = std::fmax(0.0, err - 1.0 / 1024.0);
                result.worst = std::fmax(result.worst, err);
                EXPECT_LE(err, tolerance) << what << " at " << x << "," << y << " channel " << c
                                          << ": got " << got << " want " << want;
            }
        }
    return result;
}

frame float_frame_of(const std::vector<float>& px, int width, int height) {
    frame f = make_frame(IMAGE_RGBA32F, width, height, 0, 0, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) put_pixel(f.img, x, y, &px[(size_t)(4 * (y * width + x))]);
    return f;
}

double g_worst = 0.0;

}  // namespace

// ---- the fast approximations --------------------------------------------------------

namespace {

// f over xs as backend b computes it.
std::vector<float> sweep(render_backend b, render_fast_op op, const std::vector<float>& xs,
                         float a = 0.0f) {
    std::vector<float> ys(xs.size());
    render_fast_functions(b, op, xs.data(), ys.data(), (int)xs.size(), a);
    return ys;
}

std::vector<float> geometric(float from, float to, float factor) {
    std::vector<float> xs;
    for (float x = from; x < to; x *= factor) xs.push_back(x);
    return xs;
}

}  // namespace

// Every backend's own arithmetic (the fused and the unfused families round differently)
// is swept against the standard library in double precision.
TEST(RenderFast, Log2WithinItsBoundOverTheWholeRange) {
    const std::vector<float> xs = geometric(1e-38f, 3e38f, 1.0007f);
    for (render_backend b : backends()) {
        const std::vector<float> ys = sweep(b, FAST_LOG2, xs);
        double worst = 0.0;
        for (size_t i = 0; i < xs.size(); ++i) {
            // Relative beyond magnitude 1: the result itself is a float.
            const double want = std::log2((double)xs[i]);
            worst =
                std::fmax(worst, std::fabs((double)ys[i] - want) / std::fmax(1.0, std::fabs(want)));
        }
        std::printf("fast log2 (%s): largest error %.3g of max(1, |log2 x|)\n",
                    render_backend_name(b), worst);
        EXPECT_LE(worst, 2e-7) << render_backend_name(b);
        const float inf = std::numeric_limits<float>::infinity();
        const std::vector<float> edge = sweep(b, FAST_LOG2,
                                              {1.0f, 0.0f, -1.0f, std::nanf(""), inf,
                                               std::numeric_limits<float>::denorm_min(), 1e-40f});
        EXPECT_EQ(edge[0], 0.0f);
        EXPECT_EQ(edge[1], -inf);
        EXPECT_TRUE(std::isnan(edge[2]));
        EXPECT_TRUE(std::isnan(edge[3]));
        EXPECT_EQ(edge[4], inf);
        // Subnormals are scaled into range rather than read as garbage.
        EXPECT_NEAR(edge[5], -149.0, 1e-4);
        EXPECT_NEAR(edge[6], std::log2(1e-40), 1e-4);
    }
    EXPECT_EQ(fast_log2(1.0f), 0.0f);
}

TEST(RenderFast, Exp2AndPowWithinTheirBounds) {
    std::vector<float> ys_in;
    for (float y = -126.0f; y < 127.9f; y += 0.00731f) ys_in.push_back(y);
    const std::vector<float> xs = geometric(1e-6f, 64.0f, 1.001f);
    const float inf = std::numeric_limits<float>::infinity();
    for (render_backend b : backends()) {
        const char* name = render_backend_name(b);
        const std::vector<float> e = sweep(b, FAST_EXP2, ys_in);
        double worst = 0.0;
        for (size_t i = 0; i < ys_in.size(); ++i) {
            const double want = std::exp2((double)ys_in[i]);
            worst = std::fmax(worst, std::fabs((double)e[i] - want) / want);
        }
        std::printf("fast exp2 (%s): largest relative error %.3g\n", name, worst);
        EXPECT_LE(worst, 1.2e-7) << name;
        const std::vector<float> edge =
            sweep(b, FAST_EXP2, {0.0f, -1000.0f, 1000.0f, std::nanf("")});
        EXPECT_EQ(edge[0], 1.0f) << name;
        EXPECT_EQ(edge[1], 0.0f) << name;
        EXPECT_EQ(edge[2], inf) << name;
        EXPECT_TRUE(std::isnan(edge[3])) << name;
        // The power keeps the reference's meaning at the edges; the output curves' power
        // (normal numbers and infinity only) agrees with it.
        for (float a : {2.4f, -1.0f, 0.45f}) {
            const std::vector<float> p = sweep(b, FAST_POW, {0.0f, 1.0f, -0.5f}, a);
            EXPECT_EQ(p[0], 0.0f) << name;
            EXPECT_EQ(p[1], 1.0f) << name;
            EXPECT_TRUE(std::isnan(p[2])) << name;
        }
        EXPECT_EQ(sweep(b, FAST_POW_OUTPUT, {1.0f, inf}, 0.45f), (std::vector<float>{1.0f, inf}));
        double worst_pow = 0.0;
        for (float a : {0.33333334f, 0.45f, 2.4f, 1.0f / 2.4f, 3.0f, 1.0f / 2.6f, 78.84375f})
            for (render_fast_op op : {FAST_POW, FAST_POW_OUTPUT}) {
                // The steep exponent of PQ, over the range it sees (x <= 1).
                const std::vector<float>& in = a > 4.0f ? geometric(1e-6f, 1.0f, 1.001f) : xs;
                const std::vector<float> p = sweep(b, op, in, a);
                for (size_t i = 0; i < in.size(); ++i) {
                    const double want = std::pow((double)in[i], (double)a);
                    if (want < 1e-30) continue;
                    worst_pow = std::fmax(worst_pow, std::fabs(p[i] - want) / want);
                }
            }
        std::printf("fast pow (%s): largest relative error %.3g\n", name, worst_pow);
        EXPECT_LE(worst_pow, 4e-5) << name;
    }
}

// Output powers with 0 < a <= 1 come from a table by exponent and a polynomial in the
// mantissa. Over the whole float range they are within 3e-7 of the power (the
// polynomial's 1e-7 and the roundings), give 1 at 1 and infinity at infinity; and eight
// lanes that take their entries from the registers' band give exactly what the table
// gives (each vector below holds one value outside the band, forcing the table).
TEST(RenderFast, TablePowersWithinTheirBound) {
    const std::vector<float> xs = geometric(1e-37f, 3e38f, 1.0003f);
    const float inf = std::numeric_limits<float>::infinity();
    for (render_backend b : backends()) {
        const char* name = render_backend_name(b);
        double worst = 0.0;
        for (float a : {0.45f, 1.0f / 2.4f, 1.0f / 2.6f, 0.33333334f, 0.1f, 0.5f, 0.9f, 1.0f}) {
            const std::vector<float> p = sweep(b, FAST_POW_OUTPUT, xs, a);
            for (size_t i = 0; i < xs.size(); ++i) {
                const double want = std::pow((double)xs[i], (double)a);
                worst = std::fmax(worst, std::fabs(p[i] - want) / want);
            }
            EXPECT_EQ(sweep(b, FAST_POW_OUTPUT, {1.0f, inf}, a), (std::vector<float>{1.0f, inf}))
                << name;
        }
        std::printf("table power (%s): largest relative error %.3g\n", name, worst);
        EXPECT_LE(worst, 3e-7) << name;
        // Within [2^-14, 4) (the band of these sweeps), then with every eighth value moved
        // out of it.
        const std::vector<float> in_band = geometric(6.2e-5f, 3.9f, 1.001f);
        std::vector<float> mixed = in_band;
        for (size_t i = 0; i < mixed.size(); i += 8) mixed[i] = 1e-30f;
        const std::vector<float> p = sweep(b, FAST_POW_OUTPUT, in_band, 0.45f);
        const std::vector<float> q = sweep(b, FAST_POW_OUTPUT, mixed, 0.45f);
        for (size_t i = 0; i < in_band.size(); ++i) {
            if (i % 8 != 0) {
                ASSERT_EQ(p[i], q[i]) << name << " at " << in_band[i];
            }
        }
    }
}

TEST(RenderFast, CubeRootWithinItsBound) {
    const std::vector<float> xs = geometric(1e-30f, 1e30f, 1.0013f);
    const float inf = std::numeric_limits<float>::infinity();
    for (render_backend b : backends()) {
        const std::vector<float> ys = sweep(b, FAST_CBRT, xs);
        double worst = 0.0;
        for (size_t i = 0; i < xs.size(); ++i) {
            const double want = std::cbrt((double)xs[i]);
            worst = std::fmax(worst, std::fabs((double)ys[i] - want) / want);
        }
        std::printf("fast cbrt (%s): largest relative error %.3g\n", render_backend_name(b), worst);
        EXPECT_LE(worst, 5e-7) << render_backend_name(b);
        EXPECT_EQ(sweep(b, FAST_CBRT, {0.0f, -8.0f, std::nanf(""), inf}),
                  (std::vector<float>{0.0f, 0.0f, 0.0f, inf}));
    }
}

// ---- against the reference ----------------------------------------------------------

namespace {

struct dense_frame {
    frame in, out;
    int width, height;
};

dense_frame dense_frame_of(float lo, float hi) {
    std::vector<float> px = dense_samples();
    const size_t specials = 4 * 25;
    for (size_t i = 0; i + specials < px.size(); ++i)
        if (i % 4 != 3) px[i] = lo + (px[i] + 0.1f) / 1.4f * (hi - lo);
    dense_frame d;
    d.width = 301;  // odd, and longer than a pass: rows end in the middle of a vector
    const int count = (int)px.size() / 4;
    d.height = (count + d.width - 1) / d.width;
    std::vector<float> grid((size_t)(4 * d.width * d.height), 0.25f);
    std::copy(px.begin(), px.end(), grid.begin());
    d.in = float_frame_of(grid, d.width, d.height);
    d.out = make_frame(IMAGE_RGBA32F, d.width, d.height, 0, 0, false);
    return d;
}

void adjust_tone(parameters* p) {
    p->grays = 0.42f;
    p->contrast = 0.7f;
    p->blacks = 0.2f;
    p->whites = -0.3f;
    p->saturation = 120.0f;
}

}  // namespace

// Each stage on its own, so that an error is measured where it arises rather than after
// an ill-conditioned chain has magnified it. Tolerances are relative to max(1, |value|).

// Input stage, every curve form: code values -0.1 ... 1.3 decoded (up to 8500 for
// ACEScc), nothing else applied. Tolerance 2e-5 relative (exp2 is good to 8e-8; the
// powers to about 4e-6 of their exponent's magnitude); for PQ (form 2) 1e-4: near its
// peak the denominator c2 - c3 u loses two digits to cancellation and the outer power of
// 6.3 magnifies that, so one unit in the last place of u moves the result by 4e-5.
TEST(RenderReference, InputStageEveryCurveForm) {
    dense_frame d = dense_frame_of(-0.1f, 1.3f);
    for (int form = 0; form < 8; ++form) {
        parameters p = params_for(item_with_form(form), 1, CORRECTION_IDENTITY);
        float coeffs[COEFFICIENT_COUNT];
        set_coefficents(coeffs, &p);
        char what[64];
        std::snprintf(what, sizeof what, "input form %d", form);
        const comparison c = render_and_compare(coeffs, d.in, d.out, d.width, d.height,
                                                form == 2 ? 1e-4 : 2e-5, what);
        EXPECT_EQ(c.nonfinite, 0) << what;
        g_worst = std::fmax(g_worst, c.worst);
    }
}

// Every exponent 0 < a <= 1 takes the table power, the subnormal ones included, and a
// value outside its domain (negative, -0, a negative NaN) must not index outside the
// table (under AddressSanitizer this read before a stack table).
TEST(RenderFast, TablePowerForEveryExponentAndInput) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> odd = {-0.0f, -1.0f, -3e38f, -inf, -nan, 1e-40f, 0.0f, nan};
    const std::vector<float> xs = geometric(1e-37f, 3e38f, 1.01f);
    for (render_backend b : backends())
        for (float a : {1.3e-39f, 1e-45f, 1e-30f, 1e-7f, 1.0f}) {
            const std::vector<float> p = sweep(b, FAST_POW_OUTPUT, xs, a);
            for (size_t i = 0; i < xs.size(); ++i) {
                const double want = std::pow((double)xs[i], (double)a);
                EXPECT_NEAR(p[i], want, 3e-7 * want) << render_backend_name(b) << " a=" << a;
            }
            sweep(b, FAST_POW_OUTPUT, odd, a);
        }
}

// Output powers with a cut of 0 (DCI-P3's 2.6, DCDM): the fast power moves the cut to the
// smallest normal number, so zeros and subnormals must still come out as the reference's.
TEST(RenderReference, OutputPurePowersKeepBlackAndTheSpecialValues) {
    dense_frame d = dense_frame_of(-0.1f, 1.3f);
    for (int entry : {8, 9, 10}) {
        parameters p = params_for(1, entry, CORRECTION_IDENTITY);
        float coeffs[COEFFICIENT_COUNT];
        set_coefficents(coeffs, &p);
        ASSERT_EQ(coeffs[OUTPUT_TYPE], 1.0f);
        ASSERT_EQ(coeffs[OUTPUT_CUT], 0.0f);
        char what[64];
        std::snprintf(what, sizeof what, "output entry %d", entry);
        const comparison c = render_and_compare(coeffs, d.in, d.out, d.width, d.height, 2e-5, what);
        EXPECT_EQ(c.nonfinite, 0) << what;
    }
}

// Output stage, every curve form, on linear values -0.1 ... 1.3. Tolerance 2e-5; for PQ
// (form 2) 1e-4, since its outer power of 79 multiplies the error of log2 by 55.
TEST(RenderReference, OutputStageEveryCurveForm) {
    dense_frame d = dense_frame_of(-0.1f, 1.3f);
    for (int form = 0; form < 8; ++form) {
        parameters p = params_for(1, item_with_form(form), CORRECTION_IDENTITY);
        float coeffs[COEFFICIENT_COUNT];
        set_coefficents(coeffs, &p);
        char what[64];
        std::snprintf(what, sizeof what, "output form %d", form);
        const comparison c = render_and_compare(coeffs, d.in, d.out, d.width, d.height,
                                                form == 2 ? 1e-4 : 2e-5, what);
        EXPECT_EQ(c.nonfinite, 0) << what;
        g_worst = std::fmax(g_worst, c.worst);
    }
}

// Correction stage, both routes and every mode, highlight protection on and off, tone
// and saturation adjustments on, on linear values -0.1 ... 1.3. Tolerance 5e-5 (the
// perceptual route takes three cube roots and a power on L).
TEST(RenderReference, CorrectionStageBothRoutesAndHighlightProtection) {
    dense_frame d = dense_frame_of(-0.1f, 1.3f);
    for (int mode : {CORRECTION_NONE, CORRECTION_PER_CHANNEL, CORRECTION_MIX_CHANNELS,
                     CORRECTION_DELTAE_WB, CORRECTION_DELTAE})
        for (bool hp : {false, true})
            for (bool tone : {false, true}) {
                parameters p = params_for(1, 1, mode);
                // A source card with a cast, so that the fits are not the identity.
                for (int i = 0; i < p.source.ref->patch_count; ++i) {
                    p.source.linear[0][i] *= 1.2f;
                    p.source.linear[2][i] *= 0.8f;
                }
                p.source.reference = 0;
                p.highlight_protection = hp;
                if (tone) adjust_tone(&p);
                float coeffs[COEFFICIENT_COUNT];
                set_coefficents(coeffs, &p);
                char what[64];
                std::snprintf(what, sizeof what, "mode %d hp %d tone %d", mode, hp, tone);
                const comparison c =
                    render_and_compare(coeffs, d.in, d.out, d.width, d.height, 5e-5, what);
                EXPECT_EQ(c.nonfinite, 0) << what;
                g_worst = std::fmax(g_worst, c.worst);
            }
}

// One rule for special values on every route, curve form, pixel format and backend:
// NaN and -Inf count as 0, +Inf as the largest float, and what comes out is finite. A
// pixel with special values renders exactly as the same pixel with them replaced.
TEST(RenderReference, SpecialValuesFollowOneRuleEverywhere) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    const float special[4] = {nan, -inf, inf, -nan};
    const float stands_for[4] = {0.0f, 0.0f, big, 0.0f};
    // Pixels with one special channel (and all three), then the same with the rule applied.
    std::vector<float> px, ruled;
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 4; ++c) {
            float p[4] = {0.4f, 0.4f, 0.4f, 1.0f}, q[4] = {0.4f, 0.4f, 0.4f, 1.0f};
            for (int ch = 0; ch < 3; ++ch)
                if (c == 3 || ch == c) p[ch] = special[k], q[ch] = stands_for[k];
            px.insert(px.end(), p, p + 4);
            ruled.insert(ruled.end(), q, q + 4);
        }
    const int width = (int)px.size() / 4;
    for (imageFormat f : {IMAGE_RGBA32F, IMAGE_ARGB32F, IMAGE_BGRA32F, IMAGE_BGRA16F})
        for (int form = 0; form < 8; ++form)
            for (bool output_side : {false, true})
                for (int mode : {CORRECTION_MIX_CHANNELS, CORRECTION_DELTAE}) {
                    const int item = item_with_form(form);
                    parameters p =
                        params_for(output_side ? 44 : item, output_side ? item : 1, mode);
                    for (int i = 0; i < p.source.ref->patch_count; ++i)
                        p.source.linear[1][i] *= 1.1f;
                    p.source.reference = 0;
                    float coeffs[COEFFICIENT_COUNT];
                    set_coefficents(coeffs, &p);
                    frame in = make_frame(f, width, 2, 0, 0, false);
                    frame out = make_frame(f, width, 2, 0, 0, false);
                    for (int x = 0; x < width; ++x) {
                        put_pixel(in.img, x, 0, &px[(size_t)(4 * x)]);
                        put_pixel(in.img, x, 1, &ruled[(size_t)(4 * x)]);
                    }
                    const OfxRectI area{0, 0, width, 2};
                    for (render_backend b : backends()) {
                        render_coefficients(&in.img, &out.img, &area, coeffs, nullptr, nullptr, b);
                        for (int x = 0; x < width; ++x)
                            for (int c = 0; c < 3; ++c) {
                                const double got = raw_channel(out.img, x, 0, c);
                                EXPECT_TRUE(std::isfinite(got))
                                    << render_backend_name(b) << " form " << form << " mode "
                                    << mode << " pixel " << x;
                                // (A half holds no largest float to compare with.)
                                if (f == IMAGE_BGRA16F) continue;
                                EXPECT_EQ(got, raw_channel(out.img, x, 1, c))
                                    << render_backend_name(b) << " form " << form << " mode "
                                    << mode << " pixel " << x;
                            }
                    }
                    // The reference (and so the LUT) keeps the same rule.
                    std::vector<float> a = px, r = ruled;
                    reference_pixels(coeffs, a.data(), width);
                    reference_pixels(coeffs, r.data(), width);
                    for (size_t i = 0; i < a.size(); ++i) {
                        if (i % 4 == 3) continue;
                        EXPECT_TRUE(std::isfinite(a[i])) << "reference form " << form;
                        EXPECT_EQ(a[i], r[i]) << "reference form " << form;
                    }
                }
}

// The whole chain for every input form into the display curves, on code values 0 ... 1.
// Tolerance 1e-3; 3e-3 from PQ. The chain is ill-conditioned in places, and single
// precision is uncertain there, the reference's library functions included: decoding
// PQ near black subtracts nearly equal numbers and raises the difference to the 6.3rd
// power; a fitted matrix can make a small value out of large ones, which the steep
// square-root toe of HLG then magnifies. The stage tests above hold the tight bounds.
TEST(RenderReference, WholeChainEveryInputForm) {
    dense_frame d = dense_frame_of(0.0f, 1.0f);
    double worst_pq = 0.0;
    for (int in_form = 0; in_form < 8; ++in_form)
        for (int out_item : {2, 3, 6})
            for (int mode : {CORRECTION_MIX_CHANNELS, CORRECTION_DELTAE}) {
                parameters p = params_for(item_with_form(in_form), out_item, mode);
                adjust_tone(&p);
                float coeffs[COEFFICIENT_COUNT];
                set_coefficents(coeffs, &p);
                char what[64];
                std::snprintf(what, sizeof what, "input form %d to item %d mode %d", in_form,
                              out_item, mode);
                const comparison c = render_and_compare(coeffs, d.in, d.out, d.width, d.height,
                                                        in_form == 2 ? 3e-3 : 1e-3, what);
                EXPECT_EQ(c.nonfinite, 0) << what;
                if (in_form == 2)
                    worst_pq = std::fmax(worst_pq, c.worst);
                else
                    g_worst = std::fmax(g_worst, c.worst);
            }
    std::printf("render vs reference: largest difference %.3g of max(1, |v|); from PQ %.3g\n",
                g_worst, worst_pq);
}

// The camera-log defaults, the configuration the effect is mostly used in.
TEST(RenderReference, CameraLogDefaults) {
    const std::vector<float> px = dense_samples();
    const int width = (int)px.size() / 4;
    frame in = float_frame_of(px, width, 1);
    frame out = make_frame(IMAGE_RGBA32F, width, 1, 0, 0, false);
    parameters p = params_for(43, 3, CORRECTION_DELTAE);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    const comparison c = render_and_compare(coeffs, in, out, width, 1, 2e-4, "camera log");
    std::printf("camera log defaults: largest difference %.3g\n", c.worst);
}

// The tone curve's GAMMA power comes after highlight protection, as in the reference
// functions and the GPU kernels, so that a rendered frame and an exported LUT agree.
TEST(RenderReference, GammaPowerFollowsHighlightProtection) {
    std::vector<float> px = {1.6f,  0.9f, 0.2f, 1.0f, 2.0f, 2.0f, 2.0f, 1.0f,
                             0.95f, 0.5f, 1.2f, 1.0f, 0.3f, 0.3f, 0.3f, 1.0f};
    frame in = float_frame_of(px, 4, 1);
    frame out = make_frame(IMAGE_RGBA32F, 4, 1, 0, 0, false);
    parameters p = params_for(1, 1, CORRECTION_NONE);
    p.grays = 0.3f;
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    ASSERT_NE(coeffs[WV], 0.0f);
    ASSERT_NE(coeffs[GAMMA], 1.0f);
    render_and_compare(coeffs, in, out, 4, 1, 1e-4, "gamma after highlights");
}

// The perceptual route with a neutral tone curve and saturation skips its cube roots, as
// the middle of the route is then the identity, except in lanes where L would come out
// negative (cut to 0 by the tone curve) or the cones are infinite. Cone values around
// that boundary, next to ordinary ones in the same vectors, must still match the
// reference. Tolerance 5e-5, as for the correction stage.
TEST(RenderReference, PerceptualShortcutKeepsTheToneCurvesCutAtZero) {
    parameters p = params_for(1, 1, CORRECTION_DELTAE);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    ASSERT_EQ(coeffs[GAMMA], 1.0f);
    ASSERT_EQ(coeffs[AB_SCALE], 1.0f);
    ASSERT_EQ(coeffs[CONTRAST], 0.0f);
    // GAINS1 the identity: the cones are the (non-negative) pixels themselves, so that
    // cones no real colour makes (an S cone alone, where L < 0) reach the route.
    for (int k = 0; k < 9; ++k) coeffs[GAINS1_11 + k] = k % 4 == 0 ? 1.0f : 0.0f;
    const float cones[][3] = {{0.2f, 0.3f, 0.4f},    {0.0f, 0.0f, 1.0f},    {1e-9f, 0.0f, 1.0f},
                              {0.0f, 1.4e-7f, 1.0f}, {0.0f, 1.3e-7f, 1.0f}, {0.0f, 1e-3f, 1.0f},
                              {0.5f, 1e-8f, 0.5f},   {30.0f, 1.0f, 1.0f},   {0.0f, 0.0f, 0.0f},
                              {1.2f, 0.9f, 0.0f},    {0.0f, 0.0f, 40.0f}};
    const int count = (int)(sizeof cones / sizeof cones[0]);
    std::vector<float> px;
    for (int k = 0; k < 37; ++k) {
        const float* c = cones[(k * 5) % count];
        px.insert(px.end(), {c[0], c[1], c[2], 1.0f});
    }
    frame in = float_frame_of(px, 37, 1);
    frame out = make_frame(IMAGE_RGBA32F, 37, 1, 0, 0, false);
    for (bool hp : {false, true}) {
        coeffs[WV] = hp ? 1.0f : 0.0f;
        const comparison c = render_and_compare(coeffs, in, out, 37, 1, 5e-5, "cones at L = 0");
        EXPECT_EQ(c.nonfinite, 0);
    }
}

// Vectors whose every channel stays under the highlight level (with a margin for the
// luminance weights) skip highlight protection, which would give them back unchanged.
// Whole vectors of greys and colours from 0.8 to 1.2 times the level, where the margin
// ends and the protection starts, must match the reference. Tolerance 5e-5.
TEST(RenderReference, HighlightProtectionAroundItsLevel) {
    parameters p = params_for(1, 1, CORRECTION_DELTAE);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    ASSERT_GT(coeffs[WV], 0.0f);
    const float w = coeffs[WV];
    const int width = 32;  // a whole number of vectors of every width per level
    std::vector<float> px;
    int rows = 0;
    for (int step = 0; step <= 40; ++step, ++rows) {
        const float v = w * (0.8f + 0.01f * (float)step);
        for (int x = 0; x < width; ++x) {
            // Greys, and in the second half one channel at the level, the others lower.
            const float lo = x < width / 2 ? v : 0.5f * v;
            const int c = x % 3;
            px.insert(px.end(), {c == 0 ? v : lo, c == 1 ? v : lo, c == 2 ? v : lo, 1.0f});
        }
    }
    frame in = float_frame_of(px, width, rows);
    frame out = make_frame(IMAGE_RGBA32F, width, rows, 0, 0, false);
    render_and_compare(coeffs, in, out, width, rows, 5e-5, "around the highlight level");
}

// Every pixel format in and out (all channel orders, 8, 16 and 32 bits and half floats),
// on rows that start at odd addresses, with negative row bytes, and widths that are not a
// multiple of any vector. Integer outputs: within one code (tolerance 1 code); float: 2e-4.
TEST(RenderFormats, EveryFormatInAndOutOddWidthsOffsetsAndRowBytes) {
    const std::vector<float> px = dense_samples();
    parameters p = params_for(43, 3, CORRECTION_DELTAE);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    const int widths[3] = {1, 7, 37};
    int case_no = 0;
    for (int fi = 0; fi < IMAGE_FORMAT_COUNT; ++fi)
        for (int fo = 0; fo < IMAGE_FORMAT_COUNT; ++fo) {
            const int width = widths[case_no % 3];
            const int height = 5;
            const int offset = case_no % 4 == 1 ? 1 : case_no % 4 == 2 ? 6 : 0;
            const bool flip = case_no % 2 == 1;
            ++case_no;
            frame in = make_frame((imageFormat)fi, width, height, offset, 3 * (case_no % 3), flip);
            frame out =
                make_frame((imageFormat)fo, width, height, (offset + 3) % 7, case_no % 5, !flip);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    put_pixel(in.img, x, y,
                              &px[(size_t)(4 * ((y * 131 + x * 17) % (int)(px.size() / 4)))]);
            char what[64];
            std::snprintf(what, sizeof what, "%s -> %s", imageFormatStr((imageFormat)fi),
                          imageFormatStr((imageFormat)fo));
            render_and_compare(coeffs, in, out, width, height, 2e-4, what);
        }
}

// Large integer frames decode their codes through a table built by the same passes; it
// must give exactly the bytes that decoding each pixel gives (small areas decode
// directly). Every code of the format appears in the frame.
TEST(RenderFormats, DecodingTablesGiveTheSameBytesAsDecodingEachPixel) {
    parameters p = params_for(43, 3, CORRECTION_DELTAE);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    for (imageFormat f : {IMAGE_ARGB8, IMAGE_RGBA16, IMAGE_ARGB15}) {
        const bool eight = imageFormatBytes(f) == 4;
        const int width = eight ? 32 : 320, height = eight ? 32 : 205;
        frame in = make_frame(f, width, height, 0, 0, false);
        const int values = eight ? 4 * width * height : 4 * width * height / 2;
        for (int i = 0; i < values; ++i) {
            // An odd multiplier runs through every code once per 2^8 or 2^16 values.
            const int code = (int)(((unsigned)i * 40503u) & (eight ? 0xffu : 0xffffu));
            if (eight)
                in.memory[(size_t)i] = (char)(unsigned char)code;
            else
                std::memcpy(&in.memory[2 * (size_t)i], &code, 2);  // little-endian low half
        }
        for (render_backend b : backends()) {
            frame whole = make_frame(IMAGE_RGBA32F, width, height, 0, 0, false);
            frame rows = make_frame(IMAGE_RGBA32F, width, height, 0, 0, false);
            const OfxRectI all{0, 0, width, height};
            render_coefficients(&in.img, &whole.img, &all, coeffs, nullptr, nullptr, b);
            for (int y = 0; y < height; ++y) {
                const OfxRectI row{0, y, width, y + 1};
                render_coefficients(&in.img, &rows.img, &row, coeffs, nullptr, nullptr, b);
            }
            EXPECT_TRUE(whole.memory == rows.memory)
                << imageFormatStr(f) << ", backend " << render_backend_name(b);
        }
    }
}

TEST(RenderFormats, IntegerOutputsTruncateAndFloatOutputsKeepValuesAboveOne) {
    // Identity transform: linear in and out, no correction, no highlight protection.
    parameters p = params_for(1, 1, CORRECTION_IDENTITY);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    const std::vector<float> px = {0.9999f, 1.0f, 1.5f, 1.0f, -0.5f, 0.5f, 0.25f, 0.5f};
    frame in = float_frame_of(px, 2, 1);
    frame out8 = make_frame(IMAGE_RGBA8, 2, 1, 0, 0, false);
    frame outf = make_frame(IMAGE_RGBA32F, 2, 1, 0, 0, false);
    const OfxRectI area{0, 0, 2, 1};
    render_coefficients(&in.img, &out8.img, &area, coeffs, nullptr, nullptr);
    render_coefficients(&in.img, &outf.img, &area, coeffs, nullptr, nullptr);
    const auto* b = (const unsigned char*)out8.img.pixels;
    EXPECT_EQ(b[0], 254);
    EXPECT_EQ(b[1], 255);
    EXPECT_EQ(b[2], 255);
    EXPECT_EQ(b[4], 0);
    const auto* f = (const float*)(const void*)outf.img.pixels;
    EXPECT_EQ(f[2], 1.5f);
    EXPECT_EQ(f[4], 0.0f);
    // Alpha goes through every 8-bit and 16-bit code unchanged.
    for (imageFormat fmt : {IMAGE_RGBA8, IMAGE_ARGB15, IMAGE_RGBA16}) {
        const int codes = fmt == IMAGE_RGBA8 ? 256 : fmt == IMAGE_ARGB15 ? 32769 : 65536;
        frame a = make_frame(fmt, codes, 1, 0, 0, false);
        frame o = make_frame(fmt, codes, 1, 0, 0, false);
        const layout l = layout_of(fmt);
        for (int x = 0; x < codes; ++x) {
            char* q = pixel_at(a.img, x, 0);
            if (l.kind == 0)
                q[l.pos[3]] = (char)(unsigned char)x;
            else {
                const auto h = (uint16_t)x;
                std::memcpy(q + 2 * l.pos[3], &h, 2);
            }
        }
        const OfxRectI all{0, 0, codes, 1};
        render_coefficients(&a.img, &o.img, &all, coeffs, nullptr, nullptr);
        for (int x = 0; x < codes; ++x)
            ASSERT_EQ(raw_channel(o.img, x, 0, 3), x) << imageFormatStr(fmt);
    }
}

// ---- rectangle and callback rules ---------------------------------------------------

namespace {
int stop_after_first(void* user) {
    int* calls = static_cast<int*>(user);
    return ++*calls >= 1 ? 1 : 0;
}
int count_rows(void* user) {
    ++*static_cast<int*>(user);
    return 0;
}
}  // namespace

TEST(RenderRules, RectanglesAndCallbacks) {
    const int w = 9, h = 6;
    std::vector<float> px((size_t)(4 * w * h), 0.5f);
    frame in = float_frame_of(px, w, h);
    frame out = make_frame(IMAGE_RGBA32F, w, h, 0, 0, false);
    parameters p = params_for(1, 1, CORRECTION_NONE);
    p.exposure = 1.0f;
    p.preserve_lightness = false;
    p.white_balance = false;
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    const std::vector<char> untouched = out.memory;

    // An empty rectangle writes nothing and calls nothing.
    int calls = 0;
    OfxRectI empty{4, 0, 4, h};
    render_coefficients(&in.img, &out.img, &empty, coeffs, count_rows, &calls);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(out.memory == untouched);

    // A callback that stops after the first row leaves every later row untouched.
    OfxRectI all{0, 0, w, h};
    calls = 0;
    render_coefficients(&in.img, &out.img, &all, coeffs, stop_after_first, &calls);
    EXPECT_EQ(calls, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float v;
            std::memcpy(&v, pixel_at(out.img, x, y), 4);
            if (y == 0)
                EXPECT_NEAR(v, 1.0f, 1e-5);
            else
                EXPECT_EQ(0, std::memcmp(pixel_at(out.img, x, y), &untouched[0], 4));
        }

    // A sub-rectangle writes exactly its own pixels, at their own positions, once a row.
    out.memory = untouched;
    OfxRectI sub{2, 1, 7, 4};
    calls = 0;
    render_coefficients(&in.img, &out.img, &sub, coeffs, count_rows, &calls);
    EXPECT_EQ(calls, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = x >= 2 && x < 7 && y >= 1 && y < 4;
            float v;
            std::memcpy(&v, pixel_at(out.img, x, y), 4);
            if (inside)
                EXPECT_NEAR(v, 1.0f, 1e-5) << x << "," << y;
            else
                EXPECT_EQ(0, std::memcmp(pixel_at(out.img, x, y), &untouched[0], 4))
                    << x << "," << y;
        }

    // A rectangle reaching past the images is clipped to them.
    out.memory = untouched;
    OfxRectI past{-5, -5, w + 20, h + 20};
    render_coefficients(&in.img, &out.img, &past, coeffs, nullptr, nullptr);
    float last;
    std::memcpy(&last, pixel_at(out.img, w - 1, h - 1), 4);
    EXPECT_NEAR(last, 1.0f, 1e-5);
}

TEST(RenderRules, RenderFromParametersMatchesTheCoefficientForm) {
    const std::vector<float> px = dense_samples();
    const int width = (int)px.size() / 4;
    frame in = float_frame_of(px, width, 1);
    frame a = make_frame(IMAGE_RGBA32F, width, 1, 0, 0, false);
    frame b = make_frame(IMAGE_RGBA32F, width, 1, 0, 0, false);
    parameters p = params_for(43, 3, CORRECTION_DELTAE);
    const OfxRectI area{0, 0, width, 1};
    render(&in.img, &a.img, &area, nullptr, &p, nullptr, nullptr);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    render_coefficients(&in.img, &b.img, &area, coeffs, nullptr, nullptr);
    EXPECT_TRUE(a.memory == b.memory);
    // In place: the same buffer as input and output.
    frame c = float_frame_of(px, width, 1);
    render(&c.img, &c.img, &area, nullptr, &p, nullptr, nullptr);
    EXPECT_TRUE(c.memory == a.memory);
}
