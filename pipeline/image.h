// One frame buffer of any supported pixel layout, independent of the host.
#pragma once

#include <cstdint>

enum imageFormat : int32_t {
    IMAGE_RGBA8 = 0,
    IMAGE_RGBA16 = 1,
    IMAGE_RGBA32F = 2,
    IMAGE_ARGB8 = 3,
    IMAGE_ARGB15 = 4,
    IMAGE_ARGB32F = 5,
    IMAGE_BGRA8 = 6,
    IMAGE_BGRA32F = 7,
    IMAGE_BGRA16F = 8,
};
constexpr int IMAGE_FORMAT_COUNT = 9;

struct image {
    uint8_t flag1;
    uint8_t flag2;
    imageFormat format;
    int32_t left, top, right, bottom;
    double scale_x, scale_y;
    double pixel_aspect;
    int32_t row_bytes;  // may be negative
    uint8_t owns_pixels;
    char* pixels;       // first pixel of row `top`
    void* host_handle;  // host object behind the pixels; null around caller memory
};

// Integer rectangle, right and bottom exclusive.
struct OfxRectI {
    int x1, y1, x2, y2;
};

struct OfxPointD {
    double x, y;
};

using half = uint16_t;

// Wraps caller memory as an RGBA32f image of width x height.
void makeImage(int width, int height, char* pixels, image* img);
const char* imageFormatStr(imageFormat format);
// Bytes per pixel of a format; 0 for an unknown one.
int imageFormatBytes(imageFormat format);

half float2half(float f);
float half2float(half h);
