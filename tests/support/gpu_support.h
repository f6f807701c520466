// What the GPU tests compare against: the CPU's trilinear interpolation of a 48-point table,
// and the CPU's range of a table node over colours a millionth away.
#pragma once

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "gpu/per_pixel_cpp.h"
#include "pipeline/image.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "tests/support/fit_support.h"

namespace gpu_support {

constexpr int N = 48;

// The effect's 48-point table of a parameters record, computed by the CPU.
inline std::vector<float> cpu_table(const parameters& p) {
    float c[COEFFICIENT_COUNT];
    set_coefficents(c, &p);
    std::vector<float> lut((size_t)(4 * N * N * N));
    LUT_generate(c, lut.data(), N);
    return lut;
}

// Settings the table kernels are checked with: both routes, every correction mode but one,
// log, display and HDR curves (PQ's foot among them).
inline std::vector<parameters> table_settings() {
    return {fit_support::params_for(2, 1, CORRECTION_DELTAE),
            fit_support::params_for(37, 43, CORRECTION_MIX_CHANNELS),
            fit_support::params_for(44, 48, CORRECTION_NONE),
            fit_support::params_for(6, 5, CORRECTION_PER_CHANNEL)};
}

// The table (48^3 RGBA floats, red fastest) interpolated at an RGB colour clamped to it;
// `spread`, when given, receives each channel's range over the eight nodes around it.
inline void cpu_lookup(const float* lut, const float* rgb, float* out, float* spread = nullptr) {
    float at[3];
    int i0[3], i1[3];
    for (int k = 0; k < 3; ++k) {
        at[k] = gpu_pixel::lut_coordinate(rgb[k]);
        i0[k] = (int)std::floor(at[k]);
        i1[k] = i0[k] < N - 1 ? i0[k] + 1 : N - 1;
        at[k] -= (float)i0[k];
    }
    for (int ch = 0; ch < 3; ++ch) {
        double v = 0;
        float lo = INFINITY, hi = -INFINITY;
        for (int c = 0; c < 8; ++c) {
            const int r = c & 1 ? i1[0] : i0[0], g = c & 2 ? i1[1] : i0[1];
            const int b = c & 4 ? i1[2] : i0[2];
            const double w = (c & 1 ? at[0] : 1 - at[0]) * (c & 2 ? at[1] : 1 - at[1]) *
                             (c & 4 ? at[2] : 1 - at[2]);
            const float node = lut[(size_t)(4 * (r + N * (g + N * b)) + ch)];
            v += w * node;
            lo = std::fmin(lo, node), hi = std::fmax(hi, node);
        }
        out[ch] = (float)v;
        if (spread) spread[ch] = hi - lo;
    }
}

// The CPU's range of a node channel over the node's colour moved by up to a millionth: a
// device whose exp or log differs in the last bit from the C library's lands inside it.
// (Near black an encoding such as PQ, x^0.16, turns such a bit into a visible step.)
inline void nearby_range(const float* c, int node, int ch, float* lo, float* hi) {
    const int r = node % N, g = node / N % N, b = node / (N * N);
    *lo = INFINITY, *hi = -INFINITY;
    for (int k = 0; k < 27; ++k) {
        const float d[3] = {(float)(k % 3 - 1), (float)(k / 3 % 3 - 1), (float)(k / 9 - 1)};
        float at[3] = {(float)r / 47.0f, (float)g / 47.0f, (float)b / 47.0f};
        for (int a = 0; a < 3; ++a) at[a] += d[a] * (1e-6f * at[a] + 1e-9f);
        const gpu_pixel::float4 v =
            gpu_pixel::evaluate_node(gpu_pixel::float4{at[0], at[1], at[2], 1.0f}, c);
        const float x = ch == 0 ? v.x : ch == 1 ? v.y : v.z;
        *lo = std::fmin(*lo, x), *hi = std::fmax(*hi, x);
    }
}

// Checks a device's table against the CPU's node by node: within `tolerance` (relative,
// at least 1) of the CPU's value, or of its nearby range. Returns the number of node
// channels that needed the range, or -1 with `why` set at the first that fails; `worst`
// receives the largest difference outside those.
inline int compare_tables(const float* coeffs, const std::vector<float>& ref,
                          const std::vector<float>& got, float tolerance, float* worst,
                          std::string* why) {
    int sensitive = 0;
    *worst = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        if (i % 4 == 3) {
            // The kernels write 1 for alpha; LUT_generate the curves' image of 1.
            if (got[i] != 1.0f) return *why = "alpha of node " + std::to_string(i / 4), -1;
            continue;
        }
        const float scale = std::fmax(1.0f, std::fabs(ref[i]));
        const float err = std::fabs(got[i] - ref[i]) / scale;
        if (err <= tolerance) {
            *worst = std::fmax(*worst, err);
            continue;
        }
        float lo, hi;
        nearby_range(coeffs, (int)(i / 4), (int)(i % 4), &lo, &hi);
        if (!(got[i] >= lo - tolerance * scale && got[i] <= hi + tolerance * scale)) {
            *why = "node " + std::to_string(i / 4) + " channel " + std::to_string(i % 4) + ": " +
                   std::to_string(got[i]) + " against " + std::to_string(ref[i]);
            return -1;
        }
        ++sensitive;
    }
    return sensitive;
}

// A frame for the apply kernels: every combination of channel values in and out of 0..1
// (with NaN and infinities) for R and G, B cycling through them, alpha varying; BGRA floats
// or half floats in rows of width + 5 pixels, the bytes past each row and past the frame
// filled with a pattern that the kernels must leave alone.
struct apply_frame {
    int width = 0, height = 0, pitch = 0, bpp = 0;
    bool halves = false;
    std::vector<char> bytes;   // as the device holds it
    std::vector<char> before;  // as it was handed over
    std::vector<float> in;     // RGBA as the kernel reads it
};

inline apply_frame make_apply_frame(bool halves) {
    std::vector<float> values;
    for (int i = 0; i <= 24; ++i) values.push_back(-0.1f + 1.2f * (float)i / 24.0f);
    const float inf = std::numeric_limits<float>::infinity();
    for (float x : {0.0f, 1.0f, 0.5f, -inf, inf, NAN, -0.0f, 1e-40f, 7.0f}) values.push_back(x);
    apply_frame f;
    const int n = (int)values.size();
    f.width = n * n, f.height = n, f.pitch = f.width + 5, f.bpp = halves ? 8 : 16;
    f.halves = halves;
    f.bytes.resize((size_t)(f.pitch * f.bpp * f.height) + 64);
    for (size_t i = 0; i < f.bytes.size(); ++i) f.bytes[i] = (char)(i * 7);
    f.in.resize((size_t)(4 * f.width * f.height));
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            float* p = &f.in[(size_t)(4 * (y * f.width + x))];
            p[0] = values[(size_t)y];
            p[1] = values[(size_t)(x % n)];
            p[2] = values[(size_t)((x / n + y) % n)];
            p[3] = 0.25f + (float)(x % 3);
            const float bgra[4] = {p[2], p[1], p[0], p[3]};
            char* d = &f.bytes[(size_t)((y * f.pitch + x) * f.bpp)];
            if (halves) {
                for (int k = 0; k < 4; ++k) {
                    const half h = float2half(bgra[k]);
                    std::memcpy(d + 2 * k, &h, 2);
                    p[k] = half2float(float2half(p[k]));  // what the kernel reads
                }
            } else {
                std::memcpy(d, bgra, 16);
            }
        }
    f.before = f.bytes;
    return f;
}

// The RGBA that the kernel left at a pixel.
inline void applied_pixel(const apply_frame& f, int x, int y, float* rgba) {
    const char* d = &f.bytes[(size_t)((y * f.pitch + x) * f.bpp)];
    float bgra[4];
    if (f.halves) {
        half h[4];
        std::memcpy(h, d, 8);
        for (int k = 0; k < 4; ++k) bgra[k] = half2float(h[k]);
    } else {
        std::memcpy(bgra, d, 16);
    }
    rgba[0] = bgra[2], rgba[1] = bgra[1], rgba[2] = bgra[0], rgba[3] = bgra[3];
}

// Whether every byte past the rows and past the frame is as it was.
inline bool outside_untouched(const apply_frame& f) {
    for (size_t at = 0; at < f.bytes.size(); ++at) {
        const int pixel = (int)(at / (size_t)f.bpp);
        const bool inside = pixel < f.pitch * f.height && pixel % f.pitch < f.width;
        if (!inside && f.bytes[at] != f.before[at]) return false;
    }
    return true;
}

}  // namespace gpu_support
