// Reading patches from synthetic shots whose patch colours are known.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "cards/sampling.h"
#include "synth/synth.h"

namespace {

// Largest error of the read linear values against the rendered patch colours, relative
// to each value (with a small floor for the darkest patches).
double worst_relative_error(const synth_shot& shot, const card& c) {
    double worst = 0;
    for (int i = 0; i < shot.patch_count; ++i)
        for (int k = 0; k < 3; ++k) {
            const double truth = shot.scene[size_t(i) * 3 + size_t(k)];
            const double e = std::fabs(double(c.linear[k][i]) - truth) / std::max(truth, 0.05);
            worst = std::max(worst, e);
        }
    return worst;
}

synth_shot clean_shot(refcard_type chart, int w, int h, double card_height, double par = 1) {
    synth_scene s;
    s.width = w;
    s.height = h;
    s.pixel_aspect = par;
    s.chart = chart;
    s.card_height = card_height;
    s.centre_x = w * par / 2;
    s.centre_y = h / 2.0;
    s.rotation = 0.2;
    s.tilt_x = 0.3;
    s.blur = 0.5;
    s.encode = 0;  // linear: the truth is the rendered value
    synth_shot shot;
    synth_render(s, &shot);
    return shot;
}

}  // namespace

TEST(reading, patch_sampling_reads_small_patches_without_their_neighbours) {
    // An SG a quarter of a standard-definition frame high: patches about 10 pixels, so
    // the fixed 10 x 10 box reaches the neighbours and the card body around them.
    const synth_shot shot = clean_shot(XRITE_COLORCHECKER_SG_AFTER_NOV2014, 720, 480, 120);
    card patch{}, box{};
    patch.ref = box.ref = refcard(XRITE_COLORCHECKER_SG_AFTER_NOV2014);
    cardReadSampled(&shot.frame, nullptr, shot.card_square, &patch, CARD_SAMPLING_PATCH);
    cardReadSampled(&shot.frame, nullptr, shot.card_square, &box, CARD_SAMPLING_BOX);
    EXPECT_LT(worst_relative_error(shot, patch), 0.02);
    EXPECT_GT(worst_relative_error(shot, box), 0.1);
}

TEST(reading, patch_sampling_follows_squeezed_pixels_and_leaves_out_specks) {
    synth_shot shot = clean_shot(XRITE_COLORCHECKER_24_AFTER_NOV2014, 720, 480, 300, 40.0 / 33);
    // Specks on every patch centre: a few white pixels each.
    card where{};
    where.ref = refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    card_corners cc{};
    for (int k = 0; k < 4; ++k) {
        cc.x[k] = float(shot.card_square[k].x);
        cc.y[k] = float(shot.card_square[k].y);
    }
    card_interpolate_init(&cc);
    for (int i = 0; i < where.ref->patch_count; ++i) {
        float x, y;
        card_interpolate_xy(&x, &y, &cc, where.ref->patches[i].u, where.ref->patches[i].v);
        for (int d = 0; d < 3; ++d) {
            float* p = shot.pixels.data() + (size_t(int(y) + d) * 720 + size_t(int(x))) * 4;
            p[0] = p[1] = p[2] = 1.0f;
        }
    }
    card c{};
    c.ref = where.ref;
    cardReadSampled(&shot.frame, nullptr, shot.card_square, &c, CARD_SAMPLING_PATCH);
    EXPECT_LT(worst_relative_error(shot, c), 0.01);
}

TEST(reading, patch_sample_rects_lie_inside_their_cells) {
    for (int t = 0; t < REFCARD_TYPE_COUNT; ++t) {
        const reference_card* ref = refcard(refcard_type(t));
        for (int i = 0; i < ref->patch_count; ++i) {
            float u0, u1, v0, v1;
            patch_sample_rect(ref, i, &u0, &u1, &v0, &v1);
            EXPECT_GT(u1, u0) << t << " " << i;
            EXPECT_GT(v1, v0) << t << " " << i;
            EXPECT_GE(u0, 0) << t << " " << i;
            EXPECT_LE(u1, 1) << t << " " << i;
            // No other patch centre lies inside.
            for (int j = 0; j < ref->patch_count; ++j) {
                if (j == i) continue;
                const float u = ref->patches[j].u, v = ref->patches[j].v;
                EXPECT_FALSE(u > u0 && u < u1 && v > v0 && v < v1) << t << " " << i << " " << j;
            }
        }
    }
}
