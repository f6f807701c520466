// `correct` and `render`: frames corrected by the effect itself, loaded from its plug-in
// file into the headless host and driven as a user drives it in a host.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/effect_session.h"
#include "cli/lookup.h"
#include "cli/outputs.h"
#include "cli/parallel.h"
#include "cli/report.h"
#include "host/param_table.h"

namespace {

host_flavour parse_host(const std::string& h) {
    if (h == "ae") return FLAVOUR_AE;
    if (h == "premiere") return FLAVOUR_PREMIERE;
    throw cli_error(2, "--host takes ae or premiere, not '" + h + "'");
}

// A file in the report folder; empty without a report.
std::string report_file(const std::string& dir, const char* name) {
    return dir.empty() ? std::string() : (std::filesystem::path(dir) / name).string();
}

int thread_count(int requested) {
    if (requested < 0 || requested > 1024)
        throw cli_error(2, "--threads must lie between 1 and 1024");
    return requested == 0 ? default_threads() : requested;
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
    int threads = 0;
    std::string report;
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
    if (!a.report.empty() && !a.find && corners.empty())
        throw cli_error(2, "--report needs the chart located in the frame: --find or --corners");
    if (!a.report.empty() && !std::filesystem::is_directory(a.report))
        throw cli_error(2, "report folder '" + a.report + "' does not exist");
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
                   {a.project, "--project", ""},
                   {report_file(a.report, "report.html"), "--report", ""},
                   {report_file(a.report, "report.json"), "--report", ""}},
                  a.overwrite);
    const int threads = thread_count(a.threads);
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
    double located[8] = {};
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
                                   nullptr, &residual, located))
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
        rgba_image result = session_render(&s, frame, nullptr, threads);
        write_image(a.out, result);
        if (!a.lut.empty()) session_write_lut(&s, a.lut, a.lut_size);
        if (!a.save_card.empty()) session_save_card(&s, a.save_card);
        if (!a.report.empty())
            session_report(&s, a.report, frame, result, located,
                           {{"image", a.image},
                            {"chart located by", a.find ? "the finder (--find)" : "--corners"},
                            {"host", a.host}});
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
    int threads = 0;
};

std::string clock_text(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// The frames of a batch, shared by the worker threads: which comes next, which failed and
// why, and the progress line on a terminal.
struct batch_state {
    const std::vector<std::string>* images;
    std::vector<std::string> outputs;
    std::vector<std::string> failures;  // per frame; empty while it has not failed
    std::atomic<size_t> next{0};
    std::mutex lock;
    size_t done = 0, failed = 0;
    bool terminal = false;
    std::chrono::steady_clock::time_point start;
};

void frame_finished(batch_state* b, size_t i, const std::string& failure) {
    std::lock_guard<std::mutex> guard(b->lock);
    ++b->done;
    if (!failure.empty()) {
        ++b->failed;
        b->failures[i] = failure;
        std::fprintf(stderr, "%schromalane: frame '%s' failed: %s\n", b->terminal ? "\r\033[K" : "",
                     (*b->images)[i].c_str(), failure.c_str());
    }
    if (!b->terminal) return;
    const size_t total = b->images->size();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - b->start).count();
    const double fps = elapsed > 0 ? static_cast<double>(b->done) / elapsed : 0.0;
    const double left = fps > 0 ? static_cast<double>(total - b->done) / fps : 0.0;
    std::fprintf(stderr, "\r%zu/%zu frames  %.2f fps  %s left\033[K", b->done, total, fps,
                 clock_text(left).c_str());
}

void run_render(const render_args& a) {
    const int threads = thread_count(a.threads);
    if (!std::filesystem::is_directory(a.dir))
        throw cli_error(2, "output folder '" + a.dir + "' does not exist");
    batch_state b;
    b.images = &a.images;
    b.failures.resize(a.images.size());
    // Each frame keeps its file name in the output folder; check_outputs below refuses two
    // frames of one name, which would race for one file.
    for (const std::string& path : a.images)
        b.outputs.push_back(
            (std::filesystem::path(a.dir) / std::filesystem::path(path).filename()).string());
    // Read the project's frame size and host without the effect first, so that a bad
    // project is refused before anything is loaded or written.
    std::FILE* f = std::fopen(a.project.c_str(), "rb");
    if (!f) throw cli_error(1, "project '" + a.project + "' cannot be read");
    std::fclose(f);
    std::vector<std::string> inputs = a.images;
    inputs.push_back(a.project);
    std::vector<output_use> outputs;
    for (size_t i = 0; i < a.images.size(); ++i)
        outputs.push_back({b.outputs[i], "-o", a.images[i]});
    check_outputs(inputs, outputs, a.overwrite);
    b.terminal = isatty(fileno(stderr));
    b.start = std::chrono::steady_clock::now();
    // The instance takes the size of the first frame that reads.
    rgba_image first;
    size_t first_index = 0;
    for (; first_index < a.images.size(); ++first_index) {
        try {
            first = read_image(a.images[first_index]);
            break;
        } catch (const std::exception& e) {
            frame_finished(&b, first_index, e.what());
        }
    }
    const size_t count = a.images.size();
    if (first_index < count) {
        effect_session s;
        try {
            session_open(&s, a.host.empty() ? FLAVOUR_AE : parse_host(a.host), first.width,
                         first.height);
            std::string error;
            if (!headless_project_load(s.instance, a.project, &error)) throw cli_error(1, error);
        } catch (...) {
            session_close(&s);
            throw;
        }
        // Frames in parallel, one per worker; when there are fewer frames than threads,
        // each frame's rows are split among the threads left over.
        const int workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(threads), count));
        const int band_threads = std::max(1, threads / workers);
        b.next = first_index;
        run_on_threads(workers, [&](int) {
            for (size_t i = b.next++; i < count; i = b.next++) {
                if (!b.failures[i].empty()) continue;
                std::string failure;
                try {
                    rgba_image frame =
                        i == first_index ? std::move(first) : read_image(a.images[i]);
                    write_image(b.outputs[i], session_render(&s, frame, nullptr, band_threads));
                } catch (const std::exception& e) {
                    failure = e.what();
                    if (failure.empty()) failure = "unknown error";
                }
                frame_finished(&b, i, failure);
            }
        });
        session_close(&s);
    }
    if (b.terminal) std::fprintf(stderr, "\n");
    if (b.failed)
        throw cli_error(
            static_cast<int>(std::min<size_t>(b.failed, 125)),
            std::to_string(b.failed) + " of " + std::to_string(count) + " frames failed");
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
    c->add_option("--report", ca.report,
                  "write a fit report (report.html, report.json and pictures) into this folder");
    c->add_option("--threads", ca.threads,
                  "worker threads rendering bands of rows (default: every core)");
    c->callback([] { run_correct(ca); });

    static render_args ra;
    CLI::App* r = app.add_subcommand("render", "apply a saved project to frames");
    r->add_option("--project", ra.project, "project file from correct --project")->required();
    r->add_option("IMAGE", ra.images, "frames")->required();
    r->add_option("-o,--out", ra.dir, "output folder")->required();
    r->add_option("--host", ra.host, "ae or premiere");
    r->add_flag("--overwrite", ra.overwrite, "let a frame replace its source");
    r->add_option("--threads", ra.threads,
                  "worker threads (default: every core); frames render in parallel, the rows "
                  "of a frame too when there are fewer frames than threads");
    r->callback([] { run_render(ra); });
}

const bool registered = register_command(40, setup);

}  // namespace
