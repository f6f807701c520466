#include "host/colorcard.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/fake_host.h"
#include "tests/support/host_support.h"

namespace {

// A sampled ColorChecker with distinct display values and a transfer function whose every
// field (flags included) is set, so that a field in the wrong word shows.
struct sample {
    transfer_function tf{};
    color_space cs{};
    card c{};
    sample() {
        tf = TRANSFER_FUNCTION[2];
        tf.iso = 800;
        tf.a = 0.25f;
        tf.b = -1.5f;
        tf.c = 3.0f;
        tf.d = 1e-3f;
        tf.e = 7.0f;
        tf.f = -0.0f;
        tf.g = 1;
        tf.h = 0;
        tf.i = 1;
        tf.black = 16.0f / 255.0f;
        tf.white = 235.0f / 255.0f;
        cs = COLOR_SPACE[2];
        std::memset(&c, 0, sizeof c);
        cardMakeRef(&c, &cs, XRITE_COLORCHECKER_24_AFTER_NOV2014);
        c.reference = 0;
        c.display_valid = 1;
        for (int k = 0; k < 24; ++k)
            for (int ch = 0; ch < 3; ++ch)
                c.display[ch][k] = 0.01f * static_cast<float>(k) + 0.3f * static_cast<float>(ch);
    }
};

// Network byte order written out by hand, independently of HTONF.
void put_be(std::vector<uint8_t>& bytes, int word, float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k)
        bytes[size_t(4 * word + k)] = static_cast<uint8_t>(bits >> (24 - 8 * k));
}

float stored(const std::vector<uint8_t>& bytes, int word) {
    uint32_t raw;
    std::memcpy(&raw, bytes.data() + 4 * word, 4);
    return NTOHF(raw);
}

void fix_checksum(uint8_t* buffer) {
    for (int pos = 0; pos < 4; ++pos) {
        uint8_t x = 0;
        for (int w = 1; w < COLORCARD_CODE_WORDS; ++w) x ^= buffer[4 * w + pos];
        buffer[pos] = x;
    }
}

void forge(std::vector<uint8_t>& buffer, int word, float value) {
    put_be(buffer, word, value);
    fix_checksum(buffer.data());
}

std::vector<uint8_t> encoded(const sample& s) {
    std::vector<uint8_t> buffer(COLORCARD_CODE_BYTES);
    encode_data(buffer.data(), &s.tf, &s.cs, &s.c);
    return buffer;
}

// Outputs filled with a pattern, to see that a refused decode leaves them alone.
struct outputs : decoder_outputs {
    int decode(const std::vector<uint8_t>& buffer) {
        return decode_data(&tf, &cs, &c, buffer.data());
    }
};

TEST(ColorCardEncoding, FloatsTravelBigEndianAndBackBitForBit) {
    const uint32_t one = HTONF(1.0f);
    uint8_t bytes[4];
    std::memcpy(bytes, &one, 4);
    EXPECT_EQ(bytes[0], 0x3F);
    EXPECT_EQ(bytes[1], 0x80);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x00);
    const float values[] = {-std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            -0.0f,
                            std::numeric_limits<float>::denorm_min(),
                            0.18f,
                            -3.25e38f};
    for (float v : values)
        EXPECT_EQ(std::bit_cast<uint32_t>(NTOHF(HTONF(v))), std::bit_cast<uint32_t>(v));
}

TEST(ColorCardEncoding, MatchesTheWordTableByteForByte) {
    const sample s;
    std::vector<uint8_t> expect(COLORCARD_CODE_BYTES, 0);
    put_be(expect, 1, 1.0f);
    put_be(expect, 2, static_cast<float>(s.tf.kind));
    put_be(expect, 3, 1.0f);   // chart type
    put_be(expect, 4, 10.0f);  // sampled (bit 0 clear), i set (bit 1), h clear, g set (bit 3)
    put_be(expect, 5, 800.0f);
    const float transfer[8] = {0.25f, -1.5f, 3.0f, 1e-3f, 7.0f, -0.0f, s.tf.black, s.tf.white};
    for (int k = 0; k < 8; ++k) put_be(expect, 8 + k, transfer[k]);
    const double space[8] = {s.cs.red_x,  s.cs.red_y,  s.cs.green_x, s.cs.green_y,
                             s.cs.blue_x, s.cs.blue_y, s.cs.white_x, s.cs.white_y};
    for (int k = 0; k < 8; ++k) put_be(expect, 16 + k, static_cast<float>(space[k]));
    for (int k = 0; k < 24; ++k)
        for (int ch = 0; ch < 3; ++ch) put_be(expect, 24 + 3 * k + ch, s.c.display[ch][k]);
    fix_checksum(expect.data());

    std::vector<uint8_t> got(COLORCARD_CODE_BYTES, 0xEE);
    const uint32_t sum = encode_data(got.data(), &s.tf, &s.cs, &s.c);
    ASSERT_EQ(got, expect);
    uint32_t word0;
    std::memcpy(&word0, got.data(), 4);
    EXPECT_EQ(sum, word0);
}

TEST(ColorCardEncoding, SampledCardRoundTripsWithLinearValuesRebuilt) {
    const sample s;
    outputs o;
    ASSERT_EQ(o.decode(encoded(s)), 1);
    EXPECT_EQ(o.tf.kind, s.tf.kind);
    EXPECT_EQ(o.tf.iso, 800);
    EXPECT_EQ(std::bit_cast<uint32_t>(o.tf.f), std::bit_cast<uint32_t>(-0.0f));
    EXPECT_EQ(o.tf.a, s.tf.a);
    EXPECT_EQ(o.tf.d, s.tf.d);
    EXPECT_EQ(o.tf.black, s.tf.black);
    EXPECT_EQ(o.tf.white, s.tf.white);
    EXPECT_EQ(o.tf.g, 1);
    EXPECT_EQ(o.tf.h, 0);
    EXPECT_EQ(o.tf.i, 1);
    EXPECT_EQ(o.cs.white_x, static_cast<double>(static_cast<float>(s.cs.white_x)));
    EXPECT_EQ(o.c.ref, refcard(XRITE_COLORCHECKER_24_AFTER_NOV2014));
    EXPECT_EQ(o.c.reference, 0);
    EXPECT_EQ(o.c.display_valid, 1);

    card expect = o.c;
    for (int k = 0; k < 24; ++k)
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(o.c.display[ch][k], s.c.display[ch][k]);
            expect.linear[ch][k] = -1.0f;
        }
    cardUpdateLinearFromDisplay(&expect, &o.tf);
    for (int k = 0; k < 24; ++k)
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(o.c.linear[ch][k], expect.linear[ch][k]);
}

TEST(ColorCardEncoding, ReferenceCardIsRebuiltFromTheChartWhateverWasStored) {
    sample s;
    s.c.reference = 1;
    std::vector<uint8_t> buffer = encoded(s);
    EXPECT_EQ(stored(buffer, 4), 11.0f);
    for (int w = 24; w < 24 + 72; ++w) forge(buffer, w, 0.5f);
    outputs o;
    ASSERT_EQ(o.decode(buffer), 1);
    card ref{};
    cardMakeRef(&ref, &o.cs, XRITE_COLORCHECKER_24_AFTER_NOV2014);
    EXPECT_EQ(o.c.reference, 1);
    for (int k = 0; k < 24; ++k)
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(o.c.linear[ch][k], ref.linear[ch][k]);
}

TEST(ColorCardEncoding, FlagBytesAreBytesNotBooleans) {
    sample s;
    s.c.reference = 200;
    s.tf.g = 255;
    s.tf.h = 2;
    s.tf.i = 0;
    const std::vector<uint8_t> buffer = encoded(s);
    EXPECT_EQ(stored(buffer, 4), 13.0f);
    outputs o;
    ASSERT_EQ(o.decode(buffer), 1);
    EXPECT_EQ(o.tf.g, 1);
    EXPECT_EQ(o.tf.h, 1);
    EXPECT_EQ(o.tf.i, 0);
}

TEST(ColorCardEncoding, EveryChangedByteFailsTheChecksumAndChangesNothing) {
    const std::vector<uint8_t> good = encoded(sample());
    std::vector<uint8_t> buffer = good;
    outputs o;
    int refused = 0;
    for (size_t at = 0; at < buffer.size(); ++at) {
        buffer[at] ^= static_cast<uint8_t>(1u << (at % 8));
        if (o.decode(buffer) == -2) ++refused;
        buffer[at] = good[at];
    }
    EXPECT_EQ(refused, static_cast<int>(COLORCARD_CODE_BYTES));
    EXPECT_TRUE(o.untouched());
}

TEST(ColorCardEncoding, NewerVersionAndForgedContentAnswerMinusOne) {
    const std::vector<uint8_t> good = encoded(sample());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct {
        int word;
        float value;
    } forged[] = {{1, 2.0f}, {1, 1.0000001f}, {3, 10.0f}, {3, -1.0f}, {3, 1e10f},
                  {3, nan},  {3, inf},        {2, nan},   {2, 3e9f},  {4, nan},
                  {4, -inf}, {5, 3e9f},       {5, -3e9f}, {5, nan}};
    for (const auto& f : forged) {
        std::vector<uint8_t> buffer = good;
        forge(buffer, f.word, f.value);
        outputs o;
        EXPECT_EQ(o.decode(buffer), -1) << "word " << f.word << " = " << f.value;
        EXPECT_TRUE(o.untouched());
    }
    // A chart type with a fraction is read by its integer part, as any stored integer.
    std::vector<uint8_t> buffer = good;
    forge(buffer, 3, 9.75f);
    outputs o;
    ASSERT_EQ(o.decode(buffer), 1);
    EXPECT_EQ(o.c.ref, refcard(DSCLABS_ONESHOT));
}

TEST(ColorCardEncoding, CardWithoutAKnownChartEncodesAsUnreadable) {
    sample s;
    s.c.ref = nullptr;
    outputs o;
    EXPECT_EQ(o.decode(encoded(s)), -1);
    EXPECT_TRUE(o.untouched());
}

// ---------------------------------------------------------------------------
// The host callbacks

card* value_of(PF_Handle h) {
    return reinterpret_cast<card*>(*h);
}

TEST(ColorCardCallbacks, CreateCopyAndCompare) {
    fake_host host;
    const handle_ledger ledger;
    const color_space cs = COLOR_SPACE[1];
    PF_Handle a = nullptr, b = nullptr;
    ASSERT_EQ(CG_Create(&host.in, &host.out, &a, &cs, DATACOLOR_SPYDERCHECKR), PF_Err_NONE);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(headless_get_handle_size(a), COLORCARD_BYTES);
    card ref{};
    cardMakeRef(&ref, &cs, DATACOLOR_SPYDERCHECKR);
    EXPECT_EQ(value_of(a)->ref, ref.ref);
    EXPECT_EQ(value_of(a)->reference, 1);
    EXPECT_EQ(std::memcmp(value_of(a)->linear, ref.linear, 48 * sizeof(float)), 0);
    for (size_t k = sizeof(card); k < COLORCARD_BYTES; ++k) EXPECT_EQ((*a)[k], 0);

    ASSERT_EQ(CG_Copy(&host.in, &host.out, &a, &b), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(*a, *b, COLORCARD_BYTES), 0);
    PF_ArbCompareResult result = PF_ArbCompare_NOT_EQUAL;
    ASSERT_EQ(CG_Compare(&host.in, &host.out, &a, &b, &result), PF_Err_NONE);
    EXPECT_EQ(result, PF_ArbCompare_EQUAL);

    // Bytes compare unsigned: 0x80 is more than 0x7F. Display planes count too.
    auto* da = reinterpret_cast<uint8_t*>(value_of(a)->display[2]);
    auto* db = reinterpret_cast<uint8_t*>(value_of(b)->display[2]);
    da[5] = 0x80;
    db[5] = 0x7F;
    ASSERT_EQ(CG_Compare(&host.in, &host.out, &a, &b, &result), PF_Err_NONE);
    EXPECT_EQ(result, PF_ArbCompare_MORE);
    ASSERT_EQ(CG_Compare(&host.in, &host.out, &b, &a, &result), PF_Err_NONE);
    EXPECT_EQ(result, PF_ArbCompare_LESS);

    headless_dispose_handle(a);
    headless_dispose_handle(b);
    EXPECT_EQ(ledger.leaked(), 0);
    EXPECT_EQ(ledger.locked(), 0);
    EXPECT_EQ(ledger.misuse(), 0);
}

TEST(ColorCardCallbacks, ShortHandlesReadAsZeroPaddedValues) {
    fake_host host;
    const handle_ledger ledger;
    PF_Handle small = headless_new_handle(100);
    std::memset(*small, 0x11, 100);
    PF_Handle copy = nullptr;
    ASSERT_EQ(CG_Copy(&host.in, &host.out, &small, &copy), PF_Err_NONE);
    EXPECT_EQ(headless_get_handle_size(copy), COLORCARD_BYTES);
    EXPECT_EQ((*copy)[99], 0x11);
    EXPECT_EQ((*copy)[100], 0);
    PF_ArbCompareResult result;
    ASSERT_EQ(CG_Compare(&host.in, &host.out, &small, &copy, &result), PF_Err_NONE);
    EXPECT_EQ(result, PF_ArbCompare_EQUAL);
    headless_dispose_handle(small);
    headless_dispose_handle(copy);
    EXPECT_EQ(ledger.leaked(), 0);
    EXPECT_EQ(ledger.misuse(), 0);
}

TEST(ColorCardCallbacks, InterpolateGivesLinearOnlySampledCards) {
    fake_host host;
    const handle_ledger ledger;
    const color_space cs = COLOR_SPACE[1];
    PF_Handle left = nullptr, right = nullptr;
    ASSERT_EQ(CG_Create(&host.in, &host.out, &left, &cs, XRITE_COLORCHECKER_24_AFTER_NOV2014), 0);
    ASSERT_EQ(CG_Create(&host.in, &host.out, &right, &cs, DGKCOLORTOOLS_DKK_5x7), 0);
    for (int k = 0; k < CARD_MAX_PATCHES; ++k)
        for (int ch = 0; ch < 3; ++ch) {
            value_of(left)->linear[ch][k] = 0.5f + static_cast<float>(k) * 1e-3f;
            value_of(right)->linear[ch][k] = 0.25f * static_cast<float>(ch);
            value_of(left)->display[ch][k] = 0.75f;
        }
    value_of(left)->display_valid = 1;

    for (const double t : {0.0, 1.0, 0.25}) {
        PF_Handle out = nullptr;
        ASSERT_EQ(CG_Interpolate(&host.in, &host.out, t, &left, &right, &out), PF_Err_NONE);
        const card* c = value_of(out);
        EXPECT_EQ(c->ref, value_of(left)->ref);
        EXPECT_EQ(c->reference, 0);
        EXPECT_EQ(c->display_valid, 0);
        const float tf = static_cast<float>(t);
        for (int k = 0; k < CARD_MAX_PATCHES; ++k)
            for (int ch = 0; ch < 3; ++ch) {
                const float l = value_of(left)->linear[ch][k], r = value_of(right)->linear[ch][k];
                ASSERT_EQ(c->linear[ch][k], l * (1.0f - tf) + r * tf);
                ASSERT_EQ(c->display[ch][k], 0.0f);
            }
        if (t == 0.0) {
            EXPECT_EQ(c->linear[1][7], value_of(left)->linear[1][7]);
        }
        if (t == 1.0) {
            EXPECT_EQ(c->linear[2][7], value_of(right)->linear[2][7]);
        }
        headless_dispose_handle(out);
    }
    headless_dispose_handle(left);
    headless_dispose_handle(right);
    EXPECT_EQ(ledger.leaked(), 0);
    EXPECT_EQ(ledger.misuse(), 0);
}

TEST(ColorCardCallbacks, PrintWholeOrNothing) {
    fake_host host;
    const handle_ledger ledger;
    const color_space cs = COLOR_SPACE[1];
    PF_Handle h = nullptr;
    ASSERT_EQ(CG_Create(&host.in, &host.out, &h, &cs, DSCLABS_ONESHOT), 0);
    std::vector<char> buffer(COLORCARD_PRINT_BYTES, 'x');

    ASSERT_EQ(CG_Print(&host.in, &host.out, 0, h, COLORCARD_PRINT_BYTES, buffer.data()), 0);
    std::string expect = "ColorCard\t";
    for (int k = 0; k < 13; ++k) {
        char piece[128];
        std::snprintf(piece, sizeof piece, "%1.5f,%1.5f,%1.5f\t", double(value_of(h)->linear[0][k]),
                      double(value_of(h)->linear[1][k]), double(value_of(h)->linear[2][k]));
        expect += piece;
    }
    EXPECT_EQ(std::string(buffer.data()), expect);

    // Abbreviated, or a buffer too small for a whole card: an empty text and no error.
    buffer[0] = 'x';
    EXPECT_EQ(CG_Print(&host.in, &host.out, PF_ArbPrint_ABBREVIATED, h, COLORCARD_PRINT_BYTES,
                       buffer.data()),
              0);
    EXPECT_EQ(buffer[0], '\0');
    buffer[0] = 'x';
    EXPECT_EQ(CG_Print(&host.in, &host.out, 0, h, COLORCARD_PRINT_BYTES - 1, buffer.data()), 0);
    EXPECT_EQ(buffer[0], '\0');
    buffer[0] = 'x';
    EXPECT_EQ(CG_Print(&host.in, &host.out, 0, h, 0, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(CG_Print(&host.in, &host.out, 0, nullptr, COLORCARD_PRINT_BYTES, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 'x');

    // A value read back from a project has no chart address: only the heading is printed.
    std::memset(*h, 0, 8);
    ASSERT_EQ(CG_Print(&host.in, &host.out, 0, h, COLORCARD_PRINT_BYTES, buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data()), "ColorCard\t");
    headless_dispose_handle(h);
    EXPECT_EQ(ledger.leaked(), 0);
    EXPECT_EQ(ledger.misuse(), 0);
}

// Every allocation and lock that can fail, one at a time: the callbacks answer 4 (514 for a
// refused lock in CG_Print) and leave no handle behind and none locked.
TEST(ColorCardCallbacks, OutOfMemoryReturnsFourAndLeaksNothing) {
    fake_host host;
    const color_space cs = COLOR_SPACE[1];
    PF_Handle a = nullptr, b = nullptr;
    ASSERT_EQ(CG_Create(&host.in, &host.out, &a, &cs, XRITE_COLORCHECKER_24_AFTER_NOV2014), 0);
    ASSERT_EQ(CG_Create(&host.in, &host.out, &b, &cs, XRITE_COLORCHECKER_24_AFTER_NOV2014), 0);
    const handle_ledger ledger;

    auto expect_clean = [&](PF_Err err, PF_Handle out, const char* what) {
        EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY) << what;
        EXPECT_EQ(out, nullptr) << what;
        EXPECT_EQ(ledger.leaked(), 0) << what;
        EXPECT_EQ(ledger.locked(), 0) << what;
    };
    PF_Handle out = nullptr;
    headless_fail_allocations(0, 1);
    expect_clean(CG_Create(&host.in, &host.out, &out, &cs, DSCLABS_ONESHOT), out, "create/new");
    headless_fail_locks(0, 1);
    expect_clean(CG_Create(&host.in, &host.out, &out, &cs, DSCLABS_ONESHOT), out, "create/lock");
    headless_fail_allocations(0, 1);
    expect_clean(CG_Copy(&host.in, &host.out, &a, &out), out, "copy/new");
    for (int lock = 0; lock < 2; ++lock) {
        headless_fail_locks(lock, 1);
        expect_clean(CG_Copy(&host.in, &host.out, &a, &out), out, "copy/lock");
    }
    headless_fail_allocations(0, 1);
    expect_clean(CG_Interpolate(&host.in, &host.out, 0.5, &a, &b, &out), out, "interp/new");
    for (int lock = 0; lock < 3; ++lock) {
        headless_fail_locks(lock, 1);
        expect_clean(CG_Interpolate(&host.in, &host.out, 0.5, &a, &b, &out), out, "interp/lock");
    }
    PF_Handle none = nullptr;
    expect_clean(CG_Copy(&host.in, &host.out, &none, &out), out, "copy/no source");
    expect_clean(CG_Interpolate(&host.in, &host.out, 0.5, &a, &none, &out), out, "interp/none");
    PF_ArbCompareResult result = PF_ArbCompare_NOT_EQUAL;
    for (int lock = 0; lock < 2; ++lock) {
        headless_fail_locks(lock, 1);
        expect_clean(CG_Compare(&host.in, &host.out, &a, &b, &result), nullptr, "compare/lock");
    }
    EXPECT_EQ(result, PF_ArbCompare_NOT_EQUAL);
    char text[8] = "x";
    headless_fail_locks(0, 1);
    EXPECT_EQ(CG_Print(&host.in, &host.out, 0, a, sizeof text, text),
              PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_EQ(text[0], 'x');
    headless_fail_allocations(0, 0);
    headless_fail_locks(0, 0);
    EXPECT_EQ(ledger.locked(), 0);
    EXPECT_EQ(ledger.misuse(), 0);
    headless_dispose_handle(a);
    headless_dispose_handle(b);
}

}  // namespace
