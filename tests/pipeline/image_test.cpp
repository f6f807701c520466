#include "pipeline/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

uint32_t bits_of(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

float float_of(uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

TEST(Image, FormatNamesAndSizes) {
    const char* names[] = {"RGBA8",   "RGBA16", "RGBA32f", "ARGB8",  "ARGB15",
                           "ARGB32f", "BGRA8",  "BGRA32f", "BGRA16f"};
    const int bytes[] = {4, 8, 16, 4, 8, 16, 4, 16, 8};
    for (int k = 0; k < IMAGE_FORMAT_COUNT; ++k) {
        EXPECT_STREQ(imageFormatStr(static_cast<imageFormat>(k)), names[k]);
        EXPECT_EQ(imageFormatBytes(static_cast<imageFormat>(k)), bytes[k]);
    }
    for (int bad : {-1, 9, 1000}) {
        EXPECT_STREQ(imageFormatStr(static_cast<imageFormat>(bad)), "?");
        EXPECT_EQ(imageFormatBytes(static_cast<imageFormat>(bad)), 0);
    }
}

TEST(Image, MakeImageWrapsCallerMemory) {
    float pixels[3 * 2 * 4];
    image img;
    std::memset(&img, 0xab, sizeof img);
    makeImage(3, 2, reinterpret_cast<char*>(pixels), &img);
    EXPECT_EQ(img.flag1, 1);
    EXPECT_EQ(img.flag2, 1);
    EXPECT_EQ(img.format, IMAGE_RGBA32F);
    EXPECT_EQ(img.left, 0);
    EXPECT_EQ(img.top, 0);
    EXPECT_EQ(img.right, 3);
    EXPECT_EQ(img.bottom, 2);
    EXPECT_EQ(img.scale_x, 1.0);
    EXPECT_EQ(img.scale_y, 1.0);
    EXPECT_EQ(img.pixel_aspect, 1.0);
    EXPECT_EQ(img.row_bytes, 48);
    EXPECT_EQ(img.owns_pixels, 0);
    EXPECT_EQ(img.pixels, reinterpret_cast<char*>(pixels));
    EXPECT_EQ(img.host_handle, nullptr);
}

TEST(Half, KnownValues) {
    EXPECT_EQ(float2half(1.0f), 0x3c00);
    EXPECT_EQ(float2half(0.5f), 0x3800);
    EXPECT_EQ(float2half(-2.0f), 0xc000);
    EXPECT_EQ(float2half(65504.0f), 0x7bff);
    EXPECT_EQ(float2half(6.103515625e-5f), 0x0400);  // smallest normal half
    // The dropped mantissa bits truncate toward zero, on both signs.
    EXPECT_EQ(float2half(1.0f + 1.0f / 1024.0f), 0x3c01);
    EXPECT_EQ(float2half(std::nextafter(1.0f + 1.0f / 1024.0f, 1.0f)), 0x3c00);
    EXPECT_EQ(float2half(-std::nextafter(2.0f, 1.0f)), 0xbfff);
    EXPECT_EQ(half2float(float2half(1.0f)), 1.0f);
    EXPECT_EQ(half2float(0x3555), 0.333251953125f);
}

// In the normal range the conversion is the plain bit move: mantissa truncated to its top
// ten bits, exponent re-biased by 112, sign kept.
TEST(Half, NormalRangeIsBitExact) {
    for (uint32_t exponent = 113; exponent <= 142; ++exponent) {
        for (uint32_t m = 0; m < (1u << 23); m += 4099) {
            for (uint32_t sign : {0u, 1u}) {
                const uint32_t b = (sign << 31) | (exponent << 23) | m;
                const auto expected =
                    static_cast<half>((sign << 15) | ((exponent - 112) << 10) | (m >> 13));
                ASSERT_EQ(float2half(float_of(b)), expected) << std::hex << b;
            }
        }
    }
    for (uint32_t h = 0; h < 0x10000; ++h) {
        const uint32_t exponent = (h >> 10) & 0x1f;
        if (exponent == 0 || exponent == 31) continue;
        const float f = half2float(static_cast<half>(h));
        const uint32_t expected =
            ((h & 0x8000u) << 16) | ((exponent + 112) << 23) | ((h & 0x3ffu) << 13);
        ASSERT_EQ(bits_of(f), expected) << std::hex << h;
        ASSERT_EQ(float2half(f), h);
    }
}

TEST(Half, OutsideTheNormalRange) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float denormal = std::numeric_limits<float>::denorm_min();
    struct row {
        float in;
        half out;
    };
    const row rows[] = {
        {0.0f, 0x0000},     {1e-6f, 0x0000}, {-1e-6f, 0x8000}, {6.1e-5f, 0x0000},
        {65520.0f, 0x7bff}, {1e6f, 0x7bff},  {-1e6f, 0xfbff},  {3e38f, 0x7bff},
        {-inf, 0xfc00},     {inf, 0x7c00},   {-0.0f, 0x8000},  {denormal, 0x0000},
    };
    for (const row& r : rows) EXPECT_EQ(float2half(r.in), r.out) << r.in;

    const half h_nan = float2half(nan);
    EXPECT_EQ(h_nan & 0x7c00, 0x7c00);
    EXPECT_NE(h_nan & 0x03ff, 0);
    EXPECT_TRUE(std::isnan(half2float(h_nan)));
    // A NaN whose payload lies only in the dropped bits must not turn into infinity.
    EXPECT_TRUE(std::isnan(half2float(float2half(float_of(0x7f800001u)))));

    EXPECT_EQ(bits_of(half2float(0x0000)), 0x00000000u);
    EXPECT_EQ(bits_of(half2float(0x8000)), 0x80000000u);
    EXPECT_EQ(half2float(0x0001), 0.0f);  // subnormal halves read as zero
    EXPECT_TRUE(std::signbit(half2float(0x83ff)));
    EXPECT_EQ(half2float(0x83ff), 0.0f);
    EXPECT_EQ(half2float(0x7c00), inf);
    EXPECT_EQ(half2float(0xfc00), -inf);
    EXPECT_TRUE(std::isnan(half2float(0x7e00)));
    EXPECT_TRUE(std::isnan(half2float(0xfc01)));
}

}  // namespace
