#include "host/custom_ui.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "colour/convert.h"
#include "host/bitmap.h"
#include "host/entry.h"
#include "host/params.h"
#include "host/ui_update.h"
#include "hostsdk/suites.h"
#include "pipeline/evaluate.h"
#include "pipeline/lut.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"

const button b_fix_ui = {3, 3, 108, "Update UI"};
const button b_find = {155, 18, 108, "Find card in frame"};
const button b_read = {155, 42, 108, "Read from frame"};
const button b_load = {155, 66, 32, "Load"};
const button b_save = {193, 66, 32, "Save"};
const button b_ref = {231, 66, 32, "Ref"};
const button b_full = {3, 3, 28, "Full"};
const button b_legal = {37, 3, 36, "Legal"};
const button b_export = {3, 3, 108, "Export LUT"};

ui_cache_record global_ui_cache;

bool button_hit(const button* b, float x, float y) {
    return x >= b->x && x < b->x + b->width && y >= b->y && y < b->y + 18;
}

void ui_cache_init() {
    std::memset(static_cast<void*>(&global_ui_cache), 0, sizeof(global_ui_cache));
    real_mutex_create(&global_ui_cache.side_lock[0]);
    real_mutex_create(&global_ui_cache.side_lock[1]);
    real_mutex_create(&global_ui_cache.export_lock);
    real_mutex_create(&global_ui_cache.curve_lock);
    global_ui_cache.export_size = 48;
}

int ui_export_size() {
    real_mutex_lock(&global_ui_cache.export_lock);
    int n = global_ui_cache.export_size;
    real_mutex_unlock(&global_ui_cache.export_lock);
    return n;
}

int next_export_size(int size) {
    switch (size) {
        case 48:
            return 32;
        case 32:
            return 24;
        case 24:
            return 16;
        default:
            return 48;
    }
}

namespace {

constexpr float LEGAL_BLACK = 16.0f / 255.0f;
constexpr float LEGAL_WHITE = 235.0f / 255.0f;

template <typename Suite>
struct suite_ref {
    PF_InData* in_data;
    const char* name;
    A_long version;
    const Suite* s = nullptr;
    suite_ref(PF_InData* in, const char* n, A_long v) : in_data(in), name(n), version(v) {
        SPBasicSuite* basic = in ? in->pica_basicP : nullptr;
        const void* p = nullptr;
        if (basic && basic->AcquireSuite(n, v, &p) == kSPNoError) s = static_cast<const Suite*>(p);
    }
    ~suite_ref() {
        if (s) in_data->pica_basicP->ReleaseSuite(name, version);
    }
    suite_ref(const suite_ref&) = delete;
    suite_ref& operator=(const suite_ref&) = delete;
    const Suite* operator->() const { return s; }
    explicit operator bool() const { return s != nullptr; }
};

bool is_ae(PF_InData* in_data) {
    return in_data->appl_id == APPL_ID_AE;
}

int side_of(int control) {
    return control == P_SOURCE || control == P_INPUT_LEVELS || control == 20 ? 0 : 1;
}

void* main_window(PF_InData* in_data) {
    void* window = nullptr;
    if (in_data->utils && in_data->utils->get_platform_data)
        in_data->utils->get_platform_data(in_data->effect_ref, PF_PlatData_MAIN_WND, &window);
    return window;
}

// ---------------------------------------------------------------------------
// Drawing

struct drawing {
    PF_InData* in_data;
    const DRAWBOT_DrawbotSuite1* draw;
    const DRAWBOT_SupplierSuite1* supplier_suite;
    const DRAWBOT_SurfaceSuite1* surface_suite;
    const DRAWBOT_PathSuite1* path_suite;
    DRAWBOT_SupplierRef supplier;
    DRAWBOT_SurfaceRef surface;
    DRAWBOT_ColorRGBA base;  // the panel background
};

DRAWBOT_ColorRGBA grey(float v) {
    return {v, v, v, 1.0f};
}

void GetColor(const drawing& d, int index, DRAWBOT_ColorRGBA* colour) {
    float r = d.base.red, g = d.base.green, b = d.base.blue;
    bool light = r >= 0.5f;
    switch (index) {
        case 0:
        case 2:
            *colour = grey(light ? 0.368f * r + 0.004f : 0.353f * r + 0.637f);
            break;
        case 1:
            *colour = light
                          ? DRAWBOT_ColorRGBA{0.0f, 0.816f * g - 0.174f, 1.114f * b - 0.057f, 1.0f}
                          : DRAWBOT_ColorRGBA{0.255f * r + 0.711f, 0.588f, 0.0f, 1.0f};
            break;
        case 3:
            *colour = grey(light ? 0.675f * r + 0.211f : 0.882f * r + 0.069f);
            break;
        default:
            *colour = grey(r);
            break;
    }
}

DRAWBOT_ColorRGBA colour_of(const drawing& d, int index) {
    DRAWBOT_ColorRGBA c;
    GetColor(d, index, &c);
    return c;
}

// A path built from points; released when it goes out of scope.
struct path_ref {
    const drawing& d;
    DRAWBOT_PathRef path = nullptr;
    explicit path_ref(const drawing& dr) : d(dr) { d.supplier_suite->NewPath(d.supplier, &path); }
    ~path_ref() {
        if (path) d.supplier_suite->ReleaseObject(path);
    }
    path_ref(const path_ref&) = delete;
    path_ref& operator=(const path_ref&) = delete;
};

PF_Err stroke(const drawing& d, DRAWBOT_PathRef path, const DRAWBOT_ColorRGBA& colour,
              float width) {
    DRAWBOT_PenRef pen = nullptr;
    PF_Err err = d.supplier_suite->NewPen(d.supplier, &colour, width, &pen);
    if (!err) err = d.surface_suite->StrokePath(d.surface, pen, path);
    if (pen) d.supplier_suite->ReleaseObject(pen);
    return err;
}

PF_Err fill(const drawing& d, DRAWBOT_PathRef path, const DRAWBOT_ColorRGBA& colour) {
    DRAWBOT_BrushRef brush = nullptr;
    PF_Err err = d.supplier_suite->NewBrush(d.supplier, &colour, &brush);
    if (!err) err = d.surface_suite->FillPath(d.surface, brush, path, kDRAWBOT_FillType_Default);
    if (brush) d.supplier_suite->ReleaseObject(brush);
    return err;
}

PF_Err Draw_Rect(const drawing& d, const DRAWBOT_RectF32& rect,
                 const DRAWBOT_ColorRGBA* fill_colour, const DRAWBOT_ColorRGBA* frame_colour) {
    path_ref p(d);
    if (!p.path) return PF_Err_OUT_OF_MEMORY;
    PF_Err err = d.path_suite->AddRect(p.path, &rect);
    if (!err && fill_colour) err = fill(d, p.path, *fill_colour);
    if (!err && frame_colour) err = stroke(d, p.path, *frame_colour, 1.0f);
    return err;
}

PF_Err Draw_Path(const drawing& d, const float* xs, const float* ys, int count, bool closed,
                 const DRAWBOT_ColorRGBA& colour, float width) {
    if (count < 2) return PF_Err_NONE;
    path_ref p(d);
    if (!p.path) return PF_Err_OUT_OF_MEMORY;
    PF_Err err = d.path_suite->MoveTo(p.path, xs[0], ys[0]);
    for (int k = 1; k < count && !err; ++k) err = d.path_suite->LineTo(p.path, xs[k], ys[k]);
    if (!err && closed) err = d.path_suite->Close(p.path);
    if (!err) err = stroke(d, p.path, colour, width);
    return err;
}

PF_Err Draw_Point(const drawing& d, float x, float y, const DRAWBOT_ColorRGBA& colour, float size) {
    DRAWBOT_RectF32 r{x - size / 2, y - size / 2, size, size};
    return Draw_Rect(d, r, &colour, nullptr);
}

// A level handle: a five-point shape with its tip at the level.
PF_Err Draw_Pointer(const drawing& d, float x, float y, const DRAWBOT_ColorRGBA& fill_colour,
                    const DRAWBOT_ColorRGBA& frame_colour) {
    x = std::floor(x) + 0.5f;
    y = std::floor(y) + 0.5f;
    const float xs[5] = {x, x - 4, x - 4, x + 4, x + 4};
    const float ys[5] = {y, y + 4, y + 8, y + 8, y + 4};
    path_ref p(d);
    if (!p.path) return PF_Err_OUT_OF_MEMORY;
    PF_Err err = d.path_suite->MoveTo(p.path, xs[0], ys[0]);
    for (int k = 1; k < 5 && !err; ++k) err = d.path_suite->LineTo(p.path, xs[k], ys[k]);
    if (!err) err = d.path_suite->Close(p.path);
    if (!err) err = fill(d, p.path, fill_colour);
    if (!err) err = stroke(d, p.path, frame_colour, 1.0f);
    return err;
}

PF_Err Draw_Text(const drawing& d, const char* text, float x, float y,
                 const DRAWBOT_ColorRGBA& colour) {
    uint8_t supports = 0;
    d.supplier_suite->SupportsText(d.supplier, &supports);
    if (!supports) return PF_Err_NONE;
    float size = 0;
    PF_Err err = d.supplier_suite->GetDefaultFontSize(d.supplier, &size);
    DRAWBOT_FontRef font = nullptr;
    DRAWBOT_BrushRef brush = nullptr;
    if (!err) err = d.supplier_suite->NewDefaultFont(d.supplier, size, &font);
    if (!err) err = d.supplier_suite->NewBrush(d.supplier, &colour, &brush);
    if (!err) {
        std::vector<DRAWBOT_UTF16Char> utf16;
        for (const char* c = text; *c; ++c) utf16.push_back(static_cast<unsigned char>(*c));
        utf16.push_back(0);
        DRAWBOT_PointF32 origin{x, y};
        err = d.surface_suite->DrawString(d.surface, brush, font, utf16.data(), &origin,
                                          kDRAWBOT_TextAlignment_Left, kDRAWBOT_TextTruncation_None,
                                          0.0f);
    }
    if (brush) d.supplier_suite->ReleaseObject(brush);
    if (font) d.supplier_suite->ReleaseObject(font);
    return err;
}

PF_Err Draw_Button(const drawing& d, const PF_UnionableRect& frame, const button* b,
                   int colour_index, const char* label = nullptr) {
    DRAWBOT_RectF32 r{static_cast<float>(frame.left) + b->x + 0.5f,
                      static_cast<float>(frame.top) + b->y + 0.5f, b->width - 1.0f, 17.0f};
    DRAWBOT_ColorRGBA face = colour_of(d, 3);
    DRAWBOT_ColorRGBA line = colour_of(d, 0);
    PF_Err err = Draw_Rect(d, r, &face, &line);
    if (!err)
        err = Draw_Text(d, label ? label : b->label, static_cast<float>(frame.left) + b->x + 4,
                        static_cast<float>(frame.top) + b->y + 13, colour_of(d, colour_index));
    return err;
}

PF_Err draw_levels(const drawing& d, PF_ParamDef* params[], const PF_UnionableRect& f,
                   int control) {
    double black = 0, white = 1;
    PF_Err err = value_get_slider(d.in_data, params, control + 1, &black);
    if (!err) err = value_get_slider(d.in_data, params, control + 2, &white);
    if (err) return err;
    float x0 = static_cast<float>(f.left) + 81, x1 = static_cast<float>(f.right) - 5;
    float y = static_cast<float>(f.top) + 5.5f;
    for (int k = 0; k <= 100 && !err; ++k) {
        float v = static_cast<float>(k) / 100.0f;
        float left = x0 + (x1 - x0) * v + 0.5f;
        DRAWBOT_ColorRGBA c = grey(v);
        err = Draw_Rect(d, DRAWBOT_RectF32{left, y, x1 - left, 7.0f}, &c, nullptr);
    }
    DRAWBOT_ColorRGBA highlight = colour_of(d, 1);
    float py = static_cast<float>(f.top) + 8.5f;
    if (!err)
        err = Draw_Pointer(d, x0 + (x1 - x0) * static_cast<float>(black), py, grey(0), highlight);
    if (!err)
        err = Draw_Pointer(d, x0 + (x1 - x0) * static_cast<float>(white), py, grey(1), highlight);
    bool full = black == 0 && white == 1;
    bool legal =
        static_cast<float>(black) == LEGAL_BLACK && static_cast<float>(white) == LEGAL_WHITE;
    if (!err) err = Draw_Button(d, f, &b_full, full ? 1 : 0);
    if (!err) err = Draw_Button(d, f, &b_legal, legal ? 1 : 0);
    return err;
}

PF_Err draw_chromaticities(const drawing& d, PF_ParamDef* params[], const PF_UnionableRect& f,
                           int control) {
    color_space cs{};
    PF_Err err = value_get_color_space(d.in_data, params, control == 20 ? 21 : 76, &cs);
    if (err) return err;
    auto X = [&](double x) {
        return static_cast<float>(f.left) + 3 + static_cast<float>(96 * (x + 0.1) / 1.1);
    };
    auto Y = [&](double y) {
        return static_cast<float>(f.top) + 3 + static_cast<float>(96 * (1 - y) / 1.1);
    };
    float xs[COLOR_STANDARD_OBSERVER_ROWS], ys[COLOR_STANDARD_OBSERVER_ROWS];
    for (int k = 0; k < COLOR_STANDARD_OBSERVER_ROWS; ++k) {
        double x = 0, y = 0;
        CIExy_from_XYZ(&x, &y, &color_standard_observer[k][1]);
        xs[k] = X(x);
        ys[k] = Y(y);
    }
    DRAWBOT_ColorRGBA line = colour_of(d, 0);
    err = Draw_Path(d, xs, ys, COLOR_STANDARD_OBSERVER_ROWS, true, line, 1.0f);
    if (!err) err = Draw_Point(d, X(cs.white_x), Y(cs.white_y), line, 4);
    const double px[3] = {cs.red_x, cs.green_x, cs.blue_x};
    const double py[3] = {cs.red_y, cs.green_y, cs.blue_y};
    const DRAWBOT_ColorRGBA pure[3] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
    for (int i = 0; i < 3 && !err; ++i) {
        int next = (i + 1) % 3, prev = (i + 2) % 3;
        const float lx[3] = {X((px[i] + px[next]) / 2), X(px[i]), X((px[i] + px[prev]) / 2)};
        const float ly[3] = {Y((py[i] + py[next]) / 2), Y(py[i]), Y((py[i] + py[prev]) / 2)};
        err = Draw_Path(d, lx, ly, 3, false, pure[i], 1.0f);
        if (!err) err = Draw_Point(d, X(px[i]), Y(py[i]), pure[i], 4);
    }
    return err;
}

PF_Err draw_swatch(const drawing& d, PF_ParamDef* params[], const PF_UnionableRect& f,
                   int control) {
    auto c = std::make_unique<card>();
    transfer_function tf{};
    PF_Err err = value_get_card(d.in_data, params, control, c.get());
    if (!err) err = value_get_transfer_function(d.in_data, params, control, &tf);
    if (err) return err;
    bool reference = c->reference != 0;
    if (c->ref) cardUpdateDisplayFromLinear(c.get(), &tf);
    int side = side_of(control);
    real_mutex_lock(&global_ui_cache.side_lock[side]);
    global_ui_cache.side_card[side] = *c;
    global_ui_cache.side_transfer[side] = tf;
    real_mutex_unlock(&global_ui_cache.side_lock[side]);
    const reference_card* chart = c->ref;
    int selected = -1;
    uint32_t id = instanceID(d.in_data);
    real_mutex_lock(&global.lock);
    if (global.patch_instance == id && global.patch_card == control) selected = global.patch_index;
    real_mutex_unlock(&global.lock);
    float left = static_cast<float>(f.left) + 3.5f, top = static_cast<float>(f.top) + 3.5f;
    for (int k = 0; chart && k < chart->patch_count && !err; ++k) {
        const float* r = chart->patches[k].rect;
        float s = chart->ui_scale;
        DRAWBOT_ColorRGBA colour{c->display[0][k], c->display[1][k], c->display[2][k], 1.0f};
        err = Draw_Rect(
            d,
            DRAWBOT_RectF32{left + s * r[0], top + s * r[2], s * (r[1] - r[0]), s * (r[3] - r[2])},
            &colour, nullptr);
    }
    if (!err && chart && selected >= 0 && selected < chart->patch_count) {
        const float* r = chart->patches[selected].rect;
        float s = chart->ui_scale;
        DRAWBOT_RectF32 outer{left + s * r[0], top + s * r[2], s * (r[1] - r[0]),
                              s * (r[3] - r[2])};
        DRAWBOT_RectF32 inner{outer.left + 1, outer.top + 1, outer.width - 2, outer.height - 2};
        DRAWBOT_ColorRGBA shade{0, 0, 0, 0.5f};
        DRAWBOT_ColorRGBA highlight = colour_of(d, 1);
        err = Draw_Rect(d, inner, nullptr, &shade);
        if (!err) err = Draw_Rect(d, outer, nullptr, &highlight);
    }
    for (const button* b : {&b_find, &b_read, &b_load, &b_save})
        if (!err) err = Draw_Button(d, f, b, 0);
    if (!err) err = Draw_Button(d, f, &b_ref, reference ? 1 : 0);
    return err;
}

// The adjustment stage alone on a grey ramp: what the tone controls do to a level.
void tone_curve(const float keys[4], float* samples) {
    auto p = std::make_unique<parameters>();
    parameters_defaults(p.get());
    p->mode = CORRECTION_NONE;
    p->white_balance = false;
    p->highlight_protection = false;
    p->grays = keys[0];
    p->contrast = keys[1];
    p->whites = keys[2];
    p->blacks = keys[3];
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, p.get());
    std::vector<float> px(256 * 4);
    for (int i = 0; i < 256; ++i) {
        float v = static_cast<float>(i) / 255.0f;
        px[static_cast<size_t>(i) * 4 + 0] = px[static_cast<size_t>(i) * 4 + 1] =
            px[static_cast<size_t>(i) * 4 + 2] = v;
        px[static_cast<size_t>(i) * 4 + 3] = 1.0f;
    }
    apply_correction_and_adjustments(coeffs, px.data(), 256);
    for (int i = 0; i < 256; ++i) samples[i] = px[static_cast<size_t>(i) * 4 + 1];
}

PF_Err draw_curve(const drawing& d, PF_ParamDef* params[], const PF_UnionableRect& f) {
    float keys[4];
    const int index[4] = {P_GRAYS, P_CONTRAST, P_WHITES, P_BLACKS};
    PF_Err err = PF_Err_NONE;
    for (int k = 0; k < 4 && !err; ++k)
        err = value_get_slider(d.in_data, params, index[k], &keys[k]);
    if (err) return err;
    float samples[256];
    real_mutex_lock(&global_ui_cache.curve_lock);
    if (!global_ui_cache.curve_valid ||
        std::memcmp(global_ui_cache.curve_keys, keys, sizeof(keys)) != 0) {
        tone_curve(keys, global_ui_cache.curve);
        std::memcpy(global_ui_cache.curve_keys, keys, sizeof(keys));
        global_ui_cache.curve_valid = 1;
    }
    std::memcpy(samples, global_ui_cache.curve, sizeof(samples));
    real_mutex_unlock(&global_ui_cache.curve_lock);
    float left = static_cast<float>(f.left) + 3.5f, top = static_cast<float>(f.top) + 3.5f;
    DRAWBOT_ColorRGBA faint = colour_of(d, 0);
    faint.alpha = 0.25f;
    err = Draw_Rect(d, DRAWBOT_RectF32{left, top, 65, 65}, nullptr, &faint);
    float xs[256], ys[256];
    for (int i = 0; i < 256; ++i) {
        xs[i] = left + 65.0f * static_cast<float>(i) / 255.0f;
        ys[i] = top + 65.0f * (1.0f - samples[i]);
    }
    if (!err) err = Draw_Path(d, xs, ys, 256, false, colour_of(d, 0), 1.0f);
    return err;
}

PF_Err draw_overlay(const drawing& d, PF_ParamDef* params[], PF_EventExtra* extra) {
    transfer_function tf{};
    color_space cs{};
    refcard_type type = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    PF_Err err = value_get_transfer_function(d.in_data, params, P_OUTPUT_KIND, &tf);
    if (!err) err = value_get_color_space(d.in_data, params, P_OUTPUT_RED_X, &cs);
    if (!err) err = value_get_card_type(d.in_data, params, &type);
    if (err) return err;
    auto c = std::make_unique<card>();
    real_mutex_lock(&global_ui_cache.side_lock[1]);
    ui_cache_record& u = global_ui_cache;
    if (!u.overlay_valid || u.overlay_type != type ||
        std::memcmp(&u.overlay_transfer, &tf, sizeof(tf)) != 0 ||
        std::memcmp(&u.overlay_space, &cs, sizeof(cs)) != 0) {
        std::memset(static_cast<void*>(&u.overlay_card), 0, sizeof(card));
        cardMakeRef(&u.overlay_card, &cs, type);
        if (u.overlay_card.ref) cardUpdateDisplayFromLinear(&u.overlay_card, &tf);
        u.overlay_type = type;
        u.overlay_transfer = tf;
        u.overlay_space = cs;
        u.overlay_valid = 1;
    }
    *c = u.overlay_card;
    real_mutex_unlock(&global_ui_cache.side_lock[1]);
    const reference_card* chart = c->ref;
    if (!chart) return PF_Err_NONE;
    card_location loc;
    err = value_get_card_location(d.in_data, params, &loc);
    if (err) return err;
    card_corners cc{};
    for (int k = 0; k < 4; ++k) {
        cc.x[k] = static_cast<float>(loc.corners[k].x);
        cc.y[k] = static_cast<float>(loc.corners[k].y);
    }
    card_interpolate_init(&cc);
    const DRAWBOT_ColorRGBA black{0, 0, 0, 1};
    auto draw_twice = [&](std::vector<float>& xs, std::vector<float>& ys, bool closed,
                          const DRAWBOT_ColorRGBA& colour) -> PF_Err {
        int n = static_cast<int>(xs.size());
        if (n < 2) return PF_Err_NONE;
        PF_Err e =
            source_to_frame(d.in_data, extra, xs.data(), ys.data(), n, loc.scale_x, loc.scale_y);
        if (!e) e = Draw_Path(d, xs.data(), ys.data(), n, closed, black, 3.0f);
        if (!e) e = Draw_Path(d, xs.data(), ys.data(), n, closed, colour, 1.0f);
        return e;
    };
    for (int k = 0; k < chart->patch_count && !err; ++k) {
        const reference_patch& patch = chart->patches[k];
        DRAWBOT_ColorRGBA colour{c->display[0][k], c->display[1][k], c->display[2][k], 1.0f};
        std::vector<float> xs, ys;
        for (const float* o = patch.outline; o && !err; o += 2) {
            if (o[0] == -1.0f || o[0] == -2.0f) {
                err = draw_twice(xs, ys, false, colour);
                xs.clear();
                ys.clear();
                if (o[0] == -1.0f) break;
                continue;
            }
            float x = 0, y = 0;
            card_interpolate_xy(&x, &y, &cc, o[0], o[1]);
            xs.push_back(x);
            ys.push_back(y);
        }
        if (err) break;
        float cx = 0, cy = 0;
        card_interpolate_xy(&cx, &cy, &cc, patch.u, patch.v);
        std::vector<float> mx{cx}, my{cy};
        err = source_to_frame(d.in_data, extra, mx.data(), my.data(), 1, loc.scale_x, loc.scale_y);
        if (err) break;
        std::vector<float> sx{mx[0] - 5, mx[0] + 5, mx[0] + 5, mx[0] - 5};
        std::vector<float> sy{my[0] - 5, my[0] - 5, my[0] + 5, my[0] + 5};
        err = Draw_Path(d, sx.data(), sy.data(), 4, true, black, 3.0f);
        if (!err) err = Draw_Path(d, sx.data(), sy.data(), 4, true, colour, 1.0f);
    }
    return err;
}

PF_Fixed fixed_of(double v) {
    double s = v * 65536.0;
    return static_cast<PF_Fixed>(s < 0 ? -std::floor(-s + 0.5) : std::floor(s + 0.5));
}

}  // namespace

PF_Err source_to_frame(PF_InData* in_data, PF_EventExtra* extra, float* xs, float* ys, int count,
                       double scale_x, double scale_y) {
    PF_Err err = PF_Err_NONE;
    bool comp = extra->contextH && extra->contextH->w_type == PF_Window_COMP;
    for (int k = 0; k < count && !err; ++k) {
        double x = xs[k], y = ys[k];
        if (!is_ae(in_data)) {
            x /= scale_x;
            y /= scale_y;
        }
        PF_FixedPoint pt{fixed_of(x), fixed_of(y)};
        if (comp && extra->cbs.layer_to_comp)
            err =
                extra->cbs.layer_to_comp(extra->cbs.refcon, extra->contextH, in_data->current_time,
                                         static_cast<A_long>(in_data->time_scale), &pt);
        if (!err && extra->cbs.source_to_frame)
            err = extra->cbs.source_to_frame(extra->cbs.refcon, extra->contextH, &pt);
        xs[k] = static_cast<float>(pt.x / 65536.0);
        ys[k] = static_cast<float>(pt.y / 65536.0);
    }
    return err;
}

PF_Err Draw(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
            PF_EventExtra* extra) {
    (void)out_data;
    (void)output;
    suite_ref<DRAWBOT_DrawbotSuite1> draw(in_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
    suite_ref<DRAWBOT_SupplierSuite1> supplier(in_data, kDRAWBOT_SupplierSuite,
                                               kDRAWBOT_SupplierSuite_Version1);
    suite_ref<DRAWBOT_SurfaceSuite1> surface(in_data, kDRAWBOT_SurfaceSuite,
                                             kDRAWBOT_SurfaceSuite_Version1);
    suite_ref<DRAWBOT_PathSuite1> path(in_data, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1);
    suite_ref<PF_EffectCustomUISuite1> custom(in_data, kPFEffectCustomUISuite,
                                              kPFEffectCustomUISuiteVersion1);
    suite_ref<PFAppSuite6> app(in_data, kPFAppSuite, kPFAppSuiteVersion6);
    if (!draw || !supplier || !surface || !path || !custom) return PF_Err_NONE;
    drawing d{in_data, draw.s, supplier.s, surface.s, path.s, nullptr, nullptr, grey(0.34901f)};
    if (app) {
        PF_App_Color bg{};
        if (app->PF_AppGetBgColor(&bg) == PF_Err_NONE)
            d.base =
                DRAWBOT_ColorRGBA{bg.red / 65535.0f, bg.green / 65535.0f, bg.blue / 65535.0f, 1.0f};
    }
    DRAWBOT_DrawRef ref = nullptr;
    PF_Err err = custom->PF_GetDrawingReference(extra->contextH, &ref);
    if (!err) err = draw->GetSupplier(ref, &d.supplier);
    if (!err) err = draw->GetSurface(ref, &d.surface);
    if (err) return err;
    if (!extra->contextH || extra->contextH->w_type != PF_Window_EFFECT) {
        err = draw_overlay(d, params, extra);
    } else {
        const PF_UnionableRect& f = extra->effect_win.current_frame;
        DRAWBOT_ColorRGBA background = colour_of(d, 4);
        DRAWBOT_RectF32 whole{static_cast<float>(f.left), static_cast<float>(f.top),
                              static_cast<float>(f.right - f.left),
                              static_cast<float>(f.bottom - f.top)};
        err = surface->PaintRect(d.surface, &background, &whole);
        int control = extra->effect_win.index;
        if (err) {
        } else if (control == P_UPDATE_UI) {
            err = Draw_Button(d, f, &b_fix_ui, 0);
        } else if (control == P_INPUT_LEVELS || control == P_INPUT_LEVELS + OUTPUT_OFFSET) {
            err = draw_levels(d, params, f, control);
        } else if (control == 20 || control == 20 + OUTPUT_OFFSET) {
            err = draw_chromaticities(d, params, f, control);
        } else if (control == P_SOURCE || control == P_TARGET) {
            err = draw_swatch(d, params, f, control);
        } else if (control == 48) {
            err = draw_curve(d, params, f);
        } else if (control == P_EXPORT) {
            char label[64];
            std::snprintf(label, sizeof(label), "Export LUT (%d way)", ui_export_size());
            err = Draw_Button(d, f, &b_export, 0, label);
        }
    }
    if (!err) extra->evt_out_flags |= PF_EO_HANDLED_EVENT;
    return err;
}

namespace {

// ---------------------------------------------------------------------------
// Actions

PF_Err card_names(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    refcard_type type = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    PF_Err err = value_get_card_type(in_data, params, &type);
    if (err) return err;
    return UpdateUI_calculate_name_and_visibility_card(in_data, out_data, params, nullptr, type);
}

PF_Err select_patch(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int control,
                    int patch) {
    real_mutex_lock(&global.lock);
    global.patch_card = control;
    global.patch_index = patch;
    global.patch_set_by_effect = is_ae(in_data) ? 0 : 1;
    global.patch_instance = instanceID(in_data);
    real_mutex_unlock(&global.lock);
    transfer_function tf{};
    auto c = std::make_unique<card>();
    PF_Err err = value_get_transfer_function(in_data, params, control, &tf);
    if (!err) err = value_get_card(in_data, params, control, c.get());
    if (err) return err;
    PF_PixelFloat colour{1, 0, 0, 0};
    if (c->ref && patch < c->ref->patch_count)
        cardGetPatch(c.get(), &tf, patch, &colour.red, &colour.green, &colour.blue);
    err = value_set_color(in_data, params, P_PATCH, &colour);
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    return err;
}

// The frame for "Find card in frame" and "Read from frame": rendered at once where the host
// can render the layer for us, else asked of the next render.
PF_Err frame_action(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int control,
                    int action, PF_Modifiers modifiers) {
    if (is_ae(in_data)) {
        suite_ref<AEGP_EffectSuite3> effect_suite(in_data, kAEGPEffectSuite,
                                                  kAEGPEffectSuiteVersion3);
        suite_ref<AEGP_PFInterfaceSuite1> pf(in_data, kAEGPPFInterfaceSuite,
                                             kAEGPPFInterfaceSuiteVersion1);
        suite_ref<AEGP_LayerRenderOptionsSuite1> layer_options(
            in_data, kAEGPLayerRenderOptionsSuite, kAEGPLayerRenderOptionsSuiteVersion1);
        suite_ref<AEGP_RenderOptionsSuite1> options(in_data, kAEGPRenderOptionsSuite,
                                                    kAEGPRenderOptionsSuiteVersion1);
        suite_ref<AEGP_WorldSuite3> world_suite(in_data, kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
        suite_ref<AEGP_RenderSuite5> render(in_data, kAEGPRenderSuite, kAEGPRenderSuiteVersion5);
        if (effect_suite && pf && layer_options && options && world_suite && render) {
            AEGP_EffectRefH effect = nullptr;
            AEGP_LayerRenderOptionsH opts = nullptr;
            AEGP_FrameReceiptH receipt = nullptr;
            AEGP_WorldH world = nullptr;
            PF_EffectWorld frame{};
            PF_Err err = pf->AEGP_GetNewEffectForEffect(gid, in_data->effect_ref, &effect);
            if (!err) err = layer_options->AEGP_NewFromUpstreamOfEffect(gid, effect, &opts);
            if (!err)
                err = layer_options->AEGP_SetTime(
                    opts, A_Time{in_data->current_time, in_data->time_scale});
            if (!err)
                err = render->AEGP_RenderAndCheckoutLayerFrame(opts, nullptr, nullptr, &receipt);
            if (!err) err = render->AEGP_GetReceiptWorld(receipt, &world);
            if (!err) err = world_suite->AEGP_FillOutPFEffectWorld(world, &frame);
            image wrapped{}, copy{};
            bool have_copy = false;
            card_location location{};
            if (!err) err = getImage(in_data, out_data, &frame, &wrapped);
            if (!err) err = value_get_card_location(in_data, params, &location);
            if (!err) {
                err = duplicateImage(in_data, &wrapped, &copy);
                have_copy = !err;
            }
            if (!err)
                err = update_card(in_data, out_data, params, control, action, &copy, &location);
            if (have_copy) freeImage(in_data, &copy);
            real_mutex_lock(&global.lock);
            global.request_tick = -1;
            real_mutex_unlock(&global.lock);
            if (receipt) render->AEGP_CheckinFrame(receipt);
            if (opts) layer_options->AEGP_Dispose(opts);
            if (effect) effect_suite->AEGP_DisposeEffect(effect);
            return err;
        }
    }
    real_mutex_lock(&global.lock);
    global.request_action = static_cast<uint32_t>(action);
    global.request_card = static_cast<uint32_t>(control);
    global.request_modifiers = static_cast<uint32_t>(modifiers);
    global.request_instance = instanceID(in_data);
    global.request_tick = global.cached_tick + 1;
    global.request_frame_time = static_cast<uint32_t>(in_data->current_time);
    global.request_time_us = entry_now_us();
    real_mutex_unlock(&global.lock);
    out_data->out_flags |= PF_OutFlag_FORCE_RERENDER;
    return PF_Err_NONE;
}

PF_Err load_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int control) {
    transfer_function tf{};
    color_space cs{};
    auto c = std::make_unique<card>();
    int r = bitmap_read(main_window(in_data), &tf, &cs, c.get());
    const char* message = nullptr;
    if (r == -2) message = "ColorCard file is corrupt";
    if (r == -1)
        message =
            "ColorCard file was produced by a newer version of the plugin and cannot be loaded as "
            "it uses newer features";
    if (message) {
        std::snprintf(out_data->return_msg, sizeof(out_data->return_msg), "%s", message);
        out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
        return PF_Err_NONE;
    }
    if (r != 1) return PF_Err_NONE;
    int side = control == P_SOURCE ? P_INPUT_KIND : P_OUTPUT_KIND;
    PF_Err err = value_set_transfer_function(in_data, params, side, &tf);
    if (!err) err = value_set_color_space(in_data, params, control == P_SOURCE ? 21 : 76, &cs);
    if (!err && c->ref)
        err = value_set_card_type(in_data, params, static_cast<refcard_type>(c->ref->type));
    if (!err) err = value_set_card(in_data, params, control, c.get());
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    return err;
}

PF_Err save_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int control) {
    transfer_function tf{};
    color_space cs{};
    auto c = std::make_unique<card>();
    PF_Err err = value_get_transfer_function(in_data, params, control, &tf);
    if (!err) err = value_get_color_space(in_data, params, control, &cs);
    if (!err) err = value_get_card(in_data, params, control, c.get());
    if (err) return err;
    if (!c->display_valid && c->ref) {
        cardUpdateDisplayFromLinear(c.get(), &tf);
        c->display_valid = 1;
    }
    bitmap_write(main_window(in_data), &tf, &cs, c.get());
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return PF_Err_NONE;
}

PF_Err reset_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int control) {
    color_space cs{};
    refcard_type type = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    PF_Err err = value_get_color_space(in_data, params, control, &cs);
    if (!err) err = value_get_card_type(in_data, params, &type);
    if (err) return err;
    auto c = std::make_unique<card>();
    std::memset(static_cast<void*>(c.get()), 0, sizeof(card));
    cardMakeRef(c.get(), &cs, type);
    err = value_set_card(in_data, params, control, c.get());
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    return err;
}

PF_Err set_levels(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int control,
                  float black, float white) {
    PF_Err err = value_set_slider(in_data, params, control + 1, black);
    if (!err) err = value_set_slider(in_data, params, control + 2, white);
    if (!err)
        err = value_update_card(in_data, params, control == P_INPUT_LEVELS ? P_SOURCE : P_TARGET);
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    return err;
}

PF_Err export_lut(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  PF_Modifiers modifiers) {
    if (modifiers) {
        real_mutex_lock(&global_ui_cache.export_lock);
        global_ui_cache.export_size = next_export_size(global_ui_cache.export_size);
        real_mutex_unlock(&global_ui_cache.export_lock);
        out_data->out_flags |= PF_OutFlag_REFRESH_UI;
        return PF_Err_NONE;
    }
    int n = ui_export_size();
    char title[64];
    std::snprintf(title, sizeof(title), "Export LUT (%d way)", n);
    char path[4096];
    if (!filechoose(main_window(in_data), title, "cube", 'w', path, sizeof(path)))
        return PF_Err_NONE;
    auto p = std::make_unique<parameters>();
    PF_Err err = value_get_all(in_data, params, p.get());
    if (err) return err;
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, p.get());
    std::vector<float> lut(static_cast<size_t>(n) * static_cast<size_t>(n) *
                           static_cast<size_t>(n) * 4);
    LUT_generate(coeffs, lut.data(), n);
    // Written beside the chosen file and renamed over it, so a failed write leaves no
    // half-written table behind.
    if (!LUT_write_cube_file(path, lut.data(), n)) {
        std::snprintf(out_data->return_msg, sizeof(out_data->return_msg),
                      "The LUT could not be written to %.200s", path);
        out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    }
    return PF_Err_NONE;
}

int card_click(PF_InData* in_data, PF_ParamDef* params[], int control, float x, float y) {
    auto c = std::make_unique<card>();
    int code = CLICK_NOTHING;
    if (value_get_card(in_data, params, control, c.get()) == PF_Err_NONE && c->ref) {
        float s = c->ref->ui_scale;
        for (int k = 0; k < c->ref->patch_count; ++k) {
            const float* r = c->ref->patches[k].rect;
            if (r[0] * s < x && x < r[1] * s && r[2] * s < y && y < r[3] * s) code = k;
        }
    }
    const button* buttons[5] = {&b_find, &b_read, &b_load, &b_save, &b_ref};
    for (int k = 0; k < 5; ++k)
        if (button_hit(buttons[k], x, y)) code = CLICK_FIND + k;
    uint32_t id = instanceID(in_data);
    real_mutex_lock(&global.lock);
    if (global.patch_instance == id) global.patch_card = -1;
    real_mutex_unlock(&global.lock);
    return code;
}

PF_Err do_click(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_EventExtra* extra) {
    PF_DoClickEventInfo& click = extra->u.do_click;
    const PF_UnionableRect& f = extra->effect_win.current_frame;
    float x = static_cast<float>(click.screen_point.h - f.left);
    float y = static_cast<float>(click.screen_point.v - f.top);
    int control = extra->effect_win.index;
    PF_Modifiers modifiers = click.modifiers;
    int code = CLICK_NOTHING;
    bool card_control = control == P_SOURCE || control == P_TARGET;
    PF_Err err = PF_Err_NONE;
    if (card_control) {
        code = card_click(in_data, params, control, x, y);
    } else if (control == P_EXPORT) {
        code = button_hit(&b_export, x, y) ? CLICK_EXPORT : CLICK_NOTHING;
    } else if (control == P_UPDATE_UI) {
        code = button_hit(&b_fix_ui, x, y) ? CLICK_FIX_UI : CLICK_NOTHING;
    } else if (control == P_INPUT_LEVELS || control == P_INPUT_LEVELS + OUTPUT_OFFSET) {
        click.continue_refcon[0] = 0;
        if (button_hit(&b_full, x, y)) {
            code = CLICK_FULL;
        } else if (button_hit(&b_legal, x, y)) {
            code = CLICK_LEGAL;
        } else {
            double black = 0, white = 1;
            err = value_get_slider(in_data, params, control + 1, &black);
            if (!err) err = value_get_slider(in_data, params, control + 2, &white);
            double width = static_cast<double>(f.right - f.left) - 86;
            double t = width > 0 ? (x - 81) / width : 0;
            t = t < 0 ? 0 : t > 1 ? 1 : t;
            if (!err && std::fabs(t - black) < 0.05) click.continue_refcon[0] = control + 1;
            if (!err && std::fabs(t - white) < 0.05) click.continue_refcon[0] = control + 2;
        }
    }
    if (!err && code >= 0 && code < CLICK_NOTHING) {
        err = select_patch(in_data, out_data, params, control, code);
    } else if (!err) {
        switch (code) {
            case CLICK_FIND:
            case CLICK_READ:
                err = frame_action(in_data, out_data, params, control, code, modifiers);
                break;
            case CLICK_LOAD:
                err = load_card(in_data, out_data, params, control);
                break;
            case CLICK_SAVE:
                err = save_card(in_data, out_data, params, control);
                break;
            case CLICK_REF:
                err = reset_card(in_data, out_data, params, control);
                break;
            case CLICK_FULL:
                err = set_levels(in_data, out_data, params, control, 0.0f, 1.0f);
                break;
            case CLICK_LEGAL:
                err = set_levels(in_data, out_data, params, control, LEGAL_BLACK, LEGAL_WHITE);
                break;
            case CLICK_EXPORT:
                err = export_lut(in_data, out_data, params, modifiers);
                break;
            case CLICK_FIX_UI: {
                bool mismatch = false;
                err = FixUI(in_data, out_data, params, nullptr, true, &mismatch);
                out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
                break;
            }
            default:
                break;
        }
    }
    if (card_control) {
        PF_Err e = card_names(in_data, out_data, params);
        if (!err) err = e;
    }
    click.send_drag = 1;
    extra->evt_out_flags |= PF_EO_HANDLED_EVENT;
    return err;
}

PF_Err do_drag(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
               PF_EventExtra* extra) {
    int control = extra->effect_win.index;
    if (control != P_INPUT_LEVELS && control != P_INPUT_LEVELS + OUTPUT_OFFSET) return PF_Err_NONE;
    PF_DoClickEventInfo& drag = extra->u.drag;
    const PF_UnionableRect& f = extra->effect_win.current_frame;
    PF_Err err = PF_Err_NONE;
    auto level_index = static_cast<int>(drag.continue_refcon[0]);
    if (level_index) {
        double width = static_cast<double>(f.right - f.left) - 86;
        double t = width > 0 ? (drag.screen_point.h - f.left - 81) / width : 0;
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        err = value_set_slider(in_data, params, level_index, t);
        if (!err)
            err =
                value_update_card(in_data, params, control == P_INPUT_LEVELS ? P_SOURCE : P_TARGET);
    }
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    drag.send_drag = 1;
    extra->evt_out_flags |= PF_EO_HANDLED_EVENT;
    return err;
}

}  // namespace

PF_Err Event(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             PF_EventExtra* extra) {
    switch (extra->e_type) {
        case PF_Event_DO_CLICK: {
            PF_Err err = maybe_update_card(in_data, out_data, params);
            if (err || extra->effect_win.area != PF_EA_CONTROL) return err;
            return do_click(in_data, out_data, params, extra);
        }
        case PF_Event_DRAG: {
            PF_Err err = maybe_update_card(in_data, out_data, params);
            if (err || extra->effect_win.area != PF_EA_CONTROL) return err;
            return do_drag(in_data, out_data, params, extra);
        }
        case PF_Event_DRAW:
            return Draw(in_data, out_data, params, output, extra);
        case PF_Event_ADJUST_CURSOR:
            extra->u.adjust_cursor.set_cursor = PF_Cursor_NONE;
            return PF_Err_NONE;
        default:
            return PF_Err_NONE;
    }
}
