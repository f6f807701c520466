#include "cli/effect_session.h"

#include <unistd.h>

#include <algorithm>
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
#include "host/param_table.h"
#include "host/params.h"
#include "pipeline/lut.h"
#include "pipeline/transfer.h"

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

void session_close(effect_session* s) {
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

transfer_function input_transfer(headless_instance* inst) {
    transfer_function tf{};
    tf.kind = static_cast<int32_t>(headless_value(inst, 4));
    tf.iso = static_cast<int32_t>(headless_value(inst, 6));
    float* abc[6] = {&tf.a, &tf.b, &tf.c, &tf.d, &tf.e, &tf.f};
    for (int k = 0; k < 6; ++k) *abc[k] = static_cast<float>(headless_value(inst, 7 + k));
    tf.g = headless_value(inst, 14) != 0;
    tf.h = headless_value(inst, 13) != 0;
    tf.i = headless_value(inst, 15) != 0;
    tf.black = static_cast<float>(headless_value(inst, 17));
    tf.white = static_cast<float>(headless_value(inst, 18));
    return tf;
}

color_space input_space(headless_instance* inst) {
    double v[8];
    for (int k = 0; k < 8; ++k) v[k] = static_cast<float>(headless_value(inst, 21 + k));
    return color_space{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

refcard_type chart_type(headless_instance* inst) {
    return static_cast<refcard_type>(static_cast<int>(headless_value(inst, 39)));
}

void store_card(effect_session* s, const card* c) {
    std::vector<uint8_t> bytes(COLORCARD_BYTES, 0);
    std::memcpy(bytes.data(), c, sizeof(card));
    std::memset(bytes.data(), 0, 8);
    check(headless_unflatten(s->instance, P_SOURCE, bytes), "the card");
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

bool session_read_card(effect_session* s, const rgba_image& frame, const double* corners,
                       double* found_corners) {
    headless_instance* inst = s->instance;
    image img;
    makeImage(frame.width, frame.height,
              const_cast<char*>(reinterpret_cast<const char*>(frame.pixels.data())), &img);
    transfer_function tf = input_transfer(inst);
    color_space cs = input_space(inst);
    refcard_type type = chart_type(inst);
    auto c = std::make_unique<card>();
    std::memset(static_cast<void*>(c.get()), 0, sizeof(card));
    cardMakeRef(c.get(), &cs, type);
    OfxPointD found[4];
    if (corners) {
        for (int k = 0; k < 4; ++k) found[k] = OfxPointD{corners[2 * k], corners[2 * k + 1]};
    } else {
        int r = cardFind(nullptr, &img, &tf, c.get(), found);
        if (r == FINDER_NOT_FOUND) return false;
        if (r) throw cli_error(1, "the card finder failed (error " + std::to_string(r) + ")");
    }
    for (int k = 0; k < 4; ++k) {
        check(headless_user_set_point(inst, P_CORNER_TL + k, found[k].x, found[k].y),
              "the corners");
        if (found_corners) found_corners[2 * k] = found[k].x, found_corners[2 * k + 1] = found[k].y;
    }
    cardRead(&img, &tf, found, c.get());
    store_card(s, c.get());
    return true;
}

void session_load_card(effect_session* s, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw cli_error(1, "cannot read ColorCard file '" + path + "'");
    transfer_function tf{};
    color_space cs{};
    auto c = std::make_unique<card>();
    int r = bitmap_read_stream(f, &tf, &cs, c.get());
    std::fclose(f);
    if (r != 1) throw cli_error(1, "'" + path + "' is not a ColorCard file this build can read");
    // As loading the file on the "Source" control does: the input side takes the file's
    // transfer function and colour space, the chart its type, the control the card. The
    // values go into the slots as a project brings them.
    headless_instance* inst = s->instance;
    // A chart with another patch count resets both cards, so the chart comes first.
    if (c->ref && c->ref->type != chart_type(inst))
        check(headless_user_set(inst, P_CARD_TYPE_POPUP,
                                card_type_as_popup(static_cast<int>(c->ref->type))),
              "the chart");
    headless_store(inst, 4, tf.kind);
    headless_store(inst, 6, tf.iso);
    const float abc[6] = {tf.a, tf.b, tf.c, tf.d, tf.e, tf.f};
    for (int k = 0; k < 6; ++k) headless_store(inst, 7 + k, abc[k]);
    headless_store(inst, 14, tf.g);  // the input side keeps its first two flags crosswise
    headless_store(inst, 13, tf.h);
    headless_store(inst, 15, tf.i);
    headless_store(inst, 17, tf.black);
    headless_store(inst, 18, tf.white);
    if (transfer_as_popup(tf.kind) > 0) headless_store(inst, 3, transfer_as_popup(tf.kind));
    if (iso_as_popup(tf.iso) > 0) headless_store(inst, 5, iso_as_popup(tf.iso));
    const double chroma[8] = {cs.red_x,  cs.red_y,  cs.green_x, cs.green_y,
                              cs.blue_x, cs.blue_y, cs.white_x, cs.white_y};
    for (int k = 0; k < 8; ++k) headless_store(inst, 21 + k, chroma[k]);
    store_card(s, c.get());
}

void session_save_card(effect_session* s, const std::string& path) {
    std::vector<uint8_t> bytes;
    check(headless_flatten(s->instance, P_SOURCE, &bytes), "to flatten the card");
    auto c = std::make_unique<card>();
    std::memset(static_cast<void*>(c.get()), 0, sizeof(card));
    std::memcpy(static_cast<void*>(c.get()), bytes.data(),
                bytes.size() < sizeof(card) ? bytes.size() : sizeof(card));
    c->ref = refcard(chart_type(s->instance));
    transfer_function tf = input_transfer(s->instance);
    color_space cs = input_space(s->instance);
    // A card read from a frame carries display values; make sure they are current.
    if (!c->display_valid) cardUpdateDisplayFromLinear(c.get(), &tf), c->display_valid = 1;
    std::vector<uint8_t> file = bitmap_encode(&tf, &cs, c.get());
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    bool ok = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        throw cli_error(1, "cannot write ColorCard file '" + path + "'");
    }
}

rgba_image session_render(effect_session* s, const rgba_image& frame, double* seconds,
                          int threads) {
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
    rgba_image result = session_render(s, lattice);
    std::string error;
    if (!LUT_write_cube_file(path, result.pixels.data(), n, &error))
        throw cli_error(1, "cannot write LUT '" + path + "'" + (error.empty() ? "" : ": " + error));
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
