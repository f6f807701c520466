// The GPU per-pixel functions as C++ (and CUDA): the same text the OpenCL and Metal kernels
// are built from, inside namespace gpu_pixel, so that tests check the kernels' formulas
// against the scalar reference on any machine, and the CUDA kernels share them.
#pragma once

#include <math.h>

#include "pipeline/slots.h"

#ifdef __CUDACC__
#define GPU_FN __host__ __device__ inline
#else
#define GPU_FN inline
#endif
#define GPU_COEFFS const float*

namespace gpu_pixel {

#ifdef __CUDACC__
using ::float4;
#define F4(x, y, z, w) make_float4((x), (y), (z), (w))
#else
struct float4 {
    float x, y, z, w;
};
#define F4(x, y, z, w) (float4{(x), (y), (z), (w)})
#endif

// The kernel languages' float functions, by their names there.
GPU_FN float exp(float x) {
    return ::expf(x);
}
GPU_FN float log(float x) {
    return ::logf(x);
}
GPU_FN float log10(float x) {
    return ::log10f(x);
}
GPU_FN float log2(float x) {
    return ::log2f(x);
}
GPU_FN float sqrt(float x) {
    return ::sqrtf(x);
}
// x^y for x >= 0 only: NaN for a negative (or NaN) base, as the kernel languages' powr.
GPU_FN float powr(float x, float y) {
    if (x > 0.0f) return ::powf(x, y);
    if (x == 0.0f) return y > 0.0f ? 0.0f : y < 0.0f ? HUGE_VALF : NAN;
    return NAN;
}

#include "gpu/per_pixel.h"

}  // namespace gpu_pixel
