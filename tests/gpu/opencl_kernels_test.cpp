// The OpenCL kernels on the machine's OpenCL device (PoCL runs them on the processor):
// kernel_calcLUT against LUT_generate node by node, kernel_applyLUT against the CPU's
// trilinear interpolation of the same table. The program is built once for the binary.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "gpu/kernel_sources.h"
#include "gpu/opencl.h"
#include "gpu/per_pixel_cpp.h"
#include "headless/gpu_host.h"
#include "pipeline/image.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "tests/support/fit_support.h"
#include "tests/support/gpu_support.h"

namespace {

constexpr int N = 48;

struct opencl_fixture : ::testing::Test {
    static headless_gpu_device device;
    static cl_program program;
    static std::string failure;

    static void SetUpTestSuite() {
        if (!headless_gpu_open(&device, 0, PrGPUDeviceFramework_OpenCL, &failure)) return;
        const opencl_api& cl = *device.cl;
        cl_int err = CL_SUCCESS;
        program = cl.clCreateProgramWithSource(
            device.context, 1, const_cast<const char**>(&OPENCL_KERNEL_SOURCE), nullptr, &err);
        if (err == CL_SUCCESS)
            err = cl.clBuildProgram(program, 1, &device.device, OPENCL_BUILD_OPTIONS, nullptr,
                                    nullptr);
        if (err != CL_SUCCESS) {
            char log[8192] = {};
            if (program)
                cl.clGetProgramBuildInfo(program, device.device, CL_PROGRAM_BUILD_LOG,
                                         sizeof log - 1, log, nullptr);
            failure = std::string("the kernels do not build: ") + log;
        }
    }
    static void TearDownTestSuite() {
        if (program) device.cl->clReleaseProgram(program);
        program = nullptr;
        if (device.cl) headless_gpu_close(&device);
    }
    void SetUp() override { ASSERT_TRUE(failure.empty()) << failure; }

    const opencl_api& cl() const { return *device.cl; }

    cl_kernel kernel(const char* name) {
        cl_int err = CL_SUCCESS;
        cl_kernel k = cl().clCreateKernel(program, name, &err);
        EXPECT_EQ(err, CL_SUCCESS) << name;
        return k;
    }

    // A 48 x 2304 RGBA float image, optionally filled from a table in LUT_generate's layout.
    cl_mem table_image(const float* lut) {
        const cl_image_format format{CL_RGBA, CL_FLOAT};
        cl_image_desc desc{};
        desc.image_type = CL_MEM_OBJECT_IMAGE2D;
        desc.image_width = N;
        desc.image_height = N * N;
        cl_int err = CL_SUCCESS;
        cl_mem m =
            cl().clCreateImage(device.context, CL_MEM_READ_WRITE | (lut ? CL_MEM_COPY_HOST_PTR : 0),
                               &format, &desc, const_cast<float*>(lut), &err);
        EXPECT_EQ(err, CL_SUCCESS);
        return m;
    }

    std::vector<float> calc_table(const float* coeffs) {
        cl_mem image = table_image(nullptr);
        cl_int err = CL_SUCCESS;
        cl_mem buffer = cl().clCreateBuffer(device.context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR,
                                            COEFFICIENT_COUNT * sizeof(float),
                                            const_cast<float*>(coeffs), &err);
        EXPECT_EQ(err, CL_SUCCESS);
        cl_kernel k = kernel("kernel_calcLUT");
        cl().clSetKernelArg(k, 0, sizeof image, &image);
        cl().clSetKernelArg(k, 1, sizeof buffer, &buffer);
        const size_t global[2] = {N, N * N};
        EXPECT_EQ(cl().clEnqueueNDRangeKernel(device.queue, k, 2, nullptr, global, nullptr, 0,
                                              nullptr, nullptr),
                  CL_SUCCESS);
        std::vector<float> table((size_t)(4 * N * N * N));
        const size_t origin[3] = {0, 0, 0}, region[3] = {N, N * N, 1};
        EXPECT_EQ(cl().clEnqueueReadImage(device.queue, image, CL_TRUE, origin, region, 0, 0,
                                          table.data(), 0, nullptr, nullptr),
                  CL_SUCCESS);
        cl().clReleaseKernel(k);
        cl().clReleaseMemObject(buffer);
        cl().clReleaseMemObject(image);
        return table;
    }

    // Runs kernel_applyLUT over a frame of `pitch`-long rows of BGRA pixels (floats or
    // half floats, as raw bytes), `width` x `height` of them inside.
    void apply(const float* lut, std::vector<char>& frame, int pitch, bool half_float, int width,
               int height, size_t global_x, size_t global_y) {
        cl_mem image = table_image(lut);
        cl_int err = CL_SUCCESS;
        cl_mem buffer =
            cl().clCreateBuffer(device.context, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR,
                                frame.size(), frame.data(), &err);
        ASSERT_EQ(err, CL_SUCCESS);
        cl_sampler sampler = cl().clCreateSampler(device.context, CL_FALSE,
                                                  CL_ADDRESS_CLAMP_TO_EDGE, CL_FILTER_LINEAR, &err);
        ASSERT_EQ(err, CL_SUCCESS);
        cl_kernel k = kernel("kernel_applyLUT");
        const cl_int args[4] = {pitch, half_float ? 1 : 0, width, height};
        cl().clSetKernelArg(k, 0, sizeof buffer, &buffer);
        for (cl_uint a = 0; a < 4; ++a) cl().clSetKernelArg(k, 1 + a, sizeof(cl_int), &args[a]);
        cl().clSetKernelArg(k, 5, sizeof image, &image);
        cl().clSetKernelArg(k, 6, sizeof sampler, &sampler);
        const size_t global[2] = {global_x, global_y};
        EXPECT_EQ(cl().clEnqueueNDRangeKernel(device.queue, k, 2, nullptr, global, nullptr, 0,
                                              nullptr, nullptr),
                  CL_SUCCESS);
        EXPECT_EQ(cl().clEnqueueReadBuffer(device.queue, buffer, CL_TRUE, 0, frame.size(),
                                           frame.data(), 0, nullptr, nullptr),
                  CL_SUCCESS);
        cl().clReleaseKernel(k);
        cl().clReleaseSampler(sampler);
        cl().clReleaseMemObject(buffer);
        cl().clReleaseMemObject(image);
    }
};
headless_gpu_device opencl_fixture::device;
cl_program opencl_fixture::program = nullptr;
std::string opencl_fixture::failure;

}  // namespace

TEST_F(opencl_fixture, CalcLutMatchesLutGenerateNodeByNode) {
    // A device's exp, log and pow may differ from the C library's by a few units in the
    // last place: a node stays within 2e-5 (relative, at least 1) of the CPU's value, or of
    // the CPU's range over colours within a millionth of the node's.
    const float tolerance = 2e-5f;
    for (const parameters& p : gpu_support::table_settings()) {
        float c[COEFFICIENT_COUNT];
        set_coefficents(c, &p);
        const std::vector<float> ref = gpu_support::cpu_table(p);
        const std::vector<float> got = calc_table(c);
        float worst = 0;
        std::string why;
        const int sensitive = gpu_support::compare_tables(c, ref, got, tolerance, &worst, &why);
        ASSERT_GE(sensitive, 0) << why;
        std::printf(
            "kinds %d -> %d, mode %d: largest node difference %.3g, %d sensitive "
            "node channels, on %s\n",
            p.input_transfer.kind, p.output_transfer.kind, p.mode, (double)worst, sensitive,
            device.name.c_str());
    }
}

TEST_F(opencl_fixture, ApplyLutInterpolatesAsTheCpuOnFloatAndHalfFrames) {
    const std::vector<float> lut =
        gpu_support::cpu_table(fit_support::params_for(37, 1, CORRECTION_DELTAE));
    for (bool halves : {false, true}) {
        gpu_support::apply_frame f = gpu_support::make_apply_frame(halves);
        // A launch larger than the frame: items outside it must do nothing.
        apply(lut.data(), f.bytes, f.pitch, halves, f.width, f.height, (size_t)f.width + 13,
              (size_t)f.height + 3);
        ASSERT_TRUE(gpu_support::outside_untouched(f));
        float worst = 0;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const float* p = &f.in[(size_t)(4 * (y * f.width + x))];
                float want[3], got[4];
                gpu_support::cpu_lookup(lut.data(), p, want);
                gpu_support::applied_pixel(f, x, y, got);
                for (int k = 0; k < 3; ++k) {
                    ASSERT_TRUE(std::isfinite(got[k])) << x << "," << y;
                    // Half results are rounded toward zero: within one half step below
                    // (below the normal half range, 6.1e-5, a result may flush to 0).
                    const float step = halves ? std::fabs(want[k]) / 1024.0f + 6.2e-5f : 0.0f;
                    const float err = std::fabs(got[k] - want[k]);
                    ASSERT_LE(err, 2e-5f + step) << "pixel " << x << "," << y << " channel " << k
                                                 << ": " << got[k] << " against " << want[k];
                    if (halves) {
                        ASSERT_LE(std::fabs(got[k]), std::fabs(want[k]) + 2e-5f);
                    }
                    worst = std::fmax(worst, err);
                }
                ASSERT_EQ(got[3], p[3]) << "alpha at " << x << "," << y;
            }
        std::printf("%s frame: largest difference from the CPU interpolation %.3g\n",
                    halves ? "half" : "float", (double)worst);
    }
}

TEST_F(opencl_fixture, IdentityTableLeavesPixelsInRangeAndClampsTheRest) {
    std::vector<float> lut((size_t)(4 * N * N * N));
    for (int b = 0; b < N; ++b)
        for (int g = 0; g < N; ++g)
            for (int r = 0; r < N; ++r) {
                float* p = &lut[(size_t)(4 * (r + N * (g + N * b)))];
                p[0] = (float)r / 47.0f, p[1] = (float)g / 47.0f, p[2] = (float)b / 47.0f;
                p[3] = 1.0f;
            }
    const float px[][3] = {{0, 0, 0}, {1, 1, 1}, {0.3f, 0.6f, 0.9f}, {-2, 3, 0.5f}};
    const float want[][3] = {{0, 0, 0}, {1, 1, 1}, {0.3f, 0.6f, 0.9f}, {0, 1, 0.5f}};
    std::vector<char> frame(4 * 16);
    for (int i = 0; i < 4; ++i) {
        const float bgra[4] = {px[i][2], px[i][1], px[i][0], 0.5f};
        std::memcpy(&frame[(size_t)(16 * i)], bgra, 16);
    }
    apply(lut.data(), frame, 4, false, 4, 1, 4, 1);
    for (int i = 0; i < 4; ++i) {
        float got[4];
        std::memcpy(got, &frame[(size_t)(16 * i)], 16);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[2 - k], want[i][k], 2e-6f) << i;
        EXPECT_EQ(got[3], 0.5f);
    }
}
