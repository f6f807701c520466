// The OpenCL kernels. The build turns this file into one source string, with the slot names
// and the shared per-pixel functions pasted in place of the two includes.
#pragma OPENCL FP_CONTRACT OFF

#define GPU_FN
#define GPU_COEFFS __constant float*
#define F4(x, y, z, w) ((float4)((x), (y), (z), (w)))

#include "pipeline/slots.h"
#include "gpu/per_pixel.h"

// One work item per table node: x = r, y = g + 48 * b.
__kernel void kernel_calcLUT(__write_only image2d_t lut, __constant float* coeffs) {
    const int x = (int)get_global_id(0);
    const int y = (int)get_global_id(1);
    if (x >= 48 || y >= 2304) return;
    const int r = x, g = y % 48, b = y / 48;
    const float4 p = F4((float)r / 47.0f, (float)g / 47.0f, (float)b / 47.0f, 1.0f);
    write_imagef(lut, (int2)(x, y), evaluate_node(p, coeffs));
}

// One work item per pixel of a BGRA frame (four floats, or four half floats when is16f):
// the table's value for the pixel's colour, trilinearly interpolated, in place; alpha kept.
// The sampler interpolates within a blue slice, the kernel between the two slices.
__kernel void kernel_applyLUT(__global float4* frame, int pitch, int is16f, int width, int height,
                              __read_only image2d_t lut, sampler_t lut_sampler) {
    const int x = (int)get_global_id(0);
    const int y = (int)get_global_id(1);
    if (x >= width || y >= height) return;
    const int i = y * pitch + x;
    const float4 in = is16f ? vload_half4(i, (__global half*)frame) : frame[i];
    const float u = lut_coordinate(in.z) + 0.5f;
    const float v = lut_coordinate(in.y) + 0.5f;
    const float s = lut_coordinate(in.x);
    const float s0 = floor(s);
    const float s1 = fmin(ceil(s), 47.0f);
    const float f = s - s0;
    const float4 a = read_imagef(lut, lut_sampler, (float2)(u, v + 48.0f * s0));
    const float4 b = read_imagef(lut, lut_sampler, (float2)(u, v + 48.0f * s1));
    const float4 t = a * (1.0f - f) + b * f;
    const float4 out = F4(t.z, t.y, t.x, in.w);
    if (is16f)
        vstore_half4_rtz(out, i, (__global half*)frame);
    else
        frame[i] = out;
}
