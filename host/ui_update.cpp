#include "host/ui_update.h"

#include "host/entry.h"
#include "host/params.h"

namespace {
// Parameters whose change alters what the "Source" or "Target" card means.
bool affects_source(int i) {
    return i == 3 || i == 5 || (i >= 7 && i <= 15) || i == 17 || i == 18 || (i >= 21 && i <= 28) ||
           i == 38;
}
bool affects_target(int i) {
    return i == 38 || i == 58 || i == 60 || (i >= 62 && i <= 70) || i == 72 || i == 73 ||
           (i >= 76 && i <= 83);
}

PF_Err choose_transfer(PF_InData* in_data, PF_ParamDef* params[], int popup_index, int space_side) {
    int p = 0;
    PF_Err err = value_get_popup(in_data, params, popup_index, &p);
    if (err || p < 1 || p > TRANSFER_SPACE_COUNT) return err;
    err = value_set_transfer_function(in_data, params, popup_index, &TRANSFER_FUNCTION[p]);
    if (!err) err = value_set_color_space(in_data, params, space_side, &COLOR_SPACE[p]);
    return err;
}

PF_Err choose_iso(PF_InData* in_data, PF_ParamDef* params[], int popup_index, int store) {
    int p = 0;
    PF_Err err = value_get_popup(in_data, params, popup_index, &p);
    if (err || p < 1 || p > ISO_COUNT) return err;
    return value_set_slider(in_data, params, store, ISO[p]);
}
}  // namespace

PF_Err Changed(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
               PF_UserChangedParamExtra* extra) {
    (void)output;
    if (!extra) return PF_Err_BAD_CALLBACK_PARAM;
    int index = extra->param_index;
    PF_Err err = PF_Err_NONE;
    switch (index) {
        case P_INPUT_TRANSFER:
            err = choose_transfer(in_data, params, 3, 21);
            break;
        case P_INPUT_ISO_POPUP:
            err = choose_iso(in_data, params, 5, 6);
            break;
        case P_OUTPUT_TRANSFER:
            err = choose_transfer(in_data, params, 58, 76);
            break;
        case P_OUTPUT_ISO_POPUP:
            err = choose_iso(in_data, params, 60, 61);
            break;
        case P_CARD_TYPE_POPUP: {
            int p = 0;
            err = value_get_popup(in_data, params, P_CARD_TYPE_POPUP, &p);
            if (!err && p >= 1 && p <= CARD_TYPE_COUNT) {
                real_mutex_lock(&global.lock);
                global.patch_card = -1;
                real_mutex_unlock(&global.lock);
                err = value_set_card_type(in_data, params, CARD_TYPE[p]);
            }
            break;
        }
        default:
            break;
    }
    uint32_t id = instanceID(in_data);
    for (int card_index : {P_SOURCE, P_TARGET}) {
        bool affected = card_index == P_SOURCE ? affects_source(index) : affects_target(index);
        if (!affected) continue;
        real_mutex_lock(&global.lock);
        PF_Err e = value_update_card(in_data, params, card_index);
        if (global.patch_instance == id) global.patch_card = -1;
        real_mutex_unlock(&global.lock);
        if (!err) err = e;
        out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    }
    return err;
}

PF_Err UpdateUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output) {
    (void)in_data;
    (void)out_data;
    (void)params;
    (void)output;
    return PF_Err_NONE;
}

PF_Err Event(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             PF_EventExtra* extra) {
    (void)in_data;
    (void)out_data;
    (void)params;
    (void)output;
    (void)extra;
    return PF_Err_NONE;
}
