// The kernel source texts, built from gpu/kernels.cl and gpu/kernels.metal with the shared
// per-pixel functions pasted in, and compiled on the user's device at first use.
#pragma once

extern const char* const OPENCL_KERNEL_SOURCE;
extern const char* const METAL_KERNEL_SOURCE;

// Build options of the OpenCL program: division and square root correctly rounded, as on
// the CPU (OpenCL otherwise allows a few units in the last place), since an encoding curve
// such as PQ turns a difference in the last bit of a channel near 0 into a visible one.
#define OPENCL_BUILD_OPTIONS "-cl-fp32-correctly-rounded-divide-sqrt"
