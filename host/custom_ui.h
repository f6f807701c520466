// The effect's own controls in the effect-controls panel (levels, chromaticity diagram,
// card swatches, tone curve, buttons) and the located card over the frame, drawn through
// the host's DRAWBOT suites, and the clicks and drags on them.
#pragma once

#include <cstdint>

#include "cards/card.h"
#include "hostsdk/effect.h"
#include "platform/platform.h"

struct button {
    float x, y, width;
    const char* label;
};

extern const button b_fix_ui, b_find, b_read, b_load, b_save, b_ref, b_full, b_legal, b_export;

// Click codes: 0-99 a patch of the card swatch, 100 nothing, 101-109 the buttons.
enum click_code : int {
    CLICK_NOTHING = 100,
    CLICK_FIND = 101,
    CLICK_READ = 102,
    CLICK_LOAD = 103,
    CLICK_SAVE = 104,
    CLICK_REF = 105,
    CLICK_FULL = 106,
    CLICK_LEGAL = 107,
    CLICK_EXPORT = 108,
    CLICK_FIX_UI = 109,
};

bool button_hit(const button* b, float x, float y);

// What the custom UI keeps between events: the cards it drew for each side, the LUT export
// size, the tone curve it drew and the reference card of the overlay, each under its lock.
struct ui_cache_record {
    real_mutex side_lock[2];  // swatch cards: 0 "Source", 1 "Target"; 1 also the overlay card
    real_mutex export_lock;
    real_mutex curve_lock;
    card side_card[2];
    transfer_function side_transfer[2];
    int32_t export_size;
    uint8_t curve_valid;
    float curve_keys[4];  // grays, contrast, whites, blacks
    float curve[256];
    uint8_t overlay_valid;
    int32_t overlay_type;
    transfer_function overlay_transfer;
    color_space overlay_space;
    card overlay_card;
};
extern ui_cache_record global_ui_cache;

// Zeroes the record and creates its locks; the export size starts at 48.
void ui_cache_init();
// The export size, and the step a modifier-click on "Export LUT" takes: 48, 32, 24, 16, 48.
int ui_export_size();
int next_export_size(int size);

PF_Err Event(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             PF_EventExtra* extra);
PF_Err Draw(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
            PF_EventExtra* extra);

// Converts layer points to window points in place (16.16 fixed through the host).
PF_Err source_to_frame(PF_InData* in_data, PF_EventExtra* extra, float* xs, float* ys, int count,
                       double scale_x, double scale_y);
