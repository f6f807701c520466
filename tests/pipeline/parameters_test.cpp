#include "pipeline/parameters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "pipeline/slots.h"
#include "tests/support/fit_support.h"

using fit_support::params_for;

TEST(Parameters, DefaultsAreByteForByteRepeatable) {
    parameters a, b;
    std::memset(static_cast<void*>(&a), 0xa5, sizeof a);
    std::memset(static_cast<void*>(&b), 0x3c, sizeof b);
    parameters_defaults(&a);
    parameters_defaults(&b);
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
    EXPECT_EQ(a.mode, CORRECTION_DELTAE);
    EXPECT_TRUE(a.white_balance && a.preserve_lightness && a.highlight_protection);
    EXPECT_EQ(a.saturation, 100.0f);
    EXPECT_EQ(a.source.ref, a.target.ref);
    EXPECT_EQ(a.input_transfer.kind, 2);
}

TEST(Parameters, ToneSlotsAndHighlightSwitch) {
    parameters p = params_for(3, 3, CORRECTION_NONE);
    float c[COEFFICIENT_COUNT];
    set_coefficents(c, &p);
    EXPECT_EQ(c[GAMMA], 1.0f);
    EXPECT_EQ(c[AB_SCALE], 1.0f);
    EXPECT_NE(c[WV], 0.0f);
    p.grays = 0.25f;
    p.saturation = 150.0f;
    p.contrast = 1.5f;
    p.blacks = -0.25f;
    p.whites = 0.5f;
    set_coefficents(c, &p);
    EXPECT_EQ(c[GAMMA], 0.5f);
    EXPECT_EQ(c[AB_SCALE], 1.5f);
    EXPECT_EQ(c[CONTRAST], 1.5f);
    EXPECT_EQ(c[BLACKS], -0.25f);
    EXPECT_EQ(c[WHITES], 0.5f);
    p.highlight_protection = false;
    set_coefficents(c, &p);
    EXPECT_EQ(c[WV], 0.0f);
    p.highlight_protection = true;
    p.mode = CORRECTION_IDENTITY;
    set_coefficents(c, &p);
    EXPECT_EQ(c[WV], 0.0f);
}

TEST(Parameters, MemoAnswersRepeatsAndStaysConsistentAcrossThreads) {
    coefficient_memo_clear();
    parameters a = params_for(43, 3, CORRECTION_DELTAE);
    parameters b = params_for(43, 3, CORRECTION_MIX_CHANNELS);
    float fa[COEFFICIENT_COUNT], fb[COEFFICIENT_COUNT];
    set_coefficents(fa, &a);
    set_coefficents(fb, &b);
    float m[COEFFICIENT_COUNT];
    set_coefficents_memo(m, &a);
    EXPECT_EQ(0, std::memcmp(m, fa, sizeof m));
    set_coefficents_memo(m, &a);
    EXPECT_EQ(0, std::memcmp(m, fa, sizeof m));
    EXPECT_EQ(coefficient_memo_counts().hits, 1);
    EXPECT_EQ(coefficient_memo_counts().misses, 1);
    // A changed field is a different record.
    parameters a2 = a;
    a2.exposure = 0.5f;
    set_coefficents_memo(m, &a2);
    EXPECT_NE(0, std::memcmp(m, fa, sizeof m));
    EXPECT_EQ(coefficient_memo_counts().misses, 2);

    // Render threads asking at once, for alternating records, always get the right vector.
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                const bool first = (i + t) % 2 == 0;
                float v[COEFFICIENT_COUNT];
                set_coefficents_memo(v, first ? &a : &b);
                if (std::memcmp(v, first ? fa : fb, sizeof v) != 0) ++wrong[(size_t)t];
            }
        });
    for (auto& th : threads) th.join();
    for (int w : wrong) EXPECT_EQ(w, 0);
    // Bounded: many different records later, the memo still answers and stays small.
    for (int i = 0; i < 20; ++i) {
        parameters q = a;
        q.exposure = (float)i * 0.1f;
        set_coefficents_memo(m, &q);
    }
    const long misses = coefficient_memo_counts().misses;
    set_coefficents_memo(m, &a);  // long evicted: fitted again
    EXPECT_EQ(coefficient_memo_counts().misses, misses + 1);
}
