#include "cards/primitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>

image plane_view(const image* work, int index) {
    image p = *work;
    p.pixels = work->pixels + static_cast<ptrdiff_t>(index) * image_width(work) *
                                  static_cast<ptrdiff_t>(sizeof(float));
    p.owns_pixels = 0;
    return p;
}

void clear(image* p) {
    const int w = image_width(p), h = image_height(p);
    if (w <= 0) return;
    for (int y = 0; y < h; ++y) std::memset(plane_row(p, y), 0, sizeof(float) * size_t(w));
}

void extract_channel(int c, const image* src, image* dst) {
    const int w = image_width(dst), h = image_height(dst);
    for (int y = 0; y < h; ++y) {
        const float* s = plane_row(src, y) + c;
        float* d = plane_row(dst, y);
        for (int x = 0; x < w; ++x) d[x] = s[4 * x];
    }
}

void add_abs(const image* src, image* dst) {
    const int w = image_width(dst), h = image_height(dst);
    for (int y = 0; y < h; ++y) {
        const float* s = plane_row(src, y);
        float* d = plane_row(dst, y);
        for (int x = 0; x < w; ++x) d[x] += std::fabs(s[x]);
    }
}

void threshold(image* p, float t) {
    const int w = image_width(p), h = image_height(p);
    for (int y = 0; y < h; ++y) {
        float* d = plane_row(p, y);
        for (int x = 0; x < w; ++x) d[x] = d[x] > t ? 1.0f : 0.0f;
    }
}

void dilate(const image* src, image* dst, int r) {
    const int w = image_width(dst), h = image_height(dst);
    if (w <= 0 || h <= 0) return;
    if (r <= 0) {
        // An empty window: everything becomes 0.
        clear(dst);
        return;
    }
    // The box maximum is separable: a horizontal pass into a ring of the last 2r rows,
    // then the vertical maximum over the ring. Reading src whole rows ahead of writing dst
    // keeps it correct when src and dst share rows of one work image.
    const int span = 2 * r;
    std::vector<float> ring(size_t(span) * size_t(w));
    // Columns whose window lies inside the row are done offset by offset over the whole
    // run (a form the compiler vectorises); the few at the ends clip their window.
    const int lo = std::min(r, w), hi = std::max(lo, w - r + 1);
    auto horizontal = [&](int y, float* __restrict out) {
        const float* __restrict s = plane_row(src, y);
        for (int x = lo; x < hi; ++x) out[x] = 0.0f;
        for (int o = -r; o < r; ++o)
            for (int x = lo; x < hi; ++x) out[x] = s[x + o] > out[x] ? s[x + o] : out[x];
        for (int x = 0; x < w; ++x) {
            if (x == lo && hi > lo) x = hi;
            if (x >= w) break;
            const int a = std::max(0, x - r), b = std::min(x + r, w);
            float m = 0.0f;
            for (int i = a; i < b; ++i)
                if (s[i] > m) m = s[i];
            out[x] = m;
        }
    };
    // Output row y needs input rows y-r ... y+r-1; input row k lives in ring slot k % span.
    int next = 0;  // next input row to read
    for (int y = 0; y < h; ++y) {
        const int last = std::min(y + r, h) - 1;
        while (next <= last) {
            horizontal(next, ring.data() + size_t(next % span) * size_t(w));
            ++next;
        }
        const int first = std::max(0, y - r);
        float* d = plane_row(dst, y);
        for (int x = 0; x < w; ++x) d[x] = 0.0f;
        for (int k = first; k <= last; ++k) {
            const float* __restrict s = ring.data() + size_t(k % span) * size_t(w);
            float* __restrict o = d;
            for (int x = 0; x < w; ++x) o[x] = s[x] > o[x] ? s[x] : o[x];
        }
    }
}

namespace {

// d[i] += k * s[i]: the rows of one correlation never overlap (distinct planes), which
// lets the compiler vectorise; each sum keeps its order, so the bits are the same.
void add_scaled(float* __restrict d, const float* __restrict s, float k, int n) {
    int i = 0;
    // Eight at a time in straight-line code, which the compiler packs into vector lanes.
    for (; i + 8 <= n; i += 8) {
        d[i + 0] += k * s[i + 0];
        d[i + 1] += k * s[i + 1];
        d[i + 2] += k * s[i + 2];
        d[i + 3] += k * s[i + 3];
        d[i + 4] += k * s[i + 4];
        d[i + 5] += k * s[i + 5];
        d[i + 6] += k * s[i + 6];
        d[i + 7] += k * s[i + 7];
    }
    for (; i < n; ++i) d[i] += k * s[i];
}

}  // namespace

namespace {

// One row of convolve1_x: interior columns tap by tap over the whole run (the same sums in
// the same order as one pixel at a time, but in a form the compiler vectorises); border
// columns clamp.
void convolve_row_x(const float* k, int r, const float* s, float* d, int w) {
    const int lo = std::min(r, w), hi = std::max(lo, w - r);
    for (int x = lo; x < hi; ++x) d[x] = 0.0f;
    for (int j = 0; j <= 2 * r; ++j) add_scaled(d + lo, s + (j - r) + lo, k[j], hi - lo);
    for (int x = 0; x < w; ++x) {
        if (x >= lo && x < hi) {
            x = hi - 1;
            continue;
        }
        float sum = 0.0f;
        for (int j = -r; j <= r; ++j) sum += k[j + r] * s[std::clamp(x + j, 0, w - 1)];
        d[x] = sum;
    }
}

}  // namespace

void convolve1_x(const float* k, int r, const image* src, image* dst) {
    const int w = image_width(dst), h = image_height(dst);
    if (w <= 0) return;
    for (int y = 0; y < h; ++y) convolve_row_x(k, r, plane_row(src, y), plane_row(dst, y), w);
}

void convolve1_y(const float* k, int r, const image* src, image* dst) {
    const int w = image_width(dst), h = image_height(dst);
    if (h <= 0) return;
    // Whole rows tap by tap, as along x: the same sums in the same order.
    for (int y = 0; y < h; ++y) {
        float* d = plane_row(dst, y);
        std::fill_n(d, w, 0.0f);
        for (int j = -r; j <= r; ++j)
            add_scaled(d, plane_row(src, std::clamp(y + j, 0, h - 1)), k[j + r], w);
    }
}

namespace {

// The edge kernels, smoothing and derivative, each applied as k0 a + k1 b + k2 c + k3 d +
// k4 e added in that order onto 0: the sums that adding each tap's whole row in turn
// gives, bit for bit, in one pass that reads each row once and writes its result once.
// The weights are constants, so the multiplications by 1 and 2 compile to nothing and to
// additions; the one by 0 stays, since it turns an infinite pixel into NaN there too.
struct smooth5 {
    float operator()(float a, float b, float c, float d, float e) const {
        return ((((0.0f + 1.0f * a) + 1.0f * b) + 2.0f * c) + 1.0f * d) + 1.0f * e;
    }
};
struct slope5 {
    float operator()(float a, float b, float c, float d, float e) const {
        return ((((0.0f + -2.0f * a) + -1.0f * b) + 0.0f * c) + 1.0f * d) + 2.0f * e;
    }
};

// One row of the edge pass's horizontal step: the channel row `s` correlated with both
// kernels, into `smooth` and `slope`. Interior columns run as whole-row vector arithmetic;
// the two at each end clamp their taps to the row.
void correlate_row_x(const float* __restrict s, float* __restrict smooth, float* __restrict slope,
                     int w) {
    constexpr int R = 2;
    const int lo = std::min(R, w), hi = std::max(lo, w - R);
    for (int x = lo; x < hi; ++x) {
        const float a = s[x - 2], b = s[x - 1], c = s[x], d = s[x + 1], e = s[x + 2];
        smooth[x] = smooth5{}(a, b, c, d, e);
        slope[x] = slope5{}(a, b, c, d, e);
    }
    for (int x = 0; x < w; ++x) {
        if (x >= lo && x < hi) {
            x = hi - 1;
            continue;
        }
        auto at = [&](int i) { return s[std::clamp(i, 0, w - 1)]; };
        const float a = at(x - 2), b = at(x - 1), c = at(x), d = at(x + 1), e = at(x + 2);
        smooth[x] = smooth5{}(a, b, c, d, e);
        slope[x] = slope5{}(a, b, c, d, e);
    }
}

}  // namespace

void sobel_edges(const image* src, image* edges, float level) {
    constexpr int R = 2;
    const int w = image_width(edges), h = image_height(edges);
    if (w <= 0 || h <= 0) return;
    // One streaming pass: each source row is split into channels and correlated along x
    // into rings of the last few rows (smoothed and derivative, per channel); each edge row
    // is then the vertical pass over them. The working set stays a few rows wide instead
    // of several frame-sized planes, and every sum keeps its order, so the result is the
    // same as convolving whole planes tap by tap.
    constexpr int SLOTS = 8;  // a power of two above the 2R + 1 rows a vertical pass reads
    const size_t n = size_t(w);
    std::vector<float> buf(n * (1 + 6 * SLOTS));
    float* channel = buf.data();
    auto ring = [&](int c, int kind, int y) {
        return channel + n * (1 + size_t((c * 2 + kind) * SLOTS + (y & (SLOTS - 1))));
    };
    int next = 0;  // next source row to correlate along x
    for (int y = 0; y < h; ++y) {
        for (const int last = std::min(y + R, h - 1); next <= last; ++next) {
            const float* s = plane_row(src, next);
            for (int c = 0; c < 3; ++c) {
                for (size_t x = 0; x < n; ++x) channel[x] = s[4 * x + size_t(c)];
                correlate_row_x(channel, ring(c, 0, next), ring(c, 1, next), w);
            }
        }
        float* __restrict e = plane_row(edges, y);
        std::fill_n(e, w, 0.0f);
        // Each channel's smoothed-along-x rows taken along y by the derivative, and its
        // derivative-along-x rows by the smoothing; the edge is the sum of the six sizes.
        auto add_sizes = [&](int c, int kind, auto k) {
            const float* __restrict r0 = ring(c, kind, std::max(y - 2, 0));
            const float* __restrict r1 = ring(c, kind, std::max(y - 1, 0));
            const float* __restrict r2 = ring(c, kind, y);
            const float* __restrict r3 = ring(c, kind, std::min(y + 1, h - 1));
            const float* __restrict r4 = ring(c, kind, std::min(y + 2, h - 1));
            for (size_t x = 0; x < n; ++x) e[x] += std::fabs(k(r0[x], r1[x], r2[x], r3[x], r4[x]));
        };
        for (int c = 0; c < 3; ++c) {
            add_sizes(c, 0, slope5{});
            add_sizes(c, 1, smooth5{});
        }
        for (size_t x = 0; x < n; ++x) e[x] = e[x] > level ? 1.0f : 0.0f;
    }
}

namespace {

struct seed {
    int x, y;
};

void fill_with(std::vector<seed>& stack, image* p, int x0, int y0, float label) {
    const int w = image_width(p), h = image_height(p);
    if (x0 < 0 || y0 < 0 || x0 >= w || y0 >= h) return;
    if (label == 0.0f || std::isnan(label)) return;
    if (plane_row(p, y0)[x0] != 0.0f) return;
    stack.clear();
    stack.push_back({x0, y0});
    while (!stack.empty()) {
        const seed s = stack.back();
        stack.pop_back();
        float* row = plane_row(p, s.y);
        // A seed whose pixel is no longer zero lay in a run that another seed already filled.
        if (row[s.x] != 0.0f) continue;
        int x = s.x;
        while (x > 0 && row[x - 1] == 0.0f) --x;
        float* above = s.y > 0 ? plane_row(p, s.y - 1) : nullptr;
        float* below = s.y < h - 1 ? plane_row(p, s.y + 1) : nullptr;
        bool in_above = false, in_below = false;
        for (; x < w && row[x] == 0.0f; ++x) {
            row[x] = label;
            if (above) {
                if (above[x] == 0.0f) {
                    if (!in_above) stack.push_back({x, s.y - 1});
                    in_above = true;
                } else {
                    in_above = false;
                }
            }
            if (below) {
                if (below[x] == 0.0f) {
                    if (!in_below) stack.push_back({x, s.y + 1});
                    in_below = true;
                } else {
                    in_below = false;
                }
            }
        }
    }
}

// Labels every zero area with 2, 3, ...; returns the next unused label.
int label_all(image* p) {
    const int w = image_width(p), h = image_height(p);
    std::vector<seed> stack;
    int next = 2;
    for (int y = 0; y < h; ++y) {
        const float* row = plane_row(p, y);
        for (int x = 0; x < w; ++x)
            if (row[x] == 0.0f) fill_with(stack, p, x, y, static_cast<float>(next++));
    }
    return next;
}

}  // namespace

void flood_fill(image* p, int x, int y, float label) {
    std::vector<seed> stack;
    fill_with(stack, p, x, y, label);
}

int flood_fill_regions(image* p) {
    return label_all(p) - 1;
}

int card_find_regions(const image* frame, image* work, float edge_threshold) {
    image p0 = plane_view(work, 0), p1 = plane_view(work, 1);
    sobel_edges(frame, &p0, edge_threshold);
    dilate(&p0, &p1, 1);
    if (image_height(frame) <= 0 || image_width(frame) <= 0) {
        dilate(&p1, &p0, 2);
        return 5;
    }
    const int next = label_all(&p1);
    dilate(&p1, &p0, 2);
    return std::max(next, 6) - 1;
}

int perimeter(const image* labels, int label, image* col_ext, image* row_ext) {
    const int w = image_width(labels), h = image_height(labels);
    float* top = plane_row(col_ext, 0);
    float* bottom = plane_row(col_ext, 1);
    for (int x = 0; x < w; ++x) top[x] = bottom[x] = -1.0f;
    const float want = static_cast<float>(label);
    int count = 0;
    for (int y = 0; y < h; ++y) {
        const float* row = plane_row(labels, y);
        int first = -1, last = -1;
        for (int x = 0; x < w; ++x) {
            if (row[x] != want) continue;
            if (top[x] == -1.0f) top[x] = static_cast<float>(y);
            bottom[x] = static_cast<float>(y);
            ++count;
            if (first < 0) first = x;
            last = x;
        }
        float* re = plane_row(row_ext, y);
        re[0] = static_cast<float>(first);
        re[1] = static_cast<float>(last);
    }
    return count;
}

namespace {

// The label carried by a pixel value, or -1 when it is not one of 0 ... n.
inline int label_of(float v, int n) {
    if (!(v >= 0.0f) || v > static_cast<float>(n)) return -1;
    const int l = static_cast<int>(v);
    return static_cast<float>(l) == v ? l : -1;
}

}  // namespace

void label_boxes(const image* labels, label_box* boxes, int n) {
    for (int l = 0; l <= n; ++l) boxes[l] = {0, 0, 0, -1, -1};
    const int w = image_width(labels), h = image_height(labels);
    for (int y = 0; y < h; ++y) {
        const float* row = plane_row(labels, y);
        int x = 0;
        while (x < w) {
            // Runs of one label are common: handle a run at a time.
            const float v = row[x];
            int end = x + 1;
            while (end < w && row[end] == v) ++end;
            const int l = label_of(v, n);
            if (l >= 0) {
                label_box& b = boxes[l];
                if (b.count == 0) {
                    b = {0, x, y, end - 1, y};
                } else {
                    b.x0 = std::min(b.x0, x);
                    b.x1 = std::max(b.x1, end - 1);
                    b.y1 = y;
                }
                b.count += end - x;
            }
            x = end;
        }
    }
}

void gather_extents(const image* labels, const int32_t* index, int n, label_extent* extents,
                    int count) {
    for (int k = 0; k < count; ++k) {
        label_extent& e = extents[k];
        const size_t cols = size_t(e.box.x1 - e.box.x0 + 1), rows = size_t(e.box.y1 - e.box.y0 + 1);
        std::fill(e.col, e.col + 2 * cols, -1);
        std::fill(e.row, e.row + 2 * rows, -1);
    }
    const int w = image_width(labels), h = image_height(labels);
    for (int y = 0; y < h; ++y) {
        const float* row = plane_row(labels, y);
        int x = 0;
        while (x < w) {
            const float v = row[x];
            int end = x + 1;
            while (end < w && row[end] == v) ++end;
            const int l = label_of(v, n);
            const int k = l >= 0 ? index[l] : -1;
            if (k >= 0) {
                label_extent& e = extents[k];
                int32_t* r = e.row + 2 * (y - e.box.y0);
                if (r[0] < 0) r[0] = x;
                r[1] = end - 1;
                for (int i = x; i < end; ++i) {
                    int32_t* c = e.col + 2 * (i - e.box.x0);
                    if (c[0] < 0) c[0] = y;
                    c[1] = y;
                }
            }
            x = end;
        }
    }
}

void hough_intersect(float theta1, float r1, float theta2, float r2, float* x, float* y) {
    const double s1 = std::sin(double(theta1)), c1 = std::cos(double(theta1));
    const double s2 = std::sin(double(theta2)), c2 = std::cos(double(theta2));
    double m1 = 0, b1 = 0, m2 = 0, b2 = 0;
    if (s1 != 0) {
        m1 = -c1 / s1;
        b1 = r1 / s1;
    }
    if (s2 != 0) {
        m2 = -c2 / s2;
        b2 = r2 / s2;
    }
    double X, Y;
    if (s1 == 0) {
        X = c1 * r1;
        Y = b2 + m2 * X;
    } else if (s2 == 0) {
        X = c2 * r2;
        Y = b1 + m1 * X;
    } else {
        X = (b2 - b1) / (m1 - m2);
        Y = std::fabs(s2) < std::fabs(s1) ? m1 * X + b1 : m2 * X + b2;
    }
    *x = static_cast<float>(X);
    *y = static_cast<float>(Y);
}

void corners(float* theta, float* r, float* x, float* y) {
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        hough_intersect(theta[k], r[k], theta[n], r[n], &x[k], &y[k]);
    }
}

float area(float* x, float* y) {
    const float a = ((x[2] - x[0]) * (y[3] - y[1]) - (x[3] - x[1]) * (y[2] - y[0])) / 2.0f;
    return a > 0.0f ? a : 0.0f;
}
