#include "pipeline/image.h"

#include <cstring>

void makeImage(int width, int height, char* pixels, image* img) {
    img->flag1 = 1;
    img->flag2 = 1;
    img->format = IMAGE_RGBA32F;
    img->left = 0;
    img->top = 0;
    img->right = width;
    img->bottom = height;
    img->scale_x = 1.0;
    img->scale_y = 1.0;
    img->pixel_aspect = 1.0;
    img->row_bytes = width * 16;
    img->owns_pixels = 0;
    img->pixels = pixels;
    img->host_handle = nullptr;
}

const char* imageFormatStr(imageFormat format) {
    switch (format) {
        case IMAGE_RGBA8:
            return "RGBA8";
        case IMAGE_RGBA16:
            return "RGBA16";
        case IMAGE_RGBA32F:
            return "RGBA32f";
        case IMAGE_ARGB8:
            return "ARGB8";
        case IMAGE_ARGB15:
            return "ARGB15";
        case IMAGE_ARGB32F:
            return "ARGB32f";
        case IMAGE_BGRA8:
            return "BGRA8";
        case IMAGE_BGRA32F:
            return "BGRA32f";
        case IMAGE_BGRA16F:
            return "BGRA16f";
    }
    return "?";
}

int imageFormatBytes(imageFormat format) {
    switch (format) {
        case IMAGE_RGBA8:
        case IMAGE_ARGB8:
        case IMAGE_BGRA8:
            return 4;
        case IMAGE_RGBA16:
        case IMAGE_ARGB15:
        case IMAGE_BGRA16F:
            return 8;
        case IMAGE_RGBA32F:
        case IMAGE_ARGB32F:
        case IMAGE_BGRA32F:
            return 16;
    }
    return 0;
}

// In the normal half range both conversions are pure bit moves: the mantissa is truncated
// (rounding toward zero) and the exponent re-biased by 112. Outside it the bare bit moves
// would wrap the exponent (0.0 would become 2.0), so zero and subnormals become signed
// zero, overflow saturates to the largest finite half, and infinities and NaN are kept.
half float2half(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const uint32_t exponent = (bits >> 23) & 0xffu;
    const uint32_t mantissa = (bits >> 13) & 0x3ffu;
    if (exponent == 0xffu) {
        // Infinity keeps a zero mantissa; NaN keeps a non-zero (quiet) one.
        const uint32_t nan = (bits & 0x7fffffu) ? (0x200u | mantissa) : 0u;
        return static_cast<half>(sign | 0x7c00u | nan);
    }
    if (exponent < 113u) return static_cast<half>(sign);
    if (exponent > 142u) return static_cast<half>(sign | 0x7bffu);
    return static_cast<half>(sign | ((exponent - 112u) << 10) | mantissa);
}

float half2float(half h) {
    const uint32_t sign = static_cast<uint32_t>(h & 0x8000u) << 16;
    const uint32_t exponent = (h >> 10) & 0x1fu;
    const uint32_t mantissa = static_cast<uint32_t>(h & 0x3ffu) << 13;
    uint32_t bits;
    if (exponent == 0u)
        bits = sign;
    else if (exponent == 31u)
        bits = sign | 0x7f800000u | mantissa;
    else
        bits = sign | ((exponent + 112u) << 23) | mantissa;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
