#include "synth/synth.h"

#include <gtest/gtest.h>

#include <cmath>

#include "cards/finder.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"

TEST(synth, same_scene_same_bits_and_seeds_differ) {
    const synth_scene a = synth_draw(synth_hard(), DATACOLOR_SPYDERCHECKR, 320, 200, 5);
    const synth_scene b = synth_draw(synth_hard(), DATACOLOR_SPYDERCHECKR, 320, 200, 5);
    const synth_scene c = synth_draw(synth_hard(), DATACOLOR_SPYDERCHECKR, 320, 200, 6);
    synth_shot sa, sb, sc;
    synth_render(a, &sa);
    synth_render(b, &sb);
    synth_render(c, &sc);
    ASSERT_EQ(sa.pixels.size(), size_t(320) * 200 * 4);
    EXPECT_EQ(sa.pixels, sb.pixels);
    EXPECT_NE(sa.pixels, sc.pixels);
    EXPECT_EQ(sa.frame.right, 320);
    EXPECT_EQ(sa.frame.row_bytes, 320 * 16);
    EXPECT_EQ(reinterpret_cast<float*>(sa.frame.pixels), sa.pixels.data());
}

TEST(synth, drawn_cards_lie_inside_the_frame) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        const refcard_type chart = refcard_type(seed % REFCARD_TYPE_COUNT);
        const synth_scene s =
            synth_draw(seed % 2 ? synth_hard() : synth_moderate(), chart, 320, 180, seed);
        synth_shot shot;
        synth_render(s, &shot);
        for (const OfxPointD& p : shot.card_square) {
            EXPECT_GE(p.x, 0) << seed;
            EXPECT_GE(p.y, 0) << seed;
            EXPECT_LE(p.x, 320) << seed;
            EXPECT_LE(p.y, 180) << seed;
        }
    }
}

TEST(synth, truth_of_a_card_facing_the_camera) {
    synth_scene s;
    s.width = 400;
    s.height = 300;
    s.card_height = 160;
    s.centre_x = 200;
    s.centre_y = 150;
    s.encode = 0;  // linear: pixels are the rendered camera values
    s.exposure = 0.8;
    s.cast[0] = 1.2;
    s.cast[2] = 0.7;
    const double camera[9] = {0.9, 0.1, 0, 0.05, 0.9, 0.05, 0, 0.1, 0.9};
    std::copy(camera, camera + 9, s.camera);
    synth_shot shot;
    synth_render(s, &shot);
    // The unit square of card coordinates: 1.5 card heights wide for this chart.
    EXPECT_NEAR(shot.card_square[0].x, 200 - 120, 1e-9);
    EXPECT_NEAR(shot.card_square[0].y, 150 - 80, 1e-9);
    EXPECT_NEAR(shot.card_square[2].x, 200 + 120, 1e-9);
    EXPECT_NEAR(shot.card_square[2].y, 150 + 80, 1e-9);
    // The finder's corners lie outside the patches by the chart's margins.
    const reference_card* ref = refcard(s.chart);
    const double w = shot.patch_edges[1].x - shot.patch_edges[0].x;
    const double h = shot.patch_edges[3].y - shot.patch_edges[0].y;
    EXPECT_NEAR(shot.corners[0].x, shot.patch_edges[0].x - ref->margin_left * w, 1e-9);
    EXPECT_NEAR(shot.corners[2].y, shot.patch_edges[2].y + ref->margin_bottom * h, 1e-9);
    // Every patch centre shows the rendered camera value of its reference colour.
    ASSERT_EQ(shot.patch_count, 24);
    for (int i = 0; i < shot.patch_count; ++i) {
        const float u = ref->patches[i].u, v = ref->patches[i].v;
        const int x = int(std::lround(80 + u * 240)), y = int(std::lround(70 + v * 160));
        const float* px = shot.pixels.data() + (size_t(y) * 400 + size_t(x)) * 4;
        for (int k = 0; k < 3; ++k) {
            double want = 0;
            for (int j = 0; j < 3; ++j)
                want += camera[3 * k + j] * s.cast[j] * s.exposure *
                        shot.reference[size_t(i) * 3 + size_t(j)];
            EXPECT_NEAR(px[k], want, 1e-5) << i << " " << k;
            EXPECT_NEAR(shot.scene[size_t(i) * 3 + size_t(k)], want, 1e-5);
        }
    }
}

TEST(synth, frames_are_encoded_with_the_catalogue_curve) {
    synth_scene s;
    s.width = 200;
    s.height = 120;
    s.card_height = 80;
    s.centre_x = 100;
    s.centre_y = 60;
    s.encode = synth_entry("ARRI LogC4");
    ASSERT_GT(s.encode, 0);
    synth_shot encoded, linear;
    synth_render(s, &encoded);
    s.encode = 0;
    synth_render(s, &linear);
    float coeffs[COEFFICIENT_COUNT] = {};
    set_coefficents_for_transfer_function(coeffs, 'o',
                                          &TRANSFER_FUNCTION[synth_entry("ARRI LogC4")]);
    for (size_t p = 0; p < linear.pixels.size(); p += 997) {
        if (p % 4 == 3) continue;
        float v = linear.pixels[p];
        apply_output_transfer(coeffs, &v, 1);
        EXPECT_EQ(encoded.pixels[p], v) << p;
    }
}

TEST(synth, smallest_findable_card_shrinks_with_frame_height) {
    const double sg = synth_min_card_share(XRITE_COLORCHECKER_SG_AFTER_NOV2014, 540, 20);
    const double cc = synth_min_card_share(XRITE_COLORCHECKER_24_AFTER_NOV2014, 540, 20);
    EXPECT_GT(sg, 2 * cc);  // ten rows of patches against four
    EXPECT_NEAR(synth_min_card_share(XRITE_COLORCHECKER_24_AFTER_NOV2014, 1200, 20), cc / 2, 1e-9);
    EXPECT_EQ(synth_min_card_share(XRITE_COLORCHECKER_24_AFTER_NOV2014, 2400, 20),
              synth_min_card_share(XRITE_COLORCHECKER_24_AFTER_NOV2014, 1200, 20));
}

TEST(synth, demo_shot_is_found) {
    synth_shot shot;
    const int encode = synth_entry("ARRI LogC4");
    synth_demo_shot(640, 360, encode, XRITE_COLORCHECKER_24_AFTER_NOV2014, &shot);
    card ref;
    cardMakeRef(&ref, &COLOR_SPACE[synth_entry("Rec. 709")], XRITE_COLORCHECKER_24_AFTER_NOV2014);
    OfxPointD corners[4];
    ASSERT_EQ(cardFind(nullptr, &shot.frame, &TRANSFER_FUNCTION[encode], &ref, corners),
              FINDER_FOUND);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(corners[k].x, shot.corners[k].x, 4) << k;
}
