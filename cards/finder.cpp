#include "cards/finder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "cards/sampling.h"
#include "colour/matrix.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

namespace {

constexpr int MIN_REGION_PIXELS = 200;
constexpr float MIN_FILL = 0.9f;
constexpr float MAX_ASPECT = 1.4f;
constexpr double SIZE_WINDOW = 1.2;
constexpr float SEARCH_START = 0.0001f;
constexpr float SEARCH_END = 0.00001f;
// A pattern search normally ends in a few dozen rounds; the cap only guards against a
// degenerate outline that keeps improving by ever larger turns.
constexpr int SEARCH_MAX_ROUNDS = 400;
constexpr double PI = 3.14159265358979323846;
// How far the label plane's regions sit right of and below what they cover (see
// region_stats).
constexpr float DILATION_SHIFT = 1.0f;

void* heap_allocate(void*, size_t bytes) {
    return std::malloc(bytes);
}
void heap_release(void*, void* block) {
    std::free(block);
}
const finder_allocator HEAP = {heap_allocate, heap_release, nullptr};

// Every block taken for one call, released together on every exit path.
struct finder_blocks {
    const finder_allocator* alloc;
    std::vector<void*> blocks;
    explicit finder_blocks(const finder_allocator* a) : alloc(a ? a : &HEAP) {}
    finder_blocks(const finder_blocks&) = delete;
    finder_blocks& operator=(const finder_blocks&) = delete;
    ~finder_blocks() {
        for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
            alloc->release(alloc->context, *it);
    }
};

// `count` elements of T, or null when the size overflows or memory ran out.
template <class T>
T* take(finder_blocks* b, size_t count) {
    if (count == 0) count = 1;
    if (count > SIZE_MAX / sizeof(T)) return nullptr;
    b->blocks.reserve(b->blocks.size() + 1);  // may throw before the block exists
    void* p = b->alloc->allocate(b->alloc->context, count * sizeof(T));
    if (!p) return nullptr;
    b->blocks.push_back(p);
    return static_cast<T*>(p);
}

float min_projection(const patch_outline* o, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    float best = INFINITY;
    for (int i = 0; i < o->count; ++i) {
        const float p = o->x[i] * c + o->y[i] * s - 0.5f;
        if (p < best) best = p;
    }
    return best;
}

// Angles turned by the group named by `mode` (decimal digits, 1-based sides).
void turn(float* angles, int mode, float by) {
    for (int m = mode; m > 0; m /= 10) {
        const int side = m % 10 - 1;
        if (side >= 0 && side < 4) angles[side] += by;
    }
}

// The one-dimensional pattern search: start with a small step, double it after every
// success and halve it otherwise, until it is small enough.
template <class F>
void pattern_search(F&& cost, float* value) {
    float h = SEARCH_START;
    for (int round = 0; round < SEARCH_MAX_ROUNDS && h > SEARCH_END; ++round) {
        const double a_minus = cost(*value - h), a0 = cost(*value), a_plus = cost(*value + h);
        if (a_minus < a0) {
            *value -= h;
            h *= 2;
        } else if (a_plus < a0) {
            *value += h;
            h *= 2;
        } else {
            h /= 2;
        }
    }
}

double wrap_pi(double a) {
    a = std::fmod(a + PI, 2 * PI);
    if (a < 0) a += 2 * PI;
    return a - PI;
}

void lines_to_corners(const double* theta, const double* r, OfxPointD* out) {
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        const double c1 = std::cos(theta[k]), s1 = std::sin(theta[k]);
        const double c2 = std::cos(theta[n]), s2 = std::sin(theta[n]);
        // Solve the two normal-form equations directly; parallel sides give the midpoint
        // of their feet rather than infinities.
        const double det = c1 * s2 - s1 * c2;
        if (std::fabs(det) < 1e-12) {
            out[k] = {(c1 * r[k] + c2 * r[n]) / 2, (s1 * r[k] + s2 * r[n]) / 2};
        } else {
            out[k] = {(r[k] * s2 - r[n] * s1) / det, (c1 * r[n] - c2 * r[k]) / det};
        }
    }
}

}  // namespace

bool finder_work_size(int w, int h, double pixel_aspect, int* work_w, int* work_h) {
    if (w <= 0 || h <= 0) return false;
    if (!(pixel_aspect > 0) || !std::isfinite(pixel_aspect)) pixel_aspect = 1.0;
    double H = std::clamp(double(h), 600.0, 1200.0);
    double W = std::floor(double(w) * pixel_aspect * H / double(h) + 0.5);
    if (W > FINDER_MAX_WORK_WIDTH) {
        // Keep square pixels: fewer rows instead of a wider image.
        H = std::floor(double(FINDER_MAX_WORK_WIDTH) * double(h) / (double(w) * pixel_aspect) +
                       0.5);
        W = FINDER_MAX_WORK_WIDTH;
    }
    // Too thin to hold even one candidate patch.
    if (!(W >= 16) || !(H >= 16)) return false;
    *work_w = static_cast<int>(W);
    *work_h = static_cast<int>(H);
    return true;
}

int patch_outline_points(const label_extent* e, float* hx, float* hy) {
    // Every pixel lies between its column's top and bottom, so the hull of those points
    // is the hull of the region; the smallest projection on any direction is reached at
    // a hull vertex. Columns come sorted by x, each with its top first: monotone chain.
    const int cols = e->box.x1 - e->box.x0 + 1;
    std::vector<int64_t> px, py;
    px.reserve(size_t(2 * cols));
    py.reserve(size_t(2 * cols));
    for (int c = 0; c < cols; ++c) {
        const int32_t top = e->col[2 * c], bottom = e->col[2 * c + 1];
        if (top < 0) continue;
        px.push_back(e->box.x0 + c);
        py.push_back(top);
        if (bottom != top) {
            px.push_back(e->box.x0 + c);
            py.push_back(bottom);
        }
    }
    const int n = static_cast<int>(px.size());
    if (n <= 2) {
        for (int i = 0; i < n; ++i) {
            hx[i] = static_cast<float>(px[size_t(i)]);
            hy[i] = static_cast<float>(py[size_t(i)]);
        }
        return n;
    }
    std::vector<int> hull(size_t(2 * n));
    auto cross = [&](int o, int a, int b) {
        return (px[size_t(a)] - px[size_t(o)]) * (py[size_t(b)] - py[size_t(o)]) -
               (py[size_t(a)] - py[size_t(o)]) * (px[size_t(b)] - px[size_t(o)]);
    };
    int k = 0;
    for (int i = 0; i < n; ++i) {
        while (k >= 2 && cross(hull[size_t(k - 2)], hull[size_t(k - 1)], i) <= 0) --k;
        hull[size_t(k++)] = i;
    }
    for (int i = n - 2, t = k + 1; i >= 0; --i) {
        while (k >= t && cross(hull[size_t(k - 2)], hull[size_t(k - 1)], i) <= 0) --k;
        hull[size_t(k++)] = i;
    }
    const int count = k - 1;
    for (int i = 0; i < count; ++i) {
        hx[i] = static_cast<float>(px[size_t(hull[size_t(i)])]);
        hy[i] = static_cast<float>(py[size_t(hull[size_t(i)])]);
    }
    return count;
}

void patch_corners(const patch_outline* o, const float* angles, float* x, float* y) {
    float theta[4], r[4];
    for (int k = 0; k < 4; ++k) {
        theta[k] = angles[k];
        r[k] = min_projection(o, angles[k]);
    }
    corners(theta, r, x, y);
}

namespace {

// The area of the fitted quadrilateral in double precision: the searches compare areas
// that differ by parts in a million, below what float corners resolve.
double precise_patch_area(const patch_outline* o, const float* angles) {
    double theta[4], r[4];
    for (int k = 0; k < 4; ++k) {
        theta[k] = angles[k];
        const double c = std::cos(theta[k]), s = std::sin(theta[k]);
        double best = INFINITY;
        for (int i = 0; i < o->count; ++i) best = std::min(best, o->x[i] * c + o->y[i] * s - 0.5);
        r[k] = best;
    }
    OfxPointD q[4];
    lines_to_corners(theta, r, q);
    const double a =
        ((q[2].x - q[0].x) * (q[3].y - q[1].y) - (q[3].x - q[1].x) * (q[2].y - q[0].y)) / 2;
    return a > 0 ? a : 0;
}

}  // namespace

float patch_area(const patch_outline* o, const float* angles) {
    return static_cast<float>(precise_patch_area(o, angles));
}

void minimise_patch_area(const patch_outline* o, float* angles, int mode) {
    float offset = 0.0f;
    pattern_search(
        [&](float by) {
            float a[4] = {angles[0], angles[1], angles[2], angles[3]};
            turn(a, mode, by);
            return precise_patch_area(o, a);
        },
        &offset);
    turn(angles, mode, offset);
}

void find_patch_angles(const patch_outline* o, float* angles) {
    // The upright start is a local maximum of the area for a patch turned by 45 degrees,
    // where the search cannot tell which way to go and leaves a diamond in an upright
    // box that fails the fill test. Start from the best of a few turns instead (upright
    // wins ties, so upright patches start exactly as before).
    double best = INFINITY;
    float start = 0.0f;
    for (double turn_by : {0.0, PI / 8, -PI / 8, PI / 4}) {
        const float t = static_cast<float>(turn_by);
        const float a[4] = {t, static_cast<float>(PI / 2 + turn_by),
                            static_cast<float>(PI + turn_by),
                            static_cast<float>(3 * PI / 2 + turn_by)};
        const double area_here = precise_patch_area(o, a);
        if (area_here < best) {
            best = area_here;
            start = t;
        }
    }
    angles[0] = start;
    angles[1] = static_cast<float>(PI / 2 + double(start));
    angles[2] = static_cast<float>(PI + double(start));
    angles[3] = static_cast<float>(3 * PI / 2 + double(start));
    for (int mode : {1234, 13, 24, 1, 2, 3, 4}) minimise_patch_area(o, angles, mode);
}

void fit_region(const patch_outline* o, region* r) {
    find_patch_angles(o, r->side_angle);
    patch_corners(o, r->side_angle, r->corner_x, r->corner_y);
    r->quad_area = area(r->corner_x, r->corner_y);
    r->centre_x = (r->corner_x[0] + r->corner_x[1] + r->corner_x[2] + r->corner_x[3]) / 4;
    r->centre_y = (r->corner_y[0] + r->corner_y[1] + r->corner_y[2] + r->corner_y[3]) / 4;
}

bool region_accepted(const region* r) {
    if (r->pixel_count < MIN_REGION_PIXELS) return false;
    if (!(static_cast<float>(r->pixel_count) >= MIN_FILL * r->quad_area)) return false;
    // "Nearly square" is judged on the quadrilateral's own sides rather than on its
    // bounding box on screen: a box turned by 45 degrees looks square whatever its shape,
    // which let the long patches of some charts into clusters on turned cards. For a
    // quadrilateral that is upright on screen both measures agree.
    auto side = [&](int a, int b) {
        return std::hypot(r->corner_x[b] - r->corner_x[a], r->corner_y[b] - r->corner_y[a]);
    };
    const float w = (side(0, 1) + side(3, 2)) / 2, h = (side(0, 3) + side(1, 2)) / 2;
    if (!(w > 0) || !(h > 0)) return false;
    return std::max(w / h, h / w) <= MAX_ASPECT;
}

namespace {

// Plain Euclidean distance: std::hypot's care for overflow is not needed for pixel
// positions and costs much in this inner loop.
inline double distance(double dx, double dy) {
    return std::sqrt(dx * dx + dy * dy);
}

// Region centres and areas in flat arrays for the growth loops.
struct cluster_space {
    std::vector<double> x, y, area;
};

cluster_space space_of(const region* regions, int m) {
    cluster_space c;
    c.x.resize(size_t(m));
    c.y.resize(size_t(m));
    c.area.resize(size_t(m));
    for (int i = 0; i < m; ++i) {
        c.x[size_t(i)] = regions[i].centre_x;
        c.y[size_t(i)] = regions[i].centre_y;
        c.area[size_t(i)] = regions[i].quad_area;
    }
    return c;
}

// A cluster with more members than this cannot be a chart: most of its members would
// not be patches. Growing stops there, which bounds the time on frames full of similar
// squares (tiles, windows, keyboards), where every start would otherwise grow over
// thousands of regions.
int cluster_cap(const reference_card* ref) {
    const int patches = ref ? ref->patch_count : 140;
    return patches + std::max(8, patches / 4);
}

// Regions visited while growing clusters, over all starts, before no further start is
// tried. Ordinary frames stay far below it (a hundred candidates cost a few million);
// a frame tiled with thousands of squares would otherwise keep the finder, which runs on
// the host's UI thread, busy for minutes. The count, not a clock, makes it repeatable.
constexpr int64_t GROWTH_BUDGET = 150'000'000;

// Grows a cluster as cluster_starting_from does; with `tight` > 0 a region must also lie
// within `tight` patch sizes of its nearest member, so that the cluster follows the
// chart's grid and cannot swallow a stray region that the radius rule lets in.
int grow_cluster(const reference_card* ref, const cluster_space& sp, int m, int start, int* members,
                 double tight, int64_t* visits = nullptr) {
    // Each outside region's shortest distance to the cluster is kept up to date as members
    // join, and only outside regions are visited: one step costs O(outside regions).
    std::vector<int> outside;
    outside.reserve(size_t(m));
    for (int i = 0; i < m; ++i)
        if (i != start) outside.push_back(i);
    std::vector<double> nearest(size_t(m), INFINITY), nearest_area(size_t(m), 0);
    const double reach = ref ? ref->cluster_reach : 1.5;
    const int cap = cluster_cap(ref);
    int count = 0;
    double sum_x = 0, sum_y = 0;
    double min_area = INFINITY, max_area = -INFINITY;
    int next = start;
    while (next >= 0) {
        members[count++] = next;
        const double ax = sp.x[size_t(next)], ay = sp.y[size_t(next)], aa = sp.area[size_t(next)];
        sum_x += ax;
        sum_y += ay;
        min_area = std::min(min_area, aa);
        max_area = std::max(max_area, aa);
        if (count >= cap) break;
        const double cx = sum_x / count, cy = sum_y / count;
        double radius = 0;
        for (int k = 0; k < count; ++k)
            radius = std::max(
                radius, distance(sp.x[size_t(members[k])] - cx, sp.y[size_t(members[k])] - cy));
        const double low = min_area / SIZE_WINDOW, high = max_area * SIZE_WINDOW;
        const double limit = count > 2 ? radius * reach : INFINITY;
        next = -1;
        size_t next_at = 0;
        double best = INFINITY;
        if (visits) *visits += int64_t(outside.size()) + count;
        for (size_t o = 0; o < outside.size(); ++o) {
            const int i = outside[o];
            const double d_new = distance(sp.x[size_t(i)] - ax, sp.y[size_t(i)] - ay);
            if (d_new < nearest[size_t(i)]) {
                nearest[size_t(i)] = d_new;
                nearest_area[size_t(i)] = aa;
            }
            const double a = sp.area[size_t(i)];
            if (!(a >= low && a <= high)) continue;
            const double d = nearest[size_t(i)];
            if (!(d <= limit)) continue;
            if (tight > 0 && !(d <= tight * std::sqrt(std::max(a, nearest_area[size_t(i)]))))
                continue;
            // The lowest index wins ties; `outside` is no longer in index order.
            if (d < best || (d == best && i < next)) {
                best = d;
                next = i;
                next_at = o;
            }
        }
        if (next >= 0) {
            outside[next_at] = outside.back();
            outside.pop_back();
        }
    }
    return count;
}

// Neighbours in a chart's grid lie about 1.1 to 1.3 patch sizes apart, diagonal ones
// about 1.6 to 1.8; perspective stretches that a little.
constexpr double TIGHT_REACH = 2.0;

}  // namespace

int cluster_starting_from(const reference_card* ref, const region* regions, int m, int start,
                          int* members) {
    return grow_cluster(ref, space_of(regions, m), m, start, members, 0);
}

namespace {

void project_corners(const region& r, double c, double s, double* p) {
    for (int j = 0; j < 4; ++j) p[j] = double(r.corner_x[j]) * c + double(r.corner_y[j]) * s;
}

// Threshold between the outermost patch on the side facing away from (cos a, sin a) and
// the rest: the midpoint of that patch's smallest and largest projection.
double r_threshold_for_a(const region* regions, const int* members, int count, double a) {
    const double c = std::cos(a), s = std::sin(a);
    double best = INFINITY, t = 0;
    for (int i = 0; i < count; ++i) {
        double p[4];
        project_corners(regions[members[i]], c, s, p);
        const auto [lo, hi] = std::minmax({p[0], p[1], p[2], p[3]});
        if (lo < best) {
            best = lo;
            t = (lo + hi) / 2;
        }
    }
    return t;
}

void generate_mask(const region* regions, const int* members, int count, double a, double t,
                   uint8_t* mask) {
    const double c = std::cos(a), s = std::sin(a);
    for (int i = 0; i < count; ++i) {
        double p[4];
        project_corners(regions[members[i]], c, s, p);
        for (int j = 0; j < 4; ++j) mask[4 * i + j] = p[j] < t ? 1 : 0;
    }
}

// Spread of the marked corners across the direction a: zero when they line up.
float major_angle_r_range(const region* regions, const int* members, int count, const uint8_t* mask,
                          float a) {
    const double c = std::cos(double(a)), s = std::sin(double(a));
    double lo = INFINITY, hi = -INFINITY;
    for (int i = 0; i < count; ++i) {
        double p[4];
        project_corners(regions[members[i]], c, s, p);
        for (int j = 0; j < 4; ++j) {
            if (!mask[4 * i + j]) continue;
            lo = std::min(lo, p[j]);
            hi = std::max(hi, p[j]);
        }
    }
    return hi >= lo ? static_cast<float>(hi - lo) : 0.0f;
}

}  // namespace

void find_card_angle(const region* regions, const int* members, int count, uint8_t* side_mask,
                     float* angles) {
    // A patch's sides are only known up to quarter turns: near 45 degrees one patch may
    // call "left" the side that its neighbour calls "top". Renumber each member's sides
    // by whole quarter turns (and whole turns) to lie nearest the starting patch's
    // before averaging; a plain mean of mixed numberings points nowhere.
    const region& first = regions[members[0]];
    double sum[4] = {0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
        const region& r = regions[members[i]];
        int best_q = 0;
        double best_cost = INFINITY;
        for (int q = 0; q < 4; ++q) {
            double cost = 0;
            for (int k = 0; k < 4; ++k) {
                const double d = wrap_pi(double(r.side_angle[(k + q) % 4]) - first.side_angle[k]);
                cost += d * d;
            }
            if (cost < best_cost - 1e-12) {
                best_cost = cost;
                best_q = q;
            }
        }
        for (int k = 0; k < 4; ++k) {
            const double a = r.side_angle[(k + best_q) % 4];
            sum[k] += double(first.side_angle[k]) + wrap_pi(a - double(first.side_angle[k]));
        }
    }
    for (int k = 0; k < 4; ++k) {
        const double a = sum[k] / count;
        const double t = r_threshold_for_a(regions, members, count, a);
        generate_mask(regions, members, count, a, t, side_mask);
        float refined = static_cast<float>(a);
        pattern_search(
            [&](float v) { return major_angle_r_range(regions, members, count, side_mask, v); },
            &refined);
        angles[k] = refined;
    }
}

void find_card_corners_from_angle(const region* regions, const int* members, int count,
                                  const float* angles, OfxPointD* corners_out) {
    double theta[4], r[4];
    for (int k = 0; k < 4; ++k) {
        theta[k] = angles[k];
        const double c = std::cos(theta[k]), s = std::sin(theta[k]);
        double best = INFINITY;
        for (int i = 0; i < count; ++i) {
            double p[4];
            project_corners(regions[members[i]], c, s, p);
            best = std::min({best, p[0], p[1], p[2]});
        }
        r[k] = best;
    }
    lines_to_corners(theta, r, corners_out);
}

void expand_card_corners(const reference_card* ref, OfxPointD* c) {
    const double l = ref->margin_left, r = ref->margin_right;
    const double t = ref->margin_top, b = ref->margin_bottom;
    if (l == 0 && r == 0 && t == 0 && b == 0) return;
    // The margins are measured on the card, in widths and heights of the patches found,
    // and a card seen at an angle is a perspective view of it: move out along the view's
    // projective map of the unit square onto the found corners. On a parallelogram that
    // map is affine and this is the same as stepping by the mean side vectors below; far
    // from one, the straight steps land a margin of two widths several pixels off.
    const double dx1 = c[1].x - c[2].x, dx2 = c[3].x - c[2].x;
    const double dy1 = c[1].y - c[2].y, dy2 = c[3].y - c[2].y;
    const double sx = c[0].x - c[1].x + c[2].x - c[3].x;
    const double sy = c[0].y - c[1].y + c[2].y - c[3].y;
    const double det = dx1 * dy2 - dx2 * dy1;
    if (std::isfinite(det) && std::fabs(det) > 1e-9) {
        const double g = (sx * dy2 - dx2 * sy) / det, h = (dx1 * sy - sx * dy1) / det;
        const double m[2][3] = {
            {c[1].x - c[0].x + g * c[1].x, c[3].x - c[0].x + h * c[3].x, c[0].x},
            {c[1].y - c[0].y + g * c[1].y, c[3].y - c[0].y + h * c[3].y, c[0].y}};
        const double u[4] = {-l, 1 + r, 1 + r, -l}, v[4] = {-t, -t, 1 + b, 1 + b};
        OfxPointD out[4];
        bool ok = true;
        for (int k = 0; k < 4 && ok; ++k) {
            // A margin reaching past the view's horizon has no image; step straight then.
            const double w = g * u[k] + h * v[k] + 1;
            ok = w > 1e-3 && std::isfinite(w);
            if (ok)
                out[k] = {(m[0][0] * u[k] + m[0][1] * v[k] + m[0][2]) / w,
                          (m[1][0] * u[k] + m[1][1] * v[k] + m[1][2]) / w};
        }
        if (ok) {
            for (int k = 0; k < 4; ++k) c[k] = out[k];
            return;
        }
    }
    const double ux = (c[1].x + c[2].x - c[0].x - c[3].x) / 2;
    const double uy = (c[1].y + c[2].y - c[0].y - c[3].y) / 2;
    const double vx = (c[2].x + c[3].x - c[0].x - c[1].x) / 2;
    const double vy = (c[2].y + c[3].y - c[0].y - c[1].y) / 2;
    c[0].x -= l * ux + t * vx;
    c[0].y -= l * uy + t * vy;
    c[1].x += r * ux - t * vx;
    c[1].y += r * uy - t * vy;
    c[2].x += r * ux + b * vx;
    c[2].y += r * uy + b * vy;
    c[3].x += -l * ux + b * vx;
    c[3].y += -l * uy + b * vy;
}

void rotate_and_expand_card(const reference_card* ref, const OfxPointD* in, int first,
                            OfxPointD* out) {
    for (int k = 0; k < 4; ++k) out[k] = in[(first + k) % 4];
    expand_card_corners(ref, out);
}

double card_error(const image* frame, const card* reference, const OfxPointD* corners_in) {
    const int n = reference->ref->patch_count;
    card sampled;
    sampled.ref = reference->ref;
    cardRead(frame, nullptr, corners_in, &sampled);
    std::vector<double> x[3], w(size_t(n), 1.0);
    for (int c = 0; c < 3; ++c) x[c].assign(sampled.linear[c], sampled.linear[c] + n);
    double error = 0;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> y(reference->linear[c], reference->linear[c] + n);
        float m[3] = {0, 0, 0};
        solve3(n, w.data(), x[0].data(), x[1].data(), x[2].data(), y.data(), m);
        for (int i = 0; i < n; ++i) {
            const double p = double(m[0]) * x[0][size_t(i)] + double(m[1]) * x[1][size_t(i)] +
                             double(m[2]) * x[2][size_t(i)];
            error += (p - y[size_t(i)]) * (p - y[size_t(i)]);
        }
    }
    return error;
}

double rotate_card(const image* frame, const card* reference, OfxPointD* corners_io) {
    double best = INFINITY;
    OfxPointD best_corners[4];
    for (int first = 0; first < 4; ++first) {
        OfxPointD c[4];
        rotate_and_expand_card(reference->ref, corners_io, first, c);
        double e = card_error(frame, reference, c);
        if (std::isnan(e)) e = INFINITY;
        // The first order wins ties.
        if (first == 0 || e < best) {
            best = e;
            for (int k = 0; k < 4; ++k) best_corners[k] = c[k];
        }
    }
    for (int k = 0; k < 4; ++k) corners_io[k] = best_corners[k];
    return best;
}

namespace {

uint64_t mix(uint64_t v) {
    v += 0x9e3779b97f4a7c15ull;
    v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ull;
    v = (v ^ (v >> 27)) * 0x94d049bb133111ebull;
    return v ^ (v >> 31);
}

// Accepted regions of the label plane, fitted; returns their count or -1 when memory ran
// out. Every label's extents are gathered in one pass, each over its own bounding box.
int region_stats(finder_blocks* blocks, const image* labels, int n, region** out) {
    label_box* boxes = take<label_box>(blocks, size_t(n) + 1);
    int32_t* index = take<int32_t>(blocks, size_t(n) + 1);
    if (!boxes || !index) return -1;
    label_boxes(labels, boxes, n);
    size_t ints = 0;
    int candidates = 0;
    size_t widest = 0;
    for (int l = 0; l <= n; ++l) {
        index[l] = -1;
        if (l < 2 || boxes[l].count < MIN_REGION_PIXELS) continue;
        index[l] = candidates++;
        ints += label_extent_ints(boxes[l]);
        widest = std::max(widest, size_t(boxes[l].x1 - boxes[l].x0 + 1));
    }
    label_extent* extents = take<label_extent>(blocks, size_t(candidates));
    int32_t* pool = take<int32_t>(blocks, ints);
    region* regions = take<region>(blocks, size_t(candidates));
    float* hx = take<float>(blocks, 2 * widest + 2);
    float* hy = take<float>(blocks, 2 * widest + 2);
    if (!extents || !pool || !regions || !hx || !hy) return -1;
    int32_t* at = pool;
    for (int l = 2; l <= n; ++l) {
        if (index[l] < 0) continue;
        label_extent& e = extents[index[l]];
        e.label = l;
        e.box = boxes[l];
        e.col = at;
        at += 2 * (e.box.x1 - e.box.x0 + 1);
        e.row = at;
        at += 2 * (e.box.y1 - e.box.y0 + 1);
    }
    gather_extents(labels, index, n, extents, candidates);
    int m = 0;
    for (int k = 0; k < candidates; ++k) {
        const patch_outline o = {hx, hy, patch_outline_points(&extents[k], hx, hy)};
        region& r = regions[m];
        r.label = extents[k].label;
        r.pixel_count = extents[k].box.count;
        fit_region(&o, &r);
        if (!region_accepted(&r)) continue;
        // Both dilations take the maximum over a window of 2r pixels, from x - r to
        // x + r - 1, which is centred half a pixel before x: each moves everything it
        // spreads half a pixel right and down. The edge band (r = 1) and then the labels
        // (r = 2) are dilated, so a region sits one pixel right of and below the patch it
        // stands for; move it back so the corners meet the patch edges on every side.
        for (int j = 0; j < 4; ++j) {
            r.corner_x[j] -= DILATION_SHIFT;
            r.corner_y[j] -= DILATION_SHIFT;
        }
        r.centre_x -= DILATION_SHIFT;
        r.centre_y -= DILATION_SHIFT;
        ++m;
    }
    *out = regions;
    return m;
}

}  // namespace

namespace {

int find_corners(const finder_allocator* alloc, const image* frame, const card* reference,
                 const image* labels, int n, OfxPointD* corners_out) {
    finder_blocks blocks(alloc);
    region* regions = nullptr;
    const int m = region_stats(&blocks, labels, n, &regions);
    if (m < 0) return FINDER_OUT_OF_MEMORY;
    if (m == 0 || !reference || !reference->ref) return FINDER_NOT_FOUND;

    int* members = take<int>(&blocks, size_t(m));
    uint8_t* mask = take<uint8_t>(&blocks, 4 * size_t(m));
    if (!members || !mask) return FINDER_OUT_OF_MEMORY;

    // Clusters already scored, by a hash of their sorted membership; equal hashes are
    // confirmed member by member.
    std::unordered_multimap<uint64_t, size_t> seen;
    std::vector<int> seen_members;
    std::vector<int> sorted;
    bool found = false;
    double best = INFINITY;
    OfxPointD best_corners[4] = {};
    // Every start grows the cluster by the chart's reach and, as a second candidate, the
    // one that keeps to the grid; the colour score decides between them.
    const cluster_space space = space_of(regions, m);
    int64_t visits = 0;
    for (int trial = 0; trial < 2 * m && visits < GROWTH_BUDGET; ++trial) {
        const int s = trial / 2;
        const int count = grow_cluster(reference->ref, space, m, s, members,
                                       trial % 2 ? TIGHT_REACH : 0, &visits);
        if (count < 4) continue;
        sorted.assign(members, members + count);
        std::sort(sorted.begin(), sorted.end());
        uint64_t h = mix(uint64_t(count));
        for (int v : sorted) h = mix(h ^ uint64_t(v));
        bool repeat = false;
        const auto range = seen.equal_range(h);
        for (auto it = range.first; it != range.second && !repeat; ++it)
            repeat = seen_members[it->second] == count &&
                     std::equal(sorted.begin(), sorted.end(),
                                seen_members.begin() + ptrdiff_t(it->second) + 1);
        if (repeat) continue;
        seen.emplace(h, seen_members.size());
        seen_members.push_back(count);
        seen_members.insert(seen_members.end(), sorted.begin(), sorted.end());

        float angles[4];
        find_card_angle(regions, members, count, mask, angles);
        OfxPointD c[4];
        find_card_corners_from_angle(regions, members, count, angles, c);
        double e = rotate_card(frame, reference, c);
        if (std::isnan(e)) e = INFINITY;
        if (!found || e < best) {
            found = true;
            best = e;
            for (int k = 0; k < 4; ++k) best_corners[k] = c[k];
        }
    }
    if (!found) return FINDER_NOT_FOUND;
    for (int k = 0; k < 4; ++k) corners_out[k] = best_corners[k];
    return FINDER_FOUND;
}

}  // namespace

int card_find_corners(const finder_allocator* alloc, const image* frame, const card* reference,
                      const image* labels, int n, OfxPointD* corners_out) {
    try {
        return find_corners(alloc, frame, reference, labels, n, corners_out);
    } catch (const std::bad_alloc&) {
        return FINDER_OUT_OF_MEMORY;
    }
}

int cardFind(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
             const card* reference, OfxPointD* corners_out) {
    try {
        if (!frame || !reference || !reference->ref) return FINDER_NOT_FOUND;
        const int w = frame->right - frame->left, h = frame->bottom - frame->top;
        int W = 0, H = 0;
        if (!finder_work_size(w, h, frame->pixel_aspect, &W, &H)) return FINDER_NOT_FOUND;

        finder_blocks blocks(alloc);
        const size_t bytes = size_t(W) * size_t(H) * 4;
        float* first_pixels = take<float>(&blocks, bytes);
        float* second_pixels = first_pixels ? take<float>(&blocks, bytes) : nullptr;
        if (!second_pixels) return FINDER_OUT_OF_MEMORY;
        image first = {};
        first.flag1 = first.flag2 = 1;
        first.format = IMAGE_RGBA32F;
        first.right = W;
        first.bottom = H;
        first.scale_x = first.scale_y = first.pixel_aspect = 1.0;
        first.row_bytes = W * 16;
        first.pixels = reinterpret_cast<char*>(first_pixels);
        image second = first;
        second.pixels = reinterpret_cast<char*>(second_pixels);

        scaleImage(frame, &first);
        const int n = card_find_regions(&first, &second);

        // Edges were found on the display-referred values; colours are compared linear.
        if (tf) {
            float coeffs[COEFFICIENT_COUNT] = {};
            set_coefficents_for_transfer_function(coeffs, 'i', tf);
            for (int y = 0; y < H; ++y) apply_input_transfer(coeffs, plane_row(&first, y), 4 * W);
        }

        image labels = plane_view(&second, 0);
        OfxPointD found[4];
        const int code = card_find_corners(alloc, &first, reference, &labels, n, found);
        if (code != FINDER_FOUND) return code;
        // Working pixel x is the mean of the frame over x sx to (x + 1) sx, which the area
        // mean centres on (x + 0.5) sx with the frame's pixel centres on whole numbers: a
        // working position u maps to (u + 0.5) sx, not u sx.
        const double sx = double(w) / W, sy = double(h) / H;
        for (int k = 0; k < 4; ++k) {
            corners_out[k].x = (found[k].x + 0.5) * sx + frame->left;
            corners_out[k].y = (found[k].y + 0.5) * sy + frame->top;
        }
        return FINDER_FOUND;
    } catch (const std::bad_alloc&) {
        return FINDER_OUT_OF_MEMORY;
    }
}
