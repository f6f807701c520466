#include "cards/finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/slots.h"
#include "synth/synth.h"

namespace {

constexpr double PI = 3.14159265358979323846;

std::unique_ptr<card> reference_of(refcard_type chart) {
    auto ref = std::make_unique<card>();
    cardMakeRef(ref.get(), &COLOR_SPACE[synth_entry("Rec. 709")], chart);
    return ref;
}

// Largest distance of a found corner from the truth, over the truth's diagonal.
double corner_error(const OfxPointD* found, const OfxPointD* truth) {
    const double diag = std::hypot(truth[2].x - truth[0].x, truth[2].y - truth[0].y);
    double worst = 0;
    for (int k = 0; k < 4; ++k)
        worst =
            std::max(worst, std::hypot(found[k].x - truth[k].x, found[k].y - truth[k].y) / diag);
    return worst;
}

int find(const synth_shot& shot, refcard_type chart, int encode, OfxPointD* corners,
         const finder_allocator* alloc = nullptr) {
    auto ref = reference_of(chart);
    return cardFind(alloc, &shot.frame, &TRANSFER_FUNCTION[encode], ref.get(), corners);
}

// The scene of `seed` drawn from `cond`, encoded with catalogue entry `encode`.
synth_shot shot_of(const synth_conditions& cond, refcard_type chart, int width, int height,
                   uint64_t seed, int encode) {
    synth_scene s = synth_draw(cond, chart, width, height, seed);
    s.encode = encode;
    synth_shot shot;
    synth_render(s, &shot);
    return shot;
}

// The hard conditions as the detection benchmark draws them for `chart` in frames of
// `height` rows: its cards no smaller than patches of 11 rows allow.
synth_conditions hard_for(refcard_type chart, int height) {
    synth_conditions cond = synth_hard();
    cond.card_min = std::max(cond.card_min, synth_min_card_share(chart, height, 11));
    cond.card_max = std::max(cond.card_max, cond.card_min * 1.5);
    return cond;
}

// A label plane (label 2 on 0) holding one shape, fitted as the finder fits regions.
region fit_shape(int W, int H, bool (*inside)(double x, double y, const double* p),
                 const double* p) {
    std::vector<float> plane(size_t(W) * size_t(H), 0.0f);
    image img = {};
    img.right = W;
    img.bottom = H;
    img.row_bytes = W * 4;
    img.pixels = reinterpret_cast<char*>(plane.data());
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (inside(x, y, p)) plane[size_t(y) * size_t(W) + size_t(x)] = 2.0f;
    std::vector<label_box> boxes(3);
    label_boxes(&img, boxes.data(), 2);
    std::vector<int32_t> store(label_extent_ints(boxes[2]));
    label_extent e = {2, boxes[2], store.data(),
                      store.data() + 2 * (boxes[2].x1 - boxes[2].x0 + 1)};
    const int32_t index[3] = {-1, -1, 0};
    gather_extents(&img, index, 2, &e, 1);
    std::vector<float> hx(2 * size_t(W) + 2), hy(2 * size_t(W) + 2);
    const patch_outline o = {hx.data(), hy.data(), patch_outline_points(&e, hx.data(), hy.data())};
    region r = {};
    r.label = 2;
    r.pixel_count = boxes[2].count;
    fit_region(&o, &r);
    return r;
}

// A rectangle of half sizes p[2], p[3] around (p[0], p[1]), turned by p[4].
bool in_turned_rect(double x, double y, const double* p) {
    const double dx = x - p[0], dy = y - p[1], c = std::cos(p[4]), s = std::sin(p[4]);
    return std::fabs(dx * c + dy * s) <= p[2] && std::fabs(-dx * s + dy * c) <= p[3];
}
bool in_l_shape(double x, double y, const double*) {
    return x >= 10 && x < 50 && y >= 10 && y < 50 && !(x >= 30 && y < 30);
}

}  // namespace

TEST(finder, working_size_follows_the_frame_and_stays_bounded) {
    int w = 0, h = 0;
    ASSERT_TRUE(finder_work_size(854, 480, 1.0, &w, &h));
    EXPECT_EQ(h, 600);
    EXPECT_EQ(w, 1068);
    ASSERT_TRUE(finder_work_size(3840, 2160, 1.0, &w, &h));
    EXPECT_EQ(h, 1200);
    EXPECT_EQ(w, 2133);
    ASSERT_TRUE(finder_work_size(1440, 1080, 4.0 / 3.0, &w, &h));  // anamorphic pixels
    EXPECT_EQ(w, 1920);
    ASSERT_TRUE(finder_work_size(1920, 1080, std::nan(""), &w, &h));
    EXPECT_EQ(w, 1920);
    // A 30000 x 1 frame would ask for 18 million columns at 600 rows: it is far too thin
    // to hold a chart. Very wide frames keep square pixels with fewer rows.
    EXPECT_FALSE(finder_work_size(30000, 1, 1.0, &w, &h));
    EXPECT_FALSE(finder_work_size(1, 1000, 1.0, &w, &h));
    EXPECT_FALSE(finder_work_size(0, 1000, 1.0, &w, &h));
    ASSERT_TRUE(finder_work_size(100000, 1000, 1.0, &w, &h));
    EXPECT_EQ(w, FINDER_MAX_WORK_WIDTH);
    EXPECT_EQ(h, 82);
    ASSERT_TRUE(finder_work_size(2147483647, 2147483647, 1.0, &w, &h));
    EXPECT_EQ(h, 1200);
}

TEST(finder, candidate_regions_are_large_full_and_nearly_square) {
    const double square[5] = {40, 40, 20, 20, 0};
    const region sq = fit_shape(80, 80, in_turned_rect, square);
    EXPECT_TRUE(region_accepted(&sq));
    EXPECT_NEAR(sq.quad_area, 41 * 41, 41 * 2);
    EXPECT_NEAR(sq.centre_x, 40, 0.6);

    const double small[5] = {40, 40, 4, 4, 0};  // 9 x 9 = 81 pixels
    const region sm = fit_shape(80, 80, in_turned_rect, small);
    EXPECT_TRUE(region_accepted(&sm)) << sm.pixel_count;
    const double tiny[5] = {40, 40, 3, 3, 0};  // 7 x 7 = 49 pixels
    const region tn = fit_shape(80, 80, in_turned_rect, tiny);
    EXPECT_LT(tn.pixel_count, 80);
    EXPECT_FALSE(region_accepted(&tn));

    // 40 x 64, a square patch on a card turned about 50 degrees from the camera, is taken;
    // 30 x 64 is not.
    const double tilted[5] = {40.5, 40.5, 19.5, 31.5, 0};
    const region ti = fit_shape(80, 80, in_turned_rect, tilted);
    EXPECT_EQ(ti.pixel_count, 40 * 64);
    EXPECT_TRUE(region_accepted(&ti));
    const double oblong[5] = {40.5, 40.5, 14.5, 31.5, 0};
    const region ob = fit_shape(80, 80, in_turned_rect, oblong);
    EXPECT_EQ(ob.pixel_count, 30 * 64);
    EXPECT_FALSE(region_accepted(&ob));

    const region l = fit_shape(60, 60, in_l_shape, nullptr);
    EXPECT_FALSE(region_accepted(&l));

    // Turned by 45 degrees: a square is still a square, and an oblong of 2 still is not,
    // though both have square bounding boxes on screen.
    const double diamond[5] = {50, 50, 20, 20, PI / 4};
    const region d = fit_shape(100, 100, in_turned_rect, diamond);
    EXPECT_TRUE(region_accepted(&d));
    EXPECT_NEAR(d.quad_area, 41 * 41, 41 * 4);
    const double long_diamond[5] = {50, 50, 12, 24, PI / 4};
    const region ld = fit_shape(100, 100, in_turned_rect, long_diamond);
    EXPECT_FALSE(region_accepted(&ld));
}

TEST(finder, card_sides_from_patches_numbered_by_different_quarter_turns) {
    // A 4 x 3 grid of 20-pixel patches at a pitch of 24, turned by 44 degrees; every other
    // patch calls its sides by the next quarter turn, as patch fits near 45 degrees do.
    const double turn = 44 * PI / 180, c = std::cos(turn), s = std::sin(turn);
    std::vector<region> regions;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) {
            region r = {};
            const double ox[4] = {-10, 10, 10, -10}, oy[4] = {-10, -10, 10, 10};
            const double cx = 24 * col - 36, cy = 24 * row - 24;
            const int q = (row + col) % 2;
            for (int k = 0; k < 4; ++k) {
                const int j = (k + q) % 4;
                const double x = cx + ox[j], y = cy + oy[j];
                r.corner_x[k] = float(300 + x * c - y * s);
                r.corner_y[k] = float(300 + x * s + y * c);
                r.side_angle[k] = float(turn + PI / 2 * (k + q));
            }
            r.quad_area = 400;
            r.centre_x = float(300 + cx * c - cy * s);
            r.centre_y = float(300 + cx * s + cy * c);
            regions.push_back(r);
        }
    std::vector<int> members(regions.size());
    for (size_t i = 0; i < members.size(); ++i) members[i] = int(i);
    std::vector<uint8_t> mask(4 * members.size());
    float angles[4];
    find_card_angle(regions.data(), members.data(), int(members.size()), mask.data(), angles);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(std::remainder(angles[k] - (turn + PI / 2 * k), 2 * PI), 0, 1e-3) << k;
    OfxPointD corners[4];
    find_card_corners_from_angle(regions.data(), members.data(), int(members.size()), angles,
                                 corners);
    const double ex[4] = {-46, 46, 46, -46}, ey[4] = {-34, -34, 34, 34};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(corners[k].x, 300 + ex[k] * c - ey[k] * s, 0.05) << k;
        EXPECT_NEAR(corners[k].y, 300 + ex[k] * s + ey[k] * c, 0.05) << k;
    }
}

TEST(finder, turned_small_patches_still_fill_their_quadrilateral) {
    // A 20-pixel patch turned a little: its fitted sides pass half a pixel beyond the
    // outermost pixel centres, which a turned side reaches almost on its true edge, so the
    // quadrilateral is about a pixel wider and taller than the patch. Such patches are the
    // smallest a chart is found from, at any turn.
    for (double turn : {0.05, 0.1, 0.2, 0.35, PI / 4}) {
        const double p[5] = {40.3, 40.6, 9.8, 9.8, turn};
        const region r = fit_shape(80, 80, in_turned_rect, p);
        EXPECT_GT(r.pixel_count, 360) << turn;
        EXPECT_TRUE(region_accepted(&r)) << turn;
    }
    // Measuring against the quadrilateral through the pixel centres on every side would
    // let small shapes that do not fill theirs through: a 16-pixel square with a 6-pixel
    // notch, upright, still fails.
    const region notched = fit_shape(
        40, 40,
        [](double x, double y, const double*) {
            return x >= 10 && x < 26 && y >= 10 && y < 26 && !(x >= 20 && y < 16);
        },
        nullptr);
    EXPECT_GE(notched.pixel_count, 200);
    EXPECT_FALSE(region_accepted(&notched));
}

TEST(finder, card_corners_follow_the_chart_layout_through_the_members_centres) {
    // Members at the patches of a chart seen in perspective, each centre a fraction of a
    // pixel off, with the whole left column and one more patch missing (dark patches on
    // a dark card give no edges). The corners from the outer members' sides start a few
    // pixels off; matching the members to the layout puts the card where the view does:
    // the sides with members at their outer patches' edges, the left one where the
    // layout carries it.
    const reference_card* ref = refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    std::vector<double> lu(size_t(ref->patch_count)), lv(lu.size());
    const int patches = card_layout(ref, lu.data(), lv.data());
    ASSERT_EQ(patches, 24);
    const double g = 0.2, h = -0.15;
    auto view = [&](double u, double v) {
        const double w = g * u + h * v + 1;
        return OfxPointD{(300 * u + 40 * v + 200) / w, (-30 * u + 220 * v + 150) / w};
    };
    // Patch half sizes in the found card's coordinates, a little short of the cells'.
    const double hu = 0.074, hv = 0.113;
    double right = -1, top = 2, bottom = -1;
    std::vector<region> regions;
    for (int p = 0; p < patches; ++p) {
        const double u = lu[size_t(p)], v = lv[size_t(p)];
        if (u < 0.15 || p == 9) continue;
        right = std::max(right, u + hu);
        top = std::min(top, v - hv);
        bottom = std::max(bottom, v + hv);
        const OfxPointD c = view(u, v);
        region r = {};
        r.centre_x = float(c.x + 0.3 * std::sin(7.0 * p));
        r.centre_y = float(c.y + 0.3 * std::cos(5.0 * p));
        const double cu[4] = {u - hu, u + hu, u + hu, u - hu},
                     cv[4] = {v - hv, v - hv, v + hv, v + hv};
        for (int k = 0; k < 4; ++k) {
            const OfxPointD q = view(cu[k], cv[k]);
            r.corner_x[k] = float(q.x);
            r.corner_y[k] = float(q.y);
        }
        r.quad_area = 1200;
        regions.push_back(r);
    }
    std::vector<int> members(regions.size());
    for (size_t i = 0; i < members.size(); ++i) members[i] = int(i);
    const OfxPointD truth[4] = {view(0, top), view(right, top), view(right, bottom),
                                view(0, bottom)};
    OfxPointD c[4] = {truth[0], truth[1], truth[2], truth[3]};
    c[0].x += 9;
    c[3].x += 7;
    c[3].y -= 5;
    c[1].y += 4;
    ASSERT_TRUE(
        refine_card_corners(nullptr, ref, regions.data(), members.data(), int(members.size()), c));
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(c[k].x, truth[k].x, 0.5) << k;
        EXPECT_NEAR(c[k].y, truth[k].y, 0.5) << k;
    }
    // Too few members to fit a view: the corners stay as they were.
    OfxPointD keep[4] = {{1, 2}, {100, 2}, {100, 70}, {1, 70}};
    EXPECT_FALSE(refine_card_corners(nullptr, ref, regions.data(), members.data(), 4, keep));
    EXPECT_EQ(keep[2].x, 100);
    EXPECT_EQ(keep[2].y, 70);
}

TEST(finder, clusters_grow_over_neighbours_of_similar_size) {
    // A row of five patches, a sixth of twice the area next to them, and a far one.
    std::vector<region> regions(7);
    for (int i = 0; i < 7; ++i) {
        regions[size_t(i)].quad_area = i == 5 ? 800.0f : 400.0f;
        regions[size_t(i)].centre_x = i < 6 ? float(30 * i) : 1000.0f;
        regions[size_t(i)].centre_y = 0;
    }
    const reference_card* ref = refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    std::vector<int> members(7, -1);
    const int count = cluster_starting_from(ref, regions.data(), 7, 2, members.data());
    ASSERT_EQ(count, 5);
    EXPECT_EQ(members[0], 2);
    members.resize(5);
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(finder, margins_move_corners_out) {
    const reference_card* ref = refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    OfxPointD c[4] = {{0, 0}, {120, 0}, {120, 80}, {0, 80}};
    expand_card_corners(ref, c);
    EXPECT_NEAR(c[0].x, -1, 1e-3);
    EXPECT_NEAR(c[0].y, -1, 1e-3);
    EXPECT_NEAR(c[2].x, 121, 1e-3);
    EXPECT_NEAR(c[2].y, 81, 1e-3);
    OfxPointD r[4];
    rotate_and_expand_card(ref, c, 1, r);
    // Starting at the second corner turns the card: its width now runs down the screen.
    EXPECT_NEAR(r[3].x, -1 - 122 * ref->margin_bottom, 1e-3);
    EXPECT_NEAR(r[3].y, -1 - 82 * ref->margin_left, 1e-3);
}

// A card seen at an angle: its margins are steps on the card, which the view shortens
// with distance, so they must land where the view puts them, not a straight step on.
TEST(finder, margins_follow_the_perspective_of_the_view) {
    const reference_card* ref = refcard(DSCLABS_ONESHOT);
    // x = (a u + b v + c) / (g u + h v + 1), the same for y: a card tilted away on the right.
    const double g = 0.25, h = -0.1;
    auto view = [&](double u, double v) {
        const double w = g * u + h * v + 1;
        return OfxPointD{(400 * u + 30 * v + 200) / w, (-20 * u + 300 * v + 100) / w};
    };
    OfxPointD c[4] = {view(0, 0), view(1, 0), view(1, 1), view(0, 1)};
    expand_card_corners(ref, c);
    const double l = ref->margin_left, r = ref->margin_right;
    const double t = ref->margin_top, b = ref->margin_bottom;
    const OfxPointD want[4] = {view(-l, -t), view(1 + r, -t), view(1 + r, 1 + b), view(-l, 1 + b)};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(c[k].x, want[k].x, 1e-6) << k;
        EXPECT_NEAR(c[k].y, want[k].y, 1e-6) << k;
    }
}

TEST(finder, frames_without_a_chart_are_not_found) {
    const int encode = synth_entry("sRGB");
    for (uint64_t seed : {1u, 2u, 3u}) {
        synth_scene s =
            synth_draw(synth_moderate(), XRITE_COLORCHECKER_24_AFTER_NOV2014, 640, 360, seed);
        s.encode = encode;
        s.with_card = false;
        s.clutter = 3;
        s.noise = 0;
        synth_shot shot;
        synth_render(s, &shot);
        OfxPointD corners[4];
        EXPECT_EQ(find(shot, XRITE_COLORCHECKER_24_AFTER_NOV2014, encode, corners),
                  FINDER_NOT_FOUND);
    }
    std::vector<float> grey(size_t(320) * 240 * 4, 0.5f);
    image flat = {};
    flat.format = IMAGE_RGBA32F;
    flat.pixel_aspect = 1;
    flat.row_bytes = 320 * 16;
    flat.pixels = reinterpret_cast<char*>(grey.data());
    auto ref = reference_of(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    OfxPointD corners[4];
    // Hostile shapes answer "not found" without asking for memory they cannot use.
    flat.right = 30000;
    flat.bottom = 1;
    EXPECT_EQ(cardFind(nullptr, &flat, nullptr, ref.get(), corners), FINDER_NOT_FOUND);
    flat.right = -5;
    EXPECT_EQ(cardFind(nullptr, &flat, nullptr, ref.get(), corners), FINDER_NOT_FOUND);
}

namespace {

// Counts blocks and fails from the n-th request on.
struct counting {
    int fail_at;
    int requests = 0;
    int live = 0;
};
void* counting_allocate(void* ctx, size_t bytes) {
    auto* c = static_cast<counting*>(ctx);
    if (++c->requests >= c->fail_at) return nullptr;
    ++c->live;
    return std::malloc(bytes);
}
void counting_release(void* ctx, void* block) {
    --static_cast<counting*>(ctx)->live;
    std::free(block);
}

}  // namespace

TEST(finder, running_out_of_memory_anywhere_answers_4_and_frees_everything) {
    synth_scene s;
    s.width = 640;
    s.height = 360;
    s.card_height = 150;
    s.centre_x = 320;
    s.centre_y = 180;
    const int encode = s.encode;
    synth_shot shot;
    synth_render(s, &shot);
    counting all = {1 << 30};
    finder_allocator a = {counting_allocate, counting_release, &all};
    OfxPointD corners[4];
    ASSERT_EQ(find(shot, s.chart, encode, corners, &a), FINDER_FOUND);
    EXPECT_EQ(all.live, 0);
    ASSERT_GT(all.requests, 3);
    // Failing the two working images and the last table.
    for (int n : {1, 2, all.requests}) {
        counting c = {n};
        a.context = &c;
        EXPECT_EQ(find(shot, s.chart, encode, corners, &a), FINDER_OUT_OF_MEMORY) << n;
        EXPECT_EQ(c.live, 0) << n;
    }
}

TEST(finder, corners_come_back_in_the_frame_pixels_at_any_frame_height) {
    // 480 rows are worked on at 600, 2160 at 1200; the chart is turned by a quarter so that
    // only the colours tell its orientation.
    for (int h : {480, 2160}) {
        synth_scene s;
        s.width = h == 480 ? 854 : 640;
        s.height = h;
        s.card_height = h == 480 ? 0.3 * h : 0.2 * h;
        s.centre_x = 0.55 * s.width;
        s.centre_y = 0.5 * h;
        s.rotation = PI / 2 + 0.1;
        s.tilt_x = 0.1;
        s.blur = 0.8;
        synth_shot shot;
        synth_render(s, &shot);
        OfxPointD corners[4];
        ASSERT_EQ(find(shot, s.chart, s.encode, corners), FINDER_FOUND) << h;
        EXPECT_LT(corner_error(corners, shot.corners), 0.01) << h;
    }
}

TEST(finder, oneshot_is_found_at_its_outer_patch_edges) {
    // Only columns C and D are square enough; the card is found by moving out from them
    // by twice their width to the left. That move is made on screen, so it holds for a card
    // facing the camera (under strong perspective it lands short or long), and it triples
    // the finder's pixel or two of inward bias at the C/D cluster's edges.
    synth_scene s;
    s.chart = DSCLABS_ONESHOT;
    s.width = 960;
    s.height = 540;
    s.card_height = 290;
    s.centre_x = 450;
    s.centre_y = 275;
    s.rotation = 0.3;
    s.blur = 0.6;
    synth_shot shot;
    synth_render(s, &shot);
    OfxPointD corners[4];
    ASSERT_EQ(find(shot, s.chart, s.encode, corners), FINDER_FOUND);
    EXPECT_LT(corner_error(corners, shot.corners), 0.01);
    EXPECT_LT(corner_error(corners, shot.patch_edges), 0.02);
}

TEST(finder, every_chart_is_found_in_seeded_moderate_shots) {
    // One shot of each layout (the other charts share one of these, and the OneShot has
    // its own test) at the smallest working height (600 rows), where a pixel at the
    // patch edges is about 0.5 % of a small card's diagonal: each must be found in the
    // right orientation with every corner within 1 % of the diagonal, most within 0.3 %.
    // The rates over hundreds of shots at larger sizes come from the
    // chromalane_detection program.
    const int encode = synth_entry("sRGB");
    std::vector<double> errors;
    for (refcard_type chart : {XRITE_COLORCHECKER_24_AFTER_NOV2014, DATACOLOR_SPYDERCHECKR,
                               XRITE_COLORCHECKER_SG_AFTER_NOV2014, XRITE_COLORCHECKER_VIDEO_COMPAT,
                               DGKCOLORTOOLS_DKK_5x7}) {
        const int t = int(chart);
        synth_conditions cond = synth_moderate();
        cond.card_min = std::max(0.3, synth_min_card_share(chart, 360, 22));
        cond.card_max = cond.card_min + 0.25;
        for (uint64_t seed : {11u}) {
            synth_scene s = synth_draw(cond, chart, 640, 360, seed);
            s.encode = encode;
            s.noise = std::min(s.noise, 0.004);
            synth_shot shot;
            synth_render(s, &shot);
            OfxPointD corners[4];
            ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND) << t << " seed " << seed;
            const double e = corner_error(corners, shot.corners);
            EXPECT_LT(e, 0.01) << t << " seed " << seed;
            errors.push_back(e);
        }
    }
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(errors[errors.size() / 2], 0.003);
}

namespace {

// A shot of `shown` (or of no chart) asked for as `asked`, with the given decoy.
int find_in(refcard_type shown, refcard_type asked, int decoy, bool with_card, uint64_t seed,
            finder_report* report) {
    const int encode = synth_entry("sRGB");
    synth_conditions cond = synth_moderate();
    cond.card_min = 0.35;
    cond.card_max = 0.5;
    synth_scene s = synth_draw(cond, shown, 640, 360, seed);
    s.encode = encode;
    s.decoy = decoy;
    s.with_card = with_card;
    synth_shot shot;
    synth_render(s, &shot);
    auto ref = reference_of(asked);
    OfxPointD corners[4];
    return cardFindReport(nullptr, &shot.frame, &TRANSFER_FUNCTION[encode], ref.get(), corners,
                          report);
}

}  // namespace

TEST(finder, says_no_to_decoys_other_charts_and_tiles_but_yes_to_the_chart) {
    // In each of these frames a cluster of squares is placed as the chart and scored (the
    // report holds its measures); only the evidence turns it down. Before the finder
    // scored its placements it answered "found" on such frames. The chart itself, in the
    // same scenes, is found.
    const refcard_type cc24 = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    struct frame_case {
        refcard_type shown, asked;
        int decoy;
        bool with_card;
        uint64_t seed;
    };
    const frame_case cases[] = {
        {cc24, cc24, SYNTH_DECOY_GRID, true, 1},
        {cc24, cc24, SYNTH_DECOY_GRID, true, 5},
        {cc24, cc24, SYNTH_DECOY_TILES, false, 3},
        {cc24, cc24, SYNTH_DECOY_TILES, false, 4},
        {XRITE_COLORCHECKER_PASSPORT_VIDEO, cc24, SYNTH_DECOY_NONE, true, 3},
        {XRITE_COLORCHECKER_SG_AFTER_NOV2014, DATACOLOR_SPYDERCHECKR, SYNTH_DECOY_NONE, true, 4},
    };
    for (const frame_case& f : cases) {
        finder_report r;
        EXPECT_EQ(find_in(f.shown, f.asked, f.decoy, f.with_card, f.seed, &r), FINDER_NOT_FOUND)
            << f.decoy << " " << f.seed;
        ASSERT_NE(r.reason, nullptr);
        EXPECT_LT(r.score, FINDER_MIN_SCORE) << f.decoy << " " << f.seed << " " << r.reason;
    }
    for (uint64_t seed : {3u, 4u}) {
        finder_report yes;
        EXPECT_EQ(find_in(cc24, cc24, SYNTH_DECOY_NONE, true, seed, &yes), FINDER_FOUND) << seed;
        EXPECT_GE(yes.score, FINDER_MIN_SCORE) << seed;
        EXPECT_EQ(yes.reason, nullptr);
    }
}

TEST(finder, squeezed_pixels_are_found_in_the_frames_own_pixels) {
    // A 720 x 480 frame of pixels twice as wide as high (and the 40/33 of wide-screen
    // standard definition): found with the pixel aspect, corners within 1 % of the card's
    // diagonal in the frame's own pixels. Taking the pixels as square, the patches look
    // twice as wide as high and are no candidates.
    const int encode = synth_entry("sRGB");
    const refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    for (double par : {2.0, 40.0 / 33}) {
        synth_conditions cond = synth_moderate();
        cond.card_min = 0.4;
        cond.card_max = 0.55;
        cond.pixel_aspect = par;
        synth_scene s = synth_draw(cond, chart, 720, 480, 21);
        s.encode = encode;
        synth_shot shot;
        synth_render(s, &shot);
        ASSERT_DOUBLE_EQ(shot.frame.pixel_aspect, par);
        OfxPointD corners[4];
        ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND) << par;
        double worst = 0;
        const double diag = std::hypot((shot.corners[2].x - shot.corners[0].x) * par,
                                       shot.corners[2].y - shot.corners[0].y);
        for (int k = 0; k < 4; ++k)
            worst = std::max(worst, std::hypot((corners[k].x - shot.corners[k].x) * par,
                                               corners[k].y - shot.corners[k].y) /
                                        diag);
        EXPECT_LT(worst, 0.01) << par;
        if (par == 2.0) {
            shot.frame.pixel_aspect = 1;
            const int code = find(shot, chart, encode, corners);
            if (code == FINDER_FOUND) {
                double off = 0;
                for (int k = 0; k < 4; ++k)
                    off = std::max(off, std::hypot((corners[k].x - shot.corners[k].x) * par,
                                                   corners[k].y - shot.corners[k].y) /
                                            diag);
                EXPECT_GT(off, 0.01);
            }
        }
    }
}

TEST(finder, fit_residual_is_small_for_the_chart_under_any_light_and_large_for_others) {
    auto ref = reference_of(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    auto seen = std::make_unique<card>();
    *seen = *ref;
    // A cast, an exposure and channel cross-talk: one 3 x 3 matrix away.
    const double m[9] = {0.7, 0.1, 0.02, 0.05, 0.9, 0.1, 0.0, 0.2, 1.3};
    for (int i = 0; i < 24; ++i) {
        const double x[3] = {ref->linear[0][i], ref->linear[1][i], ref->linear[2][i]};
        for (int k = 0; k < 3; ++k)
            seen->linear[k][i] = float(m[3 * k] * x[0] + m[3 * k + 1] * x[1] + m[3 * k + 2] * x[2]);
    }
    EXPECT_LT(card_fit_residual(seen.get(), ref.get()), 1e-4);
    // A highlight on one patch is left out of the sum, though it still pulls the fit.
    seen->linear[0][5] += 0.5f;
    EXPECT_LT(card_fit_residual(seen.get(), ref.get()), 0.05);
    // The same colours in another order do not fit.
    auto shuffled = std::make_unique<card>();
    *shuffled = *ref;
    for (int i = 0; i < 24; ++i)
        for (int k = 0; k < 3; ++k) shuffled->linear[k][i] = ref->linear[k][(i * 7 + 3) % 24];
    EXPECT_GT(card_fit_residual(shuffled.get(), ref.get()), 0.3);
    // A highlight adds light to a patch and its neighbours (a 2 x 2 block of the 6 x 4
    // grid here): those are left out too, and the rest fit as if it were not there. The
    // same light on the four corner patches is no highlight, and counts.
    seen->linear[0][5] -= 0.5f;
    auto lit = [&](std::initializer_list<int> patches) {
        auto c = std::make_unique<card>();
        *c = *seen;
        for (int i : patches)
            for (int k = 0; k < 3; ++k) c->linear[k][i] += 0.3f;
        return card_fit_residual(c.get(), ref.get());
    };
    EXPECT_LT(lit({13, 14, 17, 18}), 1e-4);
    EXPECT_GT(lit({0, 2, 20, 23}), 0.03);
}

TEST(finder, fit_residual_of_an_overexposed_card_rests_on_what_did_not_clip) {
    // Two stops over with a cast, clipped at the top as a camera clips: more than half the
    // patches clip in some channel. The card still fits from each channel's unclipped
    // patches (and its clipped ones fit as far as they go); the same colours in another
    // order, clipped alike, do not; nor does a card with nothing left below the top.
    auto ref = reference_of(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const double m[9] = {0.7, 0.1, 0.02, 0.05, 0.9, 0.1, 0.0, 0.2, 1.3};
    auto over = [&](int shuffle, double gain) {
        auto c = std::make_unique<card>();
        *c = *ref;
        for (int i = 0; i < 24; ++i) {
            const int j = (i * shuffle + 3 * (shuffle != 1)) % 24;
            const double x[3] = {ref->linear[0][j], ref->linear[1][j], ref->linear[2][j]};
            for (int k = 0; k < 3; ++k)
                c->linear[k][i] = float(std::min(
                    1.0, gain * (m[3 * k] * x[0] + m[3 * k + 1] * x[1] + m[3 * k + 2] * x[2])));
        }
        return c;
    };
    auto seen = over(1, 4.0);
    int clipped = 0;
    for (int i = 0; i < 24; ++i)
        clipped += std::max({seen->linear[0][i], seen->linear[1][i], seen->linear[2][i]}) >= 1.0f;
    ASSERT_GT(clipped, 12);
    EXPECT_LT(card_fit_residual(seen.get(), ref.get()), 0.01);
    EXPECT_GT(card_fit_residual(over(7, 4.0).get(), ref.get()), 0.3);
    EXPECT_GT(card_fit_residual(over(1, 100.0).get(), ref.get()), 0.3);
}

TEST(finder, linearising_the_work_image_follows_every_catalogue_curve) {
    // The finder linearises through the render's vectorised input stage; it must agree
    // with the scalar curves over the whole code range, out-of-range codes included, and
    // keep alpha. 1e-4 relative (from 1e-3 down, absolute): PQ's steep power reaches 8e-5,
    // the others stay below 3e-5; the colour score works to about 1e-2.
    constexpr int N = 4099;
    std::vector<float> work(4 * N), reference(4 * N);
    for (int k = 0; k < N; ++k)
        for (int c = 0; c < 4; ++c) work[4 * k + c] = -0.05f + 1.1f * float(k * 4 + c) / (4 * N);
    image img = {};
    img.flag1 = img.flag2 = 1;
    img.format = IMAGE_RGBA32F;
    img.right = N;
    img.bottom = 1;
    img.scale_x = img.scale_y = img.pixel_aspect = 1.0;
    img.row_bytes = N * 16;
    for (int entry = 1; entry <= TRANSFER_SPACE_COUNT; ++entry) {
        const transfer_function* tf = &TRANSFER_FUNCTION[entry];
        if (tf->kind < 0) continue;  // separators
        std::vector<float> got = work;
        img.pixels = reinterpret_cast<char*>(got.data());
        linearise_in_place(&img, tf);
        reference = work;
        float coeffs[COEFFICIENT_COUNT] = {};
        set_coefficents_for_transfer_function(coeffs, 'i', tf);
        apply_input_transfer(coeffs, reference.data(), 4 * N);
        double worst = 0;
        for (int k = 0; k < N; ++k) {
            for (int c = 0; c < 3; ++c) {
                const double want = reference[4 * k + c], have = got[4 * k + c];
                worst = std::max(worst, std::fabs(have - want) / std::max(std::fabs(want), 1e-3));
            }
            ASSERT_EQ(got[4 * k + 3], work[4 * k + 3]) << entry;
        }
        EXPECT_LT(worst, 1e-4) << transfer_popup_name(entry);
    }
}

TEST(finder, edge_encoding_rises_and_comes_back) {
    // Linear values to the edges' encoding and back, through the four-wide and the scalar
    // loops alike (an odd count): strictly rising, sRGB-like at grey and white, and back to
    // the value within 2e-7 relative (5e-10 absolute near black). Negative and NaN
    // values count as 0.
    std::vector<float> v;
    for (float x = 1e-6f; x < 64; x *= 1.01f) v.push_back(x);
    v.push_back(0.18f);
    v.push_back(1.0f);
    const std::vector<float> in = v;
    encode_for_edges(v.data(), int(v.size()));
    for (size_t k = 1; k + 2 < v.size(); ++k) EXPECT_GT(v[k], v[k - 1]) << in[k];
    EXPECT_NEAR(v[v.size() - 2], 0.394, 0.002);
    EXPECT_NEAR(v.back(), 0.969, 0.002);
    decode_from_edges(v.data(), int(v.size()));
    for (size_t k = 0; k < v.size(); ++k) EXPECT_NEAR(v[k], in[k], 2e-7 * in[k] + 5e-10) << in[k];
    float odd[5] = {-1.0f, NAN, 0.0f, -0.0f, -INFINITY};
    encode_for_edges(odd, 5);
    for (float e : odd) EXPECT_EQ(e, 0.0f);
}

TEST(finder, linear_frames_are_re_encoded_for_the_edges) {
    // A dim, soft shot under hard conditions (1.6 stops under, 2.3 px of blur, 2 % noise)
    // saved linear, as scene-linear files are. Edges taken on the linear values themselves
    // lose the dark patches in their noise (this frame was not found so); re-encoded for
    // the edges, it is found. (Its sRGB and S-Log3 versions are not: a root keeps more
    // of the highlights apart than sRGB's clip.)
    const refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    synth_conditions cond = synth_hard();
    cond.card_min = 0.2;
    cond.card_max = 0.3;
    const int encode = synth_entry("Linear sRGB");
    const synth_shot shot = shot_of(cond, chart, 960, 540, 10, encode);
    OfxPointD corners[4];
    ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
    EXPECT_LT(corner_error(corners, shot.corners), 0.01);
    EXPECT_TRUE(linear_code_values(&TRANSFER_FUNCTION[synth_entry("Linear sRGB")]));
    EXPECT_TRUE(linear_code_values(&TRANSFER_FUNCTION[synth_entry("ACEScg")]));
    EXPECT_FALSE(linear_code_values(&TRANSFER_FUNCTION[synth_entry("sRGB")]));
    EXPECT_FALSE(
        linear_code_values(&TRANSFER_FUNCTION[synth_entry("Sony S-Log3 / S-Gamut3.Cine")]));
}

TEST(finder, the_video_charts_two_groups_are_joined_across_the_card) {
    // The video chart's patches lie in two groups at opposite corners. Turned and tilted
    // as here, the body between them is wider than 2.5 times a group's radius, and each
    // group alone was placed as if it were the whole chart and turned down.
    const refcard_type chart = XRITE_COLORCHECKER_VIDEO_COMPAT;
    synth_conditions cond = synth_hard();
    cond.card_min = std::max(cond.card_min, synth_min_card_share(chart, 1080, 11));
    cond.card_max = std::max(cond.card_max, cond.card_min * 1.5);
    const int encode = synth_entry("sRGB");
    const synth_shot shot = shot_of(cond, chart, 1920, 1080, 1021, encode);
    OfxPointD corners[4];
    ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
    EXPECT_LT(corner_error(corners, shot.corners), 0.02);
}

TEST(finder, a_soft_frame_is_looked_at_again_with_fewer_edges) {
    // A soft (2.3 px of blur) S-Log3 shot of a small card: at the first look's edge
    // threshold the bands of edge around each patch leave too few regions and nothing is
    // found; the second look, with only the stronger edges, places it.
    const refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    const int encode = synth_entry("Sony S-Log3 / S-Gamut3.Cine");
    const synth_shot shot = shot_of(synth_hard(), chart, 1920, 1080, 1008, encode);
    OfxPointD corners[4];
    ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
    EXPECT_LT(corner_error(corners, shot.corners), 0.02);
}

TEST(finder, small_cards_are_placed_by_a_finer_second_pass) {
    // A 140-patch chart at 11 % of a 1080-row frame has patches of about 11 pixels: at the
    // working size the first pass places this one only roughly, and its colours read there
    // turn it down. The second pass over its surroundings, magnified, finds it with every
    // corner within 1 % of the diagonal.
    const refcard_type chart = XRITE_COLORCHECKER_SG_AFTER_NOV2014;
    synth_conditions cond = synth_moderate();
    cond.card_min = std::max(0.06, synth_min_card_share(chart, 1080, 11));
    cond.card_max = cond.card_min * 1.25;
    const int encode = synth_entry("sRGB");
    const synth_shot shot = shot_of(cond, chart, 1920, 1080, 1, encode);
    OfxPointD corners[4];
    ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
    EXPECT_LT(corner_error(corners, shot.corners), 0.01);
}

namespace {

// Hard 1080p shots of `chart` (seed and encoding), drawn as the detection harness draws
// them, each found with every corner within 2 % of the diagonal.
struct hard_shot {
    uint64_t seed;
    const char* encoding;
};
void expect_hard_shots_found(refcard_type chart, std::initializer_list<hard_shot> shots) {
    for (const hard_shot& c : shots) {
        SCOPED_TRACE(c.seed);
        const int encode = synth_entry(c.encoding);
        const synth_shot shot = shot_of(hard_for(chart, 1080), chart, 1920, 1080, c.seed, encode);
        OfxPointD corners[4];
        ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
        EXPECT_LT(corner_error(corners, shot.corners), 0.02);
    }
}

}  // namespace

TEST(finder, small_many_patch_cards_are_found_by_a_magnified_look) {
    // SGs of 127 and 137 pixels in a 1080-row frame, two stops and 1.2 over: their patches
    // of 10 pixels, eaten into by the edges around them, leave regions too small to count
    // at the working size, and neither of the first two looks finds a cluster. At one and
    // a half times the working size they do, and the finer pass places the card.
    expect_hard_shots_found(XRITE_COLORCHECKER_SG_AFTER_NOV2014,
                            {{2019, "Linear sRGB"}, {2010, "Linear sRGB"}});
}

TEST(finder, a_far_side_carried_from_patches_at_one_end_stays_on_the_card) {
    // The OneShot is placed from its six squares, a ninth of the card. Fitted freely, the
    // perspective of so small a cluster carried its far corners 2 to 2.3 % of the diagonal
    // out in these shots; held towards an affine map they land within 2 %.
    expect_hard_shots_found(DSCLABS_ONESHOT, {{1011, "Sony S-Log3 / S-Gamut3.Cine"},
                                              {1014, "Sony S-Log3 / S-Gamut3.Cine"},
                                              {2001, "Linear sRGB"}});
}

TEST(finder, an_end_without_squares_is_held_by_its_oblong_patches) {
    // The OneShot's white, grey and black pieces along its far end are too oblong for
    // the layout, but show as regions: added to the map of the six squares, they place
    // that end, which the squares alone carried 2.2 and 2.6 % of the diagonal off in the
    // first two shots. The other three lost a square to glare or clipping and are placed
    // from the five left.
    expect_hard_shots_found(DSCLABS_ONESHOT, {{4009, "Linear sRGB"},
                                              {4015, "Linear sRGB"},
                                              {3004, "sRGB"},
                                              {3009, "Linear sRGB"},
                                              {4004, "sRGB"}});
}

TEST(finder, overexposed_cards_are_judged_on_what_did_not_clip) {
    // 1.7 to 1.9 stops over: most patches clip in some channel, the placements are right,
    // and the colours must be judged on what is left below the top.
    expect_hard_shots_found(DGKCOLORTOOLS_DKK_5x7, {{4006, "Linear sRGB"}});
    expect_hard_shots_found(XRITE_COLORCHECKER_PASSPORT_VIDEO, {{1010, "Linear sRGB"}});
    expect_hard_shots_found(DATACOLOR_SPYDERCHECKR, {{1010, "Linear sRGB"}, {4006, "Linear sRGB"}});
}

// The Video chart's patches stand in two blocks with the card's body between them. When
// one block leaves too few regions to join the other's cluster, that cluster must be
// placed as its own block (with the card's far side carried across the body), not as the
// whole chart squeezed onto it; and patches the cluster missed are taken from the frame.
TEST(finder, a_chart_in_two_blocks_placed_from_one) {
    struct shot_case {
        uint64_t seed;
        const char* encoding;
        const char* what;
    };
    const shot_case cases[] = {
        {2003, "sRGB", "the grey block too close to the body for regions"},
        {1019, "Linear sRGB", "a cluster of the colour block and part of the greys"},
    };
    const refcard_type chart = XRITE_COLORCHECKER_VIDEO_COMPAT;
    synth_conditions cond = synth_hard();
    cond.card_min = std::max(cond.card_min, synth_min_card_share(chart, 1080, 11));
    cond.card_max = std::max(cond.card_max, cond.card_min * 1.5);
    for (const shot_case& c : cases) {
        SCOPED_TRACE(c.what);
        const int encode = synth_entry(c.encoding);
        const synth_shot shot = shot_of(cond, chart, 1920, 1080, c.seed, encode);
        OfxPointD corners[4];
        ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
        EXPECT_LT(corner_error(corners, shot.corners), 0.02);
    }
}

TEST(finder, hard_shots_where_the_cluster_misled_the_placement) {
    struct shot_case {
        refcard_type chart;
        uint64_t seed;
        const char* encoding;
        const char* what;
    };
    const shot_case cases[] = {
        // A tilted card with a pink square just outside its left edge: the square joins
        // the patches' cluster, stands outermost on that side and turns the side's line by
        // 20 degrees, after which the patches fit no grid. Without the square they do.
        {XRITE_COLORCHECKER_24_AFTER_NOV2014, 2013, "sRGB", "a square of clutter against the card"},
        // The same square beside an SG, and a second stray region beyond the card's far
        // corner: with both in the cluster the pink one no longer stands outermost on its
        // side (the side has turned to take it in), so only taking away the regions that
        // stand out farthest from the rest, one after another, leaves the grid.
        {XRITE_COLORCHECKER_SG_AFTER_NOV2014, 2013, "Linear sRGB", "two strays around an SG"},
        // A card 1.6 stops under, with glare on two patches: placed on its grid, its
        // colours err more than those read at the corners of a cluster of background
        // shapes that fits no grid. A placement on the grid must outrank that one.
        {XRITE_COLORCHECKER_24_AFTER_NOV2014, 2014, "sRGB",
         "the card's own grid against better-fitting colours off any grid"},
    };
    for (const shot_case& c : cases) {
        SCOPED_TRACE(c.what);
        const refcard_type chart = c.chart;
        const int encode = synth_entry(c.encoding);
        const synth_shot shot = shot_of(hard_for(chart, 1080), chart, 1920, 1080, c.seed, encode);
        OfxPointD corners[4];
        ASSERT_EQ(find(shot, chart, encode, corners), FINDER_FOUND);
        EXPECT_LT(corner_error(corners, shot.corners), 0.02);
    }
}
