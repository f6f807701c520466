// The chart catalogue and the `card` record that carries a chart's patch colours
// (reference, sampled from a frame, or typed in) through the rest of the effect.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline/transfer.h"

enum refcard_type : int32_t {
    XRITE_COLORCHECKER_24_BEFORE_NOV2014 = 0,
    XRITE_COLORCHECKER_24_AFTER_NOV2014 = 1,
    DATACOLOR_SPYDERCHECKR_24 = 2,
    DATACOLOR_SPYDERCHECKR = 3,
    XRITE_COLORCHECKER_SG_BEFORE_NOV2014 = 4,
    XRITE_COLORCHECKER_SG_AFTER_NOV2014 = 5,
    XRITE_COLORCHECKER_PASSPORT_VIDEO = 6,
    XRITE_COLORCHECKER_VIDEO_COMPAT = 7,
    DGKCOLORTOOLS_DKK_5x7 = 8,
    DSCLABS_ONESHOT = 9,
};
constexpr int REFCARD_TYPE_COUNT = 10;

struct reference_patch {
    const char* name;
    double lab[3];         // CIELAB L*, a*, b* relative to D50
    const float* rect;     // x0, x1, y0, y1 in chart-height units
    float u, v;            // centre in card coordinates (0-1 across, 0-1 down)
    const float* outline;  // (u, v) pairs ended by (-1, -1)
};

struct reference_card {
    int32_t type;
    int32_t patch_count;
    const reference_patch* patches;
    float ui_scale;
    const char* corner_names[4];  // top left, top right, bottom right, bottom left
    float margin_left, margin_right, margin_top, margin_bottom;
    float cluster_reach;
    int32_t bitmap_width, bitmap_height;
    float bitmap_scale;
};

constexpr int CARD_MAX_PATCHES = 1024;

// Planes are stored separately (all R, then all G, then all B) so that a whole plane can
// go through the per-channel transfer routines as one float run.
struct card {
    const reference_card* ref;
    uint8_t reference;      // values are the chart's reference colours from cardMakeRef
    uint8_t display_valid;  // `display` holds the display-referred form of `linear`
    float linear[3][CARD_MAX_PATCHES];
    float display[3][CARD_MAX_PATCHES];
};
// The host layer stores this record byte for byte in its ColorCard data.
static_assert(sizeof(void*) != 8 || sizeof(card) == 24592, "card layout is stored by the host");

extern const reference_card refcard_XRITE_COLORCHECKER_24_BEFORE_NOV2014;
extern const reference_card refcard_XRITE_COLORCHECKER_24_AFTER_NOV2014;
extern const reference_card refcard_DATACOLOR_SPYDERCHECKR_24;
extern const reference_card refcard_DATACOLOR_SPYDERCHECKR;
extern const reference_card refcard_XRITE_COLORCHECKER_SG_BEFORE_NOV2014;
extern const reference_card refcard_XRITE_COLORCHECKER_SG_AFTER_NOV2014;
extern const reference_card refcard_XRITE_COLORCHECKER_PASSPORT_VIDEO;
extern const reference_card refcard_XRITE_COLORCHECKER_VIDEO_COMPAT;
extern const reference_card refcard_DGKCOLORTOOLS_DKK_5x7;
extern const reference_card refcard_DSCLABS_ONESHOT;

// Chart popup: item k (1-based) selects CARD_TYPE[k]; entry 0 repeats entry 1.
constexpr int CARD_TYPE_COUNT = 10;
extern const refcard_type CARD_TYPE[CARD_TYPE_COUNT + 1];
// The popup items joined by "|".
extern const char* const CARD_TYPE_STR;

// The constant chart record, or null for a type outside 0-9.
const reference_card* refcard(refcard_type type);

// Fills `c` with the chart's reference colours in the linear RGB of `cs`, each channel
// clamped to 0-1; marks it as a reference with no display values.
void cardMakeRef(card* c, const color_space* cs, refcard_type type);
// Recomputes every `display` value from `linear` with the output transfer of `tf`.
void cardUpdateDisplayFromLinear(card* c, const transfer_function* tf);
// Recomputes every `linear` value from `display` with the input transfer of `tf`.
void cardUpdateLinearFromDisplay(card* c, const transfer_function* tf);
// One patch's display-referred value; never changes the card.
void cardGetPatch(const card* c, const transfer_function* tf, int index, float* r, float* g,
                  float* b);
// Sets one patch from a display-referred value (and its linear value through `tf`).
void cardSetPatch(card* c, const transfer_function* tf, int index, float r, float g, float b);
