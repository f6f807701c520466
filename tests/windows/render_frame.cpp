// Renders one camera frame (a synthetic chart shot in a log curve, corrected from its
// chart) through the plug-in file in the headless host, and through every render backend
// of the core, and writes the raw pixels. Built for Linux and for Windows, so that what
// the two plug-ins make of the same frame can be compared:
//   render_frame PLUGIN DIR [FROM]   writes DIR/<name>.raw; with FROM, renders FROM's frame
//                                    with FROM's coefficients, so that only the renders differ
//   render_frame --compare A B       compares the files of two such folders
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cards/sampling.h"
#include "headless/host.h"
#include "host/colorcard.h"
#include "host/param_table.h"
#include "host/params.h"
#include "pipeline/render.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"
#include "synth/synth.h"

namespace fs = std::filesystem;

namespace {

constexpr int WIDTH = 640, HEIGHT = 360;
constexpr int CAMERA_ENTRY = 43;  // the camera's log curve and gamut
constexpr int OUTPUT_ENTRY = 2;

bool write_file(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

std::vector<char> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), {});
}

// The world's rows without their padding.
std::vector<char> world_rows(const headless_world& w) {
    const size_t row = static_cast<size_t>(w.def.width * world_format_bytes(w.format));
    std::vector<char> bytes(row * static_cast<size_t>(w.def.height));
    for (int y = 0; y < w.def.height; ++y)
        std::memcpy(
            bytes.data() + row * static_cast<size_t>(y),
            static_cast<const char*>(w.def.data) + static_cast<ptrdiff_t>(y) * w.def.rowbytes, row);
    return bytes;
}

void fill_float_world(headless_world* w, const std::vector<float>& rgba) {
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            const float* p = &rgba[(static_cast<size_t>(y) * WIDTH + static_cast<size_t>(x)) * 4];
            auto* d = reinterpret_cast<float*>(static_cast<char*>(w->def.data) +
                                               static_cast<ptrdiff_t>(y) * w->def.rowbytes) +
                      x * 4;
            d[0] = p[3], d[1] = p[0], d[2] = p[1], d[3] = p[2];
        }
}

void fill_8bit_world(headless_world* w, const std::vector<float>& rgba) {
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            const float* p = &rgba[(static_cast<size_t>(y) * WIDTH + static_cast<size_t>(x)) * 4];
            auto* d = reinterpret_cast<uint8_t*>(static_cast<char*>(w->def.data) +
                                                 static_cast<ptrdiff_t>(y) * w->def.rowbytes) +
                      x * 4;
            const int order[4] = {3, 0, 1, 2};
            for (int c = 0; c < 4; ++c) {
                const float v = std::fmin(std::fmax(p[order[c]], 0.0f), 1.0f) * 255.0f + 0.5f;
                d[c] = static_cast<uint8_t>(v);
            }
        }
}

int fail(const std::string& message) {
    std::fprintf(stderr, "render_frame: %s\n", message.c_str());
    return 1;
}

// Through the plug-in: the camera entry on the input side, the chart read from the frame
// at its true corners into the "Source" card, the effect's default correction.
int render_plugin(const char* plugin_path, const synth_shot& shot, refcard_type chart,
                  const fs::path& dir) {
    headless_plugin plugin;
    std::string error;
    if (!headless_load(&plugin, plugin_path, &error)) return fail(error);
    headless_host* host = headless_host_new(&plugin, FLAVOUR_AE);
    PF_Err err = host->global_error;
    headless_instance* inst = err ? nullptr : headless_instance_new(host, WIDTH, HEIGHT, &err);
    // The chart first: a chart with another patch count resets both cards.
    if (!err) err = headless_user_set(inst, P_CARD_TYPE_POPUP, card_type_as_popup(chart));
    if (!err) err = headless_user_set(inst, P_INPUT_TRANSFER, transfer_as_popup(CAMERA_ENTRY));
    if (!err) err = headless_user_set(inst, P_OUTPUT_TRANSFER, transfer_as_popup(OUTPUT_ENTRY));
    auto c = std::make_unique<card>();
    if (!err) {
        std::memset(static_cast<void*>(c.get()), 0, sizeof(card));
        cardMakeRef(c.get(), &COLOR_SPACE[CAMERA_ENTRY], chart);
        cardRead(&shot.frame, &TRANSFER_FUNCTION[CAMERA_ENTRY], shot.corners, c.get());
        std::vector<uint8_t> bytes(COLORCARD_BYTES, 0);
        std::memcpy(bytes.data(), c.get(), sizeof(card));
        std::memset(bytes.data(), 0, 8);  // the chart pointer is not part of the value
        err = headless_unflatten(inst, P_SOURCE, bytes);
    }
    bool written = true;
    for (world_format format : {WORLD_ARGB32F, WORLD_ARGB8}) {
        if (err) break;
        headless_world in, out;
        world_init(&in, format, WIDTH, HEIGHT);
        world_init(&out, format, WIDTH, HEIGHT);
        if (format == WORLD_ARGB32F)
            fill_float_world(&in, shot.pixels);
        else
            fill_8bit_world(&in, shot.pixels);
        err = headless_render(inst, &in, &out, true);
        const std::vector<char> rows = world_rows(out);
        written =
            written &&
            write_file(dir / (format == WORLD_ARGB32F ? "plugin_float.raw" : "plugin_8bit.raw"),
                       rows.data(), rows.size());
    }
    if (inst) headless_instance_delete(inst);
    headless_host_delete(host);
    headless_unload(&plugin);
    if (err) return fail("the effect failed with error " + std::to_string(err));
    return written ? 0 : fail("cannot write to " + dir.string());
}

// Through the core, on each backend the processor runs, from the same kind of settings.
int render_backends(const synth_shot& shot, refcard_type chart, const fs::path& dir,
                    const fs::path& from) {
    auto p = std::make_unique<parameters>();
    parameters_defaults(p.get());
    p->input_transfer = TRANSFER_FUNCTION[CAMERA_ENTRY];
    p->input_space = COLOR_SPACE[CAMERA_ENTRY];
    p->output_transfer = TRANSFER_FUNCTION[OUTPUT_ENTRY];
    p->output_space = COLOR_SPACE[OUTPUT_ENTRY];
    cardMakeRef(&p->source, &p->input_space, chart);
    cardMakeRef(&p->target, &p->input_space, chart);
    cardRead(&shot.frame, &p->input_transfer, shot.corners, &p->source);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, p.get());
    if (!from.empty()) {
        const std::vector<char> given = read_file(from / "coefficients.raw");
        if (given.size() != sizeof coeffs) return fail("no coefficients in " + from.string());
        std::memcpy(coeffs, given.data(), sizeof coeffs);
    }
    // The frame and the fitted correction too, so that a difference can be traced.
    if (!write_file(dir / "frame.raw", shot.pixels.data(), shot.pixels.size() * sizeof(float)) ||
        !write_file(dir / "coefficients.raw", coeffs, sizeof coeffs))
        return fail("cannot write to " + dir.string());
    std::vector<float> pixels(shot.pixels.size());
    image out;
    makeImage(WIDTH, HEIGHT, reinterpret_cast<char*>(pixels.data()), &out);
    const OfxRectI area{0, 0, WIDTH, HEIGHT};
    for (render_backend b : {RENDER_PORTABLE, RENDER_LANES4, RENDER_AVX2, RENDER_AVX512}) {
        if (!render_backend_available(b)) continue;
        render_coefficients(&shot.frame, &out, &area, coeffs, nullptr, nullptr, b);
        if (!write_file(dir / (std::string("core_") + render_backend_name(b) + ".raw"),
                        pixels.data(), pixels.size() * sizeof(float)))
            return fail("cannot write to " + dir.string());
    }
    return 0;
}

// Every file of `a` against the same file of `b`: float files compared as floats (largest
// difference, also in units in the last place), 8-bit files as bytes. Files of one side only
// are listed and skipped (a backend the other processor lacks). Given the same frame and
// correction, every backend and the plug-in itself (which fits its own correction from the
// frame) must give the same bits on both systems, so any difference fails.
int compare(const fs::path& a, const fs::path& b) {
    int compared = 0;
    bool same = true;
    for (const auto& entry : fs::directory_iterator(a)) {
        const std::string name = entry.path().filename().string();
        if (!fs::exists(b / name)) {
            std::printf("%-24s only in %s\n", name.c_str(), a.string().c_str());
            continue;
        }
        const std::vector<char> x = read_file(entry.path()), y = read_file(b / name);
        if (x.size() != y.size()) {
            std::printf("%-24s sizes differ (%zu, %zu bytes)\n", name.c_str(), x.size(), y.size());
            same = false;
            continue;
        }
        size_t differing = 0;
        int64_t worst_ulp = 0;
        double worst = 0;
        const bool floats = name.find("8bit") == std::string::npos;
        const size_t step = floats ? 4 : 1;
        for (size_t k = 0; k + step <= x.size(); k += step) {
            if (std::memcmp(&x[k], &y[k], step) == 0) continue;
            ++differing;
            if (floats) {
                int32_t u, v;
                std::memcpy(&u, &x[k], 4);
                std::memcpy(&v, &y[k], 4);
                const int64_t d = std::llabs(static_cast<int64_t>(u) - static_cast<int64_t>(v));
                if (d > worst_ulp) worst_ulp = d;
                float f, g;
                std::memcpy(&f, &x[k], 4);
                std::memcpy(&g, &y[k], 4);
                worst = std::fmax(worst, std::fabs(static_cast<double>(f) - g));
            } else {
                worst = std::fmax(worst, std::abs(x[k] - y[k]));
            }
        }
        ++compared;
        const bool within = differing == 0;
        same = same && within;
        std::printf("%-24s %zu values, %zu differ", name.c_str(), x.size() / step, differing);
        if (differing)
            std::printf(", largest by %g%s", worst,
                        floats ? (" = " + std::to_string(worst_ulp) + " ulp").c_str() : "");
        std::printf("%s\n", within ? "" : "  TOO FAR");
    }
    if (compared == 0) return fail("nothing to compare in " + a.string());
    std::printf(same ? "renders agree\n" : "renders differ\n");
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--compare") == 0) return compare(argv[2], argv[3]);
    if (argc != 3 && argc != 4)
        return fail("usage: render_frame PLUGIN DIR [FROM] | render_frame --compare A B");
    const fs::path from = argc == 4 ? argv[3] : "";
    const fs::path dir = argv[2];
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return fail("cannot create " + dir.string() + ": " + ec.message());
    const refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    synth_shot shot;
    synth_demo_shot(WIDTH, HEIGHT, CAMERA_ENTRY, chart, &shot);
    if (!from.empty()) {
        const std::vector<char> given = read_file(from / "frame.raw");
        if (given.size() != shot.pixels.size() * sizeof(float))
            return fail("no frame in " + from.string());
        std::memcpy(shot.pixels.data(), given.data(), given.size());
    }
    const int r = render_backends(shot, chart, dir, from);
    return r ? r : render_plugin(argv[1], shot, chart, dir);
}
