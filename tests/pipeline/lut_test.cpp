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

#include "pipeline/evaluate.h"
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

TEST(LutShaper, LogShaperRoundTripsAndSpreadsStopsEvenlyAboveItsFoot) {
    const lut_shaper s{LUT_SHAPER_LOG, 16.0};
    EXPECT_EQ(LUT_shaper_encode(s, 0.0), 0.0);
    EXPECT_EQ(LUT_shaper_encode(s, 16.0), 1.0);
    EXPECT_EQ(LUT_shaper_encode(s, 100.0), 1.0);
    EXPECT_EQ(LUT_shaper_encode(s, -1.0), 0.0);
    EXPECT_EQ(LUT_shaper_encode(s, std::nan("")), 0.0);
    double worst = 0;
    for (double x = 1e-4; x <= 16; x *= 1.01)
        worst = std::max(worst, std::abs(LUT_shaper_decode(s, LUT_shaper_encode(s, x)) / x - 1));
    EXPECT_LT(worst, 1e-12);
    // Well above the foot every stop takes the same share of the table.
    const double stop1 = LUT_shaper_encode(s, 2.0) - LUT_shaper_encode(s, 1.0);
    const double stop2 = LUT_shaper_encode(s, 16.0) - LUT_shaper_encode(s, 8.0);
    EXPECT_NEAR(stop1 / stop2, 1.0, 0.02);
    // A code-range shaper is the identity on 0..1.
    const lut_shaper code;
    EXPECT_EQ(LUT_shaper_encode(code, 0.25), 0.25);
    EXPECT_EQ(LUT_shaper_decode(code, 0.75), 0.75);
}

TEST(LutShaper, SceneLinearInputsGetTheLogShaperAndTheTableFollowsIt) {
    float c[COEFFICIENT_COUNT];
    parameters lin = params_for(49, 2, CORRECTION_IDENTITY);  // ACEScg in, sRGB out
    set_coefficents(c, &lin);
    const lut_shaper s = LUT_shaper_for(c, 32.0);
    EXPECT_EQ(s.kind, LUT_SHAPER_LOG);
    EXPECT_EQ(s.max, 32.0);
    // The top corner holds the transform of (max, max, max), the bottom one of black.
    const int n = 5;
    std::vector<float> lut((size_t)(4 * n * n * n));
    LUT_generate_shaped(c, lut.data(), n, s);
    float top[4] = {32.0f, 32.0f, 32.0f, 1.0f};
    float mid[4];
    const float y = 0.5f;
    mid[0] = mid[1] = mid[2] = (float)LUT_shaper_decode(s, y);
    mid[3] = 1.0f;
    std::vector<float> ref = {top[0], top[1], top[2], top[3], mid[0], mid[1], mid[2], mid[3]};
    apply_input_transfer(c, ref.data(), 8);
    apply_correction_and_adjustments(c, ref.data(), 2);
    apply_output_transfer(c, ref.data(), 8);
    const size_t last = (size_t)(n * n * n - 1) * 4;
    const size_t centre = (size_t)((2 * n + 2) * n + 2) * 4;
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(lut[last + (size_t)k], ref[(size_t)k]);
        EXPECT_EQ(lut[centre + (size_t)k], ref[4 + (size_t)k]);
    }
    parameters log = params_for(43, 3, CORRECTION_IDENTITY);
    set_coefficents(c, &log);
    EXPECT_EQ(LUT_shaper_for(c, 32.0).kind, LUT_SHAPER_CODE);
}

TEST(LutShaper, ShaperFilesStateTheirDomainAndOrderTheTableAsTheirFormatsSay) {
    // A table whose entries name their own lattice point tells the orders apart.
    const int n = 3;
    std::vector<float> lut((size_t)(4 * n * n * n));
    for (int b = 0, i = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r, i += 4) {
                lut[(size_t)i] = (float)r, lut[(size_t)i + 1] = (float)g;
                lut[(size_t)i + 2] = (float)b, lut[(size_t)i + 3] = 1;
            }
    const fs::path dir = scratch_dir("lutshaper");
    const lut_shaper s{LUT_SHAPER_LOG, 16.0};
    const std::string title = "a <title> & \"quotes\"\nnext";
    ASSERT_TRUE(
        LUT_write_file((dir / "t.cube").string(), LUT_FORMAT_CUBE_SHAPER, lut.data(), n, s, title));
    ASSERT_TRUE(LUT_write_file((dir / "t.clf").string(), LUT_FORMAT_CLF, lut.data(), n, s, title));
    // A plain cube has no place for a scene-linear domain.
    EXPECT_FALSE(LUT_write_file((dir / "p.cube").string(), LUT_FORMAT_CUBE, lut.data(), n, s, ""));
    EXPECT_FALSE(fs::exists(dir / "p.cube"));

    const std::string cube = read_file(dir / "t.cube");
    EXPECT_EQ(cube.substr(0, cube.find("0 0 0\n")),
              "# a <title> & \"quotes\" next\nLUT_1D_SIZE 4096\nLUT_1D_INPUT_RANGE 0.0 16\n"
              "LUT_3D_SIZE 3\nLUT_3D_INPUT_RANGE 0.0 1.0\n");
    // 1-D rows, then the 3-D rows red fastest: the second 3-D row is (1, 0, 0).
    std::istringstream lines(cube);
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(lines, line)) rows.push_back(line);
    ASSERT_EQ(rows.size(), 5u + 4096u + 27u);
    EXPECT_EQ(rows[5], "0 0 0");
    EXPECT_EQ(rows[5 + 4095], "1 1 1");
    EXPECT_EQ(rows[5 + 4096 + 1], "1 0 0");

    const std::string clf = read_file(dir / "t.clf");
    EXPECT_NE(clf.find("name=\"a &lt;title&gt; &amp; &quot;quotes&quot;\nnext\""),
              std::string::npos);
    EXPECT_NE(clf.find("<maxInValue>16</maxInValue>"), std::string::npos);
    EXPECT_NE(clf.find("<Array dim=\"4096 3\">"), std::string::npos);
    // Blue fastest: after (0, 0, 0) comes (0, 0, 1).
    const size_t table = clf.find("<Array dim=\"3 3 3 3\">");
    ASSERT_NE(table, std::string::npos);
    EXPECT_EQ(clf.substr(clf.find('\n', table) + 1, 36), "            0 0 0\n            0 0 1\n");
}
