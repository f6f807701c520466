#include "cards/primitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// An RGBA32f image over its own storage; planes are views into it.
struct work_image {
    std::vector<float> data;
    image img;
    work_image(int w, int h, float fill = 0.0f) : data(size_t(w) * size_t(h) * 4, fill) {
        img = {};
        img.format = IMAGE_RGBA32F;
        img.right = w;
        img.bottom = h;
        img.scale_x = img.scale_y = img.pixel_aspect = 1.0;
        img.row_bytes = w * 16;
        img.pixels = reinterpret_cast<char*>(data.data());
    }
    float* px(int x, int y) {
        return data.data() + (size_t(y) * size_t(img.right) + size_t(x)) * 4;
    }
};

float at(const image& p, int x, int y) {
    return plane_row(&p, y)[x];
}

uint32_t next(uint32_t* s) {
    *s = *s * 1664525u + 1013904223u;
    return *s >> 8;
}

// The dilation exactly as defined: the window x-r ... x+r-1 clipped to the plane.
float dilate_reference(const image& src, int x, int y, int r) {
    float m = 0.0f;
    for (int yy = std::max(0, y - r); yy < std::min(y + r, image_height(&src)); ++yy)
        for (int xx = std::max(0, x - r); xx < std::min(x + r, image_width(&src)); ++xx)
            m = std::max(m, at(src, xx, yy));
    return m;
}

}  // namespace

TEST(primitives, planes_share_rows_of_the_work_image) {
    work_image w(5, 3);
    image p2 = plane_view(&w.img, 2);
    plane_row(&p2, 1)[3] = 7.0f;
    // Plane k occupies floats k*W ... k*W + W - 1 of each RGBA row.
    EXPECT_EQ(w.data[size_t(1 * 5 * 4 + 2 * 5 + 3)], 7.0f);
    EXPECT_EQ(image_width(&p2), 5);
    EXPECT_EQ(p2.row_bytes, w.img.row_bytes);
}

TEST(primitives, threshold_and_add_abs) {
    work_image w(6, 1);
    image p0 = plane_view(&w.img, 0), p1 = plane_view(&w.img, 1);
    const float in[6] = {-3.0f,
                         2.0f,
                         2.5f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -0.0f};
    for (int x = 0; x < 6; ++x) plane_row(&p0, 0)[x] = in[x];
    add_abs(&p0, &p1);
    EXPECT_EQ(at(p1, 0, 0), 3.0f);
    threshold(&p1, 2.0f);
    const float want[6] = {1, 0, 1, 0, 1, 0};  // NaN is no edge
    for (int x = 0; x < 6; ++x) EXPECT_EQ(at(p1, x, 0), want[x]) << x;
}

TEST(primitives, separable_correlation_matches_its_definition_at_borders) {
    const int W = 9, H = 7, r = 2;
    const float k[5] = {-2, -1, 0, 1, 2};  // not mirrored: the order matters
    work_image w(W, H);
    image src = plane_view(&w.img, 0), dx = plane_view(&w.img, 1), dy = plane_view(&w.img, 2);
    uint32_t s = 3;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) plane_row(&src, y)[x] = float(next(&s) % 100) / 10.0f;
    convolve1_x(k, r, &src, &dx);
    convolve1_y(k, r, &src, &dy);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float ex = 0, ey = 0;
            for (int j = -r; j <= r; ++j) {
                ex += k[j + r] * at(src, std::clamp(x + j, 0, W - 1), y);
                ey += k[j + r] * at(src, x, std::clamp(y + j, 0, H - 1));
            }
            EXPECT_FLOAT_EQ(at(dx, x, y), ex) << x << "," << y;
            EXPECT_FLOAT_EQ(at(dy, x, y), ey) << x << "," << y;
        }
}

TEST(primitives, dilate_window_is_2r_wide_and_ends_before_x_plus_r) {
    work_image w(6, 6);
    image src = plane_view(&w.img, 0), dst = plane_view(&w.img, 1);
    plane_row(&src, 2)[2] = 5.0f;
    dilate(&src, &dst, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool block = (x == 2 || x == 3) && (y == 2 || y == 3);
            EXPECT_EQ(at(dst, x, y), block ? 5.0f : 0.0f) << x << "," << y;
        }
}

TEST(primitives, dilate_matches_its_definition_on_random_planes) {
    for (int r : {1, 2, 3}) {
        const int W = 23, H = 17;
        work_image w(W, H);
        image src = plane_view(&w.img, 3), dst = plane_view(&w.img, 0);
        uint32_t s = uint32_t(r);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                plane_row(&src, y)[x] = next(&s) % 7 == 0 ? float(next(&s) % 50) - 10.0f : 0.0f;
        dilate(&src, &dst, r);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                ASSERT_EQ(at(dst, x, y), dilate_reference(src, x, y, r))
                    << r << ":" << x << "," << y;
    }
}

TEST(primitives, edges_see_a_step_of_two_tenths_but_not_one_hundredth) {
    for (float step : {0.2f, 0.01f}) {
        work_image frame(20, 10), work(20, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 10; x < 20; ++x) frame.px(x, y)[1] = step;
        image e = plane_view(&work.img, 0);
        sobel_edges(&frame.img, &e);
        int edges = 0;
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) edges += at(e, x, y) == 1.0f;
        if (step > 0.1f) {
            EXPECT_EQ(at(e, 9, 5), 1.0f);
            EXPECT_EQ(at(e, 10, 5), 1.0f);
            EXPECT_EQ(at(e, 0, 5), 0.0f);
        } else {
            EXPECT_EQ(edges, 0);
        }
    }
}

TEST(primitives, edges_are_the_sum_of_six_correlations_to_the_last_bit) {
    // Each channel smoothed along x and differentiated along y, and the other way round,
    // every sum added tap by tap in kernel order from 0 with clamped borders; the edge
    // strength is the six sizes added in channel order. The pass computes this in rings of
    // rows, so its strengths are checked exactly: a threshold at a pixel's strength leaves
    // it out, one a step of a float below lets it in.
    static const float S[5] = {1, 1, 2, 1, 1};
    static const float D[5] = {-2, -1, 0, 1, 2};
    for (const int H : {13, 3}) {
        const int W = 23;
        work_image frame(W, H), work(W, H);
        uint32_t s = uint32_t(H);
        for (float& v : frame.data) v = float(next(&s) % 1000) / 997.0f;
        auto pixel = [&](int x, int y, int c) {
            return frame.px(std::clamp(x, 0, W - 1), std::clamp(y, 0, H - 1))[c];
        };
        auto strength = [&](int x, int y) {
            float e = 0.0f;
            for (int c = 0; c < 3; ++c)
                for (int kind = 0; kind < 2; ++kind) {
                    const float* along_x = kind == 0 ? S : D;
                    const float* along_y = kind == 0 ? D : S;
                    float v = 0.0f;
                    for (int j = -2; j <= 2; ++j) {
                        float row = 0.0f;
                        for (int i = -2; i <= 2; ++i)
                            row += along_x[i + 2] * pixel(x + i, std::clamp(y + j, 0, H - 1), c);
                        v += along_y[j + 2] * row;
                    }
                    e += std::fabs(v);
                }
            return e;
        };
        image e = plane_view(&work.img, 0);
        for (int y = 0; y < H; ++y)
            for (int x : {0, 1, 2, 11, W - 2, W - 1}) {
                const float level = strength(x, y);
                sobel_edges(&frame.img, &e, level);
                EXPECT_EQ(at(e, x, y), 0.0f) << H << ": " << x << "," << y;
                sobel_edges(&frame.img, &e, std::nextafter(level, 0.0f));
                EXPECT_EQ(at(e, x, y), 1.0f) << H << ": " << x << "," << y;
            }
        // An infinite pixel gives NaN strengths where its taps meet other signs or weight
        // 0; NaN is no edge, and the pass must agree with the definition about where.
        frame.px(11, H / 2)[1] = std::numeric_limits<float>::infinity();
        sobel_edges(&frame.img, &e, 0.5f);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                EXPECT_EQ(at(e, x, y), strength(x, y) > 0.5f ? 1.0f : 0.0f)
                    << H << ": " << x << "," << y;
    }
}

TEST(primitives, uniform_frame_is_one_region) {
    work_image frame(40, 30, 0.5f), work(40, 30);
    EXPECT_EQ(card_find_regions(&frame.img, &work.img), 5);
    image labels = plane_view(&work.img, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(at(labels, x, y), 2.0f);
}

TEST(primitives, black_square_on_white_gives_outside_and_square) {
    work_image frame(60, 50, 1.0f), work(60, 50);
    for (int y = 15; y < 35; ++y)
        for (int x = 20; x < 40; ++x) frame.px(x, y)[0] = frame.px(x, y)[1] = frame.px(x, y)[2] = 0;
    EXPECT_EQ(card_find_regions(&frame.img, &work.img), 5);
    image labels = plane_view(&work.img, 0);
    EXPECT_EQ(at(labels, 0, 0), 2.0f);
    EXPECT_EQ(at(labels, 30, 25), 3.0f);
    EXPECT_EQ(at(labels, 21, 25), 1.0f);
    EXPECT_EQ(at(labels, 39, 25), 3.0f);
    // After the final growth (one pixel left and up, two right and down) the square's label
    // reaches its right and bottom edges exactly and stops two pixels inside its left and
    // top edges, where the middle of the thick edge band stays an edge (1).
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x) {
            const float v = at(labels, x, y);
            ASSERT_TRUE(v == 1.0f || v == 2.0f || v == 3.0f) << x << "," << y << " " << v;
            const bool inner = x >= 22 && x <= 39 && y >= 17 && y <= 34;
            if (inner) {
                ASSERT_EQ(v, 3.0f) << x << "," << y;
            }
        }
}

TEST(primitives, flood_fill_needs_more_than_a_fixed_seed_stack) {
    // A comb: a spine along row 0 with 9000 teeth hanging down; filling the spine pushes a
    // seed for every tooth at once, more than a stack of 8192 would hold.
    const int W = 18001, H = 40;
    work_image w(W, H);
    image p = plane_view(&w.img, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) plane_row(&p, y)[x] = (y > 0 && x % 2 == 1) ? 1.0f : 0.0f;
    // Column 0 is walled off except (0, 3), which touches the filled (1, 2) only corner to
    // corner: 4-connectivity leaves it empty.
    for (int y = 1; y < H; ++y) plane_row(&p, y)[0] = 1.0f;
    plane_row(&p, 3)[0] = 0.0f;
    plane_row(&p, 2)[1] = 0.0f;
    flood_fill(&p, W - 1, H - 1, 9.0f);
    int filled = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) filled += at(p, x, y) == 9.0f;
    EXPECT_EQ(at(p, 1, 2), 9.0f);
    EXPECT_EQ(at(p, 0, 3), 0.0f);
    EXPECT_EQ(filled, W + 9000 * (H - 1) + 1);
    // A seed on a non-zero pixel fills nothing.
    flood_fill(&p, 1, 5, 7.0f);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ASSERT_NE(at(p, x, y), 7.0f);
}

TEST(primitives, flood_fill_regions_counts_labels) {
    work_image w(7, 3);
    image p = plane_view(&w.img, 1);
    for (int y = 0; y < 3; ++y) plane_row(&p, y)[2] = plane_row(&p, y)[4] = 1.0f;
    EXPECT_EQ(flood_fill_regions(&p), 4);  // labels 2, 3, 4
    EXPECT_EQ(at(p, 0, 0), 2.0f);
    EXPECT_EQ(at(p, 3, 2), 3.0f);
    EXPECT_EQ(at(p, 6, 1), 4.0f);
    for (int y = 0; y < 3; ++y)
        plane_row(&p, y)[0] = plane_row(&p, y)[1] = plane_row(&p, y)[3] = plane_row(&p, y)[5] =
            plane_row(&p, y)[6] = 1.0f;
    EXPECT_EQ(flood_fill_regions(&p), 1);
}

TEST(primitives, gathered_extents_agree_with_perimeter) {
    // Random blobs labelled by the real labelling; the one-pass extents of every label
    // must equal what perimeter finds over the whole plane.
    const int W = 80, H = 60;
    work_image frame(W, H, 0.8f), work(W, H);
    uint32_t s = 11;
    for (int b = 0; b < 25; ++b) {
        const int x0 = int(next(&s) % W), y0 = int(next(&s) % H);
        const int bw = 3 + int(next(&s) % 15), bh = 3 + int(next(&s) % 15);
        const float v = float(next(&s) % 10) / 10.0f;
        for (int y = y0; y < std::min(H, y0 + bh); ++y)
            for (int x = x0; x < std::min(W, x0 + bw); ++x)
                frame.px(x, y)[0] = frame.px(x, y)[2] = v;
    }
    const int n = card_find_regions(&frame.img, &work.img);
    image labels = plane_view(&work.img, 0), col = plane_view(&work.img, 1),
          row = plane_view(&work.img, 2);
    std::vector<label_box> boxes(size_t(n) + 1);
    label_boxes(&labels, boxes.data(), n);
    std::vector<int32_t> index(size_t(n) + 1, -1);
    std::vector<label_extent> ext;
    std::vector<std::vector<int32_t>> store;
    for (int l = 2; l <= n; ++l) {
        if (boxes[size_t(l)].count == 0) continue;
        index[size_t(l)] = int32_t(ext.size());
        store.emplace_back(label_extent_ints(boxes[size_t(l)]));
        const label_box& b = boxes[size_t(l)];
        ext.push_back({l, b, store.back().data(), store.back().data() + 2 * (b.x1 - b.x0 + 1)});
    }
    ASSERT_GT(ext.size(), 4u);
    gather_extents(&labels, index.data(), n, ext.data(), int(ext.size()));
    for (const label_extent& e : ext) {
        const int count = perimeter(&labels, e.label, &col, &row);
        ASSERT_EQ(count, e.box.count) << e.label;
        for (int x = 0; x < W; ++x) {
            const bool inside = x >= e.box.x0 && x <= e.box.x1;
            const float top = inside ? float(e.col[2 * (x - e.box.x0)]) : -1.0f;
            const float bottom = inside ? float(e.col[2 * (x - e.box.x0) + 1]) : -1.0f;
            ASSERT_EQ(plane_row(&col, 0)[x], top) << e.label << " x " << x;
            ASSERT_EQ(plane_row(&col, 1)[x], bottom) << e.label << " x " << x;
        }
        for (int y = 0; y < H; ++y) {
            const bool inside = y >= e.box.y0 && y <= e.box.y1;
            const float first = inside ? float(e.row[2 * (y - e.box.y0)]) : -1.0f;
            const float last = inside ? float(e.row[2 * (y - e.box.y0) + 1]) : -1.0f;
            ASSERT_EQ(plane_row(&row, y)[0], first) << e.label << " y " << y;
            ASSERT_EQ(plane_row(&row, y)[1], last) << e.label << " y " << y;
        }
    }
}

TEST(primitives, line_geometry) {
    float x, y;
    hough_intersect(0.0f, 5.0f, float(M_PI / 2), 7.0f, &x, &y);
    EXPECT_FLOAT_EQ(x, 5.0f);
    EXPECT_NEAR(y, 7.0f, 1e-5);
    // A right side at angle pi (whose float sine is not quite 0) still meets the top.
    hough_intersect(float(M_PI), -20.0f, float(M_PI / 2), 3.0f, &x, &y);
    EXPECT_NEAR(x, 20.0f, 1e-3);
    EXPECT_NEAR(y, 3.0f, 1e-3);

    // Sides left x = 1, top y = 2, right x = 11, bottom y = 12.
    float theta[4] = {0.0f, float(M_PI / 2), float(M_PI), float(3 * M_PI / 2)};
    float r[4] = {1.0f, 2.0f, -11.0f, -12.0f};
    float cx[4], cy[4];
    corners(theta, r, cx, cy);
    const float wx[4] = {1, 11, 11, 1}, wy[4] = {2, 2, 12, 12};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(cx[k], wx[k], 1e-4) << k;
        EXPECT_NEAR(cy[k], wy[k], 1e-4) << k;
    }

    float ax[4] = {0, 10, 10, 0}, ay[4] = {0, 0, 10, 10};
    EXPECT_EQ(area(ax, ay), 100.0f);
    float bx[4] = {0, 0, 10, 10}, by[4] = {0, 10, 10, 0};
    EXPECT_EQ(area(bx, by), 0.0f);
}
