// The CPU render driver: a whole frame corrected from a `parameters` record, with a
// vectorised row function chosen once per frame from the processor's features.
#pragma once

#include "pipeline/image.h"
#include "pipeline/parameters.h"

// Renders rows area->y1 ... area->y2 - 1, columns area->x1 ... area->x2 - 1 of `out` from
// the same pixels of `in` (both addressed relative to their own left/top). `scratch` may
// be null (the driver keeps its own working memory); `callback`, when given, is called
// after each row with `user` and a non-zero result stops the frame.
void render(const image* in, image* out, const OfxRectI* area, char* scratch, const parameters* p,
            int (*callback)(void*), void* user);

// Vector widths of the row function. RENDER_AUTO picks the widest the processor runs.
enum render_backend : int {
    RENDER_AUTO = 0,
    RENDER_PORTABLE = 1,  // plain C++, one pixel at a time through the same lane code
    RENDER_LANES4 = 2,    // four lanes (SSE2 on x86-64, NEON on arm64, else portable)
    RENDER_AVX2 = 3,      // eight lanes
    RENDER_AVX512 = 4,    // sixteen lanes
};
bool render_backend_available(render_backend b);
const char* render_backend_name(render_backend b);
render_backend render_backend_auto();

// As render, from a finished coefficient vector (not yet base-folded), on a chosen backend.
// The portable and four-lane backends write the same bits, and so do the AVX2 and AVX-512
// ones (which fuse multiply-adds); the two families differ in the last bits.
void render_coefficients(const image* in, image* out, const OfxRectI* area, const float* coeffs,
                         int (*callback)(void*), void* user, render_backend backend = RENDER_AUTO);

// Rewrites the exponential and logarithmic curve slots to base 2 (curves unchanged
// mathematically), so that the row function needs only fast log2 and exp2.
void render_fold_bases(float* coeffs);

// The fast approximations of the row function, one value at a time (bit-identical to
// the portable and four-lane backends): for sweep tests against the standard library.
float fast_log2(float v);
float fast_exp2(float y);
float fast_pow(float x, float a);
float fast_cbrt(float v);

// The same approximations over arrays, as a given backend computes them (y[i] = f(x[i])),
// so that every family's own arithmetic is swept too. FAST_POW_OUTPUT is the power of an
// output curve's segment above a positive cut, valid for normal numbers and infinity
// (and a != 0); for 0 < a <= 1 it is the table power (power_fit), with its band of
// exponents from 2^-14.
enum render_fast_op : int { FAST_LOG2, FAST_EXP2, FAST_POW, FAST_POW_OUTPUT, FAST_CBRT };
void render_fast_functions(render_backend b, render_fast_op op, const float* x, float* y, int n,
                           float a);
