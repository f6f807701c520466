#include "cards/sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

namespace {

constexpr int SRGB = 2;  // catalogue entry "sRGB"

// An image that owns its pixels, in any of the nine formats; written by the test's own
// encoder so that the readers are not checked against themselves.
struct test_image {
    std::vector<char> buffer;
    image img{};
};

test_image make_image(imageFormat format, int left, int top, int width, int height,
                      bool bottom_up = false) {
    test_image t;
    const int bytes = imageFormatBytes(format);
    const int stride = width * bytes + 8;  // padded rows
    t.buffer.assign(static_cast<size_t>(stride) * static_cast<size_t>(height) + 16, 0);
    t.img.format = format;
    t.img.left = left;
    t.img.top = top;
    t.img.right = left + width;
    t.img.bottom = top + height;
    t.img.scale_x = t.img.scale_y = t.img.pixel_aspect = 1.0;
    if (bottom_up) {
        // Row `top` is stored last, as in bottom-up host buffers.
        t.img.row_bytes = -stride;
        t.img.pixels = t.buffer.data() + static_cast<ptrdiff_t>(stride) * (height - 1);
    } else {
        t.img.row_bytes = stride;
        t.img.pixels = t.buffer.data();
    }
    return t;
}

template <typename T>
void poke(char* p, int index, T value) {
    std::memcpy(p + index * static_cast<int>(sizeof(T)), &value, sizeof(T));
}

void put(test_image& t, int x, int y, float r, float g, float b) {
    image& img = t.img;
    char* p = img.pixels + static_cast<ptrdiff_t>(img.row_bytes) * (y - img.top) +
              (x - img.left) * imageFormatBytes(img.format);
    auto q8 = [](float v) { return static_cast<uint8_t>(std::lround(v * 255.0f)); };
    auto q16 = [](float v) { return static_cast<uint16_t>(std::lround(v * 65535.0f)); };
    auto q15 = [](float v) { return static_cast<uint16_t>(std::lround(v * 32767.0f)); };
    switch (img.format) {
        case IMAGE_RGBA8:
            poke(p, 0, q8(r)), poke(p, 1, q8(g)), poke(p, 2, q8(b));
            break;
        case IMAGE_RGBA16:
            poke(p, 0, q16(r)), poke(p, 1, q16(g)), poke(p, 2, q16(b));
            break;
        case IMAGE_RGBA32F:
            poke(p, 0, r), poke(p, 1, g), poke(p, 2, b);
            break;
        case IMAGE_ARGB8:
            poke(p, 1, q8(r)), poke(p, 2, q8(g)), poke(p, 3, q8(b));
            break;
        case IMAGE_ARGB15:
            poke(p, 1, q15(r)), poke(p, 2, q15(g)), poke(p, 3, q15(b));
            break;
        case IMAGE_ARGB32F:
            poke(p, 1, r), poke(p, 2, g), poke(p, 3, b);
            break;
        case IMAGE_BGRA8:
            poke(p, 2, q8(r)), poke(p, 1, q8(g)), poke(p, 0, q8(b));
            break;
        case IMAGE_BGRA32F:
            poke(p, 2, r), poke(p, 1, g), poke(p, 0, b);
            break;
        case IMAGE_BGRA16F:
            poke(p, 2, float2half(r)), poke(p, 1, float2half(g)), poke(p, 0, float2half(b));
            break;
    }
}

// Largest read-back error of a value in 0-1 stored in each format.
float format_tolerance(imageFormat format) {
    switch (format) {
        case IMAGE_ARGB15:
            return 0.5f / 32767.0f + 1e-6f;
        case IMAGE_BGRA16F:
            return 1.0f / 2048.0f;
        default:
            return 1e-6f;
    }
}

// A picture of 8-bit steps, so that every format holds it (nearly) exactly.
void colour_at(int x, int y, float* r, float* g, float* b) {
    auto step = [](int n) { return static_cast<float>((n % 256 + 256) % 256) / 255.0f; };
    *r = step(x * 7 + y * 3);
    *g = step(x * 2 + y * 11 + 40);
    *b = step(x * 5 + y * 5 + 100);
}

test_image picture(imageFormat format, int left, int top, int width, int height,
                   bool bottom_up = false) {
    test_image t = make_image(format, left, top, width, height, bottom_up);
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            float r, g, b;
            colour_at(x, y, &r, &g, &b);
            put(t, x, y, r, g, b);
        }
    return t;
}

card_corners prepare(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                     float y3) {
    card_corners cc{};
    const float xs[4] = {x0, x1, x2, x3}, ys[4] = {y0, y1, y2, y3};
    for (int k = 0; k < 4; ++k) cc.x[k] = xs[k], cc.y[k] = ys[k];
    card_interpolate_init(&cc);
    return cc;
}

const imageFormat ALL_FORMATS[] = {IMAGE_RGBA8, IMAGE_RGBA16,  IMAGE_RGBA32F,
                                   IMAGE_ARGB8, IMAGE_ARGB15,  IMAGE_ARGB32F,
                                   IMAGE_BGRA8, IMAGE_BGRA32F, IMAGE_BGRA16F};

}  // namespace

TEST(Interpolation, RectangleMapsLinearly) {
    const card_corners cc = prepare(0, 0, 300, 0, 300, 200, 0, 200);
    for (float w : cc.w) EXPECT_EQ(w, 1.0f);
    EXPECT_EQ(cc.cx, 150.0f);
    EXPECT_EQ(cc.cy, 100.0f);
    for (float u = 0.0f; u <= 1.0f; u += 0.125f)
        for (float v = 0.0f; v <= 1.0f; v += 0.125f) {
            float x, y;
            card_interpolate_xy(&x, &y, &cc, u, v);
            EXPECT_NEAR(x, 300.0f * u, 1e-4f);
            EXPECT_NEAR(y, 200.0f * v, 1e-4f);
        }
}

TEST(Interpolation, CornersAndCentreOfQuadrilaterals) {
    const float quads[][8] = {
        {120, 40, 180, 40, 260, 200, 20, 200},          // trapezoid, top shorter
        {10, 10, 500, 60, 430, 380, 40, 300},           // general quadrilateral
        {1000, 700, 1800, 650, 1900, 1300, 950, 1200},  // frame-sized
        {50, 50, 52, 50, 52, 52, 50, 52},               // tiny
    };
    for (const auto& q : quads) {
        const card_corners cc = prepare(q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]);
        const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 4; ++k) {
            float x, y;
            card_interpolate_xy(&x, &y, &cc, uv[k][0], uv[k][1]);
            EXPECT_NEAR(x, q[2 * k], 1e-3f);
            EXPECT_NEAR(y, q[2 * k + 1], 1e-3f);
        }
        // The diagonals' crossing, solved independently: P0 + s (P2 - P0) = P1 + t (P3 - P1).
        const double ax = q[4] - q[0], ay = q[5] - q[1], bx = q[6] - q[2], by = q[7] - q[3];
        const double det = ax * (-by) - ay * (-bx);
        const double s = ((q[2] - q[0]) * (-by) - (q[3] - q[1]) * (-bx)) / det;
        const double cx = q[0] + s * ax, cy = q[1] + s * ay;
        EXPECT_NEAR(cc.cx, cx, 1e-3);
        EXPECT_NEAR(cc.cy, cy, 1e-3);
        float x, y;
        card_interpolate_xy(&x, &y, &cc, 0.5f, 0.5f);
        EXPECT_NEAR(x, cx, 2e-3);
        EXPECT_NEAR(y, cy, 2e-3);
    }
}

TEST(Interpolation, FollowsACameraProjection) {
    // A flat card tilted away from a pinhole camera: the image of card point (u, v).
    const double yaw = 0.5, pitch = -0.35, distance = 3.0, focal = 900.0;
    auto project = [&](double u, double v, double* x, double* y) {
        const double px = (u - 0.5) * 1.5, py = (v - 0.5);
        const double X = px * std::cos(yaw);
        const double Z0 = px * std::sin(yaw);
        const double Y = py * std::cos(pitch);
        const double Z = distance + Z0 + py * std::sin(pitch);
        *x = 960.0 + focal * X / Z;
        *y = 540.0 + focal * Y / Z;
    };
    double q[8];
    const double uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; ++k) project(uv[k][0], uv[k][1], &q[2 * k], &q[2 * k + 1]);
    const card_corners cc =
        prepare(static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]),
                static_cast<float>(q[3]), static_cast<float>(q[4]), static_cast<float>(q[5]),
                static_cast<float>(q[6]), static_cast<float>(q[7]));
    double worst = 0.0;
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 20; ++j) {
            const double u = i / 20.0, v = j / 20.0;
            double ex, ey;
            project(u, v, &ex, &ey);
            float x, y;
            card_interpolate_xy(&x, &y, &cc, static_cast<float>(u), static_cast<float>(v));
            worst = std::max(worst, std::hypot(x - ex, y - ey));
        }
    // Single-precision rounding only: patch centres land where the camera put them.
    EXPECT_LT(worst, 0.01);
}

TEST(Interpolation, DegenerateCornersStayFinite) {
    // Mirrored order (top right first): the centre is the corners' mean.
    const card_corners mirrored = prepare(300, 0, 0, 0, 0, 200, 300, 200);
    EXPECT_EQ(mirrored.cx, 150.0f);
    EXPECT_EQ(mirrored.cy, 100.0f);
    const card_corners point = prepare(7, 9, 7, 9, 7, 9, 7, 9);
    for (float u : {0.0f, 0.3f, 1.0f}) {
        float x, y;
        card_interpolate_xy(&x, &y, &point, u, 1.0f - u);
        EXPECT_EQ(x, 7.0f);
        EXPECT_EQ(y, 9.0f);
        card_interpolate_xy(&x, &y, &mirrored, u, 0.5f);
        EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
    }
}

TEST(PixelReader, EveryFormatReadsTheSamePicture) {
    for (imageFormat format : ALL_FORMATS) {
        for (bool bottom_up : {false, true}) {
            SCOPED_TRACE(imageFormatStr(format));
            const test_image t = picture(format, -3, 5, 17, 11, bottom_up);
            const float tol = format_tolerance(format);
            for (int y = 5; y < 16; ++y)
                for (int x = -3; x < 14; ++x) {
                    float r, g, b, er, eg, eb;
                    getRgb(&t.img, x, y, &r, &g, &b);
                    colour_at(x, y, &er, &eg, &eb);
                    ASSERT_NEAR(r, er, tol) << x << "," << y;
                    ASSERT_NEAR(g, eg, tol) << x << "," << y;
                    ASSERT_NEAR(b, eb, tol) << x << "," << y;
                }
        }
    }
    // An unknown format leaves the outputs alone.
    test_image t = picture(IMAGE_RGBA8, 0, 0, 2, 2);
    t.img.format = static_cast<imageFormat>(42);
    float r = -5.0f, g = -5.0f, b = -5.0f;
    getRgb(&t.img, 1, 1, &r, &g, &b);
    EXPECT_EQ(r, -5.0f);
    EXPECT_EQ(b, -5.0f);
}

TEST(BoxMean, AveragesOnlyPixelsInside) {
    const test_image t = picture(IMAGE_RGBA32F, 10, 20, 8, 6);
    auto mean = [&](int x0, int y0, int x1, int y1, float* r, float* g, float* b) {
        double sr = 0, sg = 0, sb = 0;
        int n = 0;
        for (int y = std::max(y0, 20); y < std::min(y1, 26); ++y)
            for (int x = std::max(x0, 10); x < std::min(x1, 18); ++x) {
                float pr, pg, pb;
                colour_at(x, y, &pr, &pg, &pb);
                sr += pr, sg += pg, sb += pb, ++n;
            }
        *r = n ? static_cast<float>(sr / n) : 0.0f;
        *g = n ? static_cast<float>(sg / n) : 0.0f;
        *b = n ? static_cast<float>(sb / n) : 0.0f;
    };
    const int boxes[][4] = {
        {11, 21, 15, 24},        // inside
        {15, 24, 11, 21},        // given in reverse
        {5, 15, 13, 23},         // over the top-left corner
        {16, 22, 40, 30},        // over the right and bottom edges
        {-100, -100, 100, 100},  // covering the whole image
    };
    for (const auto& box : boxes) {
        float r, g, b, er, eg, eb;
        getRgb_quick(&t.img, box[0], box[1], box[2], box[3], &r, &g, &b);
        mean(std::min(box[0], box[2]), std::min(box[1], box[3]), std::max(box[0], box[2]),
             std::max(box[1], box[3]), &er, &eg, &eb);
        EXPECT_NEAR(r, er, 1e-5f);
        EXPECT_NEAR(g, eg, 1e-5f);
        EXPECT_NEAR(b, eb, 1e-5f);
    }
    float r, g, b, er, eg, eb;
    // Exactly one pixel inside: that pixel.
    getRgb_quick(&t.img, 17, 25, 30, 30, &r, &g, &b);
    colour_at(17, 25, &er, &eg, &eb);
    EXPECT_EQ(r, er);
    EXPECT_EQ(g, eg);
    EXPECT_EQ(b, eb);
    // Wholly outside, or empty: black.
    for (const auto& box : {std::array<int, 4>{0, 0, 10, 20}, std::array<int, 4>{30, 20, 40, 26},
                            std::array<int, 4>{12, 21, 12, 25}}) {
        r = g = b = 9.0f;
        getRgb_quick(&t.img, box[0], box[1], box[2], box[3], &r, &g, &b);
        EXPECT_EQ(r, 0.0f);
        EXPECT_EQ(g, 0.0f);
        EXPECT_EQ(b, 0.0f);
    }
    // A box spanning the whole integer range costs no more than the image.
    getRgb_quick(&t.img, std::numeric_limits<int>::min(), std::numeric_limits<int>::min(),
                 std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), &r, &g, &b);
    mean(10, 20, 18, 26, &er, &eg, &eb);
    EXPECT_NEAR(r, er, 1e-5f);
}

TEST(AreaMean, WeightsColumnsAndRowsByTheirShare) {
    test_image t = make_image(IMAGE_RGBA32F, 0, 0, 8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            put(t, x, y, static_cast<float>(x), static_cast<float>(y), 1.0f);
    float r, g, b;
    // (2, 3)-(4, 3): columns 2, 3, 4 weigh 1 each, row 3 weighs 1.
    getRgb(&t.img, 2.0f, 3.0f, 4.0f, 3.0f, &r, &g, &b);
    EXPECT_FLOAT_EQ(r, 3.0f);
    EXPECT_FLOAT_EQ(g, 3.0f);
    EXPECT_FLOAT_EQ(b, 1.0f);
    // Two columns split linearly at the midpoint 2.5 + 0.2 = 2.7.
    getRgb(&t.img, 2.6f, 3.0f, 2.8f, 3.0f, &r, &g, &b);
    EXPECT_NEAR(r, 2.7f, 1e-5f);
    // Fractional ends: column 2 weighs 0.75, 3 and 4 weigh 1, 5 weighs 0.5.
    getRgb(&t.img, 2.25f, 1.0f, 4.5f, 1.0f, &r, &g, &b);
    EXPECT_NEAR(r, (2 * 0.75f + 3 + 4 + 5 * 0.5f) / 3.25f, 1e-5f);
    EXPECT_NEAR(g, 1.0f, 1e-6f);
    // Partly outside: only the pixels inside count; wholly outside or not finite: black.
    getRgb(&t.img, -3.0f, 0.0f, 1.0f, 0.0f, &r, &g, &b);
    EXPECT_NEAR(r, 0.5f, 1e-6f);  // columns 0 and 1 of -3 to 1
    getRgb(&t.img, 20.0f, 20.0f, 30.0f, 30.0f, &r, &g, &b);
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(b, 0.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    getRgb(&t.img, nan, 0.0f, 3.0f, 3.0f, &r, &g, &b);
    EXPECT_EQ(b, 0.0f);
    getRgb(&t.img, -inf, 0.0f, inf, 3.0f, &r, &g, &b);
    EXPECT_EQ(b, 0.0f);
    getRgb(&t.img, -1e30f, 2.0f, 1e30f, 2.0f, &r, &g, &b);
    EXPECT_NEAR(r, 3.5f, 1e-5f);  // every column inside weighs 1
}

TEST(CardRead, SamplesTenByTenBoxesAtThePatchCentres) {
    // A one-patch chart whose centre falls on pixel (10, 10) of a 100 x 100 card.
    const float rect[4] = {0, 1, 0, 1};
    const float outline[2] = {-1, -1};
    const reference_patch patch = {"only", {50, 0, 0}, rect, 0.1f, 0.1f, outline};
    const reference_card chart = {0,    1,  &patch, 96, {"a", "b", "c", "d"}, 0, 0, 0, 0,
                                  1.5f, 10, 10,     10};
    test_image t = make_image(IMAGE_RGBA32F, 0, 0, 40, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool in_box = x >= 5 && x < 15 && y >= 5 && y < 15;
            put(t, x, y, in_box ? 0.5f : 0.0f, in_box ? 0.25f : 1.0f, static_cast<float>(x) / 64);
        }
    const OfxPointD corners[4] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    card c{};
    c.ref = &chart;
    c.reference = 1;
    c.display_valid = 1;
    c.linear[0][1] = c.display[0][1] = 7.0f;  // beyond the patch count
    cardRead(&t.img, nullptr, corners, &c);
    EXPECT_EQ(c.display[0][0], 0.5f);
    EXPECT_EQ(c.display[1][0], 0.25f);
    EXPECT_FLOAT_EQ(c.display[2][0], 9.5f / 64);
    EXPECT_EQ(c.reference, 0);
    EXPECT_EQ(c.display_valid, 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(c.linear[k][0], c.display[k][0]);
    EXPECT_EQ(c.display[0][1], 7.0f);
    EXPECT_EQ(c.linear[0][1], 7.0f);

    // A patch wholly outside the image reads as black.
    const OfxPointD away[4] = {{500, 500}, {600, 500}, {600, 600}, {500, 600}};
    cardRead(&t.img, nullptr, away, &c);
    EXPECT_EQ(c.display[0][0], 0.0f);
    EXPECT_EQ(c.display[1][0], 0.0f);
    // Corners far beyond any integer position are handled as lying outside.
    const OfxPointD absurd[4] = {{-1e30, -1e30}, {1e30, -1e30}, {1e30, 1e30}, {-1e30, 1e30}};
    cardRead(&t.img, nullptr, absurd, &c);
    EXPECT_EQ(c.display[1][0], 0.0f);
}

TEST(CardRead, ClampsSamplesAndDecodesWithTheTransferFunction) {
    // Float frames carry highlights, negatives and the odd special value.
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[][3] = {{1.5f, -0.25f, 0.5f},
                                 {-inf, inf, std::numeric_limits<float>::quiet_NaN()},
                                 {-0.0f, std::numeric_limits<float>::denorm_min(), 1.0f}};
    const float expected[][3] = {{1.0f, 0.0f, 0.5f},
                                 {0.0f, 1.0f, 0.0f},
                                 {0.0f, std::numeric_limits<float>::denorm_min(), 1.0f}};
    const float rect[4] = {0, 1, 0, 1};
    const float outline[2] = {-1, -1};
    const reference_patch patch = {"only", {50, 0, 0}, rect, 0.5f, 0.5f, outline};
    const reference_card chart = {0,    1,  &patch, 96, {"a", "b", "c", "d"}, 0, 0, 0, 0,
                                  1.5f, 10, 10,     10};
    const transfer_function* tf = &TRANSFER_FUNCTION[SRGB];
    float coeffs[COEFFICIENT_COUNT] = {};
    set_coefficents_for_transfer_function(coeffs, 'i', tf);
    for (int s = 0; s < 3; ++s) {
        test_image t = make_image(IMAGE_ARGB32F, 0, 0, 20, 20);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                put(t, x, y, specials[s][0], specials[s][1], specials[s][2]);
        const OfxPointD corners[4] = {{0, 0}, {20, 0}, {20, 20}, {0, 20}};
        card c{};
        c.ref = &chart;
        cardRead(&t.img, tf, corners, &c);
        EXPECT_EQ(c.display_valid, 1);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(c.display[k][0], expected[s][k]) << s << " " << k;
            float linear = expected[s][k];
            apply_input_transfer(coeffs, &linear, 1);
            EXPECT_EQ(c.linear[k][0], linear) << s << " " << k;
        }
    }
}

TEST(CardRead, EveryFormatReadsTheSameChart) {
    // A ColorChecker drawn under perspective: every pixel takes the colour of the patch
    // under it, found by sampling each patch's cell densely through the interpolation.
    const reference_card* ref = refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const OfxPointD corners[4] = {{60, 40}, {330, 60}, {320, 250}, {40, 230}};
    card_corners cc{};
    for (int k = 0; k < 4; ++k) {
        cc.x[k] = static_cast<float>(corners[k].x);
        cc.y[k] = static_cast<float>(corners[k].y);
    }
    card_interpolate_init(&cc);
    auto patch_colour = [](int i, float* r, float* g, float* b) {
        *r = static_cast<float>(10 * i + 3) / 255.0f;
        *g = static_cast<float>(250 - 9 * i) / 255.0f;
        *b = static_cast<float>((i * 37) % 256) / 255.0f;
    };
    card first{};
    for (imageFormat format : ALL_FORMATS) {
        SCOPED_TRACE(imageFormatStr(format));
        test_image t = make_image(format, 0, 0, 360, 280);
        for (int i = 0; i < 24; ++i) {
            float r, g, b;
            patch_colour(i, &r, &g, &b);
            const reference_patch& p = ref->patches[i];
            for (float du = -1.0f / 15; du <= 1.0f / 15; du += 1.0f / 600)
                for (float dv = -1.0f / 10; dv <= 1.0f / 10; dv += 1.0f / 400) {
                    float x, y;
                    card_interpolate_xy(&x, &y, &cc, p.u + du, p.v + dv);
                    put(t, static_cast<int>(x), static_cast<int>(y), r, g, b);
                }
        }
        card c{};
        c.ref = ref;
        cardRead(&t.img, &TRANSFER_FUNCTION[SRGB], corners, &c);
        for (int i = 0; i < 24; ++i) {
            float r, g, b;
            patch_colour(i, &r, &g, &b);
            // Sums of 100 samples add a little single-precision rounding.
            const float tol = format_tolerance(format) + 4e-6f;
            EXPECT_NEAR(c.display[0][i], r, tol) << i;
            EXPECT_NEAR(c.display[1][i], g, tol) << i;
            EXPECT_NEAR(c.display[2][i], b, tol) << i;
        }
        if (format == IMAGE_RGBA8) first = c;
        for (int i = 0; i < 24; ++i)
            EXPECT_NEAR(c.linear[1][i], first.linear[1][i], 3 * format_tolerance(format)) << i;
    }
}

TEST(ScaleImage, ResamplesIntoEveryFormat) {
    // 2 x 2 blocks of one colour each: halving gives each block's colour.
    test_image src = make_image(IMAGE_RGBA32F, 4, 2, 16, 12);
    for (int y = 2; y < 14; ++y)
        for (int x = 4; x < 20; ++x) {
            const int bx = (x - 4) / 2, by = (y - 2) / 2;
            put(src, x, y, static_cast<float>(bx) / 8, static_cast<float>(by) / 8, 0.5f);
        }
    for (imageFormat format : ALL_FORMATS) {
        SCOPED_TRACE(imageFormatStr(format));
        test_image dst = make_image(format, 100, 200, 8, 6);
        scaleImage(&src.img, &dst.img);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                float r, g, b;
                getRgb(&dst.img, 100 + x, 200 + y, &r, &g, &b);
                // The area mean also takes in the next block's first column and row.
                const float fx = static_cast<float>(x), fy = static_cast<float>(y);
                const float er = (2.0f * fx + (x < 7 ? fx + 1.0f : fx)) / 3.0f / 8.0f;
                const float eg = (2.0f * fy + (y < 5 ? fy + 1.0f : fy)) / 3.0f / 8.0f;
                const float tol =
                    format == IMAGE_RGBA8 || format == IMAGE_ARGB8 || format == IMAGE_BGRA8
                        ? 1.0f / 255
                    : format == IMAGE_BGRA16F ? 1.0f / 1024
                                              : 1.0f / 32767;
                EXPECT_NEAR(r, er, tol) << x << "," << y;
                EXPECT_NEAR(g, eg, tol) << x << "," << y;
                EXPECT_NEAR(b, 0.5f, tol);
            }
    }
    // Out-of-range samples are clamped in integer formats, never wrapped.
    test_image bright = make_image(IMAGE_RGBA32F, 0, 0, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) put(bright, x, y, 3.0f, -2.0f, 0.25f);
    test_image small = make_image(IMAGE_ARGB8, 0, 0, 2, 2);
    scaleImage(&bright.img, &small.img);
    float r, g, b;
    getRgb(&small.img, 1, 1, &r, &g, &b);
    EXPECT_EQ(r, 1.0f);
    EXPECT_EQ(g, 0.0f);
    EXPECT_NEAR(b, 63.0f / 255, 1e-6f);
    EXPECT_EQ(static_cast<uint8_t>(small.img.pixels[0]), 255);  // opaque alpha
    // A destination without width is left alone.
    test_image none = make_image(IMAGE_RGBA8, 5, 5, 0, 3);
    scaleImage(&bright.img, &none.img);
    for (char byte : none.buffer) EXPECT_EQ(byte, 0);
}

TEST(ScaleImage, EveryPixelIsTheAreaMeanOfItsSpanAtAnySize) {
    // Same-size frames take a path of their own (each pixel the mean of a 2 x 2 block, from
    // the frame's rows in place when they are RGBA float); it and the general one must give the
    // area mean getRgb reads over each destination pixel's span. At the same size that mean's sums
    // are exact in double, so the bits must match; otherwise only up to the order the sums are
    // added in. The values span many octaves, so that a float sum would round where the double sum
    // does not.
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        const float unit = static_cast<float>(state >> 8) / 16777216.0f;
        return (state & 1) ? unit : unit * 1e-5f + 3.0f;
    };
    const int sizes[3][2] = {{37, 11}, {37, 7}, {20, 11}};
    for (imageFormat from : {IMAGE_RGBA32F, IMAGE_BGRA32F}) {
        test_image src = make_image(from, 3, 5, 37, 11, true);
        for (int y = 5; y < 16; ++y)
            for (int x = 3; x < 40; ++x) put(src, x, y, next(), next(), next());
        for (const auto& size : sizes)
            for (imageFormat format : {IMAGE_RGBA32F, IMAGE_BGRA32F}) {
                SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " " +
                             imageFormatStr(from) + " to " + imageFormatStr(format));
                const bool same = size[0] == 37 && size[1] == 11;
                const float tol = same ? 0.0f : 4e-6f;
                test_image dst = make_image(format, -4, 9, size[0], size[1]);
                scaleImage(&src.img, &dst.img);
                const float sx = 37.0f / static_cast<float>(size[0]);
                const float sy = 11.0f / static_cast<float>(size[1]);
                for (int y = 0; y < size[1]; ++y)
                    for (int x = 0; x < size[0]; ++x) {
                        float r, g, b, er, eg, eb;
                        getRgb(&dst.img, -4 + x, 9 + y, &r, &g, &b);
                        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
                        getRgb(&src.img, 3 + fx * sx, 5 + fy * sy, 3 + (fx + 1) * sx,
                               5 + (fy + 1) * sy, &er, &eg, &eb);
                        EXPECT_NEAR(r, er, tol) << x << "," << y;
                        EXPECT_NEAR(g, eg, tol) << x << "," << y;
                        EXPECT_NEAR(b, eb, tol) << x << "," << y;
                    }
            }
    }
}
