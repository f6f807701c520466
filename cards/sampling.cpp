#include "cards/sampling.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cards/card.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

namespace {

const char* pixel_address(const image* img, int64_t x, int64_t y) {
    const int64_t stride = img->row_bytes;
    const int64_t row = stride * (y - img->top);
    return img->pixels + row + (x - img->left) * imageFormatBytes(img->format);
}

char* pixel_address(image* img, int64_t x, int64_t y) {
    return const_cast<char*>(pixel_address(static_cast<const image*>(img), x, y));
}

template <typename T>
T load(const char* p, int index) {
    T value;
    std::memcpy(&value, p + index * static_cast<int>(sizeof(T)), sizeof(T));
    return value;
}

template <typename T>
void store(char* p, int index, T value) {
    std::memcpy(p + index * static_cast<int>(sizeof(T)), &value, sizeof(T));
}

// Rounds a frame position to the nearest pixel (ties up, truncating towards zero after
// adding a half). Positions that are not finite or lie absurdly far out land far outside
// any image rather than overflowing the integer conversion.
int64_t round_position(float value) {
    constexpr float FAR = 1.0e9f;
    if (!(value > -FAR)) return -static_cast<int64_t>(FAR);
    if (!(value < FAR)) return static_cast<int64_t>(FAR);
    return static_cast<int64_t>(value + 0.5f);
}

// Clamps to 0-1; a NaN sample (from a NaN pixel in a float frame) reads as 0.
float unit_clamp(float v) {
    return std::fmin(std::fmax(v, 0.0f), 1.0f);
}

// Weight of column (or row) i of the span [a, b] whose ends are the columns i0 and i1.
double span_weight(int64_t i, int64_t i0, int64_t i1, double a, double b) {
    if (i0 == i1) return 1.0;
    if (i1 == i0 + 1) {
        // Two columns: a linear split at the span's midpoint.
        const double m = static_cast<double>(i1) - (a + b) / 2.0;
        return i == i0 ? m : 1.0 - m;
    }
    if (i == i0) return static_cast<double>(i0) - a + 1.0;
    if (i == i1) return b - static_cast<double>(i1) + 1.0;
    return 1.0;
}

void box_mean(const image* img, int64_t x0, int64_t y0, int64_t x1, int64_t y1, float* r, float* g,
              float* b) {
    const int64_t xa = std::min(x0, x1), xb = std::max(x0, x1);
    const int64_t ya = std::min(y0, y1), yb = std::max(y0, y1);
    if (xa >= xb) {
        *r = *g = *b = 0.0f;
        return;
    }
    // Only pixels inside the image count; visit just those.
    const int64_t xs = std::max<int64_t>(xa, img->left), xe = std::min<int64_t>(xb, img->right);
    const int64_t ys = std::max<int64_t>(ya, img->top), ye = std::min<int64_t>(yb, img->bottom);
    float sr = 0.0f, sg = 0.0f, sb = 0.0f;
    int64_t count = 0;
    for (int64_t y = ys; y < ye; ++y) {
        for (int64_t x = xs; x < xe; ++x) {
            float pr = 0.0f, pg = 0.0f, pb = 0.0f;
            getRgb(img, static_cast<int>(x), static_cast<int>(y), &pr, &pg, &pb);
            sr += pr;
            sg += pg;
            sb += pb;
            ++count;
        }
    }
    if (count >= 2) {
        const float n = static_cast<float>(count);
        sr /= n;
        sg /= n;
        sb /= n;
    }
    *r = sr;
    *g = sg;
    *b = sb;
}

}  // namespace

void card_interpolate_init(card_corners* cc) {
    const double x0 = cc->x[0], x1 = cc->x[1], x2 = cc->x[2], x3 = cc->x[3];
    const double y0 = cc->y[0], y1 = cc->y[1], y2 = cc->y[2], y3 = cc->y[3];
    const double D = (y1 - y3) * (x0 - x2) - (x1 - x3) * (y0 - y2);
    double cx, cy;
    if (D < 1e-6) {
        // Degenerate or mirrored corners: fall back to their mean.
        cx = (x0 + x1 + x2 + x3) / 4.0;
        cy = (y0 + y1 + y2 + y3) / 4.0;
    } else {
        const double a = x0 * y2 - y0 * x2;
        const double b = x1 * y3 - y1 * x3;
        cx = (a * (x1 - x3) - b * (x0 - x2)) / D;
        cy = (a * (y1 - y3) - b * (y0 - y2)) / D;
    }
    cc->cx = static_cast<float>(cx);
    cc->cy = static_cast<float>(cy);

    // Each corner is weighted by the distance of the opposite corner from the diagonals'
    // crossing, relative to its own. With Euclidean distances this makes the homogeneous
    // bilinear map below the exact perspective map of the unit square onto the corners,
    // so that patch centres land where a camera puts them.
    double d[4];
    for (int k = 0; k < 4; ++k) d[k] = std::hypot(cc->x[k] - cx, cc->y[k] - cy);
    const double r02 = d[0] + d[2] < 1e-6 ? 0.0 : (d[0] - d[2]) / (d[0] + d[2]);
    const double r13 = d[1] + d[3] < 1e-6 ? 0.0 : (d[1] - d[3]) / (d[1] + d[3]);
    const double w[4] = {1.0 - r02, 1.0 - r13, 1.0 + r02, 1.0 + r13};
    for (int k = 0; k < 4; ++k) {
        cc->w[k] = static_cast<float>(w[k]);
        cc->px[k] = static_cast<float>((cc->x[k] - cx) * w[k]);
        cc->py[k] = static_cast<float>((cc->y[k] - cy) * w[k]);
    }
}

void card_interpolate_xy(float* x, float* y, const card_corners* cc, float u, float v) {
    const float w_top = cc->w[0] + (cc->w[1] - cc->w[0]) * u;
    const float w_bottom = cc->w[3] + (cc->w[2] - cc->w[3]) * u;
    const float W = std::max(w_top + (w_bottom - w_top) * v, 1e-6f);
    const float x_top = cc->px[0] + (cc->px[1] - cc->px[0]) * u;
    const float x_bottom = cc->px[3] + (cc->px[2] - cc->px[3]) * u;
    const float X = x_top + (x_bottom - x_top) * v;
    const float y_top = cc->py[0] + (cc->py[1] - cc->py[0]) * u;
    const float y_bottom = cc->py[3] + (cc->py[2] - cc->py[3]) * u;
    const float Y = y_top + (y_bottom - y_top) * v;
    *x = X / W + cc->cx;
    *y = Y / W + cc->cy;
}

namespace {

// The fixed box read: the 10 x 10 pixels around the patch centre, each channel clamped.
void cardRead_box_patch(const image* img, const card_corners* cc, const reference_patch& patch,
                        float* rgb) {
    float fx = 0.0f, fy = 0.0f;
    card_interpolate_xy(&fx, &fy, cc, patch.u, patch.v);
    const int64_t x = round_position(fx), y = round_position(fy);
    float r = 0.0f, g = 0.0f, b = 0.0f;
    box_mean(img, x - 5, y - 5, x + 5, y + 5, &r, &g, &b);
    rgb[0] = unit_clamp(r);
    rgb[1] = unit_clamp(g);
    rgb[2] = unit_clamp(b);
}

}  // namespace

void cardRead(const image* img, const transfer_function* tf, const OfxPointD* corners, card* c) {
    card_corners cc{};
    for (int k = 0; k < 4; ++k) {
        cc.x[k] = static_cast<float>(corners[k].x);
        cc.y[k] = static_cast<float>(corners[k].y);
    }
    card_interpolate_init(&cc);

    const int n = c->ref->patch_count;
    for (int i = 0; i < n; ++i) {
        float rgb[3];
        cardRead_box_patch(img, &cc, c->ref->patches[i], rgb);
        for (int k = 0; k < 3; ++k) c->display[k][i] = rgb[k];
    }

    c->reference = 0;
    c->display_valid = tf ? 1 : 0;
    float coeffs[COEFFICIENT_COUNT] = {};
    if (tf) set_coefficents_for_transfer_function(coeffs, 'i', tf);
    for (int k = 0; k < 3; ++k) {
        std::copy_n(c->display[k], n, c->linear[k]);
        if (tf) apply_input_transfer(coeffs, c->linear[k], n);
    }
}

namespace {

// Share of a patch's cell (centre to half-way to the neighbours) that is read: patches
// fill 80 to 90 % of their cells on every chart, and a perspective fit a pixel or two
// off must still land inside the patch.
constexpr float PATCH_INSET = 0.5f;
// At most this many pixels per patch are read; larger patches are read on a sparser grid.
constexpr int PATCH_MAX_PIXELS = 4096;
// Pixels farther than this many robust standard deviations (from the median absolute
// deviation) from the median, in any channel, are outliers.
constexpr float OUTLIER_SIGMAS = 3.0f;
// ... but never closer than this to the median (linear light): a clean, flat patch has
// a deviation of nearly 0 and its every pixel must count.
constexpr float OUTLIER_FLOOR = 0.004f;

float median_of(std::vector<float>& v) {
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + ptrdiff_t(mid), v.end());
    return v[mid];
}

// Robust mean of the linear samples (3 per pixel): the mean of the pixels within the
// outlier bounds of every channel.
void robust_mean(const std::vector<float>& rgb, float* out) {
    const size_t n = rgb.size() / 3;
    float med[3], bound[3];
    std::vector<float> ch(n);
    for (int k = 0; k < 3; ++k) {
        for (size_t i = 0; i < n; ++i) ch[i] = rgb[3 * i + size_t(k)];
        med[k] = median_of(ch);
        for (size_t i = 0; i < n; ++i) ch[i] = std::fabs(ch[i] - med[k]);
        bound[k] = std::max(OUTLIER_SIGMAS * 1.4826f * median_of(ch), OUTLIER_FLOOR);
    }
    double sum[3] = {0, 0, 0};
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        const float* p = &rgb[3 * i];
        if (std::fabs(p[0] - med[0]) > bound[0] || std::fabs(p[1] - med[1]) > bound[1] ||
            std::fabs(p[2] - med[2]) > bound[2])
            continue;
        for (int k = 0; k < 3; ++k) sum[k] += p[k];
        ++kept;
    }
    for (int k = 0; k < 3; ++k) out[k] = kept ? float(sum[k] / double(kept)) : med[k];
}

bool inside_quad(const float* qx, const float* qy, float x, float y) {
    // Convex quadrilateral in either winding: the point is on one side of every edge.
    int pos = 0, neg = 0;
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        const float c = (qx[n] - qx[k]) * (y - qy[k]) - (qy[n] - qy[k]) * (x - qx[k]);
        if (c > 0) ++pos;
        if (c < 0) ++neg;
    }
    return pos == 0 || neg == 0;
}

}  // namespace

void patch_sample_rect(const reference_card* ref, int index, float* u0, float* u1, float* v0,
                       float* v1) {
    const reference_patch& p = ref->patches[index];
    // Half-way to the nearest neighbour across (one that lies more across than down) and
    // down; a patch without one reaches to the card's edge.
    float hu = std::min(p.u, 1 - p.u), hv = std::min(p.v, 1 - p.v);
    for (int j = 0; j < ref->patch_count; ++j) {
        if (j == index) continue;
        const float du = std::fabs(ref->patches[j].u - p.u),
                    dv = std::fabs(ref->patches[j].v - p.v);
        if (du > dv) hu = std::min(hu, du / 2);
        if (dv > du) hv = std::min(hv, dv / 2);
    }
    hu = std::max(hu, 0.0f) * PATCH_INSET;
    hv = std::max(hv, 0.0f) * PATCH_INSET;
    *u0 = p.u - hu;
    *u1 = p.u + hu;
    *v0 = p.v - hv;
    *v1 = p.v + hv;
}

void cardReadSampled(const image* img, const transfer_function* tf, const OfxPointD* corners,
                     card* c, card_sampling sampling) {
    if (sampling != CARD_SAMPLING_PATCH) {
        cardRead(img, tf, corners, c);
        return;
    }
    card_corners cc{};
    for (int k = 0; k < 4; ++k) {
        cc.x[k] = static_cast<float>(corners[k].x);
        cc.y[k] = static_cast<float>(corners[k].y);
    }
    card_interpolate_init(&cc);
    float coeffs[COEFFICIENT_COUNT] = {};
    if (tf) set_coefficents_for_transfer_function(coeffs, 'i', tf);
    const int n = c->ref->patch_count;
    std::vector<float> rgb;
    for (int i = 0; i < n; ++i) {
        float u0, u1, v0, v1;
        patch_sample_rect(c->ref, i, &u0, &u1, &v0, &v1);
        const float us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
        float qx[4], qy[4];
        for (int k = 0; k < 4; ++k) card_interpolate_xy(&qx[k], &qy[k], &cc, us[k], vs[k]);
        const float bx0 = std::max(*std::min_element(qx, qx + 4), float(img->left));
        const float bx1 = std::min(*std::max_element(qx, qx + 4), float(img->right - 1));
        const float by0 = std::max(*std::min_element(qy, qy + 4), float(img->top));
        const float by1 = std::min(*std::max_element(qy, qy + 4), float(img->bottom - 1));
        rgb.clear();
        if (std::isfinite(bx0) && std::isfinite(bx1) && std::isfinite(by0) && std::isfinite(by1) &&
            bx1 >= bx0 && by1 >= by0) {
            const double area = double(bx1 - bx0 + 1) * double(by1 - by0 + 1);
            const int step = std::max(1, int(std::ceil(std::sqrt(area / PATCH_MAX_PIXELS))));
            for (int64_t y = int64_t(std::ceil(by0)); y <= int64_t(std::floor(by1)); y += step)
                for (int64_t x = int64_t(std::ceil(bx0)); x <= int64_t(std::floor(bx1));
                     x += step) {
                    if (!inside_quad(qx, qy, float(x), float(y))) continue;
                    float p[3] = {0, 0, 0};
                    getRgb(img, int(x), int(y), &p[0], &p[1], &p[2]);
                    for (float& v : p) v = unit_clamp(v);
                    rgb.insert(rgb.end(), p, p + 3);
                }
        }
        float mean[3];
        if (rgb.size() < 3 * 4) {
            // A patch a pixel or two across: the box around its centre is all there is.
            cardRead_box_patch(img, &cc, c->ref->patches[i], mean);
            if (tf) apply_input_transfer(coeffs, mean, 3);
        } else {
            if (tf) apply_input_transfer(coeffs, rgb.data(), int(rgb.size()));
            robust_mean(rgb, mean);
        }
        for (int k = 0; k < 3; ++k) c->linear[k][i] = mean[k];
    }
    c->reference = 0;
    c->display_valid = tf ? 1 : 0;
    if (tf) {
        cardUpdateDisplayFromLinear(c, tf);
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < n; ++i) c->display[k][i] = unit_clamp(c->display[k][i]);
        // ColorCard files and the effect's stored card keep the display values; the linear
        // ones are derived from them again so that a card saved and loaded is the same card,
        // bit for bit, as the one read.
        cardUpdateLinearFromDisplay(c, tf);
    } else {
        for (int k = 0; k < 3; ++k) std::copy_n(c->linear[k], n, c->display[k]);
    }
}

void getRgb_quick(const image* img, int x0, int y0, int x1, int y1, float* r, float* g, float* b) {
    box_mean(img, x0, y0, x1, y1, r, g, b);
}

void getRgb(const image* img, float x0, float y0, float x1, float y1, float* r, float* g,
            float* b) {
    *r = *g = *b = 0.0f;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;
    // Rectangles reaching absurdly far out are cut short; that changes no weight of a
    // column inside any image.
    constexpr double FAR = 1e15;
    const double xa = std::clamp(static_cast<double>(std::min(x0, x1)), -FAR, FAR);
    const double xb = std::clamp(static_cast<double>(std::max(x0, x1)), -FAR, FAR);
    const double ya = std::clamp(static_cast<double>(std::min(y0, y1)), -FAR, FAR);
    const double yb = std::clamp(static_cast<double>(std::max(y0, y1)), -FAR, FAR);
    const int64_t i0 = static_cast<int64_t>(std::floor(xa)),
                  i1 = static_cast<int64_t>(std::ceil(xb));
    const int64_t j0 = static_cast<int64_t>(std::floor(ya)),
                  j1 = static_cast<int64_t>(std::ceil(yb));

    const int64_t is = std::max<int64_t>(i0, img->left), ie = std::min<int64_t>(i1 + 1, img->right);
    const int64_t js = std::max<int64_t>(j0, img->top), je = std::min<int64_t>(j1 + 1, img->bottom);
    double sr = 0.0, sg = 0.0, sb = 0.0, sw = 0.0;
    for (int64_t j = js; j < je; ++j) {
        const double wy = span_weight(j, j0, j1, ya, yb);
        for (int64_t i = is; i < ie; ++i) {
            const double weight = wy * span_weight(i, i0, i1, xa, xb);
            float pr = 0.0f, pg = 0.0f, pb = 0.0f;
            getRgb(img, static_cast<int>(i), static_cast<int>(j), &pr, &pg, &pb);
            sr += weight * pr;
            sg += weight * pg;
            sb += weight * pb;
            sw += weight;
        }
    }
    if (sw > 0.0) {
        *r = static_cast<float>(sr / sw);
        *g = static_cast<float>(sg / sw);
        *b = static_cast<float>(sb / sw);
    }
}

void getRgb(const image* img, int x, int y, float* r, float* g, float* b) {
    const char* p = pixel_address(img, x, y);
    switch (img->format) {
        case IMAGE_RGBA8:
            *r = load<uint8_t>(p, 0) / 255.0f;
            *g = load<uint8_t>(p, 1) / 255.0f;
            *b = load<uint8_t>(p, 2) / 255.0f;
            break;
        case IMAGE_RGBA16:
            *r = load<uint16_t>(p, 0) / 65535.0f;
            *g = load<uint16_t>(p, 1) / 65535.0f;
            *b = load<uint16_t>(p, 2) / 65535.0f;
            break;
        case IMAGE_RGBA32F:
            *r = load<float>(p, 0);
            *g = load<float>(p, 1);
            *b = load<float>(p, 2);
            break;
        case IMAGE_ARGB8:
            *r = load<uint8_t>(p, 1) / 255.0f;
            *g = load<uint8_t>(p, 2) / 255.0f;
            *b = load<uint8_t>(p, 3) / 255.0f;
            break;
        case IMAGE_ARGB15:
            *r = load<uint16_t>(p, 1) / 32767.0f;
            *g = load<uint16_t>(p, 2) / 32767.0f;
            *b = load<uint16_t>(p, 3) / 32767.0f;
            break;
        case IMAGE_ARGB32F:
            *r = load<float>(p, 1);
            *g = load<float>(p, 2);
            *b = load<float>(p, 3);
            break;
        case IMAGE_BGRA8:
            *r = load<uint8_t>(p, 2) / 255.0f;
            *g = load<uint8_t>(p, 1) / 255.0f;
            *b = load<uint8_t>(p, 0) / 255.0f;
            break;
        case IMAGE_BGRA32F:
            *r = load<float>(p, 2);
            *g = load<float>(p, 1);
            *b = load<float>(p, 0);
            break;
        case IMAGE_BGRA16F:
            *r = half2float(load<half>(p, 2));
            *g = half2float(load<half>(p, 1));
            *b = half2float(load<half>(p, 0));
            break;
    }
}

namespace {

// Integer channels are clamped before truncation so that out-of-range or NaN samples from
// float frames cannot wrap around.
template <typename T>
T quantise(float v, float max) {
    return static_cast<T>(std::fmin(std::fmax(v, 0.0f), 1.0f) * max);
}

void put_rgb(image* img, int64_t x, int64_t y, float r, float g, float b) {
    char* p = pixel_address(img, x, y);
    switch (img->format) {
        case IMAGE_RGBA8:
            store<uint8_t>(p, 0, quantise<uint8_t>(r, 255.0f));
            store<uint8_t>(p, 1, quantise<uint8_t>(g, 255.0f));
            store<uint8_t>(p, 2, quantise<uint8_t>(b, 255.0f));
            store<uint8_t>(p, 3, 255);
            break;
        case IMAGE_RGBA16:
            store<uint16_t>(p, 0, quantise<uint16_t>(r, 65535.0f));
            store<uint16_t>(p, 1, quantise<uint16_t>(g, 65535.0f));
            store<uint16_t>(p, 2, quantise<uint16_t>(b, 65535.0f));
            store<uint16_t>(p, 3, 65535);
            break;
        case IMAGE_RGBA32F:
            store<float>(p, 0, r);
            store<float>(p, 1, g);
            store<float>(p, 2, b);
            store<float>(p, 3, 1.0f);
            break;
        case IMAGE_ARGB8:
            store<uint8_t>(p, 0, 255);
            store<uint8_t>(p, 1, quantise<uint8_t>(r, 255.0f));
            store<uint8_t>(p, 2, quantise<uint8_t>(g, 255.0f));
            store<uint8_t>(p, 3, quantise<uint8_t>(b, 255.0f));
            break;
        case IMAGE_ARGB15:
            store<uint16_t>(p, 0, 32767);
            store<uint16_t>(p, 1, quantise<uint16_t>(r, 32767.0f));
            store<uint16_t>(p, 2, quantise<uint16_t>(g, 32767.0f));
            store<uint16_t>(p, 3, quantise<uint16_t>(b, 32767.0f));
            break;
        case IMAGE_ARGB32F:
            store<float>(p, 0, 1.0f);
            store<float>(p, 1, r);
            store<float>(p, 2, g);
            store<float>(p, 3, b);
            break;
        case IMAGE_BGRA8:
            store<uint8_t>(p, 0, quantise<uint8_t>(b, 255.0f));
            store<uint8_t>(p, 1, quantise<uint8_t>(g, 255.0f));
            store<uint8_t>(p, 2, quantise<uint8_t>(r, 255.0f));
            store<uint8_t>(p, 3, 255);
            break;
        case IMAGE_BGRA32F:
            store<float>(p, 0, b);
            store<float>(p, 1, g);
            store<float>(p, 2, r);
            store<float>(p, 3, 1.0f);
            break;
        case IMAGE_BGRA16F:
            store<half>(p, 0, float2half(b));
            store<half>(p, 1, float2half(g));
            store<half>(p, 2, float2half(r));
            store<half>(p, 3, float2half(1.0f));
            break;
    }
}

}  // namespace

namespace {

// The source columns (or rows) one destination column covers, with their weights: what
// getRgb over the span [a, b] visits, found once per column instead of once per pixel.
struct spans {
    std::vector<int64_t> first;  // first source index of each destination index
    std::vector<int32_t> start;  // where its weights begin in `weight` (one past: start[k + 1])
    std::vector<double> weight;
};

// Destination index k covers [origin + k s, origin + (k + 1) s] (in float, as getRgb is
// given it) of the source indices lo ... hi - 1.
spans make_spans(int64_t count, float origin, float s, int64_t lo, int64_t hi) {
    spans out;
    out.first.resize(size_t(count));
    out.start.resize(size_t(count) + 1);
    constexpr double FAR = 1e15;
    for (int64_t k = 0; k < count; ++k) {
        out.start[size_t(k)] = static_cast<int32_t>(out.weight.size());
        const float fa = origin + static_cast<float>(k) * s;
        const float fb = origin + static_cast<float>(k + 1) * s;
        out.first[size_t(k)] = lo;
        if (!std::isfinite(fa) || !std::isfinite(fb)) continue;  // no weights: reads as 0
        const double a = std::clamp(static_cast<double>(std::min(fa, fb)), -FAR, FAR);
        const double b = std::clamp(static_cast<double>(std::max(fa, fb)), -FAR, FAR);
        const int64_t i0 = static_cast<int64_t>(std::floor(a)),
                      i1 = static_cast<int64_t>(std::ceil(b));
        const int64_t is = std::max<int64_t>(i0, lo), ie = std::min<int64_t>(i1 + 1, hi);
        out.first[size_t(k)] = is;
        for (int64_t i = is; i < ie; ++i) out.weight.push_back(span_weight(i, i0, i1, a, b));
    }
    out.start[size_t(count)] = static_cast<int32_t>(out.weight.size());
    return out;
}

// Row j of the image as R, G, B floats, as getRgb reads each pixel.
void read_row(const image* img, int64_t j, float* out) {
    const int64_t n = static_cast<int64_t>(img->right) - img->left;
    const char* p = pixel_address(img, img->left, j);
    const int bytes = imageFormatBytes(img->format);
    auto each = [&](auto read) {
        for (int64_t i = 0; i < n; ++i, p += bytes, out += 3) read(p, out);
    };
    switch (img->format) {
        case IMAGE_RGBA32F:
            each([](const char* q, float* o) {
                o[0] = load<float>(q, 0), o[1] = load<float>(q, 1), o[2] = load<float>(q, 2);
            });
            break;
        case IMAGE_ARGB32F:
            each([](const char* q, float* o) {
                o[0] = load<float>(q, 1), o[1] = load<float>(q, 2), o[2] = load<float>(q, 3);
            });
            break;
        case IMAGE_BGRA32F:
            each([](const char* q, float* o) {
                o[0] = load<float>(q, 2), o[1] = load<float>(q, 1), o[2] = load<float>(q, 0);
            });
            break;
        default:
            for (int64_t i = 0; i < n; ++i, out += 3)
                getRgb(img, static_cast<int>(img->left + i), static_cast<int>(j), &out[0], &out[1],
                       &out[2]);
            break;
    }
}

// Whether every destination index k takes source indices lo + k and lo + k + 1 at half
// weight each (the last one only lo + k): what a span of one pixel gives at the same size.
bool halves(const spans& s, int64_t lo) {
    const size_t count = s.first.size();
    for (size_t k = 0; k < count; ++k) {
        const int32_t t0 = s.start[k], taps = s.start[k + 1] - t0;
        if (s.first[k] != lo + int64_t(k) || taps != (k + 1 < count ? 2 : 1)) return false;
        for (int32_t t = t0; t < t0 + taps; ++t)
            if (s.weight[size_t(t)] != 0.5) return false;
    }
    return true;
}

// The same-size scale (the finder's frames of up to 1200 rows): each destination pixel is
// the mean of its source pixel, the one to its right and the two below them, those past
// the last column or row left out. The general path's weights are all halves here and
// halving is exact, so its weighted sums round as these plain ones do and its divisions
// by 1, 1/2 or 1/4 are exact: the same bits, without the weights or the divisions. Each
// row's sums of horizontal pairs are made once and serve the two destination rows that
// read that row.
// `S` is the source row's floats per pixel: 4 for an RGBA float frame read in place, 3
// for the R, G, B that read_row gives of any other format.
template <int S>
void same_size_mean(const image* src, image* dst) {
    const int64_t w = int64_t(src->right) - src->left, h = int64_t(src->bottom) - src->top;
    const size_t n = size_t(w) * S;
    std::vector<float> rgb(S == 3 ? n : 0);
    std::vector<double> pairs(2 * n);
    auto source_row = [&](int64_t j) -> const float* {
        if (S == 3) {
            read_row(src, j, rgb.data());
            return rgb.data();
        }
        return reinterpret_cast<const float*>(pixel_address(src, src->left, j));
    };
    auto pair_sums = [&](int64_t j, double* __restrict out) {
        const float* __restrict p = source_row(j);
        for (size_t i = 0; i + S < n; ++i) out[i] = (0.0 + p[i]) + p[i + S];
        for (size_t i = n - S; i < n; ++i) out[i] = 0.0 + p[i];
    };
    pair_sums(src->top, pairs.data());
    for (int64_t y = 0; y < h; ++y) {
        const double* __restrict upper = &pairs[size_t(y & 1) * n];
        double* __restrict lower = &pairs[size_t((y + 1) & 1) * n];
        const bool below = y + 1 < h;
        if (below) pair_sums(src->top + y + 1, lower);
        const double half = below ? 0.25 : 0.5;  // of the pair sums, of one row or of two
        const int64_t ty = dst->top + y;
        auto mean = [&](size_t i, double k) {
            return static_cast<float>(k * (below ? upper[i] + lower[i] : upper[i]));
        };
        if (S == 4 && dst->format == IMAGE_RGBA32F) {
            // Whole rows in vector lanes, alpha included; alpha is then set to 1.
            float* __restrict d = reinterpret_cast<float*>(pixel_address(dst, dst->left, ty));
            const size_t m = n - S;  // every pixel but the last, which has no neighbour
            if (below)
                for (size_t i = 0; i < m; ++i)
                    d[i] = static_cast<float>(0.25 * (upper[i] + lower[i]));
            else
                for (size_t i = 0; i < m; ++i) d[i] = static_cast<float>(0.5 * upper[i]);
            for (size_t i = m; i < n; ++i) d[i] = mean(i, 2 * half);
            for (int64_t x = 0; x < w; ++x) d[4 * x + 3] = 1.0f;
            continue;
        }
        for (int64_t x = 0; x < w; ++x) {
            const double k = x + 1 < w ? half : 2 * half;
            const size_t i = size_t(x * S);
            put_rgb(dst, dst->left + x, ty, mean(i, k), mean(i + 1, k), mean(i + 2, k));
        }
    }
}

}  // namespace

void scaleImage(const image* src, image* dst) {
    const int64_t dst_width = static_cast<int64_t>(dst->right) - dst->left;
    const int64_t dst_height = static_cast<int64_t>(dst->bottom) - dst->top;
    if (dst_width <= 0 || dst_height <= 0) return;
    const int64_t src_width = static_cast<int64_t>(src->right) - src->left;
    const float sx = static_cast<float>(src_width) / static_cast<float>(dst_width);
    const float sy = static_cast<float>(static_cast<int64_t>(src->bottom) - src->top) /
                     static_cast<float>(dst_height);
    // Each destination pixel is the weighted mean getRgb gives over its span of the source,
    // computed as separable sums: a source row is read and summed along x for every
    // destination column once, and those sums are weighted along y. Neighbouring
    // destination rows share source rows; the last few rows' sums are kept for them.
    const spans across =
        make_spans(dst_width, static_cast<float>(src->left), sx, src->left, src->right);
    const spans down =
        make_spans(dst_height, static_cast<float>(src->top), sy, src->top, src->bottom);
    if (halves(across, src->left) && halves(down, src->top)) {
        if (src->format == IMAGE_RGBA32F)
            same_size_mean<4>(src, dst);
        else
            same_size_mean<3>(src, dst);
        return;
    }
    std::vector<float> row(static_cast<size_t>(std::max<int64_t>(src_width, 0)) * 3);
    std::vector<double> sums(size_t(dst_width) * 3);
    std::vector<double> column_weight(static_cast<size_t>(dst_width));
    for (int64_t x = 0; x < dst_width; ++x) {
        double w = 0.0;
        for (int32_t t = across.start[size_t(x)]; t < across.start[size_t(x) + 1]; ++t)
            w += across.weight[size_t(t)];
        column_weight[size_t(x)] = w;
    }
    constexpr int KEPT = 8;
    std::vector<double> kept(size_t(KEPT) * size_t(dst_width) * 3);
    int64_t kept_row[KEPT];
    std::fill_n(kept_row, KEPT, INT64_MIN);
    auto along_x = [&](int64_t j) -> const double* {
        const int slot = static_cast<int>(((j % KEPT) + KEPT) % KEPT);
        double* h = &kept[size_t(slot) * size_t(dst_width) * 3];
        if (kept_row[slot] == j) return h;
        kept_row[slot] = j;
        read_row(src, j, row.data());
        for (int64_t x = 0; x < dst_width; ++x) {
            const int32_t t0 = across.start[size_t(x)], t1 = across.start[size_t(x) + 1];
            const float* p = &row[size_t(across.first[size_t(x)] - src->left) * 3];
            double hr = 0.0, hg = 0.0, hb = 0.0;
            for (int32_t t = t0; t < t1; ++t, p += 3) {
                const double wx = across.weight[size_t(t)];
                hr += wx * p[0];
                hg += wx * p[1];
                hb += wx * p[2];
            }
            h[x * 3] = hr, h[x * 3 + 1] = hg, h[x * 3 + 2] = hb;
        }
        return h;
    };
    for (int64_t y = 0; y < dst_height; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0);
        double row_weight = 0.0;
        const int64_t j0 = down.first[size_t(y)];
        for (int32_t u = down.start[size_t(y)]; u < down.start[size_t(y) + 1]; ++u) {
            const double wy = down.weight[size_t(u)];
            row_weight += wy;
            const double* h = along_x(j0 + (u - down.start[size_t(y)]));
            for (size_t i = 0; i < sums.size(); ++i) sums[i] += wy * h[i];
        }
        if (dst->format == IMAGE_RGBA32F) {
            // The finder's working frame: straight into the row, in a loop that vectorises.
            float* __restrict d =
                reinterpret_cast<float*>(pixel_address(dst, dst->left, dst->top + y));
            const double* __restrict s = sums.data();
            const double* __restrict cw = column_weight.data();
            for (int64_t x = 0; x < dst_width; ++x) {
                const double sw = row_weight * cw[x];
                const bool any = sw > 0.0;
                const double by = any ? sw : 1.0;
                d[4 * x] = any ? static_cast<float>(s[3 * x] / by) : 0.0f;
                d[4 * x + 1] = any ? static_cast<float>(s[3 * x + 1] / by) : 0.0f;
                d[4 * x + 2] = any ? static_cast<float>(s[3 * x + 2] / by) : 0.0f;
                d[4 * x + 3] = 1.0f;
            }
            continue;
        }
        for (int64_t x = 0; x < dst_width; ++x) {
            const double sw = row_weight * column_weight[size_t(x)];
            float r = 0.0f, g = 0.0f, b = 0.0f;
            if (sw > 0.0) {
                const double* s = &sums[size_t(x) * 3];
                r = static_cast<float>(s[0] / sw);
                g = static_cast<float>(s[1] / sw);
                b = static_cast<float>(s[2] / sw);
            }
            put_rgb(dst, dst->left + x, dst->top + y, r, g, b);
        }
    }
}
