#include "pipeline/lut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pipeline/render.h"
#include "pipeline/slots.h"
#include "tests/support/fit_support.h"

using fit_support::params_for;

namespace fs = std::filesystem;

namespace {

fs::path scratch_dir(const char* name) {
    fs::path d = fs::path(CHROMALANE_BINARY_DIR) / "test-scratch" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

std::string read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<float> lut_of(const parameters& p, int n) {
    float c[COEFFICIENT_COUNT];
    set_coefficents(c, &p);
    std::vector<float> lut((size_t)(4 * n * n * n));
    LUT_generate(c, lut.data(), n);
    return lut;
}

}  // namespace

TEST(Lut, IdentityAtTwoPointsWritesTheCornersInOrder) {
    parameters p = params_for(1, 1, CORRECTION_IDENTITY);
    const std::vector<float> lut = lut_of(p, 2);
    const fs::path dir = scratch_dir("lut2");
    std::string error;
    ASSERT_TRUE(LUT_write_cube_file((dir / "id.cube").string(), lut.data(), 2, &error)) << error;
    EXPECT_EQ(read_file(dir / "id.cube"),
              "LUT_3D_SIZE 2\n"
              "0.00000 0.00000 0.00000\n1.00000 0.00000 0.00000\n"
              "0.00000 1.00000 0.00000\n1.00000 1.00000 0.00000\n"
              "0.00000 0.00000 1.00000\n1.00000 0.00000 1.00000\n"
              "0.00000 1.00000 1.00000\n1.00000 1.00000 1.00000\n");
    // Only the finished file is left in the folder.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

TEST(Lut, LargeTableValuesAboveOneAndAnyLocale) {
    parameters p = params_for(43, 3, CORRECTION_DELTAE);
    std::vector<float> lut = lut_of(p, 48);
    lut[0] = 1.0322366f;  // as the output stage may leave it: not clamped at 1
    // A locale with a decimal comma must not leak into the file.
    const char* was = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = was ? was : "C";
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    const fs::path dir = scratch_dir("lut48");
    ASSERT_TRUE(LUT_write_cube_file((dir / "t.cube").string(), lut.data(), 48));
    std::setlocale(LC_NUMERIC, saved.c_str());
    const std::string text = read_file(dir / "t.cube");
    size_t lines = 0;
    for (char ch : text) lines += ch == '\n' ? 1 : 0;
    EXPECT_EQ(lines, 1u + 110592u);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find(','), std::string::npos) << (comma ? "with a comma locale" : "");
    EXPECT_EQ(text.substr(0, 23), "LUT_3D_SIZE 48\n1.03224 ");
    EXPECT_EQ(text.find('-'), std::string::npos);  // the output stage never goes below 0
}

TEST(Lut, FailedWritesLeaveNothingBehind) {
    parameters p = params_for(1, 1, CORRECTION_IDENTITY);
    const std::vector<float> lut = lut_of(p, 2);
    const fs::path dir = scratch_dir("lutfail");
    std::string error;
    EXPECT_FALSE(LUT_write_cube_file((dir / "missing" / "x.cube").string(), lut.data(), 2, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(LUT_write_cube_file((dir / "x.cube").string(), lut.data(), 1, &error));
    // An existing file is replaced whole.
    {
        std::ofstream old(dir / "y.cube");
        old << "old contents that are longer than the new table would be, and more, and more";
    }
    ASSERT_TRUE(LUT_write_cube_file((dir / "y.cube").string(), lut.data(), 2));
    EXPECT_EQ(read_file(dir / "y.cube").substr(0, 14), "LUT_3D_SIZE 2\n");
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

// An independent reader (ffmpeg's lut3d filter, trilinear) applies the written table to a
// test image; the result must match render on the same image within the table's
// interpolation error, measured pixel by pixel. A correction that is linear in code values
// (the 2-point table represents it exactly) and the camera-log defaults at 48 points,
// whose clamps at black and at the gamut edge are where a table interpolates worst.
TEST(Lut, AnIndependentReaderReproducesRender) {
    if (std::system("ffmpeg -hide_banner -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = scratch_dir("lutffmpeg");
    const int w = 64, h = 48;
    // The test image: a smooth sweep over the cube plus a few fixed colours, as 16-bit RGB.
    std::vector<uint16_t> rgb48((size_t)(3 * w * h));
    std::vector<float> rgba((size_t)(4 * w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float v[3] = {(float)x / (w - 1), (float)y / (h - 1),
                                (float)((x * 7 + y * 3) % 64) / 63.0f};
            for (int c = 0; c < 3; ++c) {
                const auto code = (uint16_t)std::lround(v[c] * 65535.0f);
                rgb48[(size_t)(3 * (y * w + x) + c)] = code;
                rgba[(size_t)(4 * (y * w + x) + c)] = (float)code / 65535.0f;
            }
            rgba[(size_t)(4 * (y * w + x) + 3)] = 1.0f;
        }
    {
        std::ofstream f(dir / "in.raw", std::ios::binary);
        f.write(reinterpret_cast<const char*>(rgb48.data()), (std::streamsize)(rgb48.size() * 2));
    }
    struct setup {
        parameters p;
        int n;
        double tolerance;
    };
    parameters linear = params_for(1, 1, CORRECTION_NONE);
    linear.exposure = -0.5f;
    linear.white_balance = false;
    linear.preserve_lightness = false;
    linear.highlight_protection = false;
    // Tolerances: the file's five decimals and the reader's 16-bit output (8e-6 each),
    // plus the render's own approximation error (2e-4).
    const setup cases[2] = {{linear, 2, 2e-4}, {params_for(43, 3, CORRECTION_DELTAE), 48, 2e-4}};
    for (const setup& s : cases) {
        const std::vector<float> lut = lut_of(s.p, s.n);
        const fs::path cube = dir / ("t" + std::to_string(s.n) + ".cube");
        ASSERT_TRUE(LUT_write_cube_file(cube.string(), lut.data(), s.n));
        const fs::path out = dir / ("out" + std::to_string(s.n) + ".raw");
        const std::string cmd =
            "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgb48le -s " +
            std::to_string(w) + "x" + std::to_string(h) + " -i '" + (dir / "in.raw").string() +
            "' -vf lut3d=file='" + cube.string() +
            "':interp=trilinear -f rawvideo -pix_fmt rgb48le '" + out.string() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const std::string got = read_file(out);
        ASSERT_EQ(got.size(), rgb48.size() * 2);
        // render on the same image
        std::vector<float> rendered(rgba.size());
        image in{}, o{};
        makeImage(w, h, reinterpret_cast<char*>(rgba.data()), &in);
        makeImage(w, h, reinterpret_cast<char*>(rendered.data()), &o);
        const OfxRectI area{0, 0, w, h};
        render(&in, &o, &area, nullptr, &s.p, nullptr, nullptr);
        // The table's own interpolation error at each pixel: trilinear interpolation of
        // the table, as the reader does it, against render.
        auto trilinear = [&](const float* v, int c) {
            const int n = s.n;
            int i0[3];
            double f[3];
            for (int k = 0; k < 3; ++k) {
                const double x = (double)v[k] * (n - 1);
                i0[k] = std::min((int)std::floor(x), n - 2);
                f[k] = x - i0[k];
            }
            double r = 0.0;
            for (int corner = 0; corner < 8; ++corner) {
                double wgt = 1.0;
                int idx = 0, scale = 1;
                for (int k = 0; k < 3; ++k) {
                    const int bit = (corner >> k) & 1;
                    wgt *= bit ? f[k] : 1.0 - f[k];
                    idx += (i0[k] + bit) * scale;
                    scale *= n;
                }
                r += wgt * lut[(size_t)(4 * idx + c)];
            }
            return std::fmin(std::fmax(r, 0.0), 1.0);
        };
        double worst = 0.0, worst_reader = 0.0;
        for (int i = 0; i < w * h; ++i)
            for (int c = 0; c < 3; ++c) {
                uint16_t code;
                std::memcpy(&code, got.data() + 2 * (3 * i + c), 2);
                const double reader = code / 65535.0;
                const double want = std::fmin(std::fmax(rendered[(size_t)(4 * i + c)], 0.0f), 1.0f);
                const double interp = trilinear(&rgba[(size_t)(4 * i)], c);
                // Beyond the interpolation error only the reader's 16-bit rounding and
                // the five decimals of the file.
                EXPECT_LE(std::fabs(reader - want), std::fabs(interp - want) + s.tolerance)
                    << s.n << " pixel " << i << " channel " << c;
                worst = std::fmax(worst, std::fabs(reader - want));
                worst_reader = std::fmax(worst_reader, std::fabs(reader - interp));
            }
        std::printf(
            "cube at %d points through ffmpeg: largest difference to render %.3g, to the "
            "table's own interpolation %.3g\n",
            s.n, worst, worst_reader);
    }
}
