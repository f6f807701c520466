// `correct` and `render`: frames corrected by the effect itself, loaded from its plug-in
// file into the headless host and driven as a user drives it in a host.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/effect_session.h"
#include "cli/lookup.h"
#include "host/param_table.h"
#include "cli/outputs.h"

namespace {

host_flavour parse_host(const std::string& h) {
    if (h == "ae") return FLAVOUR_AE;
    if (h == "premiere") return FLAVOUR_PREMIERE;
    throw cli_error(2, "--host takes ae or premiere, not '" + h + "'");
}

// Where `render` writes a frame: its file name in the output folder.
std::string frame_output(const std::string& dir, const std::string& frame) {
    return (std::filesystem::path(dir) / std::filesystem::path(frame).filename()).string();
}

struct correct_args {
    std::string image, out, host = "ae", gpu;
    correction_options correction;
    bool find = false;
    std::string corners, card_file, lut, save_card, project;
    double pixel_aspect = 0;
    int lut_size = 48;
    // The "Target" card: from a file, or read from another shot to match this one to it.
    std::string target_card, target_image, target_corners;
    bool target_find = false;
    std::string input_primaries, output_primaries;
    std::vector<std::string> patches, target_patches;  // N=R,G,B
    bool ref = false, target_ref = false;
    bool overwrite = false;
};

// Comma-separated finite numbers, exactly `count` of them.
std::vector<double> parse_count(const std::string& text, const std::string& option, size_t count) {
    // An empty item (",," or a trailing comma) is refused by the count.
    std::vector<double> v = parse_numbers(std::vector<std::string>{text}, option);
    if (v.size() != count)
        throw cli_error(2, option + " needs " + std::to_string(count) + " numbers, not " +
                               std::to_string(v.size()));
    return v;
}

struct patch_edit {
    int index;
    float r, g, b;
};
// "N=R,G,B": patch N (from 0, in the chart's order) set to a display colour from 0 to 1.
std::vector<patch_edit> parse_patches(const std::vector<std::string>& words,
                                      const std::string& option) {
    std::vector<patch_edit> edits;
    for (const std::string& w : words) {
        size_t eq = w.find('=');
        if (eq == std::string::npos || eq == 0)
            throw cli_error(2, option + " takes N=R,G,B, not '" + w + "'");
        std::vector<double> n = parse_count(w.substr(0, eq), option, 1);
        std::vector<double> rgb = parse_count(w.substr(eq + 1), option, 3);
        if (n[0] < 0 || n[0] > 1023 || n[0] != std::floor(n[0]))
            throw cli_error(2, option + ": '" + w.substr(0, eq) + "' is not a patch number");
        for (double c : rgb)
            if (c < 0 || c > 1) throw cli_error(2, option + ": colours lie between 0 and 1");
        edits.push_back({static_cast<int>(n[0]), static_cast<float>(rgb[0]),
                         static_cast<float>(rgb[1]), static_cast<float>(rgb[2])});
    }
    return edits;
}

void run_correct(const correct_args& a) {
    host_flavour flavour = parse_host(a.host);
    // Every option is checked before the image is read or the effect loaded.
    const correction_values settings = resolve_correction(a.correction);
    std::vector<double> corners;
    if (!a.corners.empty()) corners = parse_corners(a.corners);
    int sources = (a.find ? 1 : 0) + (a.corners.empty() ? 0 : 1) + (a.card_file.empty() ? 0 : 1);
    if (sources > 1) throw cli_error(2, "give one of --find, --corners and --card");
    if (!a.lut.empty() && (a.lut_size < 2 || a.lut_size > 129))
        throw cli_error(2, "--lut-size must lie between 2 and 129");
    if (!a.gpu.empty() && flavour != FLAVOUR_PREMIERE)
        throw cli_error(2, "--gpu needs --host premiere (the GPU filter is the editing host's)");
    if (!a.gpu.empty() && a.gpu != "opencl" && a.gpu != "cuda")
        throw cli_error(2, "--gpu takes opencl or cuda, not '" + a.gpu + "'");
    if (!a.target_card.empty() && !a.target_image.empty())
        throw cli_error(2, "give one of --target-card and --target-image");
    if ((a.target_find || !a.target_corners.empty()) == a.target_image.empty())
        throw cli_error(2, "--target-image needs one of --target-find and --target-corners");
    if (a.target_find && !a.target_corners.empty())
        throw cli_error(2, "give one of --target-find and --target-corners");
    std::vector<double> target_corners;
    if (!a.target_corners.empty())
        target_corners = parse_count(a.target_corners, "--target-corners", 8);
    std::vector<double> input_primaries, output_primaries;
    if (!a.input_primaries.empty())
        input_primaries = parse_count(a.input_primaries, "--input-primaries", 8);
    if (!a.output_primaries.empty())
        output_primaries = parse_count(a.output_primaries, "--output-primaries", 8);
    const std::vector<patch_edit> patches = parse_patches(a.patches, "--patch");
    const std::vector<patch_edit> target_patches =
        parse_patches(a.target_patches, "--target-patch");
    checked_pixel_aspect(a.pixel_aspect);
    check_outputs({a.image, a.card_file, a.target_card, a.target_image},
                  {{a.out, "-o", ""},
                   {a.lut, "--lut", ""},
                   {a.save_card, "--save-card", ""},
                   {a.project, "--project", ""}},
                  a.overwrite);
    rgba_image frame = read_image(a.image);
    if (a.pixel_aspect > 0) frame.pixel_aspect = float(a.pixel_aspect);
    if (!corners.empty()) check_corners_in_frame(corners, frame.width, frame.height);
    rgba_image target_frame;
    if (!a.target_image.empty()) {
        target_frame = read_image(a.target_image);
        if (!target_corners.empty())
            check_corners_in_frame(target_corners, target_frame.width, target_frame.height,
                                   "--target-corners");
    }
    effect_session s;
    try {
        session_open(&s, flavour, frame.width, frame.height);
        session_apply(&s, settings);
        if (!input_primaries.empty()) session_set_primaries(&s, true, input_primaries);
        if (!output_primaries.empty()) session_set_primaries(&s, false, output_primaries);
        if (!target_frame.pixels.empty()) {
            if (!session_read_card(&s, target_frame,
                                   target_corners.empty() ? nullptr : target_corners.data(),
                                   P_TARGET))
                throw cli_error(1, "no chart found in '" + a.target_image + "'");
        } else if (!a.target_card.empty()) {
            session_load_card(&s, a.target_card, P_TARGET);
        }
        if (a.find || !corners.empty()) {
            double residual = 0;
            if (!session_read_card(&s, frame, corners.empty() ? nullptr : corners.data(), P_SOURCE,
                                   nullptr, &residual))
                throw cli_error(1, "no chart found in '" + a.image + "'");
            const std::string warning = card_fit_warning(residual);
            if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());
        } else if (!a.card_file.empty()) {
            session_load_card(&s, a.card_file);
        }
        if (a.ref) session_reset_card(&s, P_SOURCE);
        if (a.target_ref) session_reset_card(&s, P_TARGET);
        for (const patch_edit& e : patches)
            session_edit_patch(&s, P_SOURCE, e.index, e.r, e.g, e.b);
        for (const patch_edit& e : target_patches)
            session_edit_patch(&s, P_TARGET, e.index, e.r, e.g, e.b);
        if (!a.gpu.empty()) session_use_gpu(&s, a.gpu);
        rgba_image result = session_render(&s, frame);
        write_image(a.out, result);
        if (!a.lut.empty()) session_write_lut(&s, a.lut, a.lut_size);
        if (!a.save_card.empty()) session_save_card(&s, a.save_card);
        std::string error;
        if (!a.project.empty() && !headless_project_save(s.instance, a.project, &error))
            throw cli_error(1, error);
    } catch (...) {
        session_close(&s);
        throw;
    }
    session_close(&s);
}

struct render_args {
    std::string project, dir, host;
    std::vector<std::string> images;
    bool overwrite = false;
};

void run_render(const render_args& a) {
    if (!std::filesystem::is_directory(a.dir))
        throw cli_error(2, "output folder '" + a.dir + "' does not exist");
    // Read the project's frame size and host without the effect first, so that a bad
    // project is refused before anything is loaded or written.
    std::FILE* f = std::fopen(a.project.c_str(), "rb");
    if (!f) throw cli_error(1, "project '" + a.project + "' cannot be read");
    std::fclose(f);
    std::vector<std::string> inputs = a.images;
    inputs.push_back(a.project);
    std::vector<output_use> outputs;
    for (const std::string& path : a.images)
        outputs.push_back({frame_output(a.dir, path), "-o", path});
    check_outputs(inputs, outputs, a.overwrite);
    rgba_image first = read_image(a.images.front());
    effect_session s;
    try {
        session_open(&s, a.host.empty() ? FLAVOUR_AE : parse_host(a.host), first.width,
                     first.height);
        std::string error;
        if (!headless_project_load(s.instance, a.project, &error)) throw cli_error(1, error);
        bool terminal = isatty(fileno(stderr));
        size_t done = 0;
        for (const std::string& path : a.images) {
            rgba_image frame = done == 0 ? first : read_image(path);
            std::filesystem::path out = frame_output(a.dir, path);
            write_image(out.string(), session_render(&s, frame));
            ++done;
            if (terminal)
                std::fprintf(stderr, "\r%zu/%zu frames  %s\033[K", done, a.images.size(),
                             out.filename().c_str());
        }
        if (terminal) std::fprintf(stderr, "\n");
    } catch (...) {
        session_close(&s);
        throw;
    }
    session_close(&s);
}

void setup(CLI::App& app) {
    static correct_args ca;
    CLI::App* c =
        app.add_subcommand("correct", "correct a frame with the effect (through its plug-in)");
    c->add_option("IMAGE", ca.image, "frame to correct")->required();
    c->add_option("-o,--out", ca.out, "corrected frame (same bit depth)")->required();
    c->add_option("--host", ca.host, "ae or premiere");
    c->add_option("--gpu", ca.gpu, "render through the GPU filter: opencl or cuda (premiere)");
    add_correction_options(c, ca.correction);
    c->add_flag("--find", ca.find, "find the chart in the frame");
    c->add_option("--corners", ca.corners, "chart corners x0,y0,...,x3,y3 (TL, TR, BR, BL)");
    c->add_option("--card", ca.card_file, "ColorCard file with the source card");
    c->add_option("--pixel-aspect", ca.pixel_aspect,
                  "width of a pixel over its height (default: as the file states)");
    c->add_option("--lut", ca.lut, "also write the correction as a cube LUT");
    c->add_option("--lut-size", ca.lut_size, "LUT points per axis (2-129, default 48)");
    c->add_option("--save-card", ca.save_card, "save the source card as a ColorCard file");
    c->add_option("--target-card", ca.target_card, "ColorCard file with the target card");
    c->add_option("--target-image", ca.target_image,
                  "another shot of the chart to match to (its card becomes the target)");
    c->add_flag("--target-find", ca.target_find, "find the chart in --target-image");
    c->add_option("--target-corners", ca.target_corners,
                  "chart corners in --target-image, x0,y0,...,x3,y3");
    c->add_option("--input-primaries", ca.input_primaries,
                  "input primaries and white: rx,ry,gx,gy,bx,by,wx,wy");
    c->add_option("--output-primaries", ca.output_primaries,
                  "output primaries and white: rx,ry,gx,gy,bx,by,wx,wy");
    c->add_option("--patch", ca.patches,
                  "set patch N of the source card to a display colour: N=R,G,B (repeatable)");
    c->add_option("--target-patch", ca.target_patches,
                  "set patch N of the target card: N=R,G,B (repeatable)");
    c->add_flag("--ref", ca.ref, "reset the source card to the chart's reference (\"Ref\")");
    c->add_flag("--target-ref", ca.target_ref,
                "reset the target card to the chart's reference (\"Ref\")");
    c->add_option("--project", ca.project, "save the settings as a project file");
    c->add_flag("--overwrite", ca.overwrite, "let an output replace an input file");
    c->callback([] { run_correct(ca); });

    static render_args ra;
    CLI::App* r = app.add_subcommand("render", "apply a saved project to frames");
    r->add_option("--project", ra.project, "project file from correct --project")->required();
    r->add_option("IMAGE", ra.images, "frames")->required();
    r->add_option("-o,--out", ra.dir, "output folder")->required();
    r->add_option("--host", ra.host, "ae or premiere");
    r->add_flag("--overwrite", ra.overwrite, "let a frame replace its source");
    r->callback([] { run_render(ra); });
}

const bool registered = register_command(40, setup);

}  // namespace
