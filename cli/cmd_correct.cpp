// `correct` and `render`: frames corrected by the effect itself, loaded from its plug-in
// file into the headless host and driven as a user drives it in a host.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/effect_session.h"
#include "cli/lookup.h"
#include "cli/parallel.h"
#include "cli/report.h"

namespace {

host_flavour parse_host(const std::string& h) {
    if (h == "ae") return FLAVOUR_AE;
    if (h == "premiere") return FLAVOUR_PREMIERE;
    throw cli_error(2, "--host takes ae or premiere, not '" + h + "'");
}

int thread_count(int requested) {
    if (requested < 0 || requested > 1024)
        throw cli_error(2, "--threads must lie between 1 and 1024");
    return requested == 0 ? default_threads() : requested;
}

struct correct_args {
    std::string image, out, host = "ae";
    correction_options correction;
    bool find = false;
    std::string corners, card_file, lut, save_card, project;
    int lut_size = 48;
    int threads = 0;
    std::string report;
};

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
    const int threads = thread_count(a.threads);
    rgba_image frame = read_image(a.image);
    effect_session s;
    double located[8] = {};
    try {
        session_open(&s, flavour, frame.width, frame.height);
        session_apply(&s, settings);
        if (a.find || !corners.empty()) {
            if (!session_read_card(&s, frame, corners.empty() ? nullptr : corners.data(), located))
                throw cli_error(1, "no chart found in '" + a.image + "'");
        } else if (!a.card_file.empty()) {
            session_load_card(&s, a.card_file);
        }
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
    // Two frames of the same name would race for one output file.
    std::set<std::string> names;
    for (const std::string& path : a.images) {
        std::filesystem::path out =
            std::filesystem::path(a.dir) / std::filesystem::path(path).filename();
        if (!names.insert(out.filename().string()).second)
            throw cli_error(2, "two frames would both be written to '" + out.string() + "'");
        b.outputs.push_back(out.string());
    }
    // Read the project's frame size and host without the effect first, so that a bad
    // project is refused before anything is loaded or written.
    std::FILE* f = std::fopen(a.project.c_str(), "rb");
    if (!f) throw cli_error(1, "project '" + a.project + "' cannot be read");
    std::fclose(f);
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
    add_correction_options(c, ca.correction);
    c->add_flag("--find", ca.find, "find the chart in the frame");
    c->add_option("--corners", ca.corners, "chart corners x0,y0,...,x3,y3 (TL, TR, BR, BL)");
    c->add_option("--card", ca.card_file, "ColorCard file with the source card");
    c->add_option("--lut", ca.lut, "also write the correction as a cube LUT");
    c->add_option("--lut-size", ca.lut_size, "LUT points per axis (2-129, default 48)");
    c->add_option("--save-card", ca.save_card, "save the source card as a ColorCard file");
    c->add_option("--project", ca.project, "save the settings as a project file");
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
    r->add_option("--threads", ra.threads,
                  "worker threads (default: every core); frames render in parallel, the rows "
                  "of a frame too when there are fewer frames than threads");
    r->callback([] { run_render(ra); });
}

const bool registered = register_command(40, setup);

}  // namespace
