// `ui`: pictures of the effect's controls and of its overlay over a frame, drawn by the
// effect through the headless host as a host would show them.
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/command.h"
#include "cli/effect_session.h"
#include "synth/synth.h"

namespace {

struct ui_args {
    std::string image, dir, host = "ae", project;
    bool find = false;
};

rgba_image demo_frame() {
    synth_shot shot;
    synth_demo_shot(1920, 1080, 43, XRITE_COLORCHECKER_24_AFTER_NOV2014, &shot);
    rgba_image frame;
    frame.width = shot.frame.right;
    frame.height = shot.frame.bottom;
    frame.bits = 32;
    frame.pixels = shot.pixels;
    return frame;
}

void run_ui(const ui_args& a) {
    host_flavour flavour =
        a.host == "ae" ? FLAVOUR_AE
        : a.host == "premiere"
            ? FLAVOUR_PREMIERE
            : throw cli_error(2, "--host takes ae or premiere, not '" + a.host + "'");
    if (!std::filesystem::is_directory(a.dir))
        throw cli_error(2, "output folder '" + a.dir + "' does not exist");
    rgba_image frame = a.image.empty() ? demo_frame() : read_image(a.image);
    effect_session s;
    try {
        session_open(&s, flavour, frame.width, frame.height);
        std::string error;
        if (!a.project.empty() && !headless_project_load(s.instance, a.project, &error))
            throw cli_error(1, error);
        // The built-in shot is S-Log3 footage, as the demo's.
        if (a.image.empty() && a.project.empty()) headless_user_set(s.instance, 3, 43);
        session_set_layer(&s, frame);
        if (a.find) {
            double seconds = 0;
            if (!session_read_card(&s, frame, nullptr, 40, &seconds))
                throw cli_error(1, "no chart found in the frame");
            std::printf("Find card in frame: new card after %.3f s\n", seconds);
        }
        for (const std::string& path : session_write_ui_pictures(&s, frame, a.dir))
            std::printf("%s\n", path.c_str());
    } catch (...) {
        session_close(&s);
        throw;
    }
    session_close(&s);
}

void setup(CLI::App& app) {
    static ui_args a;
    CLI::App* c = app.add_subcommand(
        "ui", "draw the effect's controls and its overlay over a frame to PNG files");
    c->add_option("IMAGE", a.image, "frame under the overlay (default: the demo's shot)");
    c->add_option("-o,--out", a.dir, "folder for the pictures")->required();
    c->add_option("--host", a.host, "host flavour: ae (default) or premiere");
    c->add_option("--project", a.project, "settings saved by correct --project");
    c->add_flag("--find", a.find, "click \"Find card in frame\" first (prints the time it took)");
    c->callback([] { run_ui(a); });
}

const bool registered = register_command(85, setup);

}  // namespace
