// The CUDA kernels on an NVIDIA GPU, against the same references as the OpenCL ones:
// kernel_calc_LUT_CUDA against LUT_generate node by node, kernel_apply_LUT_CUDA against
// the CPU's interpolation of the table. Skipped where no GPU is present.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "gpu/cuda_bridge.h"
#include "pipeline/image.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "tests/support/fit_support.h"
#include "tests/support/gpu_support.h"

namespace {

using gpu_support::N;

std::string device_name() {
    std::string name;
    return cuda_device_present(&name) ? name : std::string();
}

struct shapes {
    int32_t calc[3], apply[2];
};

}  // namespace

TEST(CudaKernels, CalcLutMatchesLutGenerateNodeByNode) {
    const std::string name = device_name();
    if (name.empty()) GTEST_SKIP() << "no CUDA device";
    shapes s{};
    ASSERT_TRUE(cuda_launch_shapes(s.calc, s.apply));
    std::printf("launch shapes on %s: calc %d x %d x %d, apply %d x %d\n", name.c_str(), s.calc[0],
                s.calc[1], s.calc[2], s.apply[0], s.apply[1]);
    const float tolerance = 2e-5f;
    for (const parameters& p : gpu_support::table_settings()) {
        float c[COEFFICIENT_COUNT];
        set_coefficents(c, &p);
        const std::vector<float> ref = gpu_support::cpu_table(p);
        std::vector<float> got(ref.size());
        ASSERT_TRUE(cuda_calc_LUT(c, got.data(), s.calc));
        float worst = 0;
        std::string why;
        const int sensitive = gpu_support::compare_tables(c, ref, got, tolerance, &worst, &why);
        ASSERT_GE(sensitive, 0) << why;
        std::printf(
            "kinds %d -> %d, mode %d: largest node difference %.3g, %d sensitive node "
            "channels, on %s\n",
            p.input_transfer.kind, p.output_transfer.kind, p.mode, (double)worst, sensitive,
            name.c_str());
    }
}

// The texture unit interpolates with weights of 8 fractional bits on each of the three
// axes: a result lies within 3/256 of the spread of the eight nodes around it (plus 2e-5),
// and a half result within half a half step more. A lookup on the wrong axis or node would
// miss by a good part of the spread.
TEST(CudaKernels, ApplyLutInterpolatesAsTheCpuOnFloatAndHalfFrames) {
    const std::string name = device_name();
    if (name.empty()) GTEST_SKIP() << "no CUDA device";
    shapes s{};
    ASSERT_TRUE(cuda_launch_shapes(s.calc, s.apply));
    const std::vector<float> lut =
        gpu_support::cpu_table(fit_support::params_for(37, 1, CORRECTION_DELTAE));
    for (bool halves : {false, true}) {
        gpu_support::apply_frame f = gpu_support::make_apply_frame(halves);
        void* device = cuda_alloc(f.bytes.size());
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(cuda_copy_to_device(device, f.bytes.data(), f.bytes.size()));
        const frame_geometry g{f.pitch, halves ? 1 : 0, f.width, f.height};
        ASSERT_TRUE(cuda_apply_LUT(lut.data(), s.apply, device, g));
        ASSERT_TRUE(cuda_copy_to_host(f.bytes.data(), device, f.bytes.size()));
        cuda_free(device);
        ASSERT_TRUE(gpu_support::outside_untouched(f));
        float worst = 0;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const float* p = &f.in[(size_t)(4 * (y * f.width + x))];
                float want[3], spread[3], got[4];
                gpu_support::cpu_lookup(lut.data(), p, want, spread);
                gpu_support::applied_pixel(f, x, y, got);
                for (int k = 0; k < 3; ++k) {
                    ASSERT_TRUE(std::isfinite(got[k]));
                    const float step = halves ? std::fabs(want[k]) / 1024.0f + 6.2e-5f : 0.0f;
                    const float err = std::fabs(got[k] - want[k]);
                    ASSERT_LE(err, 3.0f * spread[k] / 256.0f + 2e-5f + step)
                        << "pixel " << x << "," << y << " channel " << k;
                    worst = std::fmax(worst, err);
                }
                ASSERT_EQ(got[3], p[3]);
            }
        std::printf("%s frame on %s: largest difference from the CPU interpolation %.3g\n",
                    halves ? "half" : "float", name.c_str(), (double)worst);
    }
}
