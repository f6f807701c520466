// `demo`: the whole effect on a built-in synthetic shot. A log-encoded camera frame with a
// ColorChecker under a warm cast is corrected through the plug-in file in the headless
// host, and the shot, the corrected frame, the cube LUT, the ColorCard file and a short
// report land in ./chromalane-demo/.
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "cards/card.h"
#include "cards/sampling.h"
#include "cli/command.h"
#include "cli/effect_session.h"
#include "cli/report.h"
#include "colour/convert.h"
#include "host/param_table.h"
#include "synth/synth.h"

namespace {

constexpr int DEMO_WIDTH = 1920;
constexpr int DEMO_HEIGHT = 1080;
constexpr int DEMO_INPUT = 43;  // S-Log3 / S-Gamut3.Cine
constexpr int DEMO_OUTPUT = 2;  // sRGB
constexpr refcard_type DEMO_CHART = XRITE_COLORCHECKER_24_AFTER_NOV2014;

__attribute__((format(printf, 2, 3))) void append(std::string* text, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    *text += line;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// CIELAB (D50) of a linear RGB colour of `cs`, adapted from its white with Bradford.
void lab_from_linear(double* lab, const float* rgb, const color_space* cs) {
    double m[9];
    M_XYZ_from_RGB(m, cs);
    double xyz[3];
    for (int i = 0; i < 3; ++i)
        xyz[i] = m[3 * i] * rgb[0] + m[3 * i + 1] * rgb[1] + m[3 * i + 2] * rgb[2];
    double d50[3];
    XYZ_change_illuminate(d50, xyz, 0.3457, 0.3585, cs->white_x, cs->white_y);
    const double white[3] = {0.3457 / 0.3585, 1.0, (1.0 - 0.3457 - 0.3585) / 0.3585};
    auto f = [](double t) {
        return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
    };
    double fx = f(d50[0] / white[0]), fy = f(d50[1] / white[1]), fz = f(d50[2] / white[2]);
    lab[0] = 116.0 * fy - 16.0;
    lab[1] = 500.0 * (fx - fy);
    lab[2] = 200.0 * (fy - fz);
}

struct delta_e {
    double mean = 0, max = 0;
    std::vector<double> patches;
};

// Samples every patch of the chart from an sRGB-encoded frame at the true corners and
// compares it with the chart's published CIELAB values (CIE76).
delta_e measure(const rgba_image& frame, const OfxPointD* corners) {
    image img;
    makeImage(frame.width, frame.height,
              const_cast<char*>(reinterpret_cast<const char*>(frame.pixels.data())), &img);
    const transfer_function& tf = TRANSFER_FUNCTION[DEMO_OUTPUT];
    const color_space& cs = COLOR_SPACE[DEMO_OUTPUT];
    auto c = std::make_unique<card>();
    cardMakeRef(c.get(), &cs, DEMO_CHART);
    cardRead(&img, &tf, corners, c.get());
    const reference_card* chart = refcard(DEMO_CHART);
    delta_e d;
    for (int k = 0; k < chart->patch_count; ++k) {
        const float rgb[3] = {c->linear[0][k], c->linear[1][k], c->linear[2][k]};
        double lab[3];
        lab_from_linear(lab, rgb, &cs);
        const double* ref = chart->patches[k].lab;
        double e = std::sqrt((lab[0] - ref[0]) * (lab[0] - ref[0]) +
                             (lab[1] - ref[1]) * (lab[1] - ref[1]) +
                             (lab[2] - ref[2]) * (lab[2] - ref[2]));
        d.patches.push_back(e);
        d.mean += e;
        d.max = std::max(d.max, e);
    }
    d.mean /= chart->patch_count;
    return d;
}

void run_demo() {
    auto start = std::chrono::steady_clock::now();
    std::filesystem::path dir = "chromalane-demo";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw cli_error(1, "cannot create folder '" + dir.string() + "': " + ec.message());

    synth_shot shot;
    synth_demo_shot(DEMO_WIDTH, DEMO_HEIGHT, DEMO_INPUT, DEMO_CHART, &shot);
    rgba_image frame;
    frame.width = DEMO_WIDTH;
    frame.height = DEMO_HEIGHT;
    frame.bits = 32;
    frame.pixels = shot.pixels;
    rgba_image shot16 = frame;
    shot16.bits = 16;
    write_image((dir / "shot.png").string(), shot16);
    write_image((dir / "shot.exr").string(), frame);

    correction_options settings;
    settings.input = std::to_string(DEMO_INPUT);
    settings.output = std::to_string(DEMO_OUTPUT);
    settings.chart = "6";  // ColorChecker Classic (After Nov 2014)

    // Before: the plain conversion from the camera's encoding to sRGB, no correction.
    effect_session plain;
    rgba_image before;
    try {
        session_open(&plain, FLAVOUR_AE, DEMO_WIDTH, DEMO_HEIGHT);
        correction_options p = settings;
        p.mode = "none";
        p.wb = "off";
        session_apply(&plain, resolve_correction(p));
        before = session_render(&plain, frame);
    } catch (...) {
        session_close(&plain);
        throw;
    }
    session_close(&plain);
    before.bits = 8;
    write_image((dir / "uncorrected.png").string(), before);

    effect_session s;
    double find_s = 0, render_s = 0;
    rgba_image after;
    double located[8] = {};
    try {
        session_open(&s, FLAVOUR_AE, DEMO_WIDTH, DEMO_HEIGHT);
        session_apply(&s, resolve_correction(settings));
        auto t = std::chrono::steady_clock::now();
        if (!session_read_card(&s, frame, nullptr, P_SOURCE, nullptr, nullptr, located))
            throw cli_error(1, "the demo's chart was not found");
        find_s = seconds_since(t);
        session_render(&s, frame);  // the first frame fits the correction
        after = session_render(&s, frame, &render_s);
        after.bits = 8;
        write_image((dir / "corrected.png").string(), after);
        session_write_lut(&s, (dir / "correction.cube").string(), 48);
        session_save_card(&s, (dir / "card.bmp").string());
        session_write_ui_pictures(&s, frame, dir.string(), 960, false);
        session_report(
            &s, dir.string(), frame, after, located,
            {{"image", "the demo's synthetic shot"}, {"chart located by", "the finder"}});
        std::string error;
        if (!headless_project_save(s.instance, (dir / "project.json").string(), &error))
            throw cli_error(1, error);
    } catch (...) {
        session_close(&s);
        throw;
    }
    session_close(&s);

    delta_e de_before = measure(before, shot.corners);
    delta_e de_after = measure(after, shot.corners);
    double total = seconds_since(start);

    std::string report;
    append(&report, "chromalane demo: a %dx%d synthetic shot, %s, ColorChecker under a warm cast\n",
           DEMO_WIDTH, DEMO_HEIGHT, transfer_popup_name(DEMO_INPUT).c_str());
    append(&report,
           "corrected through the plug-in in the headless host to %s, correction deltaE\n\n",
           transfer_popup_name(DEMO_OUTPUT).c_str());
    append(&report,
           "patch  deltaE before  deltaE after   (CIE76 against the chart's CIELAB D50 values)\n");
    const reference_card* chart = refcard(DEMO_CHART);
    for (int k = 0; k < chart->patch_count; ++k)
        append(&report, "%5d  %13.2f  %12.2f   %s\n", k + 1,
               de_before.patches[static_cast<size_t>(k)], de_after.patches[static_cast<size_t>(k)],
               chart->patches[k].name);
    append(&report, "\nmean   %13.2f  %12.2f\nmax    %13.2f  %12.2f\n\n", de_before.mean,
           de_after.mean, de_before.max, de_after.max);
    append(&report, "finding and reading the chart: %.3f s\n", find_s);
    append(&report, "rendering one frame through the plug-in (smart render, float world): %.3f s\n",
           render_s);
    append(&report, "whole demo: %.2f s\n", total);
    append(&report,
           "\nfiles: shot.png, shot.exr (the camera frame), uncorrected.png (plain conversion),\n"
           "corrected.png, correction.cube (48 points), card.bmp (ColorCard), project.json,\n"
           "panel.png and overlay.png (the effect's controls and its card overlay),\n"
           "report.html and report.json (CIEDE2000 per patch, with pictures)\n");
    std::FILE* f = std::fopen((dir / "report.txt").string().c_str(), "w");
    if (!f || std::fputs(report.c_str(), f) < 0 || std::fclose(f) != 0)
        throw cli_error(1, "cannot write the report");
    std::fputs(report.c_str(), stdout);
    std::printf("\nwritten to %s/\n", dir.string().c_str());
}

void setup(CLI::App& app) {
    CLI::App* cmd = app.add_subcommand(
        "demo", "correct a built-in synthetic chart shot through the plug-in (./chromalane-demo/)");
    cmd->callback(run_demo);
}

const bool registered = register_command(90, setup);

}  // namespace
