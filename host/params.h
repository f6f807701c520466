// The effect's parameters: their definitions for the host, and every read and write of a
// parameter value. In the compositing host values go through the AEGP stream suites
// (they see the value at the current time even where the parameter array is stale);
// elsewhere they are read from and written into the parameter array.
#pragma once

#include <cstdint>

#include "cards/card.h"
#include "cards/sampling.h"
#include "host/colorcard.h"
#include "host/param_table.h"
#include "hostsdk/effect.h"
#include "hostsdk/suites.h"
#include "pipeline/parameters.h"
#include "pipeline/transfer.h"

constexpr A_long APPL_ID_AE = PF_FOURCC('F', 'X', 'T', 'C');
constexpr A_long APPL_ID_PREMIERE = PF_FOURCC('P', 'r', 'M', 'r');

// Bytes of a ColorCard value: one `card` and trailing padding.
constexpr uint32_t CARD_HANDLE_SIZE = COLORCARD_BYTES;
// The shortest flattened ColorCard accepted: everything but the trailing padding.
constexpr uint32_t CARD_FLAT_MIN = COLORCARD_FLAT_MIN_BYTES;

// The plug-in id handed out at registration in the compositing host; 0 elsewhere.
extern AEGP_PluginID gid;

// The working copy of one parameter's name and flags.
struct param_ui {
    char name[32];
    A_long flags;
    A_long ui_flags;
};

// The defaults every new instance starts with.
const transfer_function* default_transfer_function();
const color_space* default_color_space();
refcard_type default_card_type();

// Fills the definition of parameter `index` (1-87) with its defaults for a layer of the
// given size; `premiere` picks the editing host's precision for the levels.
void param_definition_fill(PF_ParamDef* def, int index, bool premiere);
// Defines parameters 1-87 through the host's add_param.
PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data);

int card_type_as_popup(int type);
int card_type_as_popup(float type);

PF_Err value_get_slider(PF_InData* in_data, PF_ParamDef* params[], int index, double* value);
PF_Err value_get_slider(PF_InData* in_data, PF_ParamDef* params[], int index, float* value);
PF_Err value_set_slider(PF_InData* in_data, PF_ParamDef* params[], int index, float value);
PF_Err value_set_slider(PF_InData* in_data, PF_ParamDef* params[], int index, double value);
PF_Err value_get_popup(PF_InData* in_data, PF_ParamDef* params[], int index, int* value);
PF_Err value_set_popup(PF_InData* in_data, PF_ParamDef* params[], int index, int value);
PF_Err value_get_checkbox(PF_InData* in_data, PF_ParamDef* params[], int index, bool* value);
PF_Err value_set_checkbox(PF_InData* in_data, PF_ParamDef* params[], int index, bool value);
PF_Err value_get_color(PF_InData* in_data, PF_ParamDef* params[], int index, PF_PixelFloat* value);
PF_Err value_set_color(PF_InData* in_data, PF_ParamDef* params[], int index,
                       const PF_PixelFloat* value);
PF_Err value_get_transfer_function(PF_InData* in_data, PF_ParamDef* params[], int side,
                                   transfer_function* tf);
PF_Err value_set_transfer_function(PF_InData* in_data, PF_ParamDef* params[], int side,
                                   const transfer_function* tf);
PF_Err value_get_color_space(PF_InData* in_data, PF_ParamDef* params[], int side, color_space* cs);
PF_Err value_set_color_space(PF_InData* in_data, PF_ParamDef* params[], int side,
                             const color_space* cs);
PF_Err value_get_card(PF_InData* in_data, PF_ParamDef* params[], int index, card* c);
PF_Err value_set_card(PF_InData* in_data, PF_ParamDef* params[], int index, const card* c);
PF_Err value_get_card_type(PF_InData* in_data, PF_ParamDef* params[], refcard_type* type);
PF_Err value_set_card_type(PF_InData* in_data, PF_ParamDef* params[], refcard_type type);
PF_Err value_get_card_location(PF_InData* in_data, PF_ParamDef* params[], card_location* loc);
PF_Err value_set_card_location(PF_InData* in_data, PF_ParamDef* params[], const image* img,
                               const card_location* loc);
PF_Err value_update_card(PF_InData* in_data, PF_ParamDef* params[], int index);
PF_Err value_get_ui(PF_InData* in_data, PF_ParamDef* params[], int index, char* name, A_long* flags,
                    A_long* ui_flags);
PF_Err value_set_ui(PF_InData* in_data, PF_ParamDef* params[], int index, const char* name,
                    A_long flags, A_long ui_flags);
PF_Err value_maybe_set_ui(PF_InData* in_data, PF_ParamDef* params[], int index, const char* name,
                          A_long flags, A_long ui_flags);
PF_Err value_get_all(PF_InData* in_data, PF_ParamDef* params[], parameters* p);

// The compositing host's stream path.
PF_Err VALUE_value_get(PF_InData* in_data, AEGP_EffectRefH effect, int index,
                       AEGP_StreamValue* value);
PF_Err VALUE_value_set(PF_InData* in_data, AEGP_EffectRefH effect, int index,
                       AEGP_StreamValue* value);

// Side selector: 3, 4, 21 and 40 name the input side, anything else the output side.
inline bool side_is_input(int side) {
    return side == 3 || side == 4 || side == 21 || side == 40;
}
