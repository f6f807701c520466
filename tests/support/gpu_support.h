// What the GPU tests compare against: the CPU's trilinear interpolation of a 48-point table,
// and the CPU's range of a table node over colours a millionth away.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "gpu/per_pixel_cpp.h"

namespace gpu_support {

constexpr int N = 48;

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

}  // namespace gpu_support
