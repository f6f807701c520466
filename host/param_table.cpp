#include "host/param_table.h"

#include "cards/card.h"
#include "pipeline/transfer.h"

namespace {
constexpr uint32_t S = MARK_SUPERVISE;
constexpr uint32_t T = MARK_CANNOT_TIME_VARY;
constexpr uint32_t C = MARK_COLLAPSE;
constexpr uint32_t H = MARK_HIDDEN;
constexpr uint32_t U = MARK_CONTROL;
constexpr uint32_t D = MARK_DISABLED;

constexpr float BIG = 1000000.0f;
const char* const CORRECTION_STR = "None|Per Channel|Mix Channels|deltaE WB only|deltaE";

constexpr param_definition custom(int index, const char* name, int w, int h, uint32_t marks) {
    return {index, name,  PARAM_CUSTOM,  0, 0, 0, 0, 0, DISPLAY_NONE, nullptr, 0, w,
            h,     marks, DEFAULT_PLAIN, 0};
}
constexpr param_definition group(int index, const char* name, uint32_t marks) {
    return {index, name,  PARAM_GROUP_START, 0, 0, 0, 0, 0, DISPLAY_NONE, nullptr, 0, 0,
            0,     marks, DEFAULT_PLAIN,     0};
}
constexpr param_definition group_end(int index) {
    return {index, "", PARAM_GROUP_END, 0, 0, 0, 0, 0, DISPLAY_NONE, nullptr, 0, 0,
            0,     0,  DEFAULT_PLAIN,   0};
}
constexpr param_definition popup(int index, const char* name, const char* items, int count,
                                 uint32_t marks, param_default kind, double value) {
    return {index,        name,  PARAM_POPUP, 0, 0, 0,     0,    0,
            DISPLAY_NONE, items, count,       0, 0, marks, kind, value};
}
constexpr param_definition slider(int index, const char* name, float vmin, float vmax, float smin,
                                  float smax, int precision, uint32_t marks, param_default kind,
                                  double value, param_display display = DISPLAY_NONE) {
    return {index,   name,      PARAM_FLOAT_SLIDER,
            vmin,    vmax,      smin,
            smax,    precision, display,
            nullptr, 0,         0,
            0,       marks,     kind,
            value};
}
constexpr param_definition store(int index, const char* name, param_default kind) {
    return slider(index, name, -BIG, BIG, 0, 100, 7, S | T | H, kind, 0);
}
constexpr param_definition checkbox(int index, const char* name, uint32_t marks, param_default kind,
                                    double value) {
    return {index, name, PARAM_CHECKBOX, 0,    0,    0, 0, 0, DISPLAY_NONE, nullptr, 0,
            0,     0,    marks,          kind, value};
}
constexpr param_definition point(int index, int corner) {
    return {index,   nullptr, PARAM_POINT,
            0,       0,       0,
            0,       0,       DISPLAY_NONE,
            nullptr, 0,       0,
            0,       S | T,   static_cast<param_default>(DEFAULT_CORNER + corner),
            0};
}
constexpr param_definition colorcard(int index, const char* name) {
    return {index, name, PARAM_ARBITRARY,        0, 0, 0, 0, 0, DISPLAY_NONE, nullptr, 0, 273,
            105,   U,    DEFAULT_REFERENCE_CARD, 0};
}
constexpr param_default pd(int base, int offset) {
    return static_cast<param_default>(base + offset);
}

// One side's transfer function and colour space (3-30 on the input side, 58-85 on the
// output side); `o` is the index offset.
#define CHROMALANE_SIDE(o)                                                                         \
    popup(3 + o, "Transfer Function / Color Space", TRANSFER_SPACES_STR, 50, S | T,                \
          DEFAULT_TRANSFER_POPUP, 0),                                                              \
        store(4 + o, "t", DEFAULT_TRANSFER_KIND),                                                  \
        popup(5 + o, "ISO", ISO_STR, 19, S, DEFAULT_ISO_POPUP, 0),                                 \
        store(6 + o, "iso", DEFAULT_ISO),                                                          \
        slider(7 + o, "a", -BIG, BIG, 0, 10, 7, S, pd(DEFAULT_TRANSFER_A, 0), 0),                  \
        slider(8 + o, "b", -BIG, BIG, 0, 10, 7, S, pd(DEFAULT_TRANSFER_A, 1), 0),                  \
        slider(9 + o, "c", -BIG, BIG, 0, 10, 7, S, pd(DEFAULT_TRANSFER_A, 2), 0),                  \
        slider(10 + o, "d", -BIG, BIG, 0, 10, 7, S, pd(DEFAULT_TRANSFER_A, 3), 0),                 \
        slider(11 + o, "e", -BIG, BIG, 0, 10, 7, S, pd(DEFAULT_TRANSFER_A, 4), 0),                 \
        slider(12 + o, "f", -BIG, BIG, 0, 10, 7, S, pd(DEFAULT_TRANSFER_A, 5), 0),                 \
        checkbox(13 + o, "g", S, pd(DEFAULT_TRANSFER_G, 0), 0),                                    \
        checkbox(14 + o, "h", S, pd(DEFAULT_TRANSFER_G, 1), 0),                                    \
        checkbox(15 + o, "i", S, pd(DEFAULT_TRANSFER_G, 2), 0),                                    \
        custom(16 + o, "Levels", 516, 27, S | U),                                                  \
        slider(17 + o, "Black Level", 0, 1, 0, 1, 0, S | C, DEFAULT_BLACK, 0, DISPLAY_PIXEL),      \
        slider(18 + o, "White Level", 0, 1, 0, 1, 0, S | C, DEFAULT_WHITE, 0, DISPLAY_PIXEL),      \
        group(19 + o, "RGB Primaries, White Point", C), custom(20 + o, "CIE xy", 106, 105, S | U), \
        slider(21 + o, "Red x", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 0), 0),               \
        slider(22 + o, "Red y", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 1), 0),               \
        slider(23 + o, "Green x", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 2), 0),             \
        slider(24 + o, "Green y", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 3), 0),             \
        slider(25 + o, "Blue x", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 4), 0),              \
        slider(26 + o, "Blue y", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 5), 0),              \
        slider(27 + o, "White x", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 6), 0),             \
        slider(28 + o, "White y", -2, 2, -1, 1, 5, S, pd(DEFAULT_CHROMATICITY, 7), 0),             \
        group_end(29 + o), group_end(30 + o)
}  // namespace

// clang-format off
const param_definition PARAM_DEFINITION[PARAM_COUNT] = {
    {0, "", PARAM_NONE, 0, 0, 0, 0, 0, DISPLAY_NONE, nullptr, 0, 0, 0, 0, DEFAULT_PLAIN, 0},
    custom(1, "Update UI after Upgrading", 118, 27, S | U),
    group(2, "Input", 0),
    CHROMALANE_SIDE(0),
    group(31, "Correction", 0),
    group(32, "Card Location", C),
    point(33, 0), point(34, 1), point(35, 2), point(36, 3),
    group_end(37),
    popup(38, "Card Type", CARD_TYPE_STR, 10, S | T, DEFAULT_CARD_POPUP, 0),
    store(39, "card_type", DEFAULT_CARD_TYPE),
    colorcard(40, "Source"),
    colorcard(41, "Target"),
    {42, "Patch", PARAM_COLOR, 0, 0, 0, 0, 0, DISPLAY_NONE, nullptr, 0, 0, 0, S | T, DEFAULT_PLAIN, 0},
    popup(43, "Color Correction", CORRECTION_STR, 5, S, DEFAULT_PLAIN, 5),
    checkbox(44, "White Balance Correction", S, DEFAULT_PLAIN, 1),
    checkbox(45, "Preserve Lightness", S, DEFAULT_PLAIN, 1),
    group_end(46),
    group(47, "Adjustments", 0),
    custom(48, "Curve", 76, 75, S | U),
    slider(49, "Exposure (EV)", -10, 10, -5, 5, 3, S, DEFAULT_PLAIN, 0),
    slider(50, "Grays", 0.01f, 0.99f, 0, 1, 3, S, DEFAULT_PLAIN, 0.5),
    slider(51, "Contrast", -20, 20, -5, 5, 3, S | D, DEFAULT_PLAIN, 0),
    slider(52, "Whites", -1, 1, -1, 1, 3, S | D, DEFAULT_PLAIN, 0),
    slider(53, "Blacks", -1, 1, -1, 1, 3, S | D, DEFAULT_PLAIN, 0),
    slider(54, "Saturation Adjustment", 0, 500, 0, 200, 3, S, DEFAULT_PLAIN, 100, DISPLAY_PERCENT),
    checkbox(55, "Highlight Protection", S | D, DEFAULT_PLAIN, 1),
    group_end(56),
    group(57, "Output", 0),
    CHROMALANE_SIDE(OUTPUT_OFFSET),
    custom(86, "Export", 118, 27, S | U),
    {87, "Hidden", PARAM_FIXED_SLIDER, -100, 100, -100, 100, 0, DISPLAY_NONE, nullptr, 0, 0, 0, S | T | H, DEFAULT_PLAIN, 0},
};
// clang-format on
