#include "cli/correction_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "cli/command.h"

namespace {

// The message of the refusal, with the status checked.
std::string refusal(const correction_options& o) {
    try {
        resolve_correction(o);
    } catch (const cli_error& e) {
        EXPECT_EQ(e.status, 2);
        return e.what();
    }
    ADD_FAILURE() << "options accepted";
    return {};
}

TEST(CorrectionOptions, NothingGivenIsTheEffectsDefaults) {
    const correction_values v = resolve_correction(correction_options{});
    EXPECT_FALSE(v.input_item || v.output_item || v.iso || v.output_iso || v.levels ||
                 v.output_levels || v.chart_item || v.mode || v.wb || v.preserve_lightness ||
                 v.highlight_protection || v.exposure || v.grays || v.contrast || v.whites ||
                 v.blacks || v.saturation);
    parameters expected;
    parameters_defaults(&expected);
    const parameters p = correction_parameters(v);
    EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
}

TEST(CorrectionOptions, ModeWords) {
    // Short names in any case, the popup's own texts, and popup positions all name a mode.
    const struct {
        const char* word;
        int mode;
    } CASES[] = {{"none", 1},           {"per-channel", 2},  {"MIX", 3},
                 {"deltaE-wb", 4},      {"deltaE", 5},       {"Per Channel", 2},
                 {"deltaE WB only", 4}, {"mix channels", 3}, {"4", 4}};
    for (const auto& c : CASES) {
        correction_options o;
        o.mode = c.word;
        EXPECT_EQ(resolve_correction(o).mode, c.mode) << c.word;
    }
    correction_options o;
    o.mode = "sideways";
    EXPECT_NE(refusal(o).find("unknown --mode 'sideways'"), std::string::npos);
}

TEST(CorrectionOptions, SwitchesAndIso) {
    correction_options o;
    o.wb = "Off";
    o.preserve_lightness = "yes";
    o.iso = 0;  // the entry's own
    o.output_iso = 800;
    const correction_values v = resolve_correction(o);
    EXPECT_EQ(v.wb, false);
    EXPECT_EQ(v.preserve_lightness, true);
    EXPECT_FALSE(v.iso);
    EXPECT_EQ(v.output_iso, 800);
    EXPECT_EQ(correction_parameters(v).output_transfer.iso, 800);

    o = {};
    o.highlight_protection = "maybe";
    EXPECT_EQ(refusal(o), "--highlight-protection takes on or off, not 'maybe'");
    o = {};
    o.output_iso = 801;
    EXPECT_EQ(refusal(o).rfind("--output-iso must be one of 50|", 0), 0u);
}

TEST(CorrectionOptions, RangesIncludeTheirEnds) {
    correction_options o;
    o.exposure = -10;
    o.grays = 0.99;  // a slider's end, typed as the user sees it
    o.contrast = 20;
    o.whites = 1;
    o.blacks = -1;
    o.saturation = 500;
    o.levels = std::vector<double>{0.0, 1.0};
    const parameters p = correction_parameters(resolve_correction(o));
    EXPECT_EQ(p.grays, 0.99f);
    EXPECT_EQ(p.saturation, 500.0f);

    o = {};
    o.grays = 0.0;
    EXPECT_EQ(refusal(o), "--grays must lie between 0.01 and 0.99");
    o = {};
    o.saturation = 500.5;
    EXPECT_EQ(refusal(o), "--saturation must lie between 0 and 500");
    o = {};
    o.exposure = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(refusal(o), "--exposure must lie between -10 and 10");
}

TEST(CorrectionOptions, Levels) {
    correction_options o;
    o.output_levels = std::vector<double>{0.0625, 0.92};
    const parameters p = correction_parameters(resolve_correction(o));
    EXPECT_EQ(p.output_transfer.black, 0.0625f);
    EXPECT_EQ(p.output_transfer.white, 0.92f);
    // Equal levels would divide by zero in the levels slope.
    o.output_levels = std::vector<double>{0.5, 0.5};
    EXPECT_EQ(refusal(o), "--output-levels needs a black level different from white");
    o = {};
    o.levels = std::vector<double>{-0.1, 1.0};
    EXPECT_EQ(refusal(o), "--levels must lie between 0 and 1");
}

TEST(CorrectionOptions, EntriesAndChart) {
    correction_options o;
    o.input = "43";
    o.chart = "6";
    const correction_values v = resolve_correction(o);
    const parameters p = correction_parameters(v);
    EXPECT_EQ(std::memcmp(&p.input_transfer, &TRANSFER_FUNCTION[43], sizeof p.input_transfer), 0);
    ASSERT_NE(p.source.ref, nullptr);
    EXPECT_EQ(p.source.ref->type, CARD_TYPE[6]);
    EXPECT_EQ(p.target.ref, p.source.ref);
    o.input = "no such curve anywhere";
    EXPECT_NE(refusal(o).find("unknown transfer function"), std::string::npos);
}

}  // namespace
