#include "cli/effect_session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cards/card.h"
#include "cards/finder.h"
#include "cards/sampling.h"
#include "cli/lookup.h"
#include "cli/parallel.h"
#include "host/bitmap.h"
#include "host/colorcard.h"
#include "host/custom_ui.h"
#include "host/param_table.h"
#include "host/params.h"
#include "pipeline/lut.h"
#include "pipeline/transfer.h"
#include "platform/platform.h"

// ---------------------------------------------------------------------------
// The plug-in

std::string plugin_file_path() {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n > 0) {
        exe[n] = 0;
        std::filesystem::path beside =
            std::filesystem::path(exe).parent_path() / "chromalane_ae.so";
        if (std::filesystem::exists(beside)) return beside.string();
    }
    return CHROMALANE_PLUGIN_PATH;
}

void session_open(effect_session* s, host_flavour flavour, int width, int height) {
    std::string error;
    if (!headless_load(&s->plugin, plugin_file_path(), &error)) throw cli_error(1, error);
    s->host = headless_host_new(&s->plugin, flavour);
    if (s->host->global_error)
        throw cli_error(1, "the effect's global setup failed (error " +
                               std::to_string(s->host->global_error) + ")");
    PF_Err err = PF_Err_NONE;
    s->instance = headless_instance_new(s->host, width, height, &err);
    if (err)
        throw cli_error(1,
                        "the effect's parameter setup failed (error " + std::to_string(err) + ")");
}

void session_use_gpu(effect_session* s, const std::string& framework) {
    if (s->host->flavour != FLAVOUR_PREMIERE)
        throw cli_error(2, "--gpu needs --host premiere (the GPU filter is the editing host's)");
    if (framework != "opencl" && framework != "cuda")
        throw cli_error(2, "--gpu takes opencl or cuda, not '" + framework + "'");
    const bool cuda = framework == "cuda";
    std::string error;
    s->gpu = new headless_gpu_device;
    if (!headless_gpu_open(s->gpu, 0,
                           cuda ? PrGPUDeviceFramework_CUDA : PrGPUDeviceFramework_OpenCL, &error))
        throw cli_error(1, std::string(cuda ? "no CUDA device: " : "no OpenCL device: ") + error);
    s->gpu_filter = new headless_gpu_filter;
    if (headless_gpu_filter_new(s->instance, s->gpu, s->gpu_filter, &error) != suiteError_NoError)
        throw cli_error(1, error);
}

void session_close(effect_session* s) {
    if (s->gpu_filter) {
        headless_gpu_filter_delete(s->gpu_filter);
        headless_gpu_shutdown(&s->plugin);
    }
    delete s->gpu_filter;
    s->gpu_filter = nullptr;
    if (s->gpu) headless_gpu_close(s->gpu);
    delete s->gpu;
    s->gpu = nullptr;
    if (s->instance) headless_instance_delete(s->instance);
    if (s->host) headless_host_delete(s->host);
    s->instance = nullptr;
    s->host = nullptr;
    headless_unload(&s->plugin);
}

namespace {

void check(PF_Err err, const std::string& what) {
    if (err)
        throw cli_error(1, "the effect refused " + what + " (error " + std::to_string(err) + ")");
}

refcard_type chart_type(headless_instance* inst) {
    return static_cast<refcard_type>(static_cast<int>(headless_value(inst, 39)));
}

// Host worlds from float RGBA and back.
world_format world_for(host_flavour f, const rgba_image& img) {
    if (f == FLAVOUR_AE)
        return img.bits == 8                       ? WORLD_ARGB8
               : img.bits == 16 && !img.half_float ? WORLD_ARGB16
                                                   : WORLD_ARGB32F;
    return img.bits == 8 ? WORLD_BGRA8 : WORLD_BGRA32F;
}

template <typename T>
T quantise(float v, float top) {
    float c = v * top + 0.5f;
    if (!(c > 0)) return 0;
    if (c >= top) return static_cast<T>(top);
    return static_cast<T>(c);
}

void to_world(const rgba_image& img, headless_world* w, int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
        char* row = static_cast<char*>(w->def.data) + static_cast<ptrdiff_t>(y) * w->def.rowbytes;
        for (int x = 0; x < img.width; ++x) {
            const float* p = &img.pixels[(static_cast<size_t>(y) * static_cast<size_t>(img.width) +
                                          static_cast<size_t>(x)) *
                                         4];
            switch (w->format) {
                case WORLD_ARGB8: {
                    auto* d = reinterpret_cast<uint8_t*>(row) + x * 4;
                    d[0] = quantise<uint8_t>(p[3], 255), d[1] = quantise<uint8_t>(p[0], 255);
                    d[2] = quantise<uint8_t>(p[1], 255), d[3] = quantise<uint8_t>(p[2], 255);
                    break;
                }
                case WORLD_ARGB16: {
                    auto* d = reinterpret_cast<uint16_t*>(row) + x * 4;
                    d[0] = quantise<uint16_t>(p[3], 32768), d[1] = quantise<uint16_t>(p[0], 32768);
                    d[2] = quantise<uint16_t>(p[1], 32768), d[3] = quantise<uint16_t>(p[2], 32768);
                    break;
                }
                case WORLD_ARGB32F: {
                    auto* d = reinterpret_cast<float*>(row) + x * 4;
                    d[0] = p[3], d[1] = p[0], d[2] = p[1], d[3] = p[2];
                    break;
                }
                case WORLD_BGRA8: {
                    auto* d = reinterpret_cast<uint8_t*>(row) + x * 4;
                    d[0] = quantise<uint8_t>(p[2], 255), d[1] = quantise<uint8_t>(p[1], 255);
                    d[2] = quantise<uint8_t>(p[0], 255), d[3] = quantise<uint8_t>(p[3], 255);
                    break;
                }
                case WORLD_BGRA32F: {
                    auto* d = reinterpret_cast<float*>(row) + x * 4;
                    d[0] = p[2], d[1] = p[1], d[2] = p[0], d[3] = p[3];
                    break;
                }
            }
        }
    }
}

void from_world(const headless_world* w, rgba_image* img, int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
        const char* row =
            static_cast<const char*>(w->def.data) + static_cast<ptrdiff_t>(y) * w->def.rowbytes;
        for (int x = 0; x < img->width; ++x) {
            float* p = &img->pixels[(static_cast<size_t>(y) * static_cast<size_t>(img->width) +
                                     static_cast<size_t>(x)) *
                                    4];
            switch (w->format) {
                case WORLD_ARGB8: {
                    auto* s = reinterpret_cast<const uint8_t*>(row) + x * 4;
                    p[3] = s[0] / 255.0f, p[0] = s[1] / 255.0f, p[1] = s[2] / 255.0f,
                    p[2] = s[3] / 255.0f;
                    break;
                }
                case WORLD_ARGB16: {
                    auto* s = reinterpret_cast<const uint16_t*>(row) + x * 4;
                    p[3] = s[0] / 32768.0f, p[0] = s[1] / 32768.0f, p[1] = s[2] / 32768.0f,
                    p[2] = s[3] / 32768.0f;
                    break;
                }
                case WORLD_ARGB32F: {
                    auto* s = reinterpret_cast<const float*>(row) + x * 4;
                    p[3] = s[0], p[0] = s[1], p[1] = s[2], p[2] = s[3];
                    break;
                }
                case WORLD_BGRA8: {
                    auto* s = reinterpret_cast<const uint8_t*>(row) + x * 4;
                    p[2] = s[0] / 255.0f, p[1] = s[1] / 255.0f, p[0] = s[2] / 255.0f,
                    p[3] = s[3] / 255.0f;
                    break;
                }
                case WORLD_BGRA32F: {
                    auto* s = reinterpret_cast<const float*>(row) + x * 4;
                    p[2] = s[0], p[1] = s[1], p[0] = s[2], p[3] = s[3];
                    break;
                }
            }
        }
    }
}

}  // namespace

void session_apply(effect_session* s, const correction_values& v) {
    headless_instance* inst = s->instance;
    auto set = [&](int index, double value, const char* what) {
        check(headless_user_set(inst, index, value), what);
    };
    // The chart first: a chart with another patch count resets both cards.
    if (v.chart_item) set(P_CARD_TYPE_POPUP, *v.chart_item, "the chart");
    if (v.input_item) set(P_INPUT_TRANSFER, *v.input_item, "the input entry");
    if (v.output_item) set(P_OUTPUT_TRANSFER, *v.output_item, "the output entry");
    if (v.iso) set(P_INPUT_ISO_POPUP, iso_as_popup(*v.iso), "the ISO");
    if (v.output_iso) set(P_OUTPUT_ISO_POPUP, iso_as_popup(*v.output_iso), "the ISO");
    if (v.levels) {
        set(P_INPUT_BLACK, (*v.levels)[0], "the levels");
        set(P_INPUT_WHITE, (*v.levels)[1], "the levels");
    }
    if (v.output_levels) {
        set(P_INPUT_BLACK + OUTPUT_OFFSET, (*v.output_levels)[0], "the output levels");
        set(P_INPUT_WHITE + OUTPUT_OFFSET, (*v.output_levels)[1], "the output levels");
    }
    if (v.mode) set(P_CORRECTION, *v.mode, "the correction mode");
    if (v.wb) set(P_WHITE_BALANCE, *v.wb, "white balance");
    if (v.preserve_lightness)
        set(P_PRESERVE_LIGHTNESS, *v.preserve_lightness, "preserve lightness");
    if (v.highlight_protection) set(P_HIGHLIGHT, *v.highlight_protection, "highlight protection");
    if (v.exposure) set(P_EXPOSURE, *v.exposure, "the exposure");
    if (v.grays) set(P_GRAYS, *v.grays, "grays");
    if (v.contrast) set(P_CONTRAST, *v.contrast, "contrast");
    if (v.whites) set(P_WHITES, *v.whites, "whites");
    if (v.blacks) set(P_BLACKS, *v.blacks, "blacks");
    if (v.saturation) set(P_SATURATION, *v.saturation, "the saturation");
}

void session_set_layer(effect_session* s, const rgba_image& frame) {
    world_init(&s->layer, world_for(s->host->flavour, frame), frame.width, frame.height);
    to_world(frame, &s->layer, 0, frame.height);
    // Hosts state the pixel shape as a ratio; the smallest denominator that gives the file's
    // aspect to six places keeps 10/11 and 40/33 as they are written.
    const double aspect = frame.pixel_aspect > 0 ? frame.pixel_aspect : 1.0;
    for (A_u_long den = 1; den <= 1000000; den = den < 1000 ? den + 1 : den * 10) {
        const double num = std::round(aspect * den);
        if (std::fabs(num / den - aspect) < 1e-6 * aspect || den == 1000000) {
            s->layer.def.pix_aspect_ratio = PF_RationalScale{static_cast<A_long>(num), den};
            break;
        }
    }
    s->instance->layer = &s->layer;
}

namespace {

// The editing host completes a frame request on the UI event after the frame was rendered;
// a click beside the "Export LUT" button is such an event and does nothing else.
void next_ui_event(effect_session* s) {
    if (s->host->flavour == FLAVOUR_PREMIERE)
        check(headless_click(s->instance, P_EXPORT, 200, 20), "a click");
}

std::vector<uint8_t> card_bytes(effect_session* s, int control) {
    std::vector<uint8_t> bytes;
    check(headless_flatten(s->instance, control, &bytes), "to flatten the card");
    return bytes;
}

// Whether the finder places the effect's chart in the frame, with the effect's input
// curve and space and the layer's pixel aspect.
bool finds_chart(effect_session* s, const rgba_image& frame) {
    const std::unique_ptr<parameters> p = session_parameters(s);
    auto ref = std::make_unique<card>();
    std::memset(static_cast<void*>(ref.get()), 0, sizeof(card));
    cardMakeRef(ref.get(), &p->input_space, chart_type(s->instance));
    if (!ref->ref) return false;
    image img;  // read only
    makeImage(frame.width, frame.height,
              const_cast<char*>(reinterpret_cast<const char*>(frame.pixels.data())), &img);
    img.pixel_aspect = frame.pixel_aspect > 0 ? frame.pixel_aspect : 1.0;
    OfxPointD found[4];
    return cardFind(nullptr, &img, &p->input_transfer, ref.get(), found) == FINDER_FOUND;
}

void click(effect_session* s, int control, const button& b, const char* what) {
    size_t messages = s->instance->messages.size();
    check(headless_click(s->instance, control, static_cast<int>(b.x + b.width / 2),
                         static_cast<int>(b.y + 9)),
          what);
    if (s->instance->messages.size() > messages) throw cli_error(1, s->instance->messages.back());
}

}  // namespace

bool session_read_card(effect_session* s, const rgba_image& frame, const double* corners,
                       int control, double* seconds, double* fit_residual, double* found_corners) {
    headless_instance* inst = s->instance;
    session_set_layer(s, frame);
    if (corners) {
        // The user drags the four corner handles over the frame.
        for (int k = 0; k < 4; ++k)
            check(
                headless_user_set_point(inst, P_CORNER_TL + k, corners[2 * k], corners[2 * k + 1]),
                "the corners");
    }
    std::vector<uint8_t> before = card_bytes(s, control);
    PF_Fixed x0 = inst->params[P_CORNER_TL].u.td.x_value;
    auto start = std::chrono::steady_clock::now();
    click(s, control, corners ? b_read : b_find,
          corners ? "Read from frame" : "Find card in frame");
    next_ui_event(s);
    if (seconds)
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A find that finds nothing leaves the corners and the card as they were; so does one
    // that finds the very card the effect already holds (a project saved after a find).
    // The finder, asked the effect's own question, tells the two apart.
    const std::vector<uint8_t> after = card_bytes(s, control);
    if (!corners && after == before && inst->params[P_CORNER_TL].u.td.x_value == x0 &&
        !finds_chart(s, frame))
        return false;
    if (found_corners) {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        for (int k = 0; k < 4; ++k) {
            found_corners[2 * k] = inst->params[P_CORNER_TL + k].u.td.x_value / 65536.0;
            found_corners[2 * k + 1] = inst->params[P_CORNER_TL + k].u.td.y_value / 65536.0;
        }
    }
    if (fit_residual) {
        // The stored record is the card itself, its chart pointer left out.
        auto read = std::make_unique<card>();
        std::memset(static_cast<void*>(read.get()), 0, sizeof(card));
        std::memcpy(static_cast<void*>(read.get()), after.data(),
                    std::min(after.size(), sizeof(card)));
        read->ref = refcard(chart_type(inst));
        if (!read->ref) throw cli_error(1, "the effect's card names no chart");
        const color_space cs = session_parameters(s)->input_space;
        auto ref = std::make_unique<card>();
        cardMakeRef(ref.get(), &cs, chart_type(inst));
        *fit_residual = card_fit_residual(read.get(), ref.get());
    }
    return true;
}

void session_load_card(effect_session* s, const std::string& path, int control) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw cli_error(1, "cannot read ColorCard file '" + path + "'");
    std::fclose(f);
    headless_window_answer(&s->host->window, path);
    click(s, control, b_load, "Load");
}

void session_save_card(effect_session* s, const std::string& path, int control) {
    headless_window_answer(&s->host->window, path);
    click(s, control, b_save, "Save");
    // The effect writes the file whole or not at all; read it back to be sure it is there.
    FILE* f = std::fopen(path.c_str(), "rb");
    transfer_function tf{};
    color_space cs{};
    auto c = std::make_unique<card>();
    int r = f ? bitmap_read_stream(f, &tf, &cs, c.get()) : 0;
    if (f) std::fclose(f);
    if (r != 1) throw cli_error(1, "cannot write ColorCard file '" + path + "'");
}

void session_reset_card(effect_session* s, int control) {
    click(s, control, b_ref, "Ref");
}

void session_edit_patch(effect_session* s, int control, int patch, float r, float g, float b) {
    const reference_card* chart = refcard(chart_type(s->instance));
    if (!chart || patch < 0 || patch >= chart->patch_count)
        throw cli_error(2, "the chart has no patch " + std::to_string(patch) + " (it has " +
                               std::to_string(chart ? chart->patch_count : 0) + ")");
    const float* rect = chart->patches[patch].rect;
    float scale = chart->ui_scale;
    check(headless_click(s->instance, control, static_cast<int>((rect[0] + rect[1]) / 2 * scale),
                         static_cast<int>((rect[2] + rect[3]) / 2 * scale)),
          "a patch click");
    check(headless_user_set_color(s->instance, P_PATCH, r, g, b), "the patch colour");
}

void session_set_primaries(effect_session* s, bool input, const std::vector<double>& xy) {
    if (xy.size() != 8)
        throw cli_error(2, "primaries take eight numbers: red x,y green x,y blue x,y white x,y");
    int first = input ? P_INPUT_RED_X : P_OUTPUT_RED_X;
    for (int k = 0; k < 8; ++k)
        check(headless_user_set(s->instance, first + k, xy[static_cast<size_t>(k)]),
              "the primaries");
}

namespace {
rgba_image gpu_render(effect_session* s, const rgba_image& frame, double* seconds) {
    headless_gpu_frame device_frame;
    std::string error;
    // Half-float files go to the device as half floats, everything else as floats.
    if (!headless_gpu_frame_upload(s->gpu, frame.pixels.data(), frame.width, frame.height,
                                   frame.half_float, &device_frame, &error))
        throw cli_error(1, error);
    auto start = std::chrono::steady_clock::now();
    const prSuiteError r = headless_gpu_render(s->gpu_filter, &device_frame);
    if (seconds)
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rgba_image result = frame;
    const bool read = r == suiteError_NoError &&
                      headless_gpu_frame_download(&device_frame, result.pixels.data(), &error);
    headless_gpu_frame_free(&device_frame);
    if (r != suiteError_NoError)
        throw cli_error(
            1, "the GPU filter failed to render the frame (error " + std::to_string(r) + ")");
    if (!read) throw cli_error(1, error);
    return result;
}
}  // namespace

rgba_image session_render(effect_session* s, const rgba_image& frame, double* seconds,
                          int threads) {
    if (s->gpu_filter) return gpu_render(s, frame, seconds);
    world_format wf = world_for(s->host->flavour, frame);
    headless_world in, out;
    world_init(&in, wf, frame.width, frame.height);
    world_init(&out, wf, frame.width, frame.height);
    rgba_image result = frame;
    // One band of rows per thread, each moved into the host's world, rendered and moved
    // back on its own thread; the effect maps every pixel alone, so the bands join into
    // the same bits as one render of the whole frame.
    const int bands = std::max(1, std::min(threads, frame.height / 16));
    std::vector<PF_Err> errors(static_cast<size_t>(bands), PF_Err_NONE);
    std::vector<double> times(static_cast<size_t>(bands), 0.0);
    auto band = [&](int k) {
        const int y0 = static_cast<int>(static_cast<int64_t>(frame.height) * k / bands);
        const int y1 = static_cast<int>(static_cast<int64_t>(frame.height) * (k + 1) / bands);
        to_world(frame, &in, y0, y1);
        auto start = std::chrono::steady_clock::now();
        errors[static_cast<size_t>(k)] =
            bands == 1 ? headless_render(s->instance, &in, &out, true)
                       : headless_render_rows(s->instance, &in, &out, y0, y1 - y0, true);
        times[static_cast<size_t>(k)] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        from_world(&out, &result, y0, y1);
    };
    run_on_threads(bands, band);
    for (PF_Err err : errors) check(err, "to render the frame");
    if (seconds) *seconds = *std::max_element(times.begin(), times.end());
    return result;
}

void session_write_lut(effect_session* s, const std::string& path, int n) {
    if (n < 2 || n > 129) throw cli_error(2, "--lut-size must lie between 2 and 129");
    rgba_image lattice;
    lattice.width = n * n;
    lattice.height = n;
    lattice.bits = 32;
    lattice.pixels.resize(static_cast<size_t>(n) * static_cast<size_t>(n) * static_cast<size_t>(n) *
                          4);
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                float* p = &lattice.pixels[(static_cast<size_t>(b) * static_cast<size_t>(n * n) +
                                            static_cast<size_t>(g * n + r)) *
                                           4];
                p[0] = static_cast<float>(r) / static_cast<float>(n - 1);
                p[1] = static_cast<float>(g) / static_cast<float>(n - 1);
                p[2] = static_cast<float>(b) / static_cast<float>(n - 1);
                p[3] = 1.0f;
            }
    // A pixel-independent effect maps each lattice point as it maps any pixel of that value.
    // The lattice goes through the CPU render even when frames go through the GPU filter,
    // whose table would only interpolate itself.
    headless_gpu_filter* gpu_filter = s->gpu_filter;
    s->gpu_filter = nullptr;
    rgba_image result;
    try {
        result = session_render(s, lattice);
    } catch (...) {
        s->gpu_filter = gpu_filter;
        throw;
    }
    s->gpu_filter = gpu_filter;
    std::string error;
    if (!LUT_write_cube_file(path, result.pixels.data(), n, &error)) throw cli_error(1, error);
}

namespace {

struct control_picture {
    int index;
    const char* name;
};
// The custom controls in the order the panel shows them.
constexpr control_picture CONTROLS[] = {
    {P_UPDATE_UI, "update-ui"}, {P_INPUT_LEVELS, "input-levels"},
    {20, "input-cie-xy"},       {P_SOURCE, "source"},
    {P_TARGET, "target"},       {48, "curve"},
    {71, "output-levels"},      {75, "output-cie-xy"},
    {P_EXPORT, "export"},
};

void save_png(const headless_canvas& c, const std::string& path, std::vector<std::string>* out) {
    if (!canvas_write_png(c, path)) throw cli_error(1, "cannot write '" + path + "'");
    out->push_back(path);
}

uint8_t display_byte(float v) {
    float c = v * 255.0f + 0.5f;
    return static_cast<uint8_t>(!(c > 0) ? 0 : c >= 255 ? 255 : c);
}

}  // namespace

std::vector<std::string> session_write_ui_pictures(effect_session* s, const rgba_image& frame,
                                                   const std::string& dir, int max_width,
                                                   bool each_control) {
    std::vector<std::string> written;
    headless_instance* inst = s->instance;
    check(headless_command(inst, PF_Cmd_UPDATE_PARAMS_UI, nullptr), "to update its controls");
    std::vector<headless_canvas> pictures;
    int panel_width = 0, panel_height = 0;
    constexpr int GAP = 4;
    for (const control_picture& c : CONTROLS) {
        headless_canvas picture;
        check(headless_draw_control(inst, c.index, &picture), std::string("to draw ") + c.name);
        if (each_control)
            save_png(picture,
                     (std::filesystem::path(dir) / (std::string(c.name) + ".png")).string(),
                     &written);
        panel_width = std::max(panel_width, picture.width);
        panel_height += picture.height + GAP;
        pictures.push_back(std::move(picture));
    }
    // The panel: every control below the other on the host's panel colour.
    headless_canvas panel;
    panel.width = panel_width + 2 * GAP;
    panel.height = panel_height + GAP;
    panel.rgba.assign(static_cast<size_t>(panel.width) * static_cast<size_t>(panel.height) * 4, 0);
    for (size_t k = 0; k < panel.rgba.size(); k += 4)
        panel.rgba[k] = panel.rgba[k + 1] = panel.rgba[k + 2] = 40, panel.rgba[k + 3] = 255;
    int top = GAP;
    for (const headless_canvas& p : pictures) {
        for (int y = 0; y < p.height; ++y)
            std::memcpy(
                &panel
                     .rgba[(static_cast<size_t>(top + y) * static_cast<size_t>(panel.width) + GAP) *
                           4],
                &p.rgba[static_cast<size_t>(y) * static_cast<size_t>(p.width) * 4],
                static_cast<size_t>(p.width) * 4);
        top += p.height + GAP;
    }
    save_png(panel, (std::filesystem::path(dir) / "panel.png").string(), &written);

    // The composition window: the frame as it is shown (its code values), scaled to fit.
    double zoom = frame.width > max_width ? static_cast<double>(max_width) / frame.width : 1.0;
    headless_canvas window;
    window.width = std::max(1, static_cast<int>(frame.width * zoom + 0.5));
    window.height = std::max(1, static_cast<int>(frame.height * zoom + 0.5));
    window.rgba.resize(static_cast<size_t>(window.width) * static_cast<size_t>(window.height) * 4);
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x) {
            int sx = std::min(frame.width - 1, static_cast<int>((x + 0.5) / zoom));
            int sy = std::min(frame.height - 1, static_cast<int>((y + 0.5) / zoom));
            const float* p =
                &frame.pixels[(static_cast<size_t>(sy) * static_cast<size_t>(frame.width) +
                               static_cast<size_t>(sx)) *
                              4];
            uint8_t* d = &window.rgba[(static_cast<size_t>(y) * static_cast<size_t>(window.width) +
                                       static_cast<size_t>(x)) *
                                      4];
            d[0] = display_byte(p[0]), d[1] = display_byte(p[1]), d[2] = display_byte(p[2]);
            d[3] = 255;
        }
    inst->view_zoom = zoom;
    headless_canvas overlay;
    check(headless_draw_overlay(inst, PF_Window_COMP, window, &overlay), "to draw its overlay");
    save_png(overlay, (std::filesystem::path(dir) / "overlay.png").string(), &written);
    return written;
}

namespace {
PF_Err read_all(PF_InData* in_data, PF_ParamDef* params[], void* user) {
    return value_get_all(in_data, params, static_cast<parameters*>(user));
}
}  // namespace

std::unique_ptr<parameters> session_parameters(effect_session* s) {
    auto p = std::make_unique<parameters>();
    parameters_clear(p.get());
    check(headless_with_in_data(s->instance, read_all, p.get()), "to give its settings");
    return p;
}
