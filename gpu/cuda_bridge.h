// What the GPU filter and the tests call of the CUDA part (gpu/filter_cuda.cu): plain
// functions, so that nothing but that file needs the CUDA headers. Each returns false on
// any CUDA error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A frame as the kernels see it.
struct frame_geometry {
    int32_t pitch;  // row length in pixels
    int32_t is16f;  // half floats (8 bytes a pixel) rather than floats (16)
    int32_t width;
    int32_t height;
};

// Block shapes of the two kernels for the current device, from the occupancy query.
bool cuda_launch_shapes(int32_t calc_block[3], int32_t apply_block[2]);
// The 48^3 table of a coefficient vector, computed on the device into `host_lut`
// (48^3 RGBA floats, red fastest).
bool cuda_calc_LUT(const float* coeffs, float* host_lut, const int32_t calc_block[3]);
// The table applied in place to a BGRA frame in device memory.
bool cuda_apply_LUT(const float* host_lut, const int32_t apply_block[2], void* pixels,
                    const frame_geometry& g);
bool cuda_copy_to_host(void* host, const void* device, size_t size);

// For tests and benchmarks: whether a device is present (with its name), and device memory.
bool cuda_device_present(std::string* name);
void* cuda_alloc(size_t size);
void cuda_free(void* device);
bool cuda_copy_to_device(void* device, const void* host, size_t size);
bool cuda_synchronise();
