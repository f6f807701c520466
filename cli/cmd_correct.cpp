// `correct` and `render`: frames corrected by the effect itself, loaded from its plug-in
// file into the headless host and driven as a user drives it in a host.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/effect_session.h"
#include "cli/lookup.h"
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
    std::string image, out, host = "ae";
    correction_options correction;
    bool find = false;
    std::string corners, card_file, lut, save_card, project;
    int lut_size = 48;
    bool overwrite = false;
};

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
    check_outputs({a.image, a.card_file},
                  {{a.out, "-o", ""},
                   {a.lut, "--lut", ""},
                   {a.save_card, "--save-card", ""},
                   {a.project, "--project", ""}},
                  a.overwrite);
    rgba_image frame = read_image(a.image);
    if (!corners.empty()) check_corners_in_frame(corners, frame.width, frame.height);
    effect_session s;
    try {
        session_open(&s, flavour, frame.width, frame.height);
        session_apply(&s, settings);
        if (a.find || !corners.empty()) {
            if (!session_read_card(&s, frame, corners.empty() ? nullptr : corners.data()))
                throw cli_error(1, "no chart found in '" + a.image + "'");
        } else if (!a.card_file.empty()) {
            session_load_card(&s, a.card_file);
        }
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
    add_correction_options(c, ca.correction);
    c->add_flag("--find", ca.find, "find the chart in the frame");
    c->add_option("--corners", ca.corners, "chart corners x0,y0,...,x3,y3 (TL, TR, BR, BL)");
    c->add_option("--card", ca.card_file, "ColorCard file with the source card");
    c->add_option("--lut", ca.lut, "also write the correction as a cube LUT");
    c->add_option("--lut-size", ca.lut_size, "LUT points per axis (2-129, default 48)");
    c->add_option("--save-card", ca.save_card, "save the source card as a ColorCard file");
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
