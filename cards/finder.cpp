#include "cards/finder.h"

#include <algorithm>
#include <array>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "cards/sampling.h"
#include "colour/matrix.h"
#include "pipeline/evaluate.h"
#include "pipeline/parameters.h"
#include "pipeline/render.h"
#include "pipeline/slots.h"

namespace {

// Small enough for the patches of a 24-patch card 6 % of a 1080-row frame high (about
// 11 x 11 pixels at the working size); smaller regions are mostly noise and edges.
constexpr int MIN_REGION_PIXELS = 80;
constexpr float MIN_FILL = 0.9f;
// A square patch on a card turned 50 degrees from the camera is 1.56 times longer one way
// than the other, and perspective adds to that; the long patches of some charts stay out.
constexpr float MAX_ASPECT = 1.8f;
// A chart's own patches count in its layout only when they are about square on the chart
// itself: an oblong one seen turned may pass as a candidate, but one at the card's edge
// (as on the OneShot) runs into the border and its region's centre drifts.
constexpr float LAYOUT_MAX_ASPECT = 1.4f;
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

void linearise_in_place(image* work, const transfer_function* tf) {
    // The render's vectorised input stage with nothing after it: identity correction,
    // linear output, no highlight protection. Each block of a row is read whole before
    // it is written, so the frame may be its own output.
    parameters p;
    parameters_clear(&p);
    p.input_transfer = *tf;
    p.output_transfer = TRANSFER_FUNCTION[1];
    p.input_space = p.output_space = COLOR_SPACE[1];
    p.mode = CORRECTION_IDENTITY;
    p.grays = 0.5f;
    p.saturation = 100.0f;
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    const OfxRectI all = {0, 0, work->right - work->left, work->bottom - work->top};
    render_coefficients(work, work, &all, coeffs, nullptr, nullptr);
}

bool linear_code_values(const transfer_function* tf) {
    float coeffs[COEFFICIENT_COUNT] = {};
    set_coefficents_for_transfer_function(coeffs, 'i', tf);
    // Slot values 1 to 7 name a curve; anything else leaves the values as they are.
    const float form = coeffs[INPUT_TYPE];
    return !(form >= 1.0f && form < 8.0f);
}

namespace {
// A square root with a short linear-like toe: close to sRGB's steps (0.18 comes to 0.39,
// 1 to 0.97) without lifting the noise of black as a pure root would, and unbounded above
// for scene-linear highlights.
constexpr float EDGE_TOE = 0.001f;
}  // namespace

void encode_for_edges(float* values, int count) {
    const float root_toe = std::sqrt(EDGE_TOE);
    int k = 0;
#if defined(__SSE2__)
    // Four at a time: the compiler leaves a loop of square roots scalar. The same correctly
    // rounded operations as below, so the result does not depend on the path.
    const __m128 toe = _mm_set1_ps(EDGE_TOE), root = _mm_set1_ps(root_toe);
    for (; k + 4 <= count; k += 4) {
        const __m128 v = _mm_max_ps(_mm_loadu_ps(values + k), _mm_setzero_ps());
        _mm_storeu_ps(values + k, _mm_sub_ps(_mm_sqrt_ps(_mm_add_ps(v, toe)), root));
    }
#endif
    for (; k < count; ++k) {
        const float v = values[k];
        values[k] = std::sqrt((v > 0 ? v : 0) + EDGE_TOE) - root_toe;
    }
}

void decode_from_edges(float* values, int count) {
    const float root_toe = std::sqrt(EDGE_TOE);
    for (int k = 0; k < count; ++k) {
        const float r = values[k] + root_toe;
        values[k] = std::max(r * r - EDGE_TOE, 0.0f);
    }
}

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

namespace {

// Area of the region's quadrilateral with each side moved in onto the outermost pixel
// centres where it runs across the pixel grid. The fitted sides lie half a pixel beyond
// those centres, which is where the pixels' own edges are when a side runs along the
// grid; a side that drifts across a pixel or more over its length passes its outermost
// centres almost on its true edge, so there the quadrilateral overshoots by half a pixel
// all along it. A 20-pixel patch turned by a few degrees filled only 90 % of it, and a
// chart's smallest patches were rejected at most turns. The inset grows with the drift
// up to half a pixel, so that shapes that do not fill their quadrilateral (an L, two
// patches run together) are measured as strictly at every size and turn.
double centre_quad_area(const region* r) {
    double theta[4], dist[4];
    for (int k = 0; k < 4; ++k) {
        theta[k] = r->side_angle[k];
        const double c = std::cos(theta[k]), s = std::sin(theta[k]);
        // Side k runs from corner k - 1 to corner k.
        const int a = (k + 3) % 4;
        const double length = std::hypot(double(r->corner_x[k]) - r->corner_x[a],
                                         double(r->corner_y[k]) - r->corner_y[a]);
        const double drift = length * std::min(std::fabs(c), std::fabs(s));
        dist[k] =
            double(r->corner_x[k]) * c + double(r->corner_y[k]) * s + 0.5 * std::min(1.0, drift);
    }
    OfxPointD q[4];
    lines_to_corners(theta, dist, q);
    const double area_in =
        ((q[2].x - q[0].x) * (q[3].y - q[1].y) - (q[3].x - q[1].x) * (q[2].y - q[0].y)) / 2;
    return area_in > 0 ? area_in : 0;
}

}  // namespace

bool region_accepted(const region* r) {
    if (r->pixel_count < MIN_REGION_PIXELS) return false;
    if (!(static_cast<double>(r->pixel_count) >= double(MIN_FILL) * centre_quad_area(r)))
        return false;
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

// Matching cluster members to the chart's patches: a member within this share of its
// own size of a patch centre is that patch (neighbours are more than a size apart).
constexpr double LAYOUT_SNAP = 0.5;
// A projective map has eight unknowns; with fewer matches than this the fit would follow
// the noise of single centres. A chart with no more findable patches than this (the
// OneShot's six squares) needs one fewer: a square lost to glare or clipping would
// otherwise lose the card, and the map of so small a cluster is held near affine anyway
// (six unknowns, see PERSPECTIVE_RIDGE).
constexpr int LAYOUT_MIN_MATCHES = 6;
// Charts whose findable patches sit at one end of the card (the centres of the OneShot's six
// squares span a ninth of its area, the DKK's colour patches a fifth) are placed from those
// alone, and the far side is carried across two or three times their span. The perspective
// terms of a map fitted to so small a cluster are mostly its noise, which that distance
// multiplies: seen along the card, the OneShot's far corners scattered by 1.25 % of the
// diagonal. Where the matched centres span less than this share of the card, the fit holds
// those terms towards an affine map with a ridge of this weight per point (in normalised
// coordinates, where the points lie about 1.4 from their centre). Every other chart's
// centres span 0.6 of the card or more when it is found whole, and are fitted as before.
constexpr double PERSPECTIVE_FREE_SHARE = 0.3;
constexpr double PERSPECTIVE_RIDGE = 0.2;
// Matches settle in two or three rounds; each round fits the map once.
constexpr int LAYOUT_ROUNDS = 4;
// Regions on an oblong patch count this far below or above the size it should have.
constexpr double OBLONG_SIZE_RANGE = 1.5;
constexpr size_t OBLONG_MIN_REGIONS = 2;
// Patch centres this close across (in card widths or heights) are on one row or column.
constexpr double LAYOUT_SAME_LINE = 0.01;
// Share of a cluster's members that must each match a patch of their own. A cluster of
// the chart matches all of them but a stray neighbour or two; one that covers only part
// of a chart, placed as if it were the whole chart, matches about half at best.
constexpr double LAYOUT_MIN_SHARE = 0.75;
// The search across a patch edge: from this far inside the region's side to this far
// out, in steps of this (working pixels). The regions stop short of the edge by up to a
// couple of pixels; the card's body around the outer patches is wider than the reach out.
constexpr double EDGE_SEARCH_IN = 2.0;
constexpr double EDGE_SEARCH_OUT = 3.0;
constexpr double EDGE_SEARCH_STEP = 0.25;

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

namespace {

// What a chart's evidence looks like, measured on synthetic shots (see the detection
// harness): where each measure grades 0 (bad) and 1 (good).
constexpr double RESIDUAL_GOOD = 0.06, RESIDUAL_BAD = 0.22;
constexpr double MATCHED_GOOD = 0.3, MATCHED_BAD = 0.1;
constexpr double IRREGULARITY_GOOD = 0.05, IRREGULARITY_BAD = 0.3;
// Share of the patches left out of the residual: the worst fit, whichever way (a speck, a
// patch read across its edge).
constexpr double RESIDUAL_TRIM = 0.1;
// And up to as many again of those read brighter than the fit makes them, next to each
// other: a highlight reflected off the card adds light to a patch and its neighbours, as
// another chart's colours or a wrong placement's seldom err. Lighter patches scattered
// over the card still count. (What this forgives, RESIDUAL_BAD takes back: it was 0.26
// with the worst tenth alone left out; at 0.22 another chart's card, read as this one,
// stays out as before.)
constexpr double RESIDUAL_GLARE_TRIM = 0.1;
// How far apart (in card widths and heights) a highlight's patches may lie.
constexpr double GLARE_REACH = 0.35;
// The patches left out are chosen again from each refit: the first fit is pulled by the
// very patches it should leave out, and ranks their neighbours worst in their stead.
constexpr int RESIDUAL_REFITS = 3;
// A linear value this high was clipped by the camera or the encoding.
constexpr double CLIPPED = 0.99;

}  // namespace

namespace {

// Clipped channels that a fit puts this far below the top are counted as missed by it.
constexpr double CLIPPED_SLACK = 0.9;
// A channel needs this many unclipped patches to be fitted at all.
constexpr int CLIPPED_MIN_PATCHES = 5;

// The residual of a card most of whose patches are clipped (an exposure well over):
// fitted the other way round, each channel of the frame from the reference colours, on
// the patches where that channel is below the top. A channel clipped on a patch still
// counts as far as it goes: it says the patch was at least that bright, and a fit that
// makes it darker misses. Every channel keeps its own unclipped patches (an orange patch
// may clip in red only), so more of the card is used than the patches unclipped in all
// three. Measured as the other residual: the share of the channels' spread the fit
// misses, with the worst tenth of the patches left out.
double clipped_fit_residual(const card* sampled, const card* reference) {
    const int n = reference->ref->patch_count;
    const size_t count = static_cast<size_t>(n);
    std::vector<double> y[3], w(count), residual(count, 0.0), x(count);
    for (int c = 0; c < 3; ++c) y[c].assign(reference->linear[c], reference->linear[c] + n);
    double sum = 0, spread = 0;
    for (int c = 0; c < 3; ++c) {
        int free = 0;
        double mean = 0;
        for (int i = 0; i < n; ++i) {
            x[size_t(i)] = sampled->linear[c][i];
            w[size_t(i)] = x[size_t(i)] < CLIPPED ? 1.0 : 0.0;
            if (w[size_t(i)] != 0) {
                ++free;
                mean += x[size_t(i)];
            }
        }
        if (free < CLIPPED_MIN_PATCHES) return 1.0;
        mean /= free;
        float m[3] = {0, 0, 0};
        if (!solve3(n, w.data(), y[0].data(), y[1].data(), y[2].data(), x.data(), m)) return 1.0;
        for (int i = 0; i < n; ++i) {
            const double p = double(m[0]) * y[0][size_t(i)] + double(m[1]) * y[1][size_t(i)] +
                             double(m[2]) * y[2][size_t(i)];
            if (w[size_t(i)] != 0) {
                residual[size_t(i)] += (p - x[size_t(i)]) * (p - x[size_t(i)]);
                spread += (x[size_t(i)] - mean) * (x[size_t(i)] - mean);
            } else if (p < CLIPPED_SLACK * CLIPPED) {
                residual[size_t(i)] +=
                    (CLIPPED_SLACK * CLIPPED - p) * (CLIPPED_SLACK * CLIPPED - p);
            }
        }
    }
    std::sort(residual.begin(), residual.end());
    const int drop = int(std::floor(RESIDUAL_TRIM * n));
    for (int i = 0; i < n - drop; ++i) sum += residual[size_t(i)];
    const double r = sum / spread;
    return std::isfinite(r) ? r : 1.0;
}

}  // namespace

double card_fit_residual(const card* sampled, const card* reference) {
    if (!sampled || !reference || !reference->ref) return NAN;
    const int n = reference->ref->patch_count;
    if (n < 4) return NAN;
    // A patch read at the top of the range is clipped: its colour says nothing about
    // the light, only that it was bright. Such patches are left out, unless so many are
    // that the rest cannot carry a fit.
    std::vector<double> x[3], w(size_t(n), 1.0), residual;
    for (int c = 0; c < 3; ++c) x[c].assign(sampled->linear[c], sampled->linear[c] + n);
    int kept = n;
    for (int i = 0; i < n; ++i)
        if (std::max({x[0][size_t(i)], x[1][size_t(i)], x[2][size_t(i)]}) >= CLIPPED) {
            w[size_t(i)] = 0;
            --kept;
        }
    if (kept < std::max(4, n / 2)) return clipped_fit_residual(sampled, reference);
    // Fits every kept patch, then again without the worst of them (see RESIDUAL_TRIM and
    // RESIDUAL_GLARE_TRIM), so that those pull neither the matrix nor the sum; the spread
    // is the kept patches' own.
    double spread = 0;
    for (int c = 0; c < 3; ++c) {
        double mean = 0;
        for (int i = 0; i < n; ++i) mean += w[size_t(i)] * reference->linear[c][i];
        mean /= kept;
        for (int i = 0; i < n; ++i) {
            const double d = reference->linear[c][i] - mean;
            spread += w[size_t(i)] * d * d;
        }
    }
    if (!(spread > 0)) return NAN;
    // Per patch, how much brighter than its reference the fit makes it, over the channels.
    std::vector<double> brighter;
    auto fit_residuals = [&](const std::vector<double>& weight) {
        residual.assign(size_t(n), 0.0);
        brighter.assign(size_t(n), 0.0);
        for (int c = 0; c < 3; ++c) {
            std::vector<double> y(reference->linear[c], reference->linear[c] + n);
            float m[3] = {0, 0, 0};
            solve3(n, weight.data(), x[0].data(), x[1].data(), x[2].data(), y.data(), m);
            for (int i = 0; i < n; ++i) {
                const double p = double(m[0]) * x[0][size_t(i)] + double(m[1]) * x[1][size_t(i)] +
                                 double(m[2]) * x[2][size_t(i)];
                residual[size_t(i)] += (p - y[size_t(i)]) * (p - y[size_t(i)]);
                brighter[size_t(i)] += p - y[size_t(i)];
            }
        }
    };
    fit_residuals(w);
    const int drop = int(std::floor(RESIDUAL_TRIM * kept));
    const int drop_glare = int(std::floor(RESIDUAL_GLARE_TRIM * kept));
    std::vector<double> inliers = w;
    std::vector<int> order;
    for (int round = 0; round < RESIDUAL_REFITS; ++round) {
        order.clear();
        for (int i = 0; i < n; ++i)
            if (w[size_t(i)] != 0) order.push_back(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return residual[size_t(a)] > residual[size_t(b)] ||
                   (residual[size_t(a)] == residual[size_t(b)] && a < b);
        });
        inliers = w;
        size_t k = 0;
        for (; k < order.size() && int(k) < drop; ++k) inliers[size_t(order[k])] = 0;
        // Then the worst of those read brighter than the fit has them, around the worst
        // of them: a highlight's patch and its neighbours.
        int glare = 0;
        double gu = 0, gv = 0;
        for (; k < order.size() && glare < drop_glare; ++k) {
            const int i = order[k];
            if (!(brighter[size_t(i)] > 0)) continue;
            const double u = reference->ref->patches[i].u, v = reference->ref->patches[i].v;
            if (glare == 0) {
                gu = u;
                gv = v;
            } else if (std::hypot(u - gu, v - gv) > GLARE_REACH) {
                continue;
            }
            inliers[size_t(i)] = 0;
            ++glare;
        }
        fit_residuals(inliers);
    }
    double sum = 0;
    for (int i = 0; i < n; ++i)
        if (inliers[size_t(i)] != 0) sum += residual[size_t(i)];
    const double r = sum / spread;
    return std::isfinite(r) ? r : 1.0;
}

namespace {

// The cyclic corner order (its first corner) whose expanded corners give the smallest
// colour error, and that error; the first order wins ties.
int best_card_order(const image* frame, const card* reference, const OfxPointD* corners,
                    double* error) {
    int best = 0;
    *error = INFINITY;
    for (int first = 0; first < 4; ++first) {
        OfxPointD c[4];
        rotate_and_expand_card(reference->ref, corners, first, c);
        double e = card_error(frame, reference, c);
        if (std::isnan(e)) e = INFINITY;
        if (first == 0 || e < *error) {
            *error = e;
            best = first;
        }
    }
    return best;
}

}  // namespace

double rotate_card(const image* frame, const card* reference, OfxPointD* corners_io) {
    double e = INFINITY;
    const int first = best_card_order(frame, reference, corners_io, &e);
    OfxPointD c[4];
    rotate_and_expand_card(reference->ref, corners_io, first, c);
    for (int k = 0; k < 4; ++k) corners_io[k] = c[k];
    return e;
}

namespace {

// A projective map of the plane, row-major, applied as (x, y, 1) -> (X / W, Y / W).
struct projective {
    double m[9];
};

bool apply(const projective& h, double u, double v, OfxPointD* out) {
    const double w = h.m[6] * u + h.m[7] * v + h.m[8];
    if (!(std::fabs(w) > 1e-12) || !std::isfinite(w)) return false;
    *out = {(h.m[0] * u + h.m[1] * v + h.m[2]) / w, (h.m[3] * u + h.m[4] * v + h.m[5]) / w};
    return std::isfinite(out->x) && std::isfinite(out->y);
}

// Solves the n x n system a x = b in place (row-major a), partial pivoting.
bool solve_dense(double* a, double* b, int n) {
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c])) p = r;
        if (!(std::fabs(a[p * n + c]) > 1e-12)) return false;
        if (p != c) {
            for (int k = 0; k < n; ++k) std::swap(a[c * n + k], a[p * n + k]);
            std::swap(b[c], b[p]);
        }
        for (int r = c + 1; r < n; ++r) {
            const double f = a[r * n + c] / a[c * n + c];
            for (int k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    for (int c = n - 1; c >= 0; --c) {
        double s = b[c];
        for (int k = c + 1; k < n; ++k) s -= a[c * n + k] * b[k];
        b[c] = s / a[c * n + c];
    }
    for (int c = 0; c < n; ++c)
        if (!std::isfinite(b[c])) return false;
    return true;
}

// Least-squares projective map taking the points (u, v) to (x, y): the linear equations
// of the map with its last entry fixed at 1, both point sets first moved to their
// centroid and scaled to a mean distance of sqrt(2) so that the normal equations stay
// well conditioned. `perspective_ridge` (per point, in those coordinates) holds the map's
// two perspective terms towards 0, that is towards an affine map, where the points say
// little about them.
bool fit_projective(const std::vector<double>& u, const std::vector<double>& v,
                    const std::vector<double>& x, const std::vector<double>& y, projective* h,
                    double perspective_ridge = 0) {
    const size_t n = u.size();
    if (n < 4) return false;
    auto normaliser = [n](const std::vector<double>& a, const std::vector<double>& b, double* t) {
        double ma = 0, mb = 0;
        for (size_t i = 0; i < n; ++i) {
            ma += a[i];
            mb += b[i];
        }
        ma /= double(n);
        mb /= double(n);
        double d = 0;
        for (size_t i = 0; i < n; ++i)
            d += std::sqrt((a[i] - ma) * (a[i] - ma) + (b[i] - mb) * (b[i] - mb));
        d /= double(n);
        if (!(d > 1e-12)) return false;
        const double s = std::sqrt(2.0) / d;
        t[0] = s;
        t[1] = -s * ma;
        t[2] = -s * mb;
        return true;
    };
    double tu[3], tx[3];
    if (!normaliser(u, v, tu) || !normaliser(x, y, tx)) return false;
    double ata[64] = {}, atb[8] = {};
    for (size_t i = 0; i < n; ++i) {
        const double a = tu[0] * u[i] + tu[1], b = tu[0] * v[i] + tu[2];
        const double X = tx[0] * x[i] + tx[1], Y = tx[0] * y[i] + tx[2];
        const double rows[2][8] = {{a, b, 1, 0, 0, 0, -a * X, -b * X},
                                   {0, 0, 0, a, b, 1, -a * Y, -b * Y}};
        const double rhs[2] = {X, Y};
        for (int r = 0; r < 2; ++r)
            for (int j = 0; j < 8; ++j) {
                atb[j] += rows[r][j] * rhs[r];
                for (int k = 0; k < 8; ++k) ata[j * 8 + k] += rows[r][j] * rows[r][k];
            }
    }
    ata[6 * 8 + 6] += perspective_ridge * double(n);
    ata[7 * 8 + 7] += perspective_ridge * double(n);
    if (!solve_dense(ata, atb, 8)) return false;
    // Undo the normalisations: H = Tx^-1 Hn Tu.
    const double hn[9] = {atb[0], atb[1], atb[2], atb[3], atb[4], atb[5], atb[6], atb[7], 1};
    const double Tu[9] = {tu[0], 0, tu[1], 0, tu[0], tu[2], 0, 0, 1};
    const double Txi[9] = {1 / tx[0], 0, -tx[1] / tx[0], 0, 1 / tx[0], -tx[2] / tx[0], 0, 0, 1};
    double t[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            t[3 * i + j] = 0;
            for (int k = 0; k < 3; ++k) t[3 * i + j] += hn[3 * i + k] * Tu[3 * k + j];
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            h->m[3 * i + j] = 0;
            for (int k = 0; k < 3; ++k) h->m[3 * i + j] += Txi[3 * i + k] * t[3 * k + j];
        }
    for (double e : h->m)
        if (!std::isfinite(e)) return false;
    return true;
}

bool invert_projective(const projective& h, projective* out) {
    const double* m = h.m;
    const double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8],
                 c = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * a + m[1] * b + m[2] * c;
    if (!(std::fabs(det) > 1e-300) || !std::isfinite(det)) return false;
    const double r[9] = {a, m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
                         b, m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
                         c, m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    for (int k = 0; k < 9; ++k) out->m[k] = r[k] / det;
    return true;
}

// Linear RGB of the working frame at (x, y) (pixel centres on whole numbers),
// interpolated between the four nearest pixels; false outside the frame.
bool sample_rgb(const image* f, double x, double y, double* rgb) {
    const double fx = x - f->left, fy = y - f->top;
    const int w = f->right - f->left, h = f->bottom - f->top;
    if (!(fx >= 0 && fy >= 0 && fx <= w - 1 && fy <= h - 1)) return false;
    const int x0 = std::min(int(fx), w - 2 < 0 ? 0 : w - 2),
              y0 = std::min(int(fy), h - 2 < 0 ? 0 : h - 2);
    const double ax = fx - x0, ay = fy - y0;
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    auto px = [&](int xx, int yy) {
        return reinterpret_cast<const float*>(f->pixels + ptrdiff_t(yy) * f->row_bytes) + 4 * xx;
    };
    const float *p00 = px(x0, y0), *p10 = px(x1, y0), *p01 = px(x0, y1), *p11 = px(x1, y1);
    for (int c = 0; c < 3; ++c)
        rgb[c] =
            (1 - ay) * ((1 - ax) * p00[c] + ax * p10[c]) + ay * ((1 - ax) * p01[c] + ax * p11[c]);
    return true;
}

// Where the patch edge between e0 and e1 really lies: the labelled regions stop short of
// it by a pixel or two (the edge band is wider than the labels grow back over it), so
// the image itself is searched across the side, at a few places along it, for the
// steepest change of colour, which a blurred step has at the step. Each place found is
// stored as its card coordinate across side k (u for left and right, v for top and
// bottom) under `inverse`. Without a frame the region's own corners stand in.
void edge_positions(const image* frame, const projective& inverse, OfxPointD e0, OfxPointD e1,
                    OfxPointD centre, int k, std::vector<double>* out) {
    auto store = [&](double x, double y) {
        OfxPointD q;
        if (apply(inverse, x, y, &q)) out->push_back(k == 0 || k == 2 ? q.x : q.y);
    };
    if (!frame || !frame->pixels) {
        store(e0.x, e0.y);
        store(e1.x, e1.y);
        return;
    }
    const double dx = e1.x - e0.x, dy = e1.y - e0.y, len = std::hypot(dx, dy);
    if (!(len > 1)) return;
    double nx = dy / len, ny = -dx / len;
    const double mx = (e0.x + e1.x) / 2, my = (e0.y + e1.y) / 2;
    if ((mx - centre.x) * nx + (my - centre.y) * ny < 0) {
        nx = -nx;
        ny = -ny;
    }
    constexpr int STEPS = int((EDGE_SEARCH_OUT + EDGE_SEARCH_IN) / EDGE_SEARCH_STEP) + 1;
    for (double along : {0.25, 0.4, 0.6, 0.75}) {
        const double bx = e0.x + along * dx, by = e0.y + along * dy;
        double prev[3];
        double best = 0, best_t = 0, grad[STEPS] = {};
        bool ok = true;
        for (int i = 0; i < STEPS && ok; ++i) {
            const double t = -EDGE_SEARCH_IN + i * EDGE_SEARCH_STEP;
            double rgb[3];
            ok = sample_rgb(frame, bx + t * nx, by + t * ny, rgb);
            if (!ok) break;
            if (i > 0) {
                grad[i] = std::fabs(rgb[0] - prev[0]) + std::fabs(rgb[1] - prev[1]) +
                          std::fabs(rgb[2] - prev[2]);
            }
            for (int c = 0; c < 3; ++c) prev[c] = rgb[c];
        }
        if (!ok) continue;
        int at = -1;
        for (int i = 1; i < STEPS; ++i)
            if (grad[i] > best) {
                best = grad[i];
                at = i;
            }
        if (at < 0) continue;
        // The difference at i is centred half a step before sample i; a parabola through
        // the peak and its neighbours places it between steps.
        double offset = 0;
        if (at > 1 && at + 1 < STEPS) {
            const double a = grad[at - 1], b = grad[at], c = grad[at + 1];
            const double d = a - 2 * b + c;
            if (d < 0) offset = 0.5 * (a - c) / d;
        }
        best_t = -EDGE_SEARCH_IN + (at - 0.5 + offset) * EDGE_SEARCH_STEP;
        store(bx + best_t * nx, by + best_t * ny);
    }
}

// The projective map taking the unit square's corners (0,0), (1,0), (1,1), (0,1) to q.
bool square_to_quad(const OfxPointD* q, projective* h) {
    const std::vector<double> u = {0, 1, 1, 0}, v = {0, 0, 1, 1};
    const std::vector<double> x = {q[0].x, q[1].x, q[2].x, q[3].x},
                              y = {q[0].y, q[1].y, q[2].y, q[3].y};
    return fit_projective(u, v, x, y, h);
}

}  // namespace

namespace {

// A patch's long side over its short one on the chart (1 without a drawn shape, infinite
// for an empty one), and its area in the chart's own units (0 without a shape).
double patch_aspect(const reference_patch& p, double* area = nullptr) {
    if (area) *area = 0;
    if (!p.rect) return 1;
    const double w = double(p.rect[1]) - p.rect[0], h = double(p.rect[3]) - p.rect[2];
    if (!(w > 0) || !(h > 0)) return INFINITY;
    if (area) *area = w * h;
    return std::max(w / h, h / w);
}

// A patch centre in layout coordinates (the findable patches' outline is the unit square).
void layout_point(const reference_card* ref, const reference_patch& p, double* u, double* v) {
    const double l = ref->margin_left, r = ref->margin_right;
    const double t = ref->margin_top, b = ref->margin_bottom;
    *u = double(p.u) * (1 + l + r) - l;
    *v = double(p.v) * (1 + t + b) - t;
}

}  // namespace

int card_layout(const reference_card* ref, double* u, double* v) {
    if (!ref) return 0;
    int n = 0;
    for (int i = 0; i < ref->patch_count; ++i) {
        const reference_patch& p = ref->patches[i];
        if (patch_aspect(p) > double(LAYOUT_MAX_ASPECT)) continue;
        layout_point(ref, p, &u[n], &v[n]);
        ++n;
    }
    return n;
}

namespace {

// Oblong patches are left out of the layout (see LAYOUT_MAX_ASPECT), but where the
// findable ones sit at one end of the card, those at the far end are the only hold on
// it: the OneShot's white, grey and black pieces run along the side its six squares
// carry across twice their own width. Any region of the frame (cluster member or not)
// that lies on such a patch under the map `h`, as large as that patch should be beside
// the matched members, is added to the points (u, v) -> (x, y). True when they were.
bool add_oblong_patches(const reference_card* ref, const projective& h, const region* regions,
                        int region_count, double member_area, std::vector<double>* u,
                        std::vector<double>* v, std::vector<double>* x, std::vector<double>* y) {
    double findable_area = 0;
    int findable = 0;
    for (int i = 0; i < ref->patch_count; ++i) {
        double area;
        if (patch_aspect(ref->patches[i], &area) > LAYOUT_MAX_ASPECT || !(area > 0)) continue;
        findable_area += area;
        ++findable;
    }
    if (findable == 0 || !(member_area > 0)) return false;
    findable_area /= findable;
    std::vector<double> eu, ev, ex, ey;
    for (int i = 0; i < ref->patch_count; ++i) {
        double area;
        const double aspect = patch_aspect(ref->patches[i], &area);
        if (aspect <= LAYOUT_MAX_ASPECT || aspect > MAX_ASPECT) continue;
        double pu, pv;
        layout_point(ref, ref->patches[i], &pu, &pv);
        OfxPointD at;
        if (!apply(h, pu, pv, &at)) continue;
        const double expected = member_area * area / findable_area;
        const double reach = LAYOUT_SNAP * std::sqrt(expected);
        int found = -1, near = 0;
        for (int k = 0; k < region_count; ++k) {
            const region& q = regions[k];
            if (distance(q.centre_x - at.x, q.centre_y - at.y) >= reach) continue;
            ++near;
            if (q.quad_area >= expected / OBLONG_SIZE_RANGE &&
                q.quad_area <= expected * OBLONG_SIZE_RANGE)
                found = k;
        }
        // Two regions on one patch: neither can be trusted.
        if (found < 0 || near != 1) continue;
        eu.push_back(pu);
        ev.push_back(pv);
        ex.push_back(regions[found].centre_x);
        ey.push_back(regions[found].centre_y);
    }
    // One such region alone may be a patch run together with what lies beyond the card
    // (the black piece with a dark border), its centre drawn outwards; two or more hold.
    if (eu.size() < OBLONG_MIN_REGIONS) return false;
    u->insert(u->end(), eu.begin(), eu.end());
    v->insert(v->end(), ev.begin(), ev.end());
    x->insert(x->end(), ex.begin(), ex.end());
    y->insert(y->end(), ey.begin(), ey.end());
    return true;
}

}  // namespace

bool refine_card_corners(const image* frame, const reference_card* ref, const region* regions,
                         const int* members, int count, OfxPointD* corners_io, layout_fit* fit,
                         int region_count) {
    std::vector<double> lu(size_t(ref ? ref->patch_count : 0)), lv(lu.size());
    const int patches = card_layout(ref, lu.data(), lv.data());
    const int least = std::min(LAYOUT_MIN_MATCHES, patches - 1);
    if (patches < 4 || count < least) return false;
    projective h;
    if (!square_to_quad(corners_io, &h)) return false;
    std::vector<OfxPointD> at(static_cast<size_t>(patches));
    std::vector<int> match(size_t(count), -1), previous;
    std::vector<int> claims(static_cast<size_t>(patches));
    std::vector<double> u, v, x, y;
    bool fitted = false;
    // The card's width and height in layout units (the outline of the findable patches
    // is the unit square).
    const double card_u = 1 + ref->margin_left + ref->margin_right;
    const double card_v = 1 + ref->margin_top + ref->margin_bottom;
    double share = 1;
    for (int round = 0; round < LAYOUT_ROUNDS; ++round) {
        for (int p = 0; p < patches; ++p)
            if (!apply(h, lu[size_t(p)], lv[size_t(p)], &at[size_t(p)])) return false;
        std::fill(claims.begin(), claims.end(), 0);
        for (int i = 0; i < count; ++i) {
            const region& r = regions[members[i]];
            // A member belongs to the patch whose centre lies within half a patch size
            // of its own; farther than that it could as well be the neighbour.
            const double reach = LAYOUT_SNAP * std::sqrt(std::max(double(r.quad_area), 0.0));
            int best = -1;
            double best_d = reach;
            for (int p = 0; p < patches; ++p) {
                const double d =
                    std::hypot(at[size_t(p)].x - r.centre_x, at[size_t(p)].y - r.centre_y);
                if (d < best_d) {
                    best_d = d;
                    best = p;
                }
            }
            match[size_t(i)] = best;
            if (best >= 0) ++claims[size_t(best)];
        }
        if (match == previous) break;
        previous = match;
        u.clear();
        v.clear();
        x.clear();
        y.clear();
        for (int i = 0; i < count; ++i) {
            const int p = match[size_t(i)];
            // Two members on one patch: neither can be trusted.
            if (p < 0 || claims[size_t(p)] != 1) continue;
            u.push_back(lu[size_t(p)]);
            v.push_back(lv[size_t(p)]);
            x.push_back(regions[members[i]].centre_x);
            y.push_back(regions[members[i]].centre_y);
        }
        if (int(u.size()) < least) return false;
        // The share of the card the matched centres span: under PERSPECTIVE_FREE_SHARE the
        // far side is carried across several widths of them, and the map's perspective is
        // held towards none (see PERSPECTIVE_RIDGE).
        double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
        for (size_t i = 0; i < u.size(); ++i) {
            u0 = std::min(u0, u[i]);
            u1 = std::max(u1, u[i]);
            v0 = std::min(v0, v[i]);
            v1 = std::max(v1, v[i]);
        }
        share = (u1 - u0) * (v1 - v0) / (card_u * card_v);
        const double ridge = share < PERSPECTIVE_FREE_SHARE ? PERSPECTIVE_RIDGE : 0.0;
        projective next;
        if (!fit_projective(u, v, x, y, &next, ridge)) return false;
        h = next;
        fitted = true;
    }
    if (!fitted) return false;
    if (share < PERSPECTIVE_FREE_SHARE && region_count > 0 && !u.empty()) {
        std::vector<double> areas;
        for (int i = 0; i < count; ++i) {
            const int p = match[size_t(i)];
            if (p >= 0 && claims[size_t(p)] == 1) areas.push_back(regions[members[i]].quad_area);
        }
        std::nth_element(areas.begin(), areas.begin() + ptrdiff_t(areas.size() / 2), areas.end());
        projective next;
        // With the far end held the map spans the card, and is fitted free.
        if (add_oblong_patches(ref, h, regions, region_count, areas[areas.size() / 2], &u, &v, &x,
                               &y) &&
            fit_projective(u, v, x, y, &next, 0.0))
            h = next;
    }
    int matched = 0;
    for (int i = 0; i < count; ++i) {
        const int p = match[size_t(i)];
        if (p >= 0 && claims[size_t(p)] == 1) ++matched;
    }
    if (fit) {
        fit->matched = matched;
        fit->findable = patches;
        double sum = 0;
        int n = 0;
        for (int i = 0; i < count; ++i) {
            const int p = match[size_t(i)];
            if (p < 0 || claims[size_t(p)] != 1) continue;
            const region& r = regions[members[i]];
            OfxPointD q;
            if (!apply(h, lu[size_t(p)], lv[size_t(p)], &q)) continue;
            const double size = std::sqrt(std::max(double(r.quad_area), 1.0));
            const double d = std::hypot(q.x - r.centre_x, q.y - r.centre_y) / size;
            sum += d * d;
            ++n;
        }
        fit->irregularity = n ? std::sqrt(sum / n) : NAN;
    }
    if (!(matched >= LAYOUT_MIN_SHARE * count)) return false;
    // The map places the card from the centres, but the card is defined by the outer
    // edges of its outer patches, and the tabled centres of some charts are those of
    // cells that their patches do not fill evenly (patches meeting the card's edge):
    // the wide margins of those charts would carry such a difference out threefold.
    // So each side sits where the outer edges of the members on the chart's outer row or
    // column lie in the map's coordinates (the median of their outer corners); the map
    // only places a side that has no member on it.
    projective inverse;
    if (!invert_projective(h, &inverse)) return false;
    double lo_u = INFINITY, hi_u = -INFINITY, lo_v = INFINITY, hi_v = -INFINITY;
    for (int p = 0; p < patches; ++p) {
        lo_u = std::min(lo_u, lu[size_t(p)]);
        hi_u = std::max(hi_u, lu[size_t(p)]);
        lo_v = std::min(lo_v, lv[size_t(p)]);
        hi_v = std::max(hi_v, lv[size_t(p)]);
    }
    std::vector<double> side[4];  // left, top, right, bottom
    for (int i = 0; i < count; ++i) {
        const int p = match[size_t(i)];
        if (p < 0 || claims[size_t(p)] != 1) continue;
        const region& r = regions[members[i]];
        double cu[4], cv[4];
        bool ok = true;
        for (int j = 0; j < 4 && ok; ++j) {
            OfxPointD q;
            ok = apply(inverse, r.corner_x[j], r.corner_y[j], &q);
            cu[j] = q.x;
            cv[j] = q.y;
        }
        if (!ok) continue;
        const bool outer[4] = {
            lu[size_t(p)] <= lo_u + LAYOUT_SAME_LINE, lv[size_t(p)] <= lo_v + LAYOUT_SAME_LINE,
            lu[size_t(p)] >= hi_u - LAYOUT_SAME_LINE, lv[size_t(p)] >= hi_v - LAYOUT_SAME_LINE};
        for (int k = 0; k < 4; ++k) {
            if (!outer[k]) continue;
            // The member's two corners on that side: smallest u (left), v (top), largest
            // u (right), v (bottom).
            auto outward = [&](int j) {
                return k == 0 ? -cu[j] : k == 1 ? -cv[j] : k == 2 ? cu[j] : cv[j];
            };
            int order[4] = {0, 1, 2, 3};
            std::sort(order, order + 4, [&](int i1, int i2) { return outward(i1) > outward(i2); });
            const int a = order[0], b = order[1];
            const OfxPointD e0 = {r.corner_x[a], r.corner_y[a]},
                            e1 = {r.corner_x[b], r.corner_y[b]};
            const OfxPointD centre = {r.centre_x, r.centre_y};
            edge_positions(frame, inverse, e0, e1, centre, k, &side[k]);
        }
    }
    double edge[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        std::vector<double>& e = side[k];
        if (e.empty()) continue;
        std::sort(e.begin(), e.end());
        const size_t mid = e.size() / 2;
        edge[k] = e.size() % 2 ? e[mid] : (e[mid - 1] + e[mid]) / 2;
    }
    OfxPointD out[4];
    const double su[4] = {edge[0], edge[2], edge[2], edge[0]},
                 sv[4] = {edge[1], edge[1], edge[3], edge[3]};
    for (int k = 0; k < 4; ++k)
        if (!apply(h, su[k], sv[k], &out[k])) return false;
    for (int k = 0; k < 4; ++k) corners_io[k] = out[k];
    return true;
}

namespace {

// A chart whose patches stand in groups with the card's body between them (the Video
// chart's two blocks, the two halves of the 48-patch SpyderCHECKR) may show one group only
// as regions: the other's patches can be too close in colour to the body for edges, as the
// Video chart's greys are under a dark exposure. Such a cluster, placed as if it were the
// whole chart, squeezes the body away and fits the wrong patches. Each group, as a band of
// the layout, is another place for the cluster.
struct layout_band {
    double u0, u1, v0, v1;  // the band's outer edges in layout coordinates
    int patches;            // findable patches within it
};

// A gap between neighbouring rows or columns of patch centres wider than this many times
// the usual spacing parts them into groups.
constexpr double BAND_GAP = 1.8;
constexpr int MAX_BANDS = 4;

// The groups of the chart's layout across u (columns) and down v (rows); none for a chart
// whose patches fill the card evenly.
int layout_bands(const reference_card* ref, layout_band* bands) {
    std::vector<double> lu(size_t(ref ? ref->patch_count : 0)), lv(lu.size());
    const int n = card_layout(ref, lu.data(), lv.data());
    if (n < 4) return 0;
    int count = 0;
    for (int axis = 0; axis < 2; ++axis) {
        std::vector<double> at(axis ? lv.begin() : lu.begin(),
                               (axis ? lv.begin() : lu.begin()) + n);
        std::sort(at.begin(), at.end());
        std::vector<double> lines = {at[0]};
        for (double a : at)
            if (a > lines.back() + LAYOUT_SAME_LINE) lines.push_back(a);
        if (lines.size() < 3) continue;
        std::vector<double> steps;
        for (size_t k = 1; k < lines.size(); ++k) steps.push_back(lines[k] - lines[k - 1]);
        std::vector<double> sorted = steps;
        std::sort(sorted.begin(), sorted.end());
        const double usual = sorted[sorted.size() / 2];
        // The outline runs half a patch beyond the outermost centres on either side.
        const double lo = lines.front(), hi = 1 - lines.back();
        double start = lines.front();
        for (size_t k = 0; k <= steps.size(); ++k) {
            if (k < steps.size() && !(steps[k] > BAND_GAP * usual)) continue;
            if (k == steps.size() && start == lines.front()) break;  // one group only
            if (count == MAX_BANDS) return count;
            const double a = start - lo, b = lines[k] + hi;
            layout_band& band = bands[count++];
            band = axis ? layout_band{0, 1, a, b, 0} : layout_band{a, b, 0, 1, 0};
            for (int i = 0; i < n; ++i)
                band.patches += lu[size_t(i)] > band.u0 && lu[size_t(i)] < band.u1 &&
                                lv[size_t(i)] > band.v0 && lv[size_t(i)] < band.v1;
            if (k < steps.size()) start = lines[k + 1];
        }
    }
    return count;
}

// The outline corners of the whole layout when `quad` (in the cyclic order starting at
// corner `first`) is the outline of `band`.
bool band_to_card(const OfxPointD* quad, int first, const layout_band& band, OfxPointD* out) {
    OfxPointD q[4];
    for (int k = 0; k < 4; ++k) q[k] = quad[(first + k) % 4];
    projective h;
    if (!square_to_quad(q, &h)) return false;
    const double u[4] = {0, 1, 1, 0}, v[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k)
        if (!apply(h, (u[k] - band.u0) / (band.u1 - band.u0),
                   (v[k] - band.v0) / (band.v1 - band.v0), &out[k]))
            return false;
    return true;
}

}  // namespace

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

// Maps a measure onto 0 (at `bad`) to 1 (at `good`), clamped.
double grade(double value, double bad, double good) {
    if (std::isnan(value)) return 0;
    return std::clamp((value - bad) / (good - bad), 0.0, 1.0);
}

// Scores the placement (working-image corners) and fills the report's measures; the
// weakest measure is the score, and names the reason when it falls short.
void score_placement(const image* frame, const card* reference, const OfxPointD* corners,
                     const layout_fit& fit, finder_report* report) {
    auto sampled = std::make_unique<card>();
    sampled->ref = reference->ref;
    cardRead(frame, nullptr, corners, sampled.get());
    report->colour_residual = card_fit_residual(sampled.get(), reference);
    report->matched = fit.matched;
    report->findable = fit.findable;
    report->irregularity = fit.irregularity;
    const double share = fit.findable > 0 ? double(fit.matched) / fit.findable : 0;
    const double grades[3] = {
        grade(report->colour_residual, RESIDUAL_BAD, RESIDUAL_GOOD),
        grade(share, MATCHED_BAD, MATCHED_GOOD),
        grade(fit.irregularity, IRREGULARITY_BAD, IRREGULARITY_GOOD),
    };
    static const char* const reasons[3] = {"the colours do not fit the chart's",
                                           "too few patches match the chart's layout",
                                           "the patches do not lie on the chart's grid"};
    int weakest = 0;
    for (int k = 1; k < 3; ++k)
        if (grades[k] < grades[weakest]) weakest = k;
    report->score = grades[weakest];
    report->reason = report->score < FINDER_MIN_SCORE ? reasons[weakest] : nullptr;
}

// A card placed from a cluster: the outline of its findable patches, its corners, and
// how its members fitted the layout and its colours the chart.
struct placement {
    bool found = false, placed = false;
    double error = INFINITY;
    OfxPointD outline[4] = {};
    OfxPointD corners[4] = {};
    layout_fit fit;
};

// Regions of the placed card's patches count this far below or above the median size of
// the others: a patch region, not the card's body or two patches run together.
constexpr double COMPLETE_SIZE_RANGE = 2.0;

// Places the card again on every region of the frame that lies on one of its patches. A
// card placed from one group of its patches carries its far side across the body between
// the groups from that group alone; the other group's regions, where the frame has them
// but the cluster did not take them in, hold that side in place. The placement changes
// only when more patches match. (A card placed from its whole cluster is left as it is:
// regions the cluster did not take in, thrown in there, moved sides more often the wrong
// way than the right.)
void complete_placement(const image* frame, const card* reference, const region* regions, int m,
                        placement* p) {
    const reference_card* ref = reference->ref;
    std::vector<double> lu(size_t(ref->patch_count)), lv(lu.size());
    const int patches = card_layout(ref, lu.data(), lv.data());
    projective h;
    if (patches < 4 || !square_to_quad(p->outline, &h)) return;
    std::vector<OfxPointD> at(static_cast<size_t>(patches));
    for (int k = 0; k < patches; ++k)
        if (!apply(h, lu[size_t(k)], lv[size_t(k)], &at[size_t(k)])) return;
    std::vector<int> members;
    std::vector<double> areas;
    for (int i = 0; i < m; ++i) {
        const region& r = regions[i];
        const double reach = LAYOUT_SNAP * std::sqrt(std::max(double(r.quad_area), 0.0));
        for (int k = 0; k < patches; ++k)
            if (distance(at[size_t(k)].x - r.centre_x, at[size_t(k)].y - r.centre_y) < reach) {
                members.push_back(i);
                areas.push_back(r.quad_area);
                break;
            }
    }
    if (int(members.size()) <= p->fit.matched) return;
    std::vector<double> sorted = areas;
    std::nth_element(sorted.begin(), sorted.begin() + ptrdiff_t(sorted.size() / 2), sorted.end());
    const double typical = sorted[sorted.size() / 2];
    std::vector<int> kept;
    for (size_t k = 0; k < members.size(); ++k)
        if (areas[k] >= typical / COMPLETE_SIZE_RANGE && areas[k] <= typical * COMPLETE_SIZE_RANGE)
            kept.push_back(members[k]);
    if (int(kept.size()) <= p->fit.matched) return;
    OfxPointD outline[4], corners[4];
    for (int k = 0; k < 4; ++k) outline[k] = p->outline[k];
    layout_fit fit;
    if (!refine_card_corners(frame, ref, regions, kept.data(), int(kept.size()), outline, &fit) ||
        fit.matched <= p->fit.matched)
        return;
    for (int k = 0; k < 4; ++k) corners[k] = outline[k];
    expand_card_corners(ref, corners);
    const double e = card_error(frame, reference, corners);
    p->error = std::isnan(e) ? INFINITY : e;
    p->fit = fit;
    for (int k = 0; k < 4; ++k) {
        p->outline[k] = outline[k];
        p->corners[k] = corners[k];
    }
}

// The member of a cluster that stands farthest out from the others: the corner of the hull
// of their centres whose removal takes the most area from it. The chart's own corner
// patches each take half a square of their spacing; a region beside the card (a square
// of clutter one spacing off its edge) takes a triangle as long as that edge. -1 for a
// cluster too small to have a hull.
int most_protruding_member(const region* regions, const int* members, int count) {
    if (count < 4) return -1;
    std::vector<int> order(members, members + count);
    auto x = [&](int i) { return double(regions[i].centre_x); };
    auto y = [&](int i) { return double(regions[i].centre_y); };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return x(a) < x(b) || (x(a) == x(b) && (y(a) < y(b) || (y(a) == y(b) && a < b)));
    });
    auto cross = [&](int o, int a, int b) {
        return (x(a) - x(o)) * (y(b) - y(o)) - (y(a) - y(o)) * (x(b) - x(o));
    };
    // Andrew's monotone chain, counter-clockwise, collinear points left out.
    std::vector<int> hull(2 * order.size());
    size_t k = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], order[i]) <= 0) --k;
        hull[k++] = order[i];
    }
    for (size_t i = order.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], order[i]) <= 0) --k;
        hull[k++] = order[i];
    }
    hull.resize(k - 1);
    if (hull.size() < 4) return -1;
    int best = -1;
    double most = 0;
    for (size_t i = 0; i < hull.size(); ++i) {
        const int before = hull[(i + hull.size() - 1) % hull.size()];
        const int after = hull[(i + 1) % hull.size()];
        const double lost = std::abs(cross(before, hull[i], after));
        if (lost > most) {
            most = lost;
            best = hull[i];
        }
    }
    return best;
}

// Clusters that fit no grid and are looked at again without an outermost member, at most,
// per pass: enough for the few that hold a card, while a frame of hundreds of tiles does not
// take five times as long.
constexpr int CLUSTER_RETRIES = 4;
// Members that stand out from the rest, taken away one after another (the first may be a
// corner patch that a stray beside it made look far out).
constexpr int STRAYS_DROPPED = 3;

int find_corners(const finder_allocator* alloc, const image* frame, const card* reference,
                 const image* labels, int n, OfxPointD* corners_out, finder_report* report) {
    finder_blocks blocks(alloc);
    region* regions = nullptr;
    const int m = region_stats(&blocks, labels, n, &regions);
    if (m < 0) return FINDER_OUT_OF_MEMORY;
    if (!reference || !reference->ref) return FINDER_NOT_FOUND;
    if (m == 0) {
        report->reason = "no candidate patches";
        return FINDER_NOT_FOUND;
    }

    int* members = take<int>(&blocks, size_t(m));
    uint8_t* mask = take<uint8_t>(&blocks, 4 * size_t(m));
    if (!members || !mask) return FINDER_OUT_OF_MEMORY;

    // Clusters already scored, by a hash of their sorted membership; equal hashes are
    // confirmed member by member.
    std::unordered_multimap<uint64_t, size_t> seen;
    std::vector<int> seen_members;
    std::vector<int> sorted;
    // The best placement so far, as the whole chart and (kept apart) as one group of it.
    placement whole, group;
    // Every start grows the cluster by the chart's reach and, as a second candidate, the
    // one that keeps to the grid; the colour score decides between them.
    const cluster_space space = space_of(regions, m);
    // Keeps a placement when it is the best so far (only when its members matched the
    // chart's grid, with `only_placed`).
    auto keep = [](placement* best, const OfxPointD* outline, const OfxPointD* o, bool placed,
                   double e, const layout_fit& fit, bool only_placed) {
        // A placement whose members matched the chart's grid outranks any that did not,
        // however well the colours of those happen to fit.
        const bool better = !best->found || (placed && !best->placed) ||
                            (placed == best->placed && e < best->error);
        if ((placed || !only_placed) && better) {
            best->found = true;
            best->placed = placed;
            best->error = e;
            best->fit = fit;
            for (int k = 0; k < 4; ++k) {
                best->outline[k] = outline[k];
                best->corners[k] = o[k];
            }
        }
    };
    layout_band band[MAX_BANDS];
    const int bands = layout_bands(reference->ref, band);
    // A group holds at most this many findable patches, with a stray neighbour or two.
    int max_band_members = 0;
    for (int b = 0; b < bands; ++b)
        max_band_members =
            std::max(max_band_members, band[b].patches + std::max(2, band[b].patches / 4));
    struct group_cluster {
        std::array<OfxPointD, 4> outline;
        std::vector<int> members;
    };
    std::vector<group_cluster> group_clusters;
    // Places a cluster as each group in each turn; the colours tell which (if any) it is.
    auto place_as_group = [&](const group_cluster& g) {
        const int count = int(g.members.size());
        for (int b = 0; b < bands; ++b)
            for (int turn = 0; turn < 4; ++turn) {
                OfxPointD q[4];
                layout_fit band_fit;
                if (!band_to_card(g.outline.data(), turn, band[b], q) ||
                    !refine_card_corners(frame, reference->ref, regions, g.members.data(), count, q,
                                         &band_fit))
                    continue;
                OfxPointD outline_q[4];
                for (int k = 0; k < 4; ++k) outline_q[k] = q[k];
                expand_card_corners(reference->ref, q);
                double band_e = card_error(frame, reference, q);
                if (std::isnan(band_e)) band_e = INFINITY;
                keep(&group, outline_q, q, true, band_e, band_fit, true);
            }
    };
    // Places the card on a cluster and keeps it when it is the best so far (only when its
    // members matched the chart's grid, with `only_placed`); true when they did.
    auto place = [&](const int* cluster, int count, float* angles, bool only_placed) {
        find_card_angle(regions, cluster, count, mask, angles);
        OfxPointD c[4];
        find_card_corners_from_angle(regions, cluster, count, angles, c);
        // Once the orientation is known the members can be matched to the chart's
        // patches, which places the card far better than the outer members' sides; the
        // colour error of the placed card is what the clusters are compared by.
        double e = INFINITY;
        const int first = best_card_order(frame, reference, c, &e);
        OfxPointD o[4];
        for (int k = 0; k < 4; ++k) o[k] = c[(first + k) % 4];
        layout_fit fit;
        const bool placed =
            refine_card_corners(frame, reference->ref, regions, cluster, count, o, &fit, m);
        OfxPointD outline[4];
        for (int k = 0; k < 4; ++k) outline[k] = o[k];
        expand_card_corners(reference->ref, o);
        if (placed) {
            e = card_error(frame, reference, o);
            if (std::isnan(e)) e = INFINITY;
        }
        keep(&whole, outline, o, placed, e, fit, only_placed);
        // A cluster no larger than a group may be one; it is placed as one only when no
        // placement of the whole chart holds, after all clusters are seen.
        if (bands > 0 && count <= max_band_members) {
            group_clusters.push_back({{c[0], c[1], c[2], c[3]}, {cluster, cluster + count}});
        }
        return placed;
    };
    std::vector<int> fewer;
    int retries = CLUSTER_RETRIES;
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
        if (place(members, count, angles, false) || count <= 4 || retries == 0) continue;
        --retries;
        // A region next to the card (a square of clutter against its edge) that joined
        // the cluster stands outermost on its side and turns that side's line towards
        // itself, and then the patches no longer fit the grid. Look again without the
        // outermost member of each side in turn, and without the member standing out
        // farthest from the rest (whose own pull on its side can make it look inner).
        fewer.assign(members, members + count);
        for (int k = 0; k < STRAYS_DROPPED; ++k) {
            const int stray = most_protruding_member(regions, fewer.data(), int(fewer.size()));
            if (stray < 0) break;
            fewer.erase(std::find(fewer.begin(), fewer.end(), stray));
            float unused[4];
            if (place(fewer.data(), int(fewer.size()), unused, true)) break;
        }
        for (int k = 0; k < 4; ++k) {
            const double c = std::cos(double(angles[k])), sn = std::sin(double(angles[k]));
            int outer = 0;
            double lowest = INFINITY;
            for (int i = 0; i < count; ++i) {
                double p[4];
                project_corners(regions[members[i]], c, sn, p);
                const double low = std::min({p[0], p[1], p[2], p[3]});
                if (low < lowest) {
                    lowest = low;
                    outer = i;
                }
            }
            fewer.assign(members, members + count);
            fewer.erase(fewer.begin() + outer);
            float unused[4];
            place(fewer.data(), count - 1, unused, true);
        }
    }
    report->crowded = visits >= GROWTH_BUDGET || m > 4 * cluster_cap(reference->ref);
    if (whole.found) {
        score_placement(frame, reference, whole.corners, whole.fit, report);
        if (!report->reason) {
            for (int k = 0; k < 4; ++k) corners_out[k] = whole.corners[k];
            return FINDER_FOUND;
        }
    }
    // A placement from one group rests on half the chart or less; it stands in only where
    // no placement of the whole chart holds.
    for (const group_cluster& g : group_clusters) place_as_group(g);
    if (!whole.found && !group.found) {
        report->reason = "no cluster like the chart's layout";
        return FINDER_NOT_FOUND;
    }
    if (group.found) complete_placement(frame, reference, regions, m, &group);
    const placement* best = &whole;
    if (!whole.found) {
        best = &group;
        score_placement(frame, reference, group.corners, group.fit, report);
    } else if (group.found) {
        finder_report alternative = *report;
        score_placement(frame, reference, group.corners, group.fit, &alternative);
        if (alternative.score > report->score) {
            *report = alternative;
            best = &group;
        }
    }
    for (int k = 0; k < 4; ++k) corners_out[k] = best->corners[k];
    return report->reason ? FINDER_NOT_FOUND : FINDER_FOUND;
}

}  // namespace

int card_find_corners(const finder_allocator* alloc, const image* frame, const card* reference,
                      const image* labels, int n, OfxPointD* corners_out, finder_report* report) {
    finder_report scratch;
    if (!report) report = &scratch;
    try {
        return find_corners(alloc, frame, reference, labels, n, corners_out, report);
    } catch (const std::bad_alloc&) {
        return FINDER_OUT_OF_MEMORY;
    }
}

int cardFind(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
             const card* reference, OfxPointD* corners_out) {
    return cardFindReport(alloc, frame, tf, reference, corners_out, nullptr);
}

namespace {

// One pass over the frame at the working size finder_work_size gives it, times `magnify`,
// with edges at `edge_threshold`.
int find_pass(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
              const card* reference, float edge_threshold, double magnify, OfxPointD* corners_out,
              finder_report* report) {
    *report = finder_report{};
    try {
        if (!frame || !reference || !reference->ref) return FINDER_NOT_FOUND;
        const int w = frame->right - frame->left, h = frame->bottom - frame->top;
        int W = 0, H = 0;
        if (!finder_work_size(w, h, frame->pixel_aspect, &W, &H)) return FINDER_NOT_FOUND;
        W = static_cast<int>(W * magnify);
        H = static_cast<int>(H * magnify);

        finder_blocks blocks(alloc);
        // The working frame (RGBA) and two planes for edges and labels: every page of them
        // is written, so memory not asked for is time not spent faulting it in.
        float* first_pixels = take<float>(&blocks, size_t(W) * size_t(H) * 4);
        float* second_pixels =
            first_pixels ? take<float>(&blocks, size_t(W) * size_t(H) * 2) : nullptr;
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
        second.row_bytes = W * 8;
        second.pixels = reinterpret_cast<char*>(second_pixels);

        // The edge threshold suits code values in roughly even steps of lightness, as display
        // and log curves give them. A linear frame would hide the edges between its dark
        // patches in their noise, so it is brought to such steps for the edges and back for
        // the colours. (Log frames were measured both ways: as they are, they lose no more
        // shots than re-encoded.)
        const bool reencode = tf && linear_code_values(tf);
        scaleImage(frame, &first);
        if (reencode) {
            linearise_in_place(&first, tf);
            for (int y = 0; y < H; ++y) encode_for_edges(plane_row(&first, y), 4 * W);
        }
        const int n = card_find_regions(&first, &second, edge_threshold);
        // Colours are compared linear.
        if (reencode)
            for (int y = 0; y < H; ++y) decode_from_edges(plane_row(&first, y), 4 * W);
        else if (tf)
            linearise_in_place(&first, tf);

        image labels = plane_view(&second, 0);
        OfxPointD found[4];
        for (auto& p : found) p = {NAN, NAN};
        const int code = card_find_corners(alloc, &first, reference, &labels, n, found, report);
        // Working pixel x is the mean of the frame over x sx to (x + 1) sx, which the area
        // mean centres on (x + 0.5) sx with the frame's pixel centres on whole numbers: a
        // working position u maps to (u + 0.5) sx, not u sx.
        const double sx = double(w) / W, sy = double(h) / H;
        for (int k = 0; k < 4; ++k) {
            report->candidate[k].x = (found[k].x + 0.5) * sx + frame->left;
            report->candidate[k].y = (found[k].y + 0.5) * sy + frame->top;
        }
        if (code != FINDER_FOUND) return code;
        for (int k = 0; k < 4; ++k) corners_out[k] = report->candidate[k];
        return FINDER_FOUND;
    } catch (const std::bad_alloc&) {
        return FINDER_OUT_OF_MEMORY;
    }
}

}  // namespace

namespace {

// The finer pass looks at the card's surroundings: its box grown by this share of its size
// on every side.
constexpr double FINE_MARGIN = 0.5;
// It is worth a second pass only where the crop's working size magnifies the card at
// least this much more than the whole frame's did.
constexpr double FINE_GAIN = 1.5;

// The frame's pixels within the box around `c` (grown by FINE_MARGIN), as a view that
// shares the frame's memory and coordinates; false when that would not magnify the card.
bool fine_crop(const image* frame, const OfxPointD* c, image* crop) {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (int k = 0; k < 4; ++k) {
        if (!std::isfinite(c[k].x) || !std::isfinite(c[k].y)) return false;
        x0 = std::min(x0, c[k].x);
        x1 = std::max(x1, c[k].x);
        y0 = std::min(y0, c[k].y);
        y1 = std::max(y1, c[k].y);
    }
    const double mx = FINE_MARGIN * (x1 - x0), my = FINE_MARGIN * (y1 - y0);
    const int left = int(std::max(double(frame->left), std::floor(x0 - mx)));
    const int top = int(std::max(double(frame->top), std::floor(y0 - my)));
    const int right = int(std::min(double(frame->right), std::ceil(x1 + mx) + 1));
    const int bottom = int(std::min(double(frame->bottom), std::ceil(y1 + my) + 1));
    int W = 0, H = 0, cw = 0, ch = 0;
    if (right <= left || bottom <= top) return false;
    const int w = frame->right - frame->left, h = frame->bottom - frame->top;
    if (!finder_work_size(w, h, frame->pixel_aspect, &W, &H)) return false;
    if (!finder_work_size(right - left, bottom - top, frame->pixel_aspect, &cw, &ch)) return false;
    const double whole = double(H) / h, fine = double(ch) / (bottom - top);
    if (!(fine >= FINE_GAIN * whole)) return false;
    *crop = *frame;
    crop->pixels = frame->pixels + ptrdiff_t(top - frame->top) * frame->row_bytes +
                   ptrdiff_t(left - frame->left) * imageFormatBytes(frame->format);
    crop->left = left;
    crop->top = top;
    crop->right = right;
    crop->bottom = bottom;
    return true;
}

}  // namespace

namespace {

// When the first look finds nothing, the finder looks once more with only the stronger
// edges. Under blur, the edges between similar neighbours (the SG's touching patches, a
// video chart's light greys) spread into bands that swallow the small patches between
// them; fewer, thinner edges leave those patches regions, at the cost of the weaker
// edges, which is why this is the second look and not the first.
constexpr float EDGE_THRESHOLD_AGAIN = 3.0f;
// The last look works at this many times the working size. The patches of a small card
// with many of them (an SG 13 % of a 1080-row frame high: 10 pixels, touching) leave
// regions too small to count at the working size, or none at all once edges have eaten
// their sides; one and a half times as many pixels across leave them regions, and so a
// cluster for the finer pass to look at. It costs about two and a quarter passes, and only
// on frames where the first two looks found nothing.
constexpr double MAGNIFIED_LOOK = 1.5;
// Working pixels the magnified look may take (4K frames come to 5.8 million): the frames
// that would go beyond it, or beyond the widest working image (panoramas), are magnified
// less, or not at all.
constexpr double MAGNIFIED_MAX_PIXELS = 6.0e6;
constexpr double MAGNIFIED_MIN = 1.2;

// How much the last look magnifies the working size, or 0 where it would not be worth it.
double magnified_look(const image* frame) {
    int W = 0, H = 0;
    if (!frame || !finder_work_size(frame->right - frame->left, frame->bottom - frame->top,
                                    frame->pixel_aspect, &W, &H))
        return 0;
    const double m =
        std::min({MAGNIFIED_LOOK, std::sqrt(MAGNIFIED_MAX_PIXELS / (double(W) * double(H))),
                  double(FINDER_MAX_WORK_WIDTH) / W});
    return m >= MAGNIFIED_MIN ? m : 0;
}

// The first pass and, around what it placed, the finer one, with edges at `edge_threshold`.
int find_with_edges(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
                    const card* reference, float edge_threshold, double magnify,
                    OfxPointD* corners_out, finder_report* report) {
    const int code =
        find_pass(alloc, frame, tf, reference, edge_threshold, magnify, corners_out, report);
    if (code == FINDER_OUT_OF_MEMORY) return code;
    // A small card's patches are only a few working pixels wide, too few for the edges
    // between them to leave regions, or for its corners to be placed within a pixel or
    // two. Where the first pass placed a card, found or turned down, a second pass over
    // its surroundings at a finer working size looks again; what it finds replaces the
    // first answer, and when it finds nothing the first answer stands.
    image crop;
    if (!fine_crop(frame, report->candidate, &crop)) return code;
    finder_report fine;
    OfxPointD corners[4];
    const int again = find_pass(alloc, &crop, tf, reference, edge_threshold, 1.0, corners, &fine);
    if (again == FINDER_OUT_OF_MEMORY) return again;
    if (again != FINDER_FOUND) return code;
    *report = fine;
    for (int k = 0; k < 4; ++k) corners_out[k] = corners[k];
    return FINDER_FOUND;
}

}  // namespace

int cardFindReport(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
                   const card* reference, OfxPointD* corners_out, finder_report* report) {
    finder_report scratch;
    if (!report) report = &scratch;
    const int code =
        find_with_edges(alloc, frame, tf, reference, EDGE_THRESHOLD, 1.0, corners_out, report);
    // A frame crowded with candidates has edges enough; fewer would not show it more
    // patches, and another look would take as long as the first.
    if (code != FINDER_NOT_FOUND || report->crowded) return code;
    // What a later look finds replaces the first answer; when none finds anything, the
    // first look's placement and reason stand.
    struct look {
        float edge_threshold;
        double magnify;
    };
    const look looks[2] = {{EDGE_THRESHOLD_AGAIN, 1.0}, {EDGE_THRESHOLD, magnified_look(frame)}};
    for (const look& l : looks) {
        if (!(l.magnify > 0)) break;
        finder_report again;
        OfxPointD corners[4];
        const int next = find_with_edges(alloc, frame, tf, reference, l.edge_threshold, l.magnify,
                                         corners, &again);
        if (next == FINDER_OUT_OF_MEMORY) return next;
        if (next == FINDER_FOUND) {
            *report = again;
            for (int k = 0; k < 4; ++k) corners_out[k] = corners[k];
            return FINDER_FOUND;
        }
        if (again.crowded) break;
    }
    return code;
}
