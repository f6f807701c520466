#include "synth/synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cards/finder.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

namespace {

constexpr double PI = 3.14159265358979323846;
// Rec. 709 primaries with a D65 white.
const color_space REC709 = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
// Reflectance of the card body around and between the patches.
constexpr float BODY = 0.03f;
// How far the body reaches beyond the card coordinates' unit square, in card heights.
constexpr double BODY_BORDER = 0.035;
// Sub-samples per pixel side when drawing edges.
constexpr int SUPER = 3;

// splitmix64: small, fast and the same everywhere (unlike the standard distributions).
struct rng {
    uint64_t state;
};
uint64_t next_u64(rng* r) {
    uint64_t z = (r->state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}
double uniform(rng* r, double a, double b) {
    return a + (b - a) * (double(next_u64(r) >> 11) * (1.0 / 9007199254740992.0));
}
int uniform_int(rng* r, int a, int b) {  // a ... b inclusive
    if (b <= a) return a;
    return a + int(next_u64(r) % uint64_t(b - a + 1));
}
double normal(rng* r) {
    // Box-Muller with one value per call; determinism matters more than speed here.
    const double u1 = uniform(r, 1e-300, 1.0), u2 = uniform(r, 0.0, 1.0);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2 * PI * u2);
}

// Physical width over height of the card coordinates' unit square.
double card_aspect(refcard_type type) {
    switch (type) {
        case DATACOLOR_SPYDERCHECKR:
            return 1.515;
        case XRITE_COLORCHECKER_SG_BEFORE_NOV2014:
        case XRITE_COLORCHECKER_SG_AFTER_NOV2014:
            return 1.4;
        case XRITE_COLORCHECKER_VIDEO_COMPAT:
            return 1.375;
        case DSCLABS_ONESHOT:
            return 1.644444;
        default:
            return 1.5;
    }
}

struct rect_uv {
    double u0, u1, v0, v1;
};

// One cell of a row or column of `n` equal cells around centre c, shrunk by half a gap on
// every side that is not on the card's edge.
void oneshot_span(double c, double half, double gap, double* a, double* b) {
    *a = c - half;
    *b = c + half;
    if (*a > 1e-6) *a += gap / 2;
    if (*b < 1 - 1e-6) *b -= gap / 2;
    *a = std::max(*a, 0.0);
    *b = std::min(*b, 1.0);
}

// A patch's extent in card coordinates; gaps between patches as the chart's outlines
// draw them.
rect_uv patch_rect(refcard_type type, const reference_patch& p) {
    double hu = 1.0 / 12 - 1.0 / 120, hv = 1.0 / 8 - 1.0 / 80;
    switch (type) {
        case DATACOLOR_SPYDERCHECKR:
            hu = 0.0436244;
            hv = 0.0656566;
            break;
        case XRITE_COLORCHECKER_SG_BEFORE_NOV2014:
        case XRITE_COLORCHECKER_SG_AFTER_NOV2014:
            hu = 1.0 / 28 - 1.0 / 280;
            hv = 1.0 / 20 - 1.0 / 200;
            break;
        case XRITE_COLORCHECKER_VIDEO_COMPAT:
            hu = 0.0365385;
            hv = 0.0530726;
            break;
        case DGKCOLORTOOLS_DKK_5x7:
            hu = 1.0 / 12 - 1.0 / 120;
            hv = p.v < 0.5f ? 0.25 - 0.0125 : 0.125 - 0.0125;
            break;
        case DSCLABS_ONESHOT: {
            // Columns A and B are a third of the card wide, C and D a sixth; column B
            // has four rows, the others three. Patches meet the card's edge; the gaps
            // between them are narrow across and wider down.
            const double cu = p.u, cv = p.v;
            const double half_u = cu < 2.0 / 3 ? 1.0 / 6 : 1.0 / 12;
            const bool four = std::fabs(cu - 0.5) < 0.01;
            const double half_v = four ? 1.0 / 8 : 1.0 / 6;
            rect_uv r;
            oneshot_span(cu, half_u, 0.005, &r.u0, &r.u1);
            oneshot_span(cv, half_v, 0.03, &r.v0, &r.v1);
            return r;
        }
        default:
            break;
    }
    return {p.u - hu, p.u + hu, p.v - hv, p.v + hv};
}

// The patches whose regions the finder can accept (nearly square on the card): the tall
// row A of the DKK and the wide columns A and B of the OneShot are not.
bool finder_patch(refcard_type type, const reference_patch& p) {
    if (type == DGKCOLORTOOLS_DKK_5x7) return p.v > 0.5f;
    if (type == DSCLABS_ONESHOT) return p.u > 2.0f / 3.0f;
    return true;
}

// Homography from card coordinates (u, v, 1) to homogeneous frame coordinates.
void card_homography(const synth_scene& s, double* H) {
    const double A = card_aspect(s.chart), size = s.card_height;
    const double f = s.focal > 0 ? s.focal : double(s.height);
    const double ca = std::cos(s.tilt_x), sa = std::sin(s.tilt_x);
    const double cb = std::cos(s.tilt_y), sb = std::sin(s.tilt_y);
    const double cg = std::cos(s.rotation), sg = std::sin(s.rotation);
    // R = Rz(rotation) * Ry(tilt_y) * Rx(tilt_x)
    const double Rx[9] = {1, 0, 0, 0, ca, -sa, 0, sa, ca};
    const double Ry[9] = {cb, 0, sb, 0, 1, 0, -sb, 0, cb};
    const double Rz[9] = {cg, -sg, 0, sg, cg, 0, 0, 0, 1};
    double Ryx[9], R[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            Ryx[3 * i + j] = 0;
            for (int k = 0; k < 3; ++k) Ryx[3 * i + j] += Ry[3 * i + k] * Rx[3 * k + j];
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            R[3 * i + j] = 0;
            for (int k = 0; k < 3; ++k) R[3 * i + j] += Rz[3 * i + k] * Ryx[3 * k + j];
        }
    // Card point p = (u - 0.5) A size e_x + (v - 0.5) size e_y; camera point q = R p + (0, 0, f);
    // screen = centre + f (q_x, q_y) / q_z.
    double P[3][3];  // columns: d/du, d/dv, constant, for (X, Y, Z)
    for (int i = 0; i < 3; ++i) {
        P[i][0] = R[3 * i + 0] * A * size;
        P[i][1] = R[3 * i + 1] * size;
        P[i][2] = -0.5 * P[i][0] - 0.5 * P[i][1];
    }
    P[2][2] += f;
    for (int j = 0; j < 3; ++j) {
        H[0 + j] = f * P[0][j] + s.centre_x * P[2][j];
        H[3 + j] = f * P[1][j] + s.centre_y * P[2][j];
        H[6 + j] = P[2][j];
    }
}

OfxPointD project(const double* H, double u, double v) {
    const double w = H[6] * u + H[7] * v + H[8];
    return {(H[0] * u + H[1] * v + H[2]) / w, (H[3] * u + H[4] * v + H[5]) / w};
}

bool invert3x3(const double* m, double* out) {
    const double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8],
                 c = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * a + m[1] * b + m[2] * c;
    if (!(std::fabs(det) > 0)) return false;
    out[0] = a / det;
    out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[2] = (m[1] * m[5] - m[2] * m[4]) / det;
    out[3] = b / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[6] = c / det;
    out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

// Screen bounding box of the card's plane reaching `border` card heights beyond its unit
// square.
void card_box(const synth_scene& s, double border, double* x0, double* y0, double* x1, double* y1) {
    double H[9];
    card_homography(s, H);
    const double bu = border / card_aspect(s.chart), bv = border;
    *x0 = *y0 = INFINITY;
    *x1 = *y1 = -INFINITY;
    for (double u : {-bu, 1 + bu})
        for (double v : {-bv, 1 + bv}) {
            const OfxPointD p = project(H, u, v);
            *x0 = std::min(*x0, p.x);
            *x1 = std::max(*x1, p.x);
            *y0 = std::min(*y0, p.y);
            *y1 = std::max(*y1, p.y);
        }
}

// Screen bounding box of the card body.
void body_box(const synth_scene& s, double* x0, double* y0, double* x1, double* y1) {
    card_box(s, BODY_BORDER, x0, y0, x1, y1);
}

// Card coordinates of a screen point through the inverse homography.
bool card_point(const double* Hinv, double px, double py, double* u, double* v) {
    const double ww = Hinv[6] * px + Hinv[7] * py + Hinv[8];
    if (!(ww != 0)) return false;
    *u = (Hinv[0] * px + Hinv[1] * py + Hinv[2]) / ww;
    *v = (Hinv[3] * px + Hinv[4] * py + Hinv[5]) / ww;
    return true;
}

// Reflectance buffer: 3 floats per pixel.
struct canvas {
    int w, h;
    std::vector<float> rgb;
};

// Paints a shape over the pixels of its box. `inside(x, y, colour)` returns which part
// of the shape covers a point (-1 for none) and its colour. A pixel whose four corners
// fall in the same part is filled at once; pixels across an edge are sub-sampled.
template <class F>
void paint(canvas* c, double bx0, double by0, double bx1, double by1, F&& inside) {
    const int x0 = std::max(0, int(std::floor(bx0)) - 1),
              x1 = std::min(c->w - 1, int(std::ceil(bx1)) + 1);
    const int y0 = std::max(0, int(std::floor(by0)) - 1),
              y1 = std::min(c->h - 1, int(std::ceil(by1)) + 1);
    if (x1 < x0 || y1 < y0) return;
    // Parts at the pixel corners of two rows at a time.
    const size_t n = size_t(x1 - x0 + 2);
    std::vector<int> above(n), below(n);
    std::vector<float> colour_above(3 * n), colour_below(3 * n);
    auto corner_row = [&](int y, std::vector<int>& id, std::vector<float>& col) {
        for (size_t i = 0; i < n; ++i)
            id[i] = inside(double(x0) + double(i) - 0.5, double(y) - 0.5, &col[3 * i]);
    };
    corner_row(y0, above, colour_above);
    for (int y = y0; y <= y1; ++y) {
        corner_row(y + 1, below, colour_below);
        float* d = &c->rgb[(size_t(y) * size_t(c->w) + size_t(x0)) * 3];
        for (size_t i = 0; i + 1 < n; ++i, d += 3) {
            const int id = above[i];
            if (id == above[i + 1] && id == below[i] && id == below[i + 1]) {
                if (id >= 0)
                    for (int k = 0; k < 3; ++k) d[k] = colour_above[3 * i + size_t(k)];
                continue;
            }
            float sum[3] = {0, 0, 0};
            int hits = 0;
            for (int j = 0; j < SUPER; ++j)
                for (int q = 0; q < SUPER; ++q) {
                    const double px = double(x0) + double(i) + (q + 0.5) / SUPER - 0.5;
                    const double py = y + (j + 0.5) / SUPER - 0.5;
                    float col[3];
                    if (inside(px, py, col) < 0) continue;
                    ++hits;
                    for (int k = 0; k < 3; ++k) sum[k] += col[k];
                }
            if (!hits) continue;
            const float cover = float(hits) / float(SUPER * SUPER);
            for (int k = 0; k < 3; ++k) d[k] = d[k] * (1 - cover) + sum[k] / float(SUPER * SUPER);
        }
        std::swap(above, below);
        std::swap(colour_above, colour_below);
    }
}

void gaussian_blur(std::vector<float>& rgb, int w, int h, double sigma) {
    if (!(sigma > 0.05)) return;
    const int r = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> kernel(size_t(2 * r + 1));
    float total = 0;
    for (int i = -r; i <= r; ++i)
        total += kernel[size_t(i + r)] = float(std::exp(-0.5 * i * i / (sigma * sigma)));
    for (float& v : kernel) v /= total;
    const float* k = kernel.data() + r;  // k[-r] ... k[r]
    // Rows through a padded copy (border pixels repeated), then columns likewise.
    std::vector<float> line(size_t(std::max(w, h) + 2 * r) * 3);
    for (int y = 0; y < h; ++y) {
        float* row = rgb.data() + size_t(y) * size_t(w) * 3;
        float* pad = line.data();
        for (int x = -r; x < w + r; ++x) {
            const float* src = row + size_t(std::clamp(x, 0, w - 1)) * 3;
            for (int c = 0; c < 3; ++c) pad[size_t(x + r) * 3 + size_t(c)] = src[c];
        }
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                float acc = 0;
                const float* p = pad + size_t(x + r) * 3 + size_t(c);
                for (int i = -r; i <= r; ++i) acc += k[i] * p[3 * i];
                row[size_t(x) * 3 + size_t(c)] = acc;
            }
    }
    const size_t stride = size_t(w) * 3;
    for (int x = 0; x < w; ++x) {
        float* pad = line.data();
        for (int y = -r; y < h + r; ++y) {
            const float* src =
                rgb.data() + size_t(std::clamp(y, 0, h - 1)) * stride + size_t(x) * 3;
            for (int c = 0; c < 3; ++c) pad[size_t(y + r) * 3 + size_t(c)] = src[c];
        }
        for (int y = 0; y < h; ++y)
            for (int c = 0; c < 3; ++c) {
                float acc = 0;
                const float* p = pad + size_t(y + r) * 3 + size_t(c);
                for (int i = -r; i <= r; ++i) acc += k[i] * p[3 * i];
                rgb[size_t(y) * stride + size_t(x) * 3 + size_t(c)] = acc;
            }
    }
}

// Width in square pixels of a frame `width` pixels wide with the given pixel aspect.
int square_width(int width, double pixel_aspect) {
    if (!(pixel_aspect > 0) || !std::isfinite(pixel_aspect)) pixel_aspect = 1;
    return std::max(1, int(std::lround(width * pixel_aspect)));
}

// Squeezes rows of `from` square pixels into `to` frame pixels, each frame pixel the
// area mean of the square pixels it covers.
void squeeze_rows(std::vector<float>& rgb, int from, int to, int h) {
    std::vector<float> out(size_t(to) * size_t(h) * 3);
    const double k = double(from) / to;
    for (int y = 0; y < h; ++y) {
        const float* row = rgb.data() + size_t(y) * size_t(from) * 3;
        float* o = out.data() + size_t(y) * size_t(to) * 3;
        for (int x = 0; x < to; ++x) {
            const double a = x * k, b = (x + 1) * k;
            double sum[3] = {0, 0, 0};
            for (int i = int(std::floor(a)); i < int(std::ceil(b)) && i < from; ++i) {
                const double wgt = std::min(b, i + 1.0) - std::max(a, double(i));
                if (wgt <= 0) continue;
                for (int c = 0; c < 3; ++c) sum[c] += wgt * row[size_t(i) * 3 + size_t(c)];
            }
            for (int c = 0; c < 3; ++c) o[size_t(x) * 3 + size_t(c)] = float(sum[c] / k);
        }
    }
    rgb.swap(out);
}

// A random bright or muted colour.
void random_colour(rng* r, float* col) {
    const bool saturated = uniform(r, 0, 1) < 0.5;
    for (int k = 0; k < 3; ++k)
        col[k] = float(saturated ? std::pow(uniform(r, 0, 1), 2) * 0.8 : uniform(r, 0.05, 0.7));
}

// Fills the whole canvas with square tiles of a few colours between grout lines, turned
// by a random angle.
void paint_tiles(canvas* c, rng* r) {
    const double cell = c->h * uniform(r, 0.025, 0.08);
    const double grout = cell * uniform(r, 0.06, 0.2);
    const double a = uniform(r, 0, PI / 2), ca = std::cos(a), sa = std::sin(a);
    const int colours = uniform_int(r, 2, 6);
    float palette[6][3], grout_col[3];
    for (int i = 0; i < colours; ++i) random_colour(r, palette[i]);
    const float g = float(uniform(r, 0, 1) < 0.5 ? uniform(r, 0.01, 0.06) : uniform(r, 0.4, 0.8));
    grout_col[0] = grout_col[1] = grout_col[2] = g;
    const uint64_t salt = next_u64(r);
    paint(c, 0, 0, c->w, c->h, [&](double px, double py, float* out) {
        const double lx = px * ca + py * sa, ly = -px * sa + py * ca;
        const double fx = std::floor(lx / cell), fy = std::floor(ly / cell);
        const double ix = lx - fx * cell, iy = ly - fy * cell;
        if (ix < grout || iy < grout) {
            std::memcpy(out, grout_col, sizeof grout_col);
            return 0;
        }
        rng t = {salt ^ (uint64_t(int64_t(fx)) * 0x9e3779b97f4a7c15ull) ^
                 (uint64_t(int64_t(fy)) * 0xc2b2ae3d27d4eb4full)};
        const int k = int(next_u64(&t) % uint64_t(colours));
        std::memcpy(out, palette[k], sizeof palette[k]);
        return 1 + k;
    });
}

}  // namespace

double synth_min_card_share(refcard_type chart, int frame_height, double patch_pixels) {
    const reference_card* ref = refcard(chart);
    if (!ref || frame_height <= 0) return 1;
    // Height of the smallest findable patch in card heights (its width is similar).
    double smallest = 1;
    for (int i = 0; i < ref->patch_count; ++i) {
        if (!finder_patch(chart, ref->patches[i])) continue;
        const rect_uv q = patch_rect(chart, ref->patches[i]);
        smallest = std::min({smallest, q.v1 - q.v0, (q.u1 - q.u0) * card_aspect(chart)});
    }
    const double work = std::clamp(double(frame_height), 600.0, 1200.0);
    return patch_pixels / (smallest * work);
}

synth_conditions synth_moderate() {
    return synth_conditions{};
}

synth_conditions synth_hard() {
    synth_conditions c;
    c.card_min = 0.08;
    c.card_max = 0.2;
    c.max_tilt = 0.87;  // 50 degrees
    c.max_cast = 0.6;
    c.min_ev = -2;
    c.max_ev = 2;
    c.max_crosstalk = 0.2;
    c.max_vignetting = 0.5;
    c.blur_min = 0.5;
    c.blur_max = 2.5;
    c.noise_max = 0.03;
    c.noise_floor_max = 0.005;
    c.clutter_min = 10;
    c.clutter_max = 30;
    c.clutter_patch_like = 0.5;
    c.glare_chance = 0.3;
    c.case_chance = 0.3;
    return c;
}

synth_scene synth_draw(const synth_conditions& cond, refcard_type chart, int width, int height,
                       uint64_t seed) {
    rng r = {seed * 0x2545f4914f6cdd1dull + 0x1234567ull};
    synth_scene s;
    s.width = width;
    s.height = height;
    s.pixel_aspect = cond.pixel_aspect > 0 ? cond.pixel_aspect : 1.0;
    // The card is placed in square pixels; the frame's own are pixel_aspect times wider.
    width = square_width(width, s.pixel_aspect);
    s.chart = chart;
    s.seed = next_u64(&r);
    s.card_height = uniform(&r, cond.card_min, cond.card_max) * height;
    s.rotation = uniform(&r, -cond.max_rotation, cond.max_rotation);
    const double tilt = uniform(&r, 0, cond.max_tilt), dir = uniform(&r, 0, 2 * PI);
    s.tilt_x = tilt * std::cos(dir);
    s.tilt_y = tilt * std::sin(dir);
    s.focal = height * uniform(&r, 0.9, 2.0);
    for (double& g : s.cast) g = std::exp2(uniform(&r, -cond.max_cast, cond.max_cast));
    s.exposure = std::exp2(uniform(&r, cond.min_ev, cond.max_ev));
    for (int i = 0; i < 3; ++i) {
        double sum = 0;
        for (int j = 0; j < 3; ++j) {
            s.camera[3 * i + j] = i == j ? 1.0 : uniform(&r, 0, cond.max_crosstalk);
            sum += s.camera[3 * i + j];
        }
        for (int j = 0; j < 3; ++j) s.camera[3 * i + j] /= sum;
    }
    s.vignetting = uniform(&r, 0, cond.max_vignetting);
    s.blur = uniform(&r, cond.blur_min, cond.blur_max);
    s.noise = uniform(&r, 0, cond.noise_max);
    s.noise_floor = uniform(&r, 0, cond.noise_floor_max);
    s.clutter = uniform_int(&r, cond.clutter_min, cond.clutter_max);
    s.clutter_patch_like = cond.clutter_patch_like;
    // Shrink the card until it fits the frame with a small margin, then place it.
    const double margin = 0.02 * std::min(width, height);
    double x0, y0, x1, y1;
    for (int tries = 0; tries < 40; ++tries) {
        s.centre_x = width / 2.0;
        s.centre_y = height / 2.0;
        body_box(s, &x0, &y0, &x1, &y1);
        if (x1 - x0 <= width - 2 * margin && y1 - y0 <= height - 2 * margin) break;
        s.card_height *= 0.9;
    }
    const double slack_x = std::max(0.0, (width - 2 * margin) - (x1 - x0));
    const double slack_y = std::max(0.0, (height - 2 * margin) - (y1 - y0));
    s.centre_x += (margin - x0) + uniform(&r, 0, slack_x);
    s.centre_y += (margin - y0) + uniform(&r, 0, slack_y);
    // Drawn last, so that every scene drawn before these existed keeps its values.
    if (uniform(&r, 0, 1) < cond.glare_chance) s.glare = uniform(&r, 0.3, 1.5);
    s.glare_u = uniform(&r, 0.1, 0.9);
    s.glare_v = uniform(&r, 0.1, 0.9);
    if (uniform(&r, 0, 1) < cond.case_chance) s.case_grey = uniform(&r, 0.1, 0.5);
    s.case_border = uniform(&r, 0.1, 0.4);
    return s;
}

void synth_render(const synth_scene& s, synth_shot* shot) {
    const reference_card* ref = refcard(s.chart);
    const int frame_w = std::max(1, s.width), h = std::max(1, s.height);
    const int w = square_width(frame_w, s.pixel_aspect);
    rng r = {s.seed};
    canvas c = {w, h, std::vector<float>(size_t(w) * size_t(h) * 3)};

    // Background: a gradient between two muted colours with a slow ripple.
    float ga[3], gb[3];
    for (int k = 0; k < 3; ++k) {
        ga[k] = float(uniform(&r, 0.05, 0.4));
        gb[k] = float(uniform(&r, 0.05, 0.4));
    }
    const double fx = uniform(&r, 1, 4) / w, fy = uniform(&r, 1, 4) / h, phase = uniform(&r, 0, 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float t = float((double(x) / w + double(y) / h) / 2);
            const float ripple = float(1 + 0.1 * std::sin(2 * PI * (fx * x + fy * y) + phase));
            float* d = &c.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            for (int k = 0; k < 3; ++k) d[k] = (ga[k] + (gb[k] - ga[k]) * t) * ripple;
        }
    if (s.decoy == SYNTH_DECOY_TILES) paint_tiles(&c, &r);

    // The card's patches in card coordinates, with a coarse grid to find them quickly.
    card ref_card;
    cardMakeRef(&ref_card, s.space ? s.space : &REC709, s.chart);
    const int n = ref ? ref->patch_count : 0;
    std::vector<rect_uv> rects(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) rects[size_t(i)] = patch_rect(s.chart, ref->patches[i]);
    // What is painted on the card: the chart's patches, or a decoy board's squares.
    std::vector<rect_uv> shown = rects;
    std::vector<float> shown_colour(size_t(n) * 3);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k) shown_colour[size_t(i) * 3 + size_t(k)] = ref_card.linear[k][i];
    if (s.decoy == SYNTH_DECOY_GRID) {
        rng d = {s.seed ^ 0x5deece66dull};
        const int rows = uniform_int(&d, 3, 10), cols = uniform_int(&d, 4, 14);
        const double gap = uniform(&d, 0.05, 0.25);
        shown.clear();
        shown_colour.clear();
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const double cu = (x + 0.5) / cols, cv = (y + 0.5) / rows;
                const double hu = 0.5 * (1 - gap) / cols, hv = 0.5 * (1 - gap) / rows;
                shown.push_back({cu - hu, cu + hu, cv - hv, cv + hv});
                float col[3];
                random_colour(&d, col);
                shown_colour.insert(shown_colour.end(), col, col + 3);
            }
    }
    double H[9], Hinv[9] = {};
    card_homography(s, H);
    const bool visible = invert3x3(H, Hinv);
    const double mean_patch = n ? std::sqrt(1.0 / n) * s.card_height : 0;

    // Clutter behind the card: rotated rectangles of random colours; some square and of
    // the card's patch size, to tempt the finder.
    for (int i = 0; i < s.clutter; ++i) {
        const bool like = uniform(&r, 0, 1) < s.clutter_patch_like;
        double sw, sh;
        if (like) {
            sw = sh = mean_patch * uniform(&r, 0.7, 1.3);
        } else {
            sw = h * uniform(&r, 0.03, 0.3);
            sh = sw * std::exp(uniform(&r, -1.2, 1.2));
        }
        const double cx = uniform(&r, 0, w), cy = uniform(&r, 0, h), a = uniform(&r, 0, PI);
        float col[3];
        const bool saturated = uniform(&r, 0, 1) < 0.5;
        for (float& v : col)
            v = float(saturated ? std::pow(uniform(&r, 0, 1), 2) * 0.8 : uniform(&r, 0.05, 0.7));
        const double ca = std::cos(a), sa = std::sin(a), ext = std::hypot(sw, sh) / 2;
        paint(&c, cx - ext, cy - ext, cx + ext, cy + ext, [&](double px, double py, float* out) {
            const double dx = px - cx, dy = py - cy;
            const double lx = dx * ca + dy * sa, ly = -dx * sa + dy * ca;
            if (std::fabs(lx) > sw / 2 || std::fabs(ly) > sh / 2) return -1;
            std::memcpy(out, col, sizeof col);
            return 0;
        });
    }

    // A grey case around the card, in the card's plane.
    if (visible && s.case_grey > 0) {
        const double eu = s.case_border / card_aspect(s.chart), ev = s.case_border;
        double x0, y0, x1, y1;
        card_box(s, s.case_border, &x0, &y0, &x1, &y1);
        const float grey = float(s.case_grey);
        paint(&c, std::max(x0, -2.0), std::max(y0, -2.0), std::min(x1, w + 2.0),
              std::min(y1, h + 2.0), [&](double px, double py, float* out) {
                  double u, v;
                  if (!card_point(Hinv, px, py, &u, &v)) return -1;
                  if (!(u >= -eu && u <= 1 + eu && v >= -ev && v <= 1 + ev)) return -1;
                  out[0] = out[1] = out[2] = grey;
                  return 0;
              });
    }

    // The card itself.
    if (visible && ref && (s.with_card || s.decoy == SYNTH_DECOY_GRID)) {
        double bx0, by0, bx1, by1;
        body_box(s, &bx0, &by0, &bx1, &by1);
        const double bu = BODY_BORDER / card_aspect(s.chart), bv = BODY_BORDER;
        constexpr int G = 16;
        std::vector<std::vector<int>> grid(G * G);
        for (size_t i = 0; i < shown.size(); ++i) {
            const rect_uv& q = shown[i];
            const int a0 = std::clamp(int(q.u0 * G), 0, G - 1),
                      a1 = std::clamp(int(q.u1 * G), 0, G - 1);
            const int b0 = std::clamp(int(q.v0 * G), 0, G - 1),
                      b1 = std::clamp(int(q.v1 * G), 0, G - 1);
            for (int b = b0; b <= b1; ++b)
                for (int a = a0; a <= a1; ++a) grid[size_t(b * G + a)].push_back(int(i));
        }
        paint(&c, std::max(bx0, -2.0), std::max(by0, -2.0), std::min(bx1, w + 2.0),
              std::min(by1, h + 2.0), [&](double px, double py, float* out) {
                  double u, v;
                  if (!card_point(Hinv, px, py, &u, &v)) return -1;
                  if (!(u >= -bu && u <= 1 + bu && v >= -bv && v <= 1 + bv)) return -1;
                  out[0] = out[1] = out[2] = BODY;
                  if (u < 0 || u >= 1 || v < 0 || v >= 1) return 0;
                  for (int i : grid[size_t(int(v * G) * G + int(u * G))]) {
                      const rect_uv& q = shown[size_t(i)];
                      if (u >= q.u0 && u < q.u1 && v >= q.v0 && v < q.v1) {
                          for (int k = 0; k < 3; ++k)
                              out[k] = shown_colour[size_t(i) * 3 + size_t(k)];
                          return i + 1;
                      }
                  }
                  return 0;
              });
    }

    // Light, camera matrix, vignetting.
    double M[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) M[3 * i + j] = s.camera[3 * i + j] * s.cast[j] * s.exposure;
    const double rmax2 = (w * w + h * h) / 4.0;
    // A highlight reflected off the card: white light added on top, a patch or two wide.
    const OfxPointD glare_at = project(H, s.glare_u, s.glare_v);
    const double glare_sigma = 0.08 * s.card_height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float* d = &c.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            const double dx = x - (w - 1) / 2.0, dy = y - (h - 1) / 2.0;
            const double g = 1 - s.vignetting * (dx * dx + dy * dy) / rmax2;
            const double in[3] = {d[0], d[1], d[2]};
            for (int k = 0; k < 3; ++k)
                d[k] = float(g * (M[3 * k] * in[0] + M[3 * k + 1] * in[1] + M[3 * k + 2] * in[2]));
            if (s.glare > 0 && s.with_card) {
                const double gx = x - glare_at.x, gy = y - glare_at.y;
                const double add =
                    s.glare * std::exp(-(gx * gx + gy * gy) / (2 * glare_sigma * glare_sigma));
                for (int k = 0; k < 3; ++k) d[k] += float(add);
            }
        }
    gaussian_blur(c.rgb, w, h, s.blur);
    // The camera's pixels are wider than high: each takes the light of its width.
    if (frame_w != w) squeeze_rows(c.rgb, w, frame_w, h);

    // Noise, then encoding into an RGBA frame.
    shot->pixels.assign(size_t(frame_w) * size_t(h) * 4, 1.0f);
    for (size_t p = 0; p < size_t(frame_w) * size_t(h); ++p)
        for (int k = 0; k < 3; ++k) {
            double v = c.rgb[p * 3 + size_t(k)];
            if (s.noise > 0 || s.noise_floor > 0)
                v += normal(&r) * std::sqrt(s.noise_floor * s.noise_floor +
                                            s.noise * s.noise * std::max(v, 0.0));
            shot->pixels[p * 4 + size_t(k)] = float(v);
        }
    if (s.encode > 0 && s.encode <= TRANSFER_SPACE_COUNT) {
        float coeffs[COEFFICIENT_COUNT] = {};
        set_coefficents_for_transfer_function(coeffs, 'o', &TRANSFER_FUNCTION[s.encode]);
        for (int y = 0; y < h; ++y) {
            float* row = shot->pixels.data() + size_t(y) * size_t(frame_w) * 4;
            for (int x = 0; x < frame_w; ++x) apply_output_transfer(coeffs, row + 4 * x, 3);
        }
    }
    image& f = shot->frame;
    f = {};
    f.flag1 = f.flag2 = 1;
    f.format = IMAGE_RGBA32F;
    f.right = frame_w;
    f.bottom = h;
    f.scale_x = f.scale_y = 1.0;
    f.pixel_aspect = s.pixel_aspect > 0 && std::isfinite(s.pixel_aspect) ? s.pixel_aspect : 1.0;
    f.row_bytes = frame_w * 16;
    f.pixels = reinterpret_cast<char*>(shot->pixels.data());

    // Truth.
    shot->patch_count = n;
    shot->reference.assign(size_t(n) * 3, 0.0f);
    shot->scene.assign(size_t(n) * 3, 0.0f);
    for (int i = 0; i < n; ++i) {
        const double in[3] = {ref_card.linear[0][i], ref_card.linear[1][i], ref_card.linear[2][i]};
        for (int k = 0; k < 3; ++k) {
            shot->reference[size_t(i) * 3 + size_t(k)] = ref_card.linear[k][i];
            shot->scene[size_t(i) * 3 + size_t(k)] =
                float(M[3 * k] * in[0] + M[3 * k + 1] * in[1] + M[3 * k + 2] * in[2]);
        }
    }
    const double unit[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; ++k) shot->card_square[k] = project(H, unit[k][0], unit[k][1]);
    rect_uv all = {INFINITY, -INFINITY, INFINITY, -INFINITY}, found = all;
    for (int i = 0; i < n; ++i) {
        const rect_uv& q = rects[size_t(i)];
        for (rect_uv* e : {&all, &found}) {
            if (e == &found && !finder_patch(s.chart, ref->patches[i])) continue;
            e->u0 = std::min(e->u0, q.u0);
            e->u1 = std::max(e->u1, q.u1);
            e->v0 = std::min(e->v0, q.v0);
            e->v1 = std::max(e->v1, q.v1);
        }
    }
    if (n) {
        const double au[4] = {all.u0, all.u1, all.u1, all.u0},
                     av[4] = {all.v0, all.v0, all.v1, all.v1};
        const double fu[4] = {found.u0, found.u1, found.u1, found.u0},
                     fv[4] = {found.v0, found.v0, found.v1, found.v1};
        for (int k = 0; k < 4; ++k) {
            shot->patch_edges[k] = project(H, au[k], av[k]);
            shot->corners[k] = project(H, fu[k], fv[k]);
        }
        expand_card_corners(ref, shot->corners);
    }
    // From square pixels to the frame's own, pixel centres on whole numbers in both.
    const double k = double(w) / frame_w;
    for (OfxPointD* set : {shot->card_square, shot->patch_edges, shot->corners})
        for (int i = 0; i < 4; ++i) set[i].x = (set[i].x + 0.5) / k - 0.5;
}

void synth_demo_shot(int width, int height, int encode, refcard_type chart, synth_shot* shot) {
    synth_scene s;
    s.width = width;
    s.height = height;
    s.chart = chart;
    s.card_height = 0.42 * height;
    s.centre_x = 0.47 * width;
    s.centre_y = 0.52 * height;
    s.rotation = 0.05;
    s.tilt_x = 0.12;
    s.tilt_y = -0.18;
    s.exposure = 0.9;
    const double cast[3] = {1.25, 1.0, 0.7};  // warm tungsten-like light
    std::copy(cast, cast + 3, s.cast);
    const double camera[9] = {0.9, 0.08, 0.02, 0.05, 0.88, 0.07, 0.02, 0.1, 0.88};
    std::copy(camera, camera + 9, s.camera);
    s.vignetting = 0.15;
    s.blur = 0.7;
    s.noise = 0.004;
    s.noise_floor = 0.0005;
    s.clutter = 6;
    s.encode = encode;
    s.seed = 2024;
    synth_render(s, shot);
}

int synth_entry(const char* part) {
    // A whole name first: "sRGB" is also part of "Linear sRGB", which comes before it.
    for (int k = 1; k <= TRANSFER_SPACE_COUNT; ++k)
        if (transfer_popup_name(k) == part) return k;
    for (int k = 1; k <= TRANSFER_SPACE_COUNT; ++k)
        if (transfer_popup_name(k).find(part) != std::string::npos) return k;
    return 0;
}
