// Keeping the parameters consistent after a user change: a popup choice is copied into the
// hidden stores it stands for, the cards follow the encoding of their side, names and
// visibility follow the chosen curve and chart, and a frame the custom UI asked for is
// turned into card colours once it has been rendered.
#pragma once

#include "cards/card.h"
#include "cards/sampling.h"
#include "host/params.h"
#include "hostsdk/effect.h"
#include "pipeline/image.h"

PF_Err Changed(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
               PF_UserChangedParamExtra* extra);
PF_Err UpdateUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output);

// With `ui` (88 entries, by parameter index) only its entries are edited; without, the
// entries needed are read from the host, edited and written back.
PF_Err UpdateUI_calculate_name_and_visibility_input(PF_InData* in_data, PF_OutData* out_data,
                                                    PF_ParamDef* params[], param_ui* ui, int kind);
PF_Err UpdateUI_calculate_name_and_visibility_output(PF_InData* in_data, PF_OutData* out_data,
                                                     PF_ParamDef* params[], param_ui* ui, int kind);
PF_Err UpdateUI_calculate_name_and_visibility_card(PF_InData* in_data, PF_OutData* out_data,
                                                   PF_ParamDef* params[], param_ui* ui,
                                                   refcard_type type);

// Compares each popup with the position its hidden store asks for; with `fix` the popups
// are rewritten to agree.
PF_Err FixUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             bool fix, bool* mismatch);

// Completes this instance's frame request once the frame is in the cache.
PF_Err maybe_update_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);

// UI actions on a card that need a frame.
constexpr int ACTION_FIND = 101;
constexpr int ACTION_READ = 102;

// Finds (ACTION_FIND) or reads (ACTION_READ) the card in `img` and writes it to
// `card_index`; a find also moves the corner parameters and updates `location`.
PF_Err update_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int card_index,
                   int action, const image* img, card_location* location);
