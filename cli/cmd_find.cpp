// `find`, `read` and `synth`: locating a chart in an image file, sampling its patches at
// given corners, and writing a synthetic shot of a chart with its truth.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cards/card.h"
#include "cards/finder.h"
#include "cards/sampling.h"
#include "cli/command.h"
#include "cli/image_io.h"
#include "cli/lookup.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"
#include "synth/synth.h"

namespace {

refcard_type chart_type(const std::string& query) {
    return CARD_TYPE[lookup_chart(query)];
}

nlohmann::json points(const OfxPointD* p) {
    nlohmann::json a = nlohmann::json::array();
    for (int k = 0; k < 4; ++k) a.push_back({p[k].x, p[k].y});
    return a;
}

struct find_options {
    std::string path, chart, entry = "sRGB";
    double pixel_aspect = 0;
    bool json = false;
};

// The image's pixel aspect: the option's when given, else what the file states.
void set_pixel_aspect(rgba_image* img, double option) {
    if (checked_pixel_aspect(option) > 0) img->pixel_aspect = float(option);
}

void run_find(const find_options& o) {
    const refcard_type type = chart_type(o.chart);
    const int entry = lookup_transfer_entry(o.entry);
    checked_pixel_aspect(o.pixel_aspect);
    rgba_image img = read_image(o.path);
    set_pixel_aspect(&img, o.pixel_aspect);
    const image frame = image_view(img);
    auto ref = std::make_unique<card>();
    cardMakeRef(ref.get(), &COLOR_SPACE[entry], type);
    OfxPointD corners[4];
    finder_report report;
    const auto start = std::chrono::steady_clock::now();
    const int code =
        cardFindReport(nullptr, &frame, &TRANSFER_FUNCTION[entry], ref.get(), corners, &report);
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (code == FINDER_OUT_OF_MEMORY) throw cli_error{1, "out of memory while searching"};
    double error = 0;
    if (code == FINDER_FOUND) {
        // The colour error of the found position as the finder scores it: on linear
        // values, after the best 3 x 3 matrix onto the reference.
        rgba_image lin = img;
        const image lin_frame = image_view(lin);
        float coeffs[COEFFICIENT_COUNT] = {};
        set_coefficents_for_transfer_function(coeffs, 'i', &TRANSFER_FUNCTION[entry]);
        const int w = lin.width, h = lin.height;
        for (int y = 0; y < h; ++y)
            apply_input_transfer(coeffs, lin.pixels.data() + size_t(y) * size_t(w) * 4, 4 * w);
        error = card_error(&lin_frame, ref.get(), corners);
    }
    if (o.json) {
        nlohmann::json j;
        j["found"] = code == FINDER_FOUND;
        auto number = [](double v) {
            return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json();
        };
        j["score"] = number(report.score);
        if (code == FINDER_FOUND) {
            j["corners"] = points(corners);
            j["error"] = error;
        } else {
            j["reason"] = report.reason ? report.reason : "no chart found";
            // Where it looked and turned the evidence down: a start for placing the
            // corners by hand.
            bool placed = true;
            for (const OfxPointD& p : report.candidate)
                placed = placed && std::isfinite(p.x) && std::isfinite(p.y);
            if (placed) j["candidate"] = points(report.candidate);
        }
        j["evidence"] = {{"colour_residual", number(report.colour_residual)},
                         {"matched", report.matched},
                         {"findable", report.findable},
                         {"irregularity", number(report.irregularity)}};
        j["milliseconds"] = milliseconds;  // the search alone, without reading the file
        std::printf("%s\n", j.dump(2).c_str());
    } else if (code == FINDER_FOUND) {
        static const char* names[4] = {"top left", "top right", "bottom right", "bottom left"};
        for (int k = 0; k < 4; ++k)
            std::printf("%-12s  %10.2f %10.2f\n", names[k], corners[k].x, corners[k].y);
        std::printf("error         %.6g\n", error);
        std::printf("score         %.3f\n", report.score);
    }
    if (code != FINDER_FOUND)
        throw cli_error{1, "no chart found in '" + o.path + "'" +
                               (report.reason ? std::string(": ") + report.reason : "")};
}

struct read_options {
    std::string path, chart, entry = "sRGB", corners, sampling = "patch";
    double pixel_aspect = 0;
};

void run_read(const read_options& o) {
    const refcard_type type = chart_type(o.chart);
    const int entry = lookup_transfer_entry(o.entry);
    const std::vector<double> v = parse_corners(o.corners);
    const card_sampling sampling = card_sampling(parse_sampling(o.sampling));
    checked_pixel_aspect(o.pixel_aspect);
    rgba_image img = read_image(o.path);
    set_pixel_aspect(&img, o.pixel_aspect);
    const image frame = image_view(img);
    OfxPointD corners[4];
    for (int k = 0; k < 4; ++k) corners[k] = {v[size_t(2 * k)], v[size_t(2 * k + 1)]};
    auto c = std::make_unique<card>();
    c->ref = refcard(type);
    cardReadSampled(&frame, &TRANSFER_FUNCTION[entry], corners, c.get(), sampling);
    auto ref = std::make_unique<card>();
    cardMakeRef(ref.get(), &COLOR_SPACE[entry], type);
    const double residual = card_fit_residual(c.get(), ref.get());
    for (int i = 0; i < c->ref->patch_count; ++i)
        std::printf("%3d  %-24s  display %.6f %.6f %.6f  linear %.6f %.6f %.6f\n", i,
                    c->ref->patches[i].name, double(c->display[0][i]), double(c->display[1][i]),
                    double(c->display[2][i]), double(c->linear[0][i]), double(c->linear[1][i]),
                    double(c->linear[2][i]));
    std::printf("fit residual  %.4f\n", residual);
    const std::string warning = card_fit_warning(residual);
    if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());
}

struct synth_options {
    std::string chart, size = "1280x720", encode = "sRGB", output, conditions = "moderate";
    std::string decoy = "none";
    std::vector<double> card_share;
    double pixel_aspect = 1;
    bool no_chart = false;
    uint64_t seed = 1;
};

void run_synth(const synth_options& o) {
    const refcard_type type = chart_type(o.chart);
    const int entry = lookup_transfer_entry(o.encode);
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(o.size.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 ||
        w > 16384 || h > 16384)
        throw cli_error{2, "--size must be WxH with each side from 16 to 16384"};
    synth_conditions cond;
    if (o.conditions == "moderate")
        cond = synth_moderate();
    else if (o.conditions == "hard")
        cond = synth_hard();
    else
        throw cli_error{2, "--conditions must be 'moderate' or 'hard'"};
    if (!o.card_share.empty()) {
        const double lo = o.card_share[0], hi = o.card_share.size() > 1 ? o.card_share[1] : lo;
        if (!(lo > 0 && lo <= hi && hi <= 1))
            throw cli_error{2, "--card-share needs 0 < MIN <= MAX <= 1"};
        cond.card_min = lo;
        cond.card_max = hi;
    }
    if (!(o.pixel_aspect >= 0.25 && o.pixel_aspect <= 4))
        throw cli_error{2, "--pixel-aspect must be from 0.25 to 4"};
    cond.pixel_aspect = o.pixel_aspect;
    synth_scene scene = synth_draw(cond, type, w, h, o.seed);
    scene.encode = entry;
    scene.with_card = !o.no_chart;
    if (o.decoy == "grid")
        scene.decoy = SYNTH_DECOY_GRID;
    else if (o.decoy == "tiles")
        scene.decoy = SYNTH_DECOY_TILES;
    else if (o.decoy != "none")
        throw cli_error{2, "--decoy must be 'none', 'grid' or 'tiles'"};
    synth_shot shot;
    synth_render(scene, &shot);
    rgba_image out;
    out.width = w;
    out.height = h;
    out.pixels = shot.pixels;
    write_image(o.output, out);
    nlohmann::json j;
    j["chart"] = refcard(type)->type;
    j["size"] = {w, h};
    j["pixel_aspect"] = o.pixel_aspect;
    j["seed"] = o.seed;
    j["encode"] = transfer_popup_name(entry);
    j["corners"] = points(shot.corners);
    j["card_square"] = points(shot.card_square);
    j["patch_edges"] = points(shot.patch_edges);
    nlohmann::json patches = nlohmann::json::array();
    for (int i = 0; i < shot.patch_count; ++i) {
        const size_t b = size_t(i) * 3;
        patches.push_back(
            {{"name", refcard(type)->patches[i].name},
             {"reference", {shot.reference[b], shot.reference[b + 1], shot.reference[b + 2]}},
             {"linear", {shot.scene[b], shot.scene[b + 1], shot.scene[b + 2]}}});
    }
    j["patches"] = patches;
    std::printf("%s\n", j.dump(2).c_str());
}

void setup(CLI::App& app) {
    const char* chart_help = "chart: popup position (1-10) or name, or an unambiguous part of one";
    const char* entry_help = "catalogue entry of the image's encoding (position or name)";
    {
        auto o = std::make_shared<find_options>();
        CLI::App* sub = app.add_subcommand(
            "find",
            "find a chart in an image: its corners (top left, top right, bottom right, "
            "bottom left, in pixels) and colour error; exit status 1 when none is found");
        sub->add_option("image", o->path, "image file")->required();
        sub->add_option("--chart", o->chart, chart_help)->required();
        sub->add_option("--input", o->entry, entry_help);
        sub->add_flag("--json", o->json,
                      "print the result as JSON (with the score, the time the search took, and "
                      "when none is found the reason and the placement turned down)");
        sub->add_option("--pixel-aspect", o->pixel_aspect,
                        "width of a pixel over its height (default: as the file states)");
        sub->callback([o]() { run_find(*o); });
    }
    {
        auto o = std::make_shared<read_options>();
        CLI::App* sub = app.add_subcommand(
            "read", "sample every patch of a chart at given corners: display and linear values");
        sub->add_option("image", o->path, "image file")->required();
        sub->add_option("--chart", o->chart, chart_help)->required();
        sub->add_option("--corners", o->corners, "x0,y0,x1,y1,x2,y2,x3,y3 in pixels")->required();
        sub->add_option("--input", o->entry, entry_help);
        sub->add_option("--pixel-aspect", o->pixel_aspect,
                        "width of a pixel over its height (default: as the file states)");
        sub->add_option("--sampling", o->sampling,
                        "patch (default: the patch's central part, linear light, outliers left "
                        "out) or box (a fixed 10 x 10 pixel box)");
        sub->callback([o]() { run_read(*o); });
    }
    {
        auto o = std::make_shared<synth_options>();
        CLI::App* sub = app.add_subcommand(
            "synth", "write a synthetic shot of a chart and print its truth as JSON");
        sub->add_option("--chart", o->chart, chart_help)->required();
        sub->add_option("--seed", o->seed, "scene seed");
        sub->add_option("--size", o->size, "frame size WxH (default 1280x720)");
        sub->add_option("--encode", o->encode, "catalogue entry to encode with (default sRGB)");
        sub->add_option("--conditions", o->conditions, "moderate (default) or hard");
        sub->add_option("--card-share", o->card_share,
                        "card height over frame height: MIN[,MAX] (default from the conditions)")
            ->delimiter(',');
        sub->add_option("--pixel-aspect", o->pixel_aspect,
                        "width of a frame pixel over its height (default 1)");
        sub->add_option("--decoy", o->decoy,
                        "none (default), grid (a board of coloured squares instead of the chart) "
                        "or tiles (a tiled wall behind it)");
        sub->add_flag("--no-chart", o->no_chart, "leave the chart out of the frame");
        sub->add_option("-o,--output", o->output, "image file to write")->required();
        sub->callback([o]() { run_synth(*o); });
    }
}

}  // namespace

static const bool registered = register_command(40, setup);
