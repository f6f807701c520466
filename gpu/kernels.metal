#include <metal_stdlib>
using namespace metal;

// The Metal kernels. The build turns this file into one source string, with the slot names
// and the shared per-pixel functions pasted in place of the two includes. The library is
// built with fast math off, so that nothing is contracted or reordered.
#pragma METAL fp math_mode(safe)
#pragma METAL fp contract(off)

#define GPU_FN inline
#define GPU_COEFFS device float*
#define F4(x, y, z, w) float4((x), (y), (z), (w))

#include "pipeline/slots.h"
#include "gpu/per_pixel.h"

struct kernelvalues {
    int pitch;
    int is16f;
    uint width;
    uint height;
};

constexpr sampler LUT_sampler(coord::pixel, filter::linear, address::clamp_to_edge);

inline float4 read_float4(device float4* frame, int i, int is16f) {
    if (is16f) return float4(((device half4*)frame)[i]);
    return frame[i];
}

inline void write_float4(device float4* frame, int i, int is16f, float4 v) {
    if (is16f)
        ((device half4*)frame)[i] = half4(v);
    else
        frame[i] = v;
}

kernel void kernel_calcLUT(texture3d<float, access::write> lut [[texture(0)]],
                           device float* coeffs [[buffer(0)]],
                           uint3 position [[thread_position_in_grid]]) {
    if (position.x >= 48 || position.y >= 48 || position.z >= 48) return;
    const float4 p = float4(float(position.x) / 47.0f, float(position.y) / 47.0f,
                            float(position.z) / 47.0f, 1.0f);
    lut.write(evaluate_node(p, coeffs), position);
}

kernel void kernel_applyLUT(device float4* frame [[buffer(0)]],
                            constant kernelvalues& values [[buffer(1)]],
                            texture3d<float, access::sample> lut [[texture(0)]],
                            uint2 position [[thread_position_in_grid]]) {
    if (position.x >= values.width || position.y >= values.height) return;
    const int i = int(position.y) * values.pitch + int(position.x);
    const float4 in = read_float4(frame, i, values.is16f);
    const float3 at = float3(lut_coordinate(in.z), lut_coordinate(in.y), lut_coordinate(in.x));
    const float4 t = lut.sample(LUT_sampler, at + 0.5f);
    write_float4(frame, i, values.is16f, float4(t.z, t.y, t.x, in.w));
}
