#include "headless/drawbot.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "hostsdk/suites.h"

struct headless_drawing {
    cairo_surface_t* surface;
    cairo_t* cr;
};

namespace {

std::atomic<int64_t> live_objects{0};

enum object_kind { OBJECT_PEN, OBJECT_BRUSH, OBJECT_FONT, OBJECT_PATH };

struct path_op {
    enum { MOVE, LINE, RECT, CLOSE } op;
    float a, b, c, d;
};

struct object {
    object_kind kind;
    DRAWBOT_ColorRGBA colour{};
    float size = 0;
    std::vector<path_op> ops;
};

object* new_object(object_kind kind) {
    auto* o = new object;
    o->kind = kind;
    return o;
}
object* as_object(DRAWBOT_ObjectRef ref) {
    return reinterpret_cast<object*>(ref);
}
DRAWBOT_ObjectRef ref_of(object* o) {
    ++live_objects;
    return reinterpret_cast<DRAWBOT_ObjectRef>(o);
}
headless_drawing* as_drawing(DRAWBOT_ObjectRef ref) {
    return reinterpret_cast<headless_drawing*>(ref);
}

constexpr SPErr_DRAWBOT BAD = 1;

SPErr_DRAWBOT get_supplier(DRAWBOT_DrawRef draw, DRAWBOT_SupplierRef* supplier) {
    if (!draw || !supplier) return BAD;
    *supplier = reinterpret_cast<DRAWBOT_SupplierRef>(draw);
    return 0;
}
SPErr_DRAWBOT get_surface(DRAWBOT_DrawRef draw, DRAWBOT_SurfaceRef* surface) {
    if (!draw || !surface) return BAD;
    *surface = reinterpret_cast<DRAWBOT_SurfaceRef>(draw);
    return 0;
}
const DRAWBOT_DrawbotSuite1 DRAW_SUITE = {get_supplier, get_surface};

SPErr_DRAWBOT new_pen(DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA* colour, float size,
                      DRAWBOT_PenRef* pen) {
    if (!colour || !pen) return BAD;
    auto* o = new_object(OBJECT_PEN);
    o->colour = *colour;
    o->size = size;
    *pen = ref_of(o);
    return 0;
}
SPErr_DRAWBOT new_brush(DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA* colour,
                        DRAWBOT_BrushRef* brush) {
    if (!colour || !brush) return BAD;
    auto* o = new_object(OBJECT_BRUSH);
    o->colour = *colour;
    *brush = ref_of(o);
    return 0;
}
SPErr_DRAWBOT supports_text(DRAWBOT_SupplierRef, uint8_t* supports) {
    *supports = 1;
    return 0;
}
SPErr_DRAWBOT default_font_size(DRAWBOT_SupplierRef, float* size) {
    *size = 10.0f;
    return 0;
}
SPErr_DRAWBOT new_font(DRAWBOT_SupplierRef, float size, DRAWBOT_FontRef* font) {
    if (!font) return BAD;
    auto* o = new_object(OBJECT_FONT);
    o->size = size;
    *font = ref_of(o);
    return 0;
}
SPErr_DRAWBOT new_path(DRAWBOT_SupplierRef, DRAWBOT_PathRef* path) {
    if (!path) return BAD;
    *path = ref_of(new_object(OBJECT_PATH));
    return 0;
}
SPErr_DRAWBOT release(DRAWBOT_ObjectRef ref) {
    if (!ref) return BAD;
    --live_objects;
    delete as_object(ref);
    return 0;
}
const DRAWBOT_SupplierSuite1 SUPPLIER_SUITE = {
    new_pen, new_brush, supports_text, default_font_size, new_font, new_path, release};

void set_colour(cairo_t* cr, const DRAWBOT_ColorRGBA& c) {
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

void replay(cairo_t* cr, const object* path) {
    cairo_new_path(cr);
    for (const path_op& op : path->ops) {
        switch (op.op) {
            case path_op::MOVE:
                cairo_move_to(cr, op.a, op.b);
                break;
            case path_op::LINE:
                cairo_line_to(cr, op.a, op.b);
                break;
            case path_op::RECT:
                cairo_rectangle(cr, op.a, op.b, op.c, op.d);
                break;
            case path_op::CLOSE:
                cairo_close_path(cr);
                break;
        }
    }
}

SPErr_DRAWBOT push_state(DRAWBOT_SurfaceRef s) {
    cairo_save(as_drawing(s)->cr);
    return 0;
}
SPErr_DRAWBOT pop_state(DRAWBOT_SurfaceRef s) {
    cairo_restore(as_drawing(s)->cr);
    return 0;
}
SPErr_DRAWBOT paint_rect(DRAWBOT_SurfaceRef s, const DRAWBOT_ColorRGBA* colour,
                         const DRAWBOT_RectF32* rect) {
    if (!s || !colour || !rect) return BAD;
    cairo_t* cr = as_drawing(s)->cr;
    cairo_save(cr);
    // Painting replaces what is there, as a host's background fill does.
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    set_colour(cr, *colour);
    cairo_rectangle(cr, rect->left, rect->top, rect->width, rect->height);
    cairo_fill(cr);
    cairo_restore(cr);
    return 0;
}
SPErr_DRAWBOT fill_path(DRAWBOT_SurfaceRef s, DRAWBOT_BrushRef brush, DRAWBOT_PathRef path,
                        DRAWBOT_FillType type) {
    if (!s || !brush || !path) return BAD;
    cairo_t* cr = as_drawing(s)->cr;
    replay(cr, as_object(path));
    set_colour(cr, as_object(brush)->colour);
    cairo_set_fill_rule(
        cr, type == kDRAWBOT_FillType_EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
    return 0;
}
SPErr_DRAWBOT stroke_path(DRAWBOT_SurfaceRef s, DRAWBOT_PenRef pen, DRAWBOT_PathRef path) {
    if (!s || !pen || !path) return BAD;
    cairo_t* cr = as_drawing(s)->cr;
    replay(cr, as_object(path));
    set_colour(cr, as_object(pen)->colour);
    cairo_set_line_width(cr, as_object(pen)->size);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
    return 0;
}
SPErr_DRAWBOT draw_string(DRAWBOT_SurfaceRef s, DRAWBOT_BrushRef brush, DRAWBOT_FontRef font,
                          const DRAWBOT_UTF16Char* text, const DRAWBOT_PointF32* origin,
                          DRAWBOT_TextAlignment alignment, DRAWBOT_TextTruncation, float) {
    if (!s || !brush || !font || !text || !origin) return BAD;
    // The effect's labels are plain ASCII; anything else is shown as '?'.
    std::string utf8;
    for (const DRAWBOT_UTF16Char* c = text; *c; ++c)
        utf8.push_back(*c < 128 ? static_cast<char>(*c) : '?');
    cairo_t* cr = as_drawing(s)->cr;
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, as_object(font)->size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.c_str(), &extents);
    double x = origin->x;
    if (alignment == kDRAWBOT_TextAlignment_Center) x -= extents.x_advance / 2;
    if (alignment == kDRAWBOT_TextAlignment_Right) x -= extents.x_advance;
    set_colour(cr, as_object(brush)->colour);
    cairo_move_to(cr, x, origin->y);
    cairo_show_text(cr, utf8.c_str());
    cairo_new_path(cr);
    return 0;
}
const DRAWBOT_SurfaceSuite1 SURFACE_SUITE = {push_state, pop_state,   paint_rect,
                                             fill_path,  stroke_path, draw_string};

SPErr_DRAWBOT path_add(DRAWBOT_PathRef p, path_op op) {
    if (!p) return BAD;
    as_object(p)->ops.push_back(op);
    return 0;
}
SPErr_DRAWBOT move_to(DRAWBOT_PathRef p, float x, float y) {
    return path_add(p, {path_op::MOVE, x, y, 0, 0});
}
SPErr_DRAWBOT line_to(DRAWBOT_PathRef p, float x, float y) {
    return path_add(p, {path_op::LINE, x, y, 0, 0});
}
SPErr_DRAWBOT add_rect(DRAWBOT_PathRef p, const DRAWBOT_RectF32* r) {
    if (!r) return BAD;
    return path_add(p, {path_op::RECT, r->left, r->top, r->width, r->height});
}
SPErr_DRAWBOT close_path(DRAWBOT_PathRef p) {
    return path_add(p, {path_op::CLOSE, 0, 0, 0, 0});
}
const DRAWBOT_PathSuite1 PATH_SUITE = {move_to, line_to, add_rect, close_path};

uint8_t unpremultiply(uint32_t c, uint32_t a) {
    if (a == 0) return 0;
    uint32_t v = (c * 255 + a / 2) / a;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

}  // namespace

// Cairo and fontconfig keep font caches for the life of the process; give them back at exit
// so that leak checkers see only what the effect itself leaves.
void release_font_caches() {
    cairo_debug_reset_static_data();
    FcFini();
}

headless_drawing* drawing_begin(int width, int height, const headless_canvas* background,
                                double origin_x, double origin_y) {
    static const bool registered = std::atexit(release_font_caches) == 0;
    (void)registered;
    auto* d = new headless_drawing;
    d->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (background && background->width == width && background->height == height) {
        cairo_surface_flush(d->surface);
        unsigned char* data = cairo_image_surface_get_data(d->surface);
        int stride = cairo_image_surface_get_stride(d->surface);
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) {
                const uint8_t* p =
                    &background->rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                                       static_cast<size_t>(x)) *
                                      4];
                uint32_t a = p[3];
                auto pre = [&](uint8_t c) { return (c * a + 127) / 255; };
                row[x] = (a << 24) | (pre(p[0]) << 16) | (pre(p[1]) << 8) | pre(p[2]);
            }
        }
        cairo_surface_mark_dirty(d->surface);
    }
    d->cr = cairo_create(d->surface);
    cairo_translate(d->cr, -origin_x, -origin_y);
    return d;
}

void drawing_end(headless_drawing* d, headless_canvas* out) {
    cairo_destroy(d->cr);
    cairo_surface_flush(d->surface);
    int width = cairo_image_surface_get_width(d->surface);
    int height = cairo_image_surface_get_height(d->surface);
    int stride = cairo_image_surface_get_stride(d->surface);
    const unsigned char* data = cairo_image_surface_get_data(d->surface);
    if (out) {
        out->width = width;
        out->height = height;
        out->rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
        for (int y = 0; y < height; ++y) {
            auto* row =
                reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) {
                uint32_t px = row[x];
                uint32_t a = px >> 24;
                uint8_t* o = &out->rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                                         static_cast<size_t>(x)) *
                                        4];
                o[0] = unpremultiply((px >> 16) & 0xff, a);
                o[1] = unpremultiply((px >> 8) & 0xff, a);
                o[2] = unpremultiply(px & 0xff, a);
                o[3] = static_cast<uint8_t>(a);
            }
        }
    }
    cairo_surface_destroy(d->surface);
    delete d;
}

DRAWBOT_DrawRef drawing_ref(headless_drawing* d) {
    return reinterpret_cast<DRAWBOT_DrawRef>(d);
}

int64_t drawing_live_objects() {
    return live_objects.load();
}

const void* drawbot_suite(const std::string& name, A_long version) {
    if (version != 1) return nullptr;
    if (name == kDRAWBOT_DrawSuite) return &DRAW_SUITE;
    if (name == kDRAWBOT_SupplierSuite) return &SUPPLIER_SUITE;
    if (name == kDRAWBOT_SurfaceSuite) return &SURFACE_SUITE;
    if (name == kDRAWBOT_PathSuite) return &PATH_SUITE;
    return nullptr;
}

bool canvas_write_png(const headless_canvas& c, const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, c.width, c.height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < c.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < c.width; ++x) {
            const uint8_t* p = &c.rgba[(static_cast<size_t>(y) * static_cast<size_t>(c.width) +
                                        static_cast<size_t>(x)) *
                                       4];
            uint32_t a = p[3];
            auto pre = [&](uint8_t v) { return (v * a + 127) / 255; };
            row[x] = (a << 24) | (pre(p[0]) << 16) | (pre(p[1]) << 8) | pre(p[2]);
        }
    }
    cairo_surface_mark_dirty(s);
    // Written beside the target and renamed, so a failed write leaves no broken picture.
    std::string tmp = path + ".tmp";
    bool ok = cairo_surface_write_to_png(s, tmp.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

bool canvas_read_png(const std::string& path, headless_canvas* c) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        headless_drawing d{s, cairo_create(s)};
        // drawing_end reads the surface out and destroys it.
        drawing_end(new headless_drawing(d), c);
    } else {
        cairo_surface_destroy(s);
    }
    return ok;
}
