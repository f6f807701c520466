#include "cli/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "colour/convert.h"
#include "synth/synth.h"

namespace fs = std::filesystem;

namespace {

constexpr refcard_type CHART = XRITE_COLORCHECKER_24_AFTER_NOV2014;

// A clean sRGB shot of the chart (no noise, blur, cast or cross-talk) at an exposure.
rgba_image clean_shot(double exposure, double* corners) {
    synth_scene scene;
    scene.width = 640;
    scene.height = 360;
    scene.centre_x = 320;
    scene.centre_y = 180;
    scene.card_height = 220;
    scene.rotation = 0.1;
    scene.exposure = exposure;
    scene.encode = 2;
    scene.space = &COLOR_SPACE[2];
    synth_shot shot;
    synth_render(scene, &shot);
    for (int k = 0; k < 4; ++k)
        corners[2 * k] = shot.corners[k].x, corners[2 * k + 1] = shot.corners[k].y;
    rgba_image img;
    img.width = scene.width;
    img.height = scene.height;
    img.pixels = shot.pixels;
    return img;
}

double srgb_code(double v) {
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

}  // namespace

// The shot is over-exposed so that the brightest patches clip (and cyan has a channel at
// black in sRGB); the "corrected" frame is the
// same scene a little under. Each patch's numbers follow from the chart's reference colours
// alone: CIEDE2000 between the published CIELAB and the reference scaled by the exposure.
TEST(Report, NumbersEqualADirectComputationAndClippedPatchesAreLeftOut) {
    double corners[8], corners2[8];
    const double over = 1.3, under = 0.8;
    const rgba_image shot = clean_shot(over, corners);
    const rgba_image corrected = clean_shot(under, corners2);
    const transfer_function& tf = TRANSFER_FUNCTION[2];
    const color_space& cs = COLOR_SPACE[2];
    const fit_report r = report_measure(shot, corrected, corners, tf, cs, tf, cs, CHART);

    auto ref = std::make_unique<card>();
    cardMakeRef(ref.get(), &cs, CHART);
    const reference_card* chart = refcard(CHART);
    ASSERT_EQ(r.patches.size(), static_cast<size_t>(chart->patch_count));
    std::vector<double> before, after;
    int clipped = 0;
    for (int k = 0; k < chart->patch_count; ++k) {
        const report_patch& p = r.patches[static_cast<size_t>(k)];
        double lin_over[3], lin_under[3];
        bool clips = false;
        for (int c = 0; c < 3; ++c) {
            lin_over[c] = ref->linear[c][k] * over;
            lin_under[c] = ref->linear[c][k] * under;
            // Clipped at the top, or crushed to black (cyan's red is outside sRGB).
            clips = clips || srgb_code(lin_over[c]) >= REPORT_CLIP_CODE || lin_over[c] <= 0;
        }
        EXPECT_EQ(p.clipped, clips) << "patch " << k + 1;
        double lab_under[3];
        CIELabD50_from_linearRGB(lab_under, lin_under, &cs);
        const double de_after = deltaE2000(chart->patches[k].lab, lab_under);
        EXPECT_NEAR(p.after, de_after, 0.02) << "patch " << k + 1;
        if (clips) {
            ++clipped;
            continue;
        }
        double lab_over[3];
        CIELabD50_from_linearRGB(lab_over, lin_over, &cs);
        const double de_before = deltaE2000(chart->patches[k].lab, lab_over);
        EXPECT_NEAR(p.before, de_before, 0.02) << "patch " << k + 1;
        before.push_back(de_before);
        after.push_back(de_after);
    }
    ASSERT_GE(clipped, 2);  // white and cyan at least
    ASSERT_LT(clipped, 6);
    auto mean = [](const std::vector<double>& v) {
        double s = 0;
        for (double x : v) s += x;
        return s / static_cast<double>(v.size());
    };
    EXPECT_EQ(r.before.patches, chart->patch_count - clipped);
    EXPECT_NEAR(r.before.mean, mean(before), 0.02);
    EXPECT_NEAR(r.after.mean, mean(after), 0.02);
    EXPECT_NEAR(r.before.max, *std::max_element(before.begin(), before.end()), 0.02);
    std::vector<double> sorted = after;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    EXPECT_NEAR(r.after.median, n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2,
                0.02);

    // The files carry the same numbers, say what was left out, and fetch nothing remote.
    const fs::path dir = fs::path(CHROMALANE_BINARY_DIR) / "test-scratch" / "report";
    fs::remove_all(dir);
    fs::create_directories(dir);
    report_write(dir.string(), r, shot, corrected, CHART);
    std::ifstream jf(dir / "report.json");
    const nlohmann::json j = nlohmann::json::parse(jf);
    EXPECT_EQ(j["clipped_patches_excluded"], clipped);
    EXPECT_DOUBLE_EQ(j["before"]["mean"].get<double>(), r.before.mean);
    EXPECT_DOUBLE_EQ(j["after"]["median"].get<double>(), r.after.median);
    EXPECT_EQ(j["patches"].size(), r.patches.size());
    EXPECT_EQ(j["patches"][18]["clipped"].get<bool>(), r.patches[18].clipped);
    std::ifstream hf(dir / "report.html");
    std::stringstream html;
    html << hf.rdbuf();
    const std::string page = html.str();
    EXPECT_EQ(page.find("http:"), std::string::npos);
    EXPECT_EQ(page.find("https:"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find(std::to_string(clipped) + " patch(es) clipped"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "report-shot.png"));
    EXPECT_TRUE(fs::exists(dir / "report-corrected.png"));
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}
