// Shared between the render driver and its per-instruction-set row functions: the frame's
// coefficients unpacked once into the form the row function reads, and one job of rows.
#pragma once

#include "pipeline/image.h"

struct render_curve {
    int form;      // 0-7; anything else is treated as 0
    float la, lb;  // levels: input before the curve, output after it
    float a, b, c, d, e, f, g, h, i;
    float cut, cut2;
    bool steep;  // an exponent of the curve's powers beyond +-4: the precise log2
    // Output form 1 only: `cut` is at least the smallest normal number, so the power is
    // only ever used on normal numbers or infinity (see make_setup).
    bool pow_normal;
    // With pow_normal: the levels are folded into b, c, e and f (la = 1, lb = 0), and
    // pow_in_range says 0 < a <= 1. Such a power, times b, is then evaluated as
    // pow_table[i] (1 + t Q(t)) for x = 2^(i - 127) (1 + t): see power_fit.
    bool pow_in_range;
    float pow_q[8];
    float pow_table[256];
    // pow_table[pow_band + 127 ...] for sixteen exponents from pow_band up (thirty-two
    // for sixteen lanes), for vectors whose lanes all fall there: a lookup within
    // registers.
    int pow_band;
    // Input form 4 only: the cut is positive, the linear segment gives at most 0 from
    // code 0 down (e >= 0, f <= 0), and the exponential is within range from the cut up
    // (c > 0, c cut + d >= -126). Clamping the levelled code at 0, and the exponential's
    // argument from below, then changes no result.
    bool idle_below;
};

struct render_setup {
    render_curve in, out;
    int perceptual;  // 0: RGB route, 1: cube-root route
    float g1[9], g2[9], g3[9], g4[9];
    float gy[3];
    float wv;  // highlight level, 0 = off
    // With every channel at most this, a pixel's luminance stays below `wv` and highlight
    // protection gives it back unchanged, so it may be skipped (-inf: never).
    float wv_quiet;
    float gamma, ab_scale;
    float contrast;              // stops; 2^(contrast * v) is exp(k * v) of the tone curve
    float c_low, c_high, c_off;  // contrast constants A, D and 1 - D * exp(-k)
    float blacks, whites;
    bool do_gamma, do_ab, do_contrast, do_blacks_whites;
    // Perceptual route with a neutral tone curve and saturation, and GAINS4 the inverse of
    // GAINS3: cube root, the two matrices and the cube then give back their input (up to
    // rounding) wherever L comes out non-negative, which holds when cone `lms_pos` times
    // `lms_ratio` is at least cone `lms_neg` (-1: always).
    bool lms_identity;
    int lms_pos, lms_neg;
    float lms_ratio;
};

struct render_job {
    const image* in;
    image* out;
    int x1, y1, x2, y2;  // already clipped to both images
    const render_setup* setup;
    int (*callback)(void*);
    void* user;
};

// x^a times b for normal x >= 0 and infinity, 0 < a <= 1, split by x = 2^(i - 127) (1 + t)
// (i the biased exponent, t in [0, 1)) into table[i] = b 2^(a (i - 127)), rounded once
// from double, and (1 + t)^a = 1 + t Q(t), Q of degree 7 interpolated at Chebyshev nodes
// (about 1e-7 relative): table[i] (1 + t Q(t)). x = 1 gives b exactly; table[255] is b
// times infinity, for x = infinity.
void power_fit(double a, double b, float q[8], float table[256]);

// Row functions, one per lane width, and the fast functions over arrays at that width.
void render_rows_portable(const render_job* job);
void render_rows_lanes4(const render_job* job);
void render_fast_lanes4(int op, const float* x, float* y, int n, float a);
#if defined(CHROMALANE_X86_BACKENDS)
void render_rows_avx2(const render_job* job);
void render_rows_avx512(const render_job* job);
void render_fast_avx2(int op, const float* x, float* y, int n, float a);
void render_fast_avx512(int op, const float* x, float* y, int n, float a);
#endif
