// The CUDA kernels and their launches. The kernels share the per-pixel functions with the
// OpenCL and Metal texts by including the same header; built with --fmad=false so that no
// multiply-add is fused, as everywhere else.
#include <cuda_fp16.h>
#include <cuda_runtime.h>

#include <cmath>

#include "gpu/cuda_bridge.h"
#include "gpu/per_pixel_cpp.h"

namespace {

constexpr int NODES = 48;

// One thread per table node (r, g, b); the table is a linear array, red fastest.
__global__ void kernel_calc_LUT_CUDA(float4* lut, const float* coeffs) {
    const int r = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    const int g = (int)(blockIdx.y * blockDim.y + threadIdx.y);
    const int b = (int)(blockIdx.z * blockDim.z + threadIdx.z);
    if (r >= NODES || g >= NODES || b >= NODES) return;
    const float4 p = make_float4((float)r / 47.0f, (float)g / 47.0f, (float)b / 47.0f, 1.0f);
    lut[r + NODES * (g + NODES * b)] = gpu_pixel::evaluate_node(p, coeffs);
}

// One thread per pixel: one filtered read of the 3-D table (LUT_tex, unnormalised
// coordinates, linear filtering, clamped), written back in BGRA order with the pixel's alpha.
__global__ void kernel_apply_LUT_CUDA(float4* frame, int pitch, int is16f, int width, int height,
                                      cudaTextureObject_t LUT_tex) {
    const int x = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    const int y = (int)(blockIdx.y * blockDim.y + threadIdx.y);
    if (x >= width || y >= height) return;
    const int i = y * pitch + x;
    float4 in;
    __half* h = reinterpret_cast<__half*>(frame) + 4 * i;
    if (is16f)
        in = make_float4(__half2float(h[0]), __half2float(h[1]), __half2float(h[2]),
                         __half2float(h[3]));
    else
        in = frame[i];
    const float4 t = tex3D<float4>(LUT_tex, gpu_pixel::lut_coordinate(in.z) + 0.5f,
                                   gpu_pixel::lut_coordinate(in.y) + 0.5f,
                                   gpu_pixel::lut_coordinate(in.x) + 0.5f);
    if (is16f) {
        h[0] = __float2half_rn(t.z);
        h[1] = __float2half_rn(t.y);
        h[2] = __float2half_rn(t.x);
        h[3] = __float2half_rn(in.w);
    } else {
        frame[i] = make_float4(t.z, t.y, t.x, in.w);
    }
}

int blocks(int n, int block) {
    return (n + block - 1) / block;
}

}  // namespace

bool cuda_launch_shapes(int32_t calc_block[3], int32_t apply_block[2]) {
    int grid = 0, b = 0;
    if (cudaOccupancyMaxPotentialBlockSize(&grid, &b, kernel_apply_LUT_CUDA, 0, 0) != cudaSuccess ||
        b <= 0)
        return false;
    int x = (int)std::sqrt((double)b);
    apply_block[0] = x;
    apply_block[1] = b / x;
    if (cudaOccupancyMaxPotentialBlockSize(&grid, &b, kernel_calc_LUT_CUDA, 0, 0) != cudaSuccess ||
        b <= 0)
        return false;
    // Two candidate shapes; the one that needs fewer blocks for the table wins.
    const int x1 = std::min(NODES, (int)std::sqrt((double)b));
    const int y1 = std::min(NODES, b / x1);
    const int z1 = std::max(1, b / (x1 * y1));
    const int x2 = std::min(NODES, b);
    const int y2 = std::max(1, std::min(NODES, b / x2));
    const int z2 = std::max(1, b / (x2 * y2));
    const int n1 = blocks(NODES, x1) * blocks(NODES, y1) * blocks(NODES, z1);
    const int n2 = blocks(NODES, x2) * blocks(NODES, y2) * blocks(NODES, z2);
    const bool first = n1 < n2;
    calc_block[0] = first ? x1 : x2;
    calc_block[1] = first ? y1 : y2;
    calc_block[2] = first ? z1 : z2;
    return true;
}

bool cuda_calc_LUT(const float* coeffs, float* host_lut, const int32_t calc_block[3]) {
    const size_t lut_bytes = (size_t)NODES * NODES * NODES * sizeof(float4);
    float4* lut = nullptr;
    float* c = nullptr;
    bool ok = cudaMalloc(&lut, lut_bytes) == cudaSuccess &&
              cudaMalloc(&c, COEFFICIENT_COUNT * sizeof(float)) == cudaSuccess &&
              cudaMemcpy(c, coeffs, COEFFICIENT_COUNT * sizeof(float), cudaMemcpyHostToDevice) ==
                  cudaSuccess;
    if (ok) {
        const dim3 block((unsigned)calc_block[0], (unsigned)calc_block[1], (unsigned)calc_block[2]);
        const dim3 grid((unsigned)blocks(NODES, calc_block[0]),
                        (unsigned)blocks(NODES, calc_block[1]),
                        (unsigned)blocks(NODES, calc_block[2]));
        kernel_calc_LUT_CUDA<<<grid, block>>>(lut, c);
        ok = cudaDeviceSynchronize() == cudaSuccess && cudaGetLastError() == cudaSuccess &&
             cudaMemcpy(host_lut, lut, lut_bytes, cudaMemcpyDeviceToHost) == cudaSuccess;
    }
    if (lut) cudaFree(lut);
    if (c) cudaFree(c);
    return ok;
}

bool cuda_apply_LUT(const float* host_lut, const int32_t apply_block[2], void* pixels,
                    const frame_geometry& g) {
    const cudaChannelFormatDesc channels = cudaCreateChannelDesc<float4>();
    const cudaExtent extent = make_cudaExtent(NODES, NODES, NODES);
    cudaArray_t array = nullptr;
    if (cudaMalloc3DArray(&array, &channels, extent) != cudaSuccess) return false;
    cudaMemcpy3DParms copy{};
    copy.srcPtr = make_cudaPitchedPtr(const_cast<float*>(host_lut), NODES * sizeof(float4), NODES,
                                      NODES);
    copy.dstArray = array;
    copy.extent = extent;
    copy.kind = cudaMemcpyHostToDevice;
    bool ok = cudaMemcpy3D(&copy) == cudaSuccess;
    cudaTextureObject_t LUT_tex = 0;
    if (ok) {
        cudaResourceDesc resource{};
        resource.resType = cudaResourceTypeArray;
        resource.res.array.array = array;
        cudaTextureDesc texture{};
        texture.addressMode[0] = texture.addressMode[1] = texture.addressMode[2] =
            cudaAddressModeClamp;
        texture.filterMode = cudaFilterModeLinear;
        texture.readMode = cudaReadModeElementType;
        texture.normalizedCoords = 0;
        ok = cudaCreateTextureObject(&LUT_tex, &resource, &texture, nullptr) == cudaSuccess;
    }
    if (ok) {
        const dim3 block((unsigned)apply_block[0], (unsigned)apply_block[1], 1);
        const dim3 grid((unsigned)blocks(g.width, apply_block[0]),
                        (unsigned)blocks(g.height, apply_block[1]), 1);
        kernel_apply_LUT_CUDA<<<grid, block>>>(static_cast<float4*>(pixels), g.pitch, g.is16f,
                                               g.width, g.height, LUT_tex);
        ok = cudaDeviceSynchronize() == cudaSuccess && cudaGetLastError() == cudaSuccess;
    }
    if (LUT_tex) cudaDestroyTextureObject(LUT_tex);
    cudaFreeArray(array);
    return ok;
}

bool cuda_copy_to_host(void* host, const void* device, size_t size) {
    return cudaMemcpy(host, device, size, cudaMemcpyDeviceToHost) == cudaSuccess;
}

bool cuda_device_present(std::string* name) {
    int count = 0;
    if (cudaGetDeviceCount(&count) != cudaSuccess || count < 1) return false;
    cudaDeviceProp prop{};
    if (cudaGetDeviceProperties(&prop, 0) != cudaSuccess) return false;
    if (name) *name = prop.name;
    return true;
}

void* cuda_alloc(size_t size) {
    void* p = nullptr;
    return cudaMalloc(&p, size) == cudaSuccess ? p : nullptr;
}

void cuda_free(void* device) {
    if (device) cudaFree(device);
}

bool cuda_copy_to_device(void* device, const void* host, size_t size) {
    return cudaMemcpy(device, host, size, cudaMemcpyHostToDevice) == cudaSuccess;
}

bool cuda_synchronise() {
    return cudaDeviceSynchronize() == cudaSuccess;
}
