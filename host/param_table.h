// The effect's 87 parameters as data: what parameter setup defines, and what the tests
// hold the definitions against. Indices are stored in projects and never move.
#pragma once

#include <cstdint>

enum param_kind : int32_t {
    PARAM_NONE = 0,  // index 0, the input layer
    PARAM_CUSTOM,    // custom control without data
    PARAM_GROUP_START,
    PARAM_GROUP_END,
    PARAM_POPUP,
    PARAM_FLOAT_SLIDER,
    PARAM_FIXED_SLIDER,
    PARAM_CHECKBOX,
    PARAM_POINT,
    PARAM_COLOR,
    PARAM_ARBITRARY,  // ColorCard data with its custom control
};

// Flag letters of the table; parameter setup turns them into the host's bits.
enum param_mark : uint32_t {
    MARK_SUPERVISE = 1,         // S
    MARK_CANNOT_TIME_VARY = 2,  // T
    MARK_COLLAPSE = 4,          // C: starts collapsed
    MARK_HIDDEN = 8,            // invisible and not in the effect controls
    MARK_CONTROL = 16,          // custom control area
    MARK_DISABLED = 32,
};

enum param_display : int32_t {
    DISPLAY_NONE = 0,
    DISPLAY_PIXEL = 1,
    DISPLAY_PERCENT = 2,
};

// Which default a parameter takes beside its plain number.
enum param_default : int32_t {
    DEFAULT_PLAIN = 0,                            // `value`
    DEFAULT_TRANSFER_POPUP,                       // position of the default transfer entry
    DEFAULT_TRANSFER_KIND,                        // its kind
    DEFAULT_ISO_POPUP,                            // position of its ISO
    DEFAULT_ISO,                                  // its ISO
    DEFAULT_TRANSFER_A,                           // a ... f: DEFAULT_TRANSFER_A + 0 ... 5
    DEFAULT_TRANSFER_G = DEFAULT_TRANSFER_A + 6,  // g, h, i: + 0 ... 2
    DEFAULT_BLACK = DEFAULT_TRANSFER_G + 3,
    DEFAULT_WHITE,
    DEFAULT_CHROMATICITY,  // + 0 ... 7: red x ... white y
    DEFAULT_CARD_POPUP = DEFAULT_CHROMATICITY + 8,
    DEFAULT_CARD_TYPE,
    DEFAULT_CORNER,  // + 0 ... 3: top left, top right, bottom right, bottom left
    DEFAULT_REFERENCE_CARD = DEFAULT_CORNER + 4,
};

struct param_definition {
    int32_t index;
    const char* name;  // null: the corner name of the default chart
    param_kind kind;
    float valid_min, valid_max;
    float slider_min, slider_max;
    int32_t precision;
    param_display display;
    const char* popup;            // items joined by "|" (popups)
    int32_t popup_count;          // items (popups)
    int32_t ui_width, ui_height;  // custom control area
    uint32_t marks;               // param_mark bits
    param_default default_kind;
    double value;  // plain default
};

constexpr int PARAM_COUNT = 88;  // the input layer and parameters 1 to 87
extern const param_definition PARAM_DEFINITION[PARAM_COUNT];

// Indices named in code.
enum param_index : int32_t {
    P_UPDATE_UI = 1,
    P_INPUT_GROUP = 2,
    P_INPUT_TRANSFER = 3,
    P_INPUT_KIND = 4,
    P_INPUT_ISO_POPUP = 5,
    P_INPUT_ISO = 6,
    P_INPUT_A = 7,
    P_INPUT_LEVELS = 16,
    P_INPUT_BLACK = 17,
    P_INPUT_WHITE = 18,
    P_INPUT_RED_X = 21,
    P_CORNER_TL = 33,
    P_CARD_TYPE_POPUP = 38,
    P_CARD_TYPE = 39,
    P_SOURCE = 40,
    P_TARGET = 41,
    P_PATCH = 42,
    P_CORRECTION = 43,
    P_WHITE_BALANCE = 44,
    P_PRESERVE_LIGHTNESS = 45,
    P_EXPOSURE = 49,
    P_GRAYS = 50,
    P_CONTRAST = 51,
    P_WHITES = 52,
    P_BLACKS = 53,
    P_SATURATION = 54,
    P_HIGHLIGHT = 55,
    P_OUTPUT_TRANSFER = 58,
    P_OUTPUT_KIND = 59,
    P_OUTPUT_ISO_POPUP = 60,
    P_OUTPUT_ISO = 61,
    P_OUTPUT_RED_X = 76,
    P_EXPORT = 86,
    P_HIDDEN = 87,
};
// The output side repeats 3-30 at 58-85.
constexpr int OUTPUT_OFFSET = 55;
