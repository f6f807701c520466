#include "host/ui_update.h"

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "cards/finder.h"
#include "cards/sampling.h"
#include "host/entry.h"

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

PF_Err read_kind(PF_InData* in_data, PF_ParamDef* params[], int store, int* kind) {
    double v = 0;
    PF_Err err = value_get_slider(in_data, params, store, &v);
    *kind = static_cast<int>(v);
    return err;
}

// The "Patch" colour edits the selected patch of its card.
PF_Err patch_changed(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    PF_Err err = PF_Err_NONE;
    uint32_t id = instanceID(in_data);
    real_mutex_lock(&global.lock);
    if (global.patch_instance == id && global.patch_card != -1) {
        if (global.patch_set_by_effect) {
            global.patch_set_by_effect = 0;
        } else {
            int index = global.patch_card;
            auto c = std::make_unique<card>();
            transfer_function tf{};
            PF_PixelFloat colour{};
            err = value_get_card(in_data, params, index, c.get());
            if (!err) err = value_get_transfer_function(in_data, params, index, &tf);
            if (!err) err = value_get_color(in_data, params, P_PATCH, &colour);
            if (!err && c->ref && global.patch_index >= 0 &&
                global.patch_index < c->ref->patch_count) {
                cardSetPatch(c.get(), &tf, global.patch_index, colour.red, colour.green,
                             colour.blue);
                err = value_set_card(in_data, params, index, c.get());
                out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
            }
        }
    }
    real_mutex_unlock(&global.lock);
    return err;
}

void show(param_ui* ui, int index, bool visible) {
    if (visible)
        ui[index].ui_flags &= ~static_cast<A_long>(PF_PUI_INVISIBLE);
    else
        ui[index].ui_flags |= PF_PUI_INVISIBLE;
}
void rename(param_ui* ui, int index, const char* name) {
    std::strncpy(ui[index].name, name, sizeof(ui[index].name) - 1);
    ui[index].name[sizeof(ui[index].name) - 1] = 0;
}

// One side's transfer parameters: the curve's constants are hidden stores, and "ISO" shows
// only for the curves that take an exposure index, under that name.
void side_names(param_ui* ui, int offset, int kind) {
    show(ui, 5 + offset, false);
    for (int i = 7; i <= 15; ++i) show(ui, i + offset, false);
    for (int i = 16; i <= 18; ++i) show(ui, i + offset, true);
    if (kind == 10 || kind == 11) {
        rename(ui, 5 + offset, "EI");
        show(ui, 5 + offset, true);
    }
}

void card_names(PF_InData* in_data, param_ui* ui, refcard_type type) {
    rename(ui, 33, "Top Left");
    rename(ui, 34, "Top Right");
    rename(ui, 35, "Bottom Right");
    rename(ui, 36, "Bottom Left");
    rename(ui, P_PATCH, "Patch");
    show(ui, P_PATCH, true);
    const reference_card* chart = refcard(type);
    if (!chart) return;
    for (int k = 0; k < 4; ++k) rename(ui, 33 + k, chart->corner_names[k]);
    uint32_t id = instanceID(in_data);
    real_mutex_lock(&global.lock);
    if (global.patch_instance == id && global.patch_card != -1 && global.patch_index >= 0 &&
        global.patch_index < chart->patch_count) {
        std::string name = global.patch_card == P_SOURCE ? "Source : " : "Target : ";
        name += chart->patches[global.patch_index].name;
        rename(ui, P_PATCH, name.c_str());
    }
    real_mutex_unlock(&global.lock);
}

// Reads the entries `indices` names, lets `edit` change them and writes back what changed.
template <typename Edit>
PF_Err edit_entries(PF_InData* in_data, PF_ParamDef* params[], param_ui* ui,
                    std::initializer_list<int> ranges, Edit edit) {
    if (ui) {
        edit(ui);
        return PF_Err_NONE;
    }
    auto local = std::make_unique<param_ui[]>(PARAM_COUNT);
    std::vector<int> indices;
    auto it = ranges.begin();
    while (it != ranges.end()) {
        int first = *it++;
        int last = *it++;
        for (int i = first; i <= last; ++i) indices.push_back(i);
    }
    PF_Err err = PF_Err_NONE;
    for (int i : indices) {
        err = value_get_ui(in_data, params, i, local[i].name, &local[i].flags, &local[i].ui_flags);
        if (err) return err;
    }
    edit(local.get());
    for (int i : indices) {
        err = value_maybe_set_ui(in_data, params, i, local[i].name, local[i].flags,
                                 local[i].ui_flags);
        if (err) return err;
    }
    return err;
}
}  // namespace

PF_Err UpdateUI_calculate_name_and_visibility_input(PF_InData* in_data, PF_OutData* out_data,
                                                    PF_ParamDef* params[], param_ui* ui, int kind) {
    (void)out_data;
    return edit_entries(in_data, params, ui, {5, 5, 7, 18},
                        [&](param_ui* u) { side_names(u, 0, kind); });
}

PF_Err UpdateUI_calculate_name_and_visibility_output(PF_InData* in_data, PF_OutData* out_data,
                                                     PF_ParamDef* params[], param_ui* ui,
                                                     int kind) {
    (void)out_data;
    return edit_entries(in_data, params, ui, {60, 60, 62, 73},
                        [&](param_ui* u) { side_names(u, OUTPUT_OFFSET, kind); });
}

PF_Err UpdateUI_calculate_name_and_visibility_card(PF_InData* in_data, PF_OutData* out_data,
                                                   PF_ParamDef* params[], param_ui* ui,
                                                   refcard_type type) {
    (void)out_data;
    return edit_entries(in_data, params, ui, {33, 36, 42, 42},
                        [&](param_ui* u) { card_names(in_data, u, type); });
}

PF_Err Changed(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
               PF_UserChangedParamExtra* extra) {
    (void)output;
    if (!extra) return PF_Err_BAD_CALLBACK_PARAM;
    int index = extra->param_index;
    refcard_type type = default_card_type();
    int input_kind = 0, output_kind = 0;
    PF_Err err = value_get_card_type(in_data, params, &type);
    if (!err) err = read_kind(in_data, params, P_INPUT_KIND, &input_kind);
    if (!err) err = read_kind(in_data, params, P_OUTPUT_KIND, &output_kind);
    if (!err) {
        switch (index) {
            case P_INPUT_TRANSFER:
                err = choose_transfer(in_data, params, 3, 21);
                if (!err) err = read_kind(in_data, params, P_INPUT_KIND, &input_kind);
                break;
            case P_INPUT_ISO_POPUP:
                err = choose_iso(in_data, params, 5, 6);
                break;
            case P_OUTPUT_TRANSFER:
                err = choose_transfer(in_data, params, 58, 76);
                if (!err) err = read_kind(in_data, params, P_OUTPUT_KIND, &output_kind);
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
                    type = CARD_TYPE[p];
                    err = value_set_card_type(in_data, params, type);
                }
                break;
            }
            case P_PATCH:
                err = patch_changed(in_data, out_data, params);
                break;
            default:
                break;
        }
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
        e = card_index == P_SOURCE ? UpdateUI_calculate_name_and_visibility_input(
                                         in_data, out_data, params, nullptr, input_kind)
                                   : UpdateUI_calculate_name_and_visibility_output(
                                         in_data, out_data, params, nullptr, output_kind);
        if (!err) err = e;
        e = UpdateUI_calculate_name_and_visibility_card(in_data, out_data, params, nullptr, type);
        if (!err) err = e;
        out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    }
    return err;
}

PF_Err FixUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             bool fix, bool* mismatch) {
    (void)output;
    *mismatch = false;
    struct pair {
        int popup, store;
        int (*expected)(double);
    };
    static const pair PAIRS[] = {
        {P_INPUT_TRANSFER, P_INPUT_KIND,
         [](double v) { return transfer_as_popup(static_cast<int>(v)); }},
        {P_INPUT_ISO_POPUP, P_INPUT_ISO,
         [](double v) { return iso_as_popup(static_cast<int>(v)); }},
        {P_CARD_TYPE_POPUP, P_CARD_TYPE,
         [](double v) { return card_type_as_popup(static_cast<int>(v)); }},
        {P_OUTPUT_TRANSFER, P_OUTPUT_KIND,
         [](double v) { return transfer_as_popup(static_cast<int>(v)); }},
        {P_OUTPUT_ISO_POPUP, P_OUTPUT_ISO,
         [](double v) { return iso_as_popup(static_cast<int>(v)); }},
    };
    PF_Err err = PF_Err_NONE;
    for (const pair& p : PAIRS) {
        double store = 0;
        int popup = 0;
        err = value_get_slider(in_data, params, p.store, &store);
        if (!err) err = value_get_popup(in_data, params, p.popup, &popup);
        if (err) break;
        int expected = p.expected(store);
        // A store this build has no popup item for cannot be shown; the popup stays.
        if (expected <= 0 || expected == popup) continue;
        *mismatch = true;
        if (fix) err = value_set_popup(in_data, params, p.popup, expected);
        if (err) break;
    }
    if (fix && *mismatch) out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return err;
}

PF_Err UpdateUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output) {
    refcard_type type = default_card_type();
    int input_kind = 0, output_kind = 0;
    PF_Err err = value_get_card_type(in_data, params, &type);
    if (!err) err = read_kind(in_data, params, P_INPUT_KIND, &input_kind);
    if (!err) err = read_kind(in_data, params, P_OUTPUT_KIND, &output_kind);
    if (err) return err;
    auto ui = std::make_unique<param_ui[]>(PARAM_COUNT);
    for (int i = 1; i < PARAM_COUNT; ++i) {
        err = value_get_ui(in_data, params, i, ui[i].name, &ui[i].flags, &ui[i].ui_flags);
        if (err) return err;
    }
    bool mismatch = false;
    PF_Err fix_err = FixUI(in_data, out_data, params, output, false, &mismatch);
    if (!fix_err && mismatch) {
        ui[P_UPDATE_UI].flags &= ~static_cast<A_long>(PF_ParamFlag_COLLAPSE_TWIRLY);
        ui[P_UPDATE_UI].ui_flags &= ~static_cast<A_long>(PF_PUI_INVISIBLE | PF_PUI_DISABLED);
    } else {
        ui[P_UPDATE_UI].ui_flags |= PF_PUI_INVISIBLE;
    }
    for (int levels : {16, 71})
        if (ui[levels].ui_flags & PF_PUI_INVISIBLE)
            ui[levels].flags &= ~static_cast<A_long>(PF_ParamFlag_COLLAPSE_TWIRLY);
    UpdateUI_calculate_name_and_visibility_input(in_data, out_data, params, ui.get(), input_kind);
    UpdateUI_calculate_name_and_visibility_output(in_data, out_data, params, ui.get(), output_kind);
    UpdateUI_calculate_name_and_visibility_card(in_data, out_data, params, ui.get(), type);
    for (int i = 1; i < PARAM_COUNT && !err; ++i)
        err = value_maybe_set_ui(in_data, params, i, ui[i].name, ui[i].flags, ui[i].ui_flags);
    return err;
}

PF_Err maybe_update_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    PF_Err err = PF_Err_NONE;
    uint32_t id = instanceID(in_data);
    real_mutex_lock(&global.lock);
    if (global.request_instance == id && global.request_tick != -1 &&
        global.request_tick == global.cached_tick) {
        image* img = nullptr;
        card_location* location = nullptr;
        if (global.cache_image_2.pixels) {
            img = &global.cache_image_2;
            location = &global.cache_location_2;
        } else if (global.cache_image.pixels) {
            img = &global.cache_image;
            location = &global.cache_location;
        }
        if (img && global.request_action != 0) {
            err = update_card(in_data, out_data, params, static_cast<int>(global.request_card),
                              static_cast<int>(global.request_action), img, location);
            global.request_tick = -1;
        }
    }
    real_mutex_unlock(&global.lock);
    return err;
}

PF_Err update_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int card_index,
                   int action, const image* img, card_location* location) {
    if (action != ACTION_FIND && action != ACTION_READ) return PF_Err_NONE;
    transfer_function tf{};
    color_space cs{};
    refcard_type type = default_card_type();
    PF_Err err = value_get_transfer_function(in_data, params, P_INPUT_KIND, &tf);
    if (!err) err = value_get_color_space(in_data, params, P_INPUT_RED_X, &cs);
    if (!err) err = value_get_card_type(in_data, params, &type);
    if (err) return err;
    auto c = std::make_unique<card>();
    std::memset(static_cast<void*>(c.get()), 0, sizeof(card));
    cardMakeRef(c.get(), &cs, type);
    if (!c->ref) return PF_Err_NONE;
    OfxPointD corners[4];
    if (action == ACTION_READ) {
        for (int k = 0; k < 4; ++k) corners[k] = location->corners[k];
    } else {
        err = cardFind(nullptr, img, &tf, c.get(), corners);
        if (!err) {
            for (int k = 0; k < 4; ++k) location->corners[k] = corners[k];
            location->scale_x = img->scale_x;
            location->scale_y = img->scale_y;
            err = value_set_card_location(in_data, params, img, location);
        }
    }
    if (!err) {
        // Each patch read over its own central part, in linear light, without specks and
        // glare: patch sizes vary with the card's size and tilt in the frame.
        cardReadSampled(img, &tf, corners, c.get(), CARD_SAMPLING_PATCH);
        err = value_set_card(in_data, params, card_index, c.get());
        out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    }
    // A chart that was not found changes nothing and is no failure.
    return err == FINDER_NOT_FOUND ? PF_Err_NONE : err;
}
