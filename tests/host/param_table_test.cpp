// The parameter list as projects store it: every index with its name, kind, ranges,
// precision, flags and default, held against a transcription made independently of the code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "cards/card.h"
#include "host/params.h"
#include "pipeline/transfer.h"

namespace {

enum kind_code { NODATA, GROUP, END, POPUP, FLOAT, FIXED, CHECK, POINT, COLOR, ARB };

struct expected_param {
    int index;
    const char* name;  // null: not checked here (corner names come from the chart)
    kind_code kind;
    const char* flags;  // S, T, C; H hidden; U control area; D disabled
    double vmin, vmax, smin, smax;
    int precision;
    double dflt;  // NAN: depends on the catalogue, checked separately
    int popup_count;
};

constexpr double X = NAN;
constexpr double M = 1000000;

// clang-format off
const expected_param EXPECTED[] = {
    {1, "Update UI after Upgrading", NODATA, "SU", 0, 0, 0, 0, 0, 0, 0},
    {2, "Input", GROUP, "", 0, 0, 0, 0, 0, 0, 0},
    {3, "Transfer Function / Color Space", POPUP, "ST", 0, 0, 0, 0, 0, 2, 50},
    {4, "t", FLOAT, "STH", -M, M, 0, 100, 7, 2, 0},
    {5, "ISO", POPUP, "S", 0, 0, 0, 0, 0, X, 19},
    {6, "iso", FLOAT, "STH", -M, M, 0, 100, 7, X, 0},
    {7, "a", FLOAT, "S", -M, M, 0, 10, 7, 0, 0},
    {8, "b", FLOAT, "S", -M, M, 0, 10, 7, 0, 0},
    {9, "c", FLOAT, "S", -M, M, 0, 10, 7, 0, 0},
    {10, "d", FLOAT, "S", -M, M, 0, 10, 7, 0, 0},
    {11, "e", FLOAT, "S", -M, M, 0, 10, 7, 0, 0},
    {12, "f", FLOAT, "S", -M, M, 0, 10, 7, 0, 0},
    {13, "g", CHECK, "S", 0, 0, 0, 0, 0, 0, 0},
    {14, "h", CHECK, "S", 0, 0, 0, 0, 0, 0, 0},
    {15, "i", CHECK, "S", 0, 0, 0, 0, 0, 0, 0},
    {16, "Levels", NODATA, "SU", 0, 0, 0, 0, 0, 0, 0},
    {17, "Black Level", FLOAT, "SC", 0, 1, 0, 1, 0, 0, 0},
    {18, "White Level", FLOAT, "SC", 0, 1, 0, 1, 0, 1, 0},
    {19, "RGB Primaries, White Point", GROUP, "C", 0, 0, 0, 0, 0, 0, 0},
    {20, "CIE xy", NODATA, "SU", 0, 0, 0, 0, 0, 0, 0},
    {21, "Red x", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {22, "Red y", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {23, "Green x", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {24, "Green y", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {25, "Blue x", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {26, "Blue y", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {27, "White x", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {28, "White y", FLOAT, "S", -2, 2, -1, 1, 5, X, 0},
    {29, nullptr, END, "", 0, 0, 0, 0, 0, 0, 0},
    {30, nullptr, END, "", 0, 0, 0, 0, 0, 0, 0},
    {31, "Correction", GROUP, "", 0, 0, 0, 0, 0, 0, 0},
    {32, "Card Location", GROUP, "C", 0, 0, 0, 0, 0, 0, 0},
    {33, nullptr, POINT, "ST", 0, 0, 0, 0, 0, 0, 0},
    {34, nullptr, POINT, "ST", 0, 0, 0, 0, 0, 0, 0},
    {35, nullptr, POINT, "ST", 0, 0, 0, 0, 0, 0, 0},
    {36, nullptr, POINT, "ST", 0, 0, 0, 0, 0, 0, 0},
    {37, nullptr, END, "", 0, 0, 0, 0, 0, 0, 0},
    {38, "Card Type", POPUP, "ST", 0, 0, 0, 0, 0, 6, 10},
    {39, "card_type", FLOAT, "STH", -M, M, 0, 100, 7, 1, 0},
    {40, "Source", ARB, "U", 0, 0, 0, 0, 0, 0, 0},
    {41, "Target", ARB, "U", 0, 0, 0, 0, 0, 0, 0},
    {42, "Patch", COLOR, "ST", 0, 0, 0, 0, 0, 0, 0},
    {43, "Color Correction", POPUP, "S", 0, 0, 0, 0, 0, 5, 5},
    {44, "White Balance Correction", CHECK, "S", 0, 0, 0, 0, 0, 1, 0},
    {45, "Preserve Lightness", CHECK, "S", 0, 0, 0, 0, 0, 1, 0},
    {46, nullptr, END, "", 0, 0, 0, 0, 0, 0, 0},
    {47, "Adjustments", GROUP, "", 0, 0, 0, 0, 0, 0, 0},
    {48, "Curve", NODATA, "SU", 0, 0, 0, 0, 0, 0, 0},
    {49, "Exposure (EV)", FLOAT, "S", -10, 10, -5, 5, 3, 0, 0},
    {50, "Grays", FLOAT, "S", 0.01, 0.99, 0, 1, 3, 0.5, 0},
    {51, "Contrast", FLOAT, "SD", -20, 20, -5, 5, 3, 0, 0},
    {52, "Whites", FLOAT, "SD", -1, 1, -1, 1, 3, 0, 0},
    {53, "Blacks", FLOAT, "SD", -1, 1, -1, 1, 3, 0, 0},
    {54, "Saturation Adjustment", FLOAT, "S", 0, 500, 0, 200, 3, 100, 0},
    {55, "Highlight Protection", CHECK, "SD", 0, 0, 0, 0, 0, 1, 0},
    {56, nullptr, END, "", 0, 0, 0, 0, 0, 0, 0},
    {57, "Output", GROUP, "", 0, 0, 0, 0, 0, 0, 0},
    {86, "Export", NODATA, "SU", 0, 0, 0, 0, 0, 0, 0},
    {87, "Hidden", FIXED, "STH", -100, 100, -100, 100, 0, 0, 0},
};
// clang-format on

PF_ParamType type_of(kind_code k) {
    switch (k) {
        case NODATA:
            return PF_Param_NO_DATA;
        case GROUP:
            return PF_Param_GROUP_START;
        case END:
            return PF_Param_GROUP_END;
        case POPUP:
            return PF_Param_POPUP;
        case FLOAT:
            return PF_Param_FLOAT_SLIDER;
        case FIXED:
            return PF_Param_FIX_SLIDER;
        case CHECK:
            return PF_Param_CHECKBOX;
        case POINT:
            return PF_Param_POINT;
        case COLOR:
            return PF_Param_COLOR;
        case ARB:
            return PF_Param_ARBITRARY_DATA;
    }
    return PF_Param_RESERVED;
}

void check_param(const expected_param& e, int index, bool premiere) {
    SCOPED_TRACE("parameter " + std::to_string(index));
    PF_ParamDef d;
    param_definition_fill(&d, index, premiere);
    EXPECT_EQ(d.uu.id, index);
    EXPECT_EQ(d.param_type, type_of(e.kind));
    if (e.name) {
        EXPECT_STREQ(d.name, e.name);
    }
    std::string f = e.flags;
    auto has = [&](char c) { return f.find(c) != std::string::npos; };
    A_long flags = (has('S') ? PF_ParamFlag_SUPERVISE : 0) |
                   (has('T') ? PF_ParamFlag_CANNOT_TIME_VARY : 0) |
                   (has('C') ? PF_ParamFlag_COLLAPSE_TWIRLY : 0);
    A_long ui = (has('H') ? PF_PUI_INVISIBLE | PF_PUI_NO_ECW_UI : 0) |
                (has('U') ? PF_PUI_CONTROL : 0) | (has('D') ? PF_PUI_DISABLED : 0);
    EXPECT_EQ(d.flags, flags);
    EXPECT_EQ(d.ui_flags, ui);
    if (e.kind == FLOAT) {
        EXPECT_FLOAT_EQ(static_cast<float>(d.u.fs_d.valid_min), static_cast<float>(e.vmin));
        EXPECT_FLOAT_EQ(static_cast<float>(d.u.fs_d.valid_max), static_cast<float>(e.vmax));
        EXPECT_FLOAT_EQ(static_cast<float>(d.u.fs_d.slider_min), static_cast<float>(e.smin));
        EXPECT_FLOAT_EQ(static_cast<float>(d.u.fs_d.slider_max), static_cast<float>(e.smax));
        bool levels = index == 17 || index == 18 || index == 72 || index == 73;
        EXPECT_EQ(d.u.fs_d.precision, premiere && levels ? 4 : e.precision);
        EXPECT_FLOAT_EQ(d.u.fs_d.curve_tolerance, 0.05f);
        if (!std::isnan(e.dflt)) {
            EXPECT_FLOAT_EQ(static_cast<float>(d.u.fs_d.value), static_cast<float>(e.dflt));
        }
        int display = levels        ? PF_ValueDisplayFlag_PIXEL
                      : index == 54 ? PF_ValueDisplayFlag_PERCENT
                                    : 0;
        EXPECT_EQ(d.u.fs_d.display_flags, display);
    } else if (e.kind == FIXED) {
        EXPECT_EQ(d.u.fd.valid_min, -100 * 65536);
        EXPECT_EQ(d.u.fd.valid_max, 100 * 65536);
        EXPECT_EQ(d.u.fd.value, 0);
        EXPECT_EQ(d.u.fd.precision, 0);
    } else if (e.kind == POPUP) {
        EXPECT_EQ(d.u.pd.num_choices, e.popup_count);
        if (!std::isnan(e.dflt)) {
            EXPECT_EQ(d.u.pd.value, static_cast<int>(e.dflt));
        }
        EXPECT_EQ(d.u.pd.dephault, d.u.pd.value);
    } else if (e.kind == CHECK) {
        EXPECT_EQ(d.u.bd.value, static_cast<int>(e.dflt));
    }
}

TEST(ParamTable, EveryParameterAsTabledInBothHosts) {
    for (bool premiere : {false, true}) {
        for (const expected_param& e : EXPECTED) {
            check_param(e, e.index, premiere);
            // The output side repeats 3-30 at 58-85 with the same definitions.
            if (e.index >= 3 && e.index <= 30) {
                check_param(e, e.index + OUTPUT_OFFSET, premiere);
            }
        }
    }
}

TEST(ParamTable, DefaultsComeFromTheCatalogue) {
    // The default entry is the one whose kind is 2 (sRGB); the chart the popup's sixth item.
    const transfer_function& tf = TRANSFER_FUNCTION[transfer_as_popup(2)];
    const color_space& cs = COLOR_SPACE[transfer_as_popup(2)];
    for (int side : {0, OUTPUT_OFFSET}) {
        PF_ParamDef d;
        param_definition_fill(&d, 5 + side, false);
        EXPECT_EQ(d.u.pd.value, iso_as_popup(tf.iso));
        param_definition_fill(&d, 6 + side, false);
        EXPECT_EQ(d.u.fs_d.value, tf.iso);
        const double chroma[8] = {cs.red_x,  cs.red_y,  cs.green_x, cs.green_y,
                                  cs.blue_x, cs.blue_y, cs.white_x, cs.white_y};
        for (int k = 0; k < 8; ++k) {
            param_definition_fill(&d, 21 + side + k, false);
            EXPECT_EQ(d.u.fs_d.value, chroma[k]);
        }
    }
    EXPECT_EQ(default_card_type(), XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const reference_card* chart = refcard(default_card_type());
    const double corners[4][2] = {{25, 25}, {75, 25}, {75, 75}, {25, 75}};
    for (int k = 0; k < 4; ++k) {
        PF_ParamDef d;
        param_definition_fill(&d, 33 + k, false);
        EXPECT_STREQ(d.name, chart->corner_names[k]);
        EXPECT_TRUE(d.u.td.dephaults_are_percent);
        EXPECT_FALSE(d.u.td.restrict_bounds);
        EXPECT_EQ(d.u.td.x_dephault, static_cast<PF_Fixed>(corners[k][0] * 65536));
        EXPECT_EQ(d.u.td.y_dephault, static_cast<PF_Fixed>(corners[k][1] * 65536));
    }
    PF_ParamDef d;
    param_definition_fill(&d, 40, false);
    EXPECT_EQ(d.ui_width, 273);
    EXPECT_EQ(d.ui_height, 105);
    param_definition_fill(&d, 16, false);
    EXPECT_EQ(d.ui_width, 516);
    EXPECT_EQ(d.ui_height, 27);
}

TEST(ParamTable, PopupConversions) {
    EXPECT_EQ(iso_as_popup(60), -1);
    EXPECT_EQ(iso_as_popup(800), 13);
    EXPECT_EQ(card_type_as_popup(10), -1);
    EXPECT_EQ(card_type_as_popup(-1), -1);
    const int positions[10] = {5, 6, 1, 2, 7, 8, 10, 9, 3, 4};
    for (int type = 0; type < 10; ++type) {
        EXPECT_EQ(card_type_as_popup(type), positions[type]);
        EXPECT_EQ(CARD_TYPE[positions[type]], type);  // the inverse of the popup table
    }
    EXPECT_EQ(card_type_as_popup(3.9f), card_type_as_popup(3));
    EXPECT_EQ(card_type_as_popup(NAN), -1);
    EXPECT_EQ(card_type_as_popup(1e30f), -1);
    EXPECT_EQ(transfer_as_popup(101), 5);
    EXPECT_EQ(transfer_as_popup(-2), 46);
}

}  // namespace
