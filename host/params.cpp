#include "host/params.h"

#include <cmath>
#include <cstring>

AEGP_PluginID gid = 0;

namespace {

// A value the host keeps as a number but the effect uses as an int (a popup position, the
// chart type): NaN and numbers beyond int's range become -1, which no table holds, instead
// of an undefined conversion. A host clamps to the slider's range; a project or a damaged
// preset need not.
int stored_int(double v) {
    return v > -2147483649.0 && v < 2147483648.0 ? static_cast<int>(v) : -1;
}
refcard_type stored_card_type(double v) {
    return static_cast<refcard_type>(stored_int(v));
}

// The suites and the effect handle of one value access. The compositing host's stream
// path is taken only when both suites and the effect handle were obtained.
struct value_access {
    PF_InData* in_data = nullptr;
    const AEGP_PFInterfaceSuite1* pf_interface = nullptr;
    const AEGP_EffectSuite2* effect_suite = nullptr;
    AEGP_EffectRefH effect = nullptr;
    PF_Err err = PF_Err_NONE;

    explicit value_access(PF_InData* in) : in_data(in) {
        SPBasicSuite* basic = in ? in->pica_basicP : nullptr;
        if (!basic) return;
        const void* s = nullptr;
        if (basic->AcquireSuite(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &s) ==
                kSPNoError &&
            s)
            pf_interface = static_cast<const AEGP_PFInterfaceSuite1*>(s);
        s = nullptr;
        if (basic->AcquireSuite(kAEGPEffectSuite, kAEGPEffectSuiteVersion2, &s) == kSPNoError && s)
            effect_suite = static_cast<const AEGP_EffectSuite2*>(s);
        if (in->appl_id == APPL_ID_AE && pf_interface && effect_suite)
            err = pf_interface->AEGP_GetNewEffectForEffect(gid, in->effect_ref, &effect);
    }
    ~value_access() {
        if (effect && effect_suite) effect_suite->AEGP_DisposeEffect(effect);
        SPBasicSuite* basic = in_data ? in_data->pica_basicP : nullptr;
        if (!basic) return;
        if (pf_interface) basic->ReleaseSuite(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1);
        if (effect_suite) basic->ReleaseSuite(kAEGPEffectSuite, kAEGPEffectSuiteVersion2);
    }
    value_access(const value_access&) = delete;
    value_access& operator=(const value_access&) = delete;

    bool stream() const { return effect != nullptr; }
};

PF_ParamDef* slot(PF_ParamDef* params[], int index) {
    if (!params || index < 1 || index >= PARAM_COUNT) return nullptr;
    return params[index];
}

PF_Fixed to_fixed(double v) {
    double scaled = v * 65536.0;
    double r = scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5);
    if (!(r > -2147483648.0)) r = -2147483648.0;
    if (r > 2147483647.0) r = 2147483647.0;
    return static_cast<PF_Fixed>(r);
}

// Reads a number from a slider, popup or checkbox.
PF_Err get_number(value_access& va, PF_ParamDef* params[], int index, double* value) {
    if (va.err) return va.err;
    if (va.stream()) {
        AEGP_StreamValue v{};
        PF_Err err = VALUE_value_get(va.in_data, va.effect, index, &v);
        if (!err && v.streamH) *value = v.val.one_d;
        return err;
    }
    PF_ParamDef* p = slot(params, index);
    if (!p) return PF_Err_BAD_CALLBACK_PARAM;
    switch (p->param_type) {
        case PF_Param_FLOAT_SLIDER:
            *value = p->u.fs_d.value;
            break;
        case PF_Param_FIX_SLIDER:
            *value = p->u.fd.value / 65536.0;
            break;
        case PF_Param_SLIDER:
            *value = p->u.sd.value;
            break;
        case PF_Param_POPUP:
            *value = p->u.pd.value;
            break;
        case PF_Param_CHECKBOX:
            *value = p->u.bd.value;
            break;
        default:
            return PF_Err_BAD_CALLBACK_PARAM;
    }
    return PF_Err_NONE;
}

PF_Err set_number(value_access& va, PF_ParamDef* params[], int index, double value) {
    if (va.err) return va.err;
    if (va.stream()) {
        AEGP_StreamValue v{};
        v.val.one_d = value;
        return VALUE_value_set(va.in_data, va.effect, index, &v);
    }
    PF_ParamDef* p = slot(params, index);
    if (!p) return PF_Err_BAD_CALLBACK_PARAM;
    bool changed = false;
    switch (p->param_type) {
        case PF_Param_FLOAT_SLIDER:
            changed = p->u.fs_d.value != value;
            if (changed) p->u.fs_d.value = value;
            break;
        case PF_Param_FIX_SLIDER: {
            PF_Fixed f = to_fixed(value);
            changed = p->u.fd.value != f;
            if (changed) p->u.fd.value = f;
            break;
        }
        case PF_Param_SLIDER:
        case PF_Param_POPUP:
        case PF_Param_CHECKBOX: {
            auto i = static_cast<PF_ParamValue>(value);
            PF_ParamValue* target = p->param_type == PF_Param_POPUP      ? &p->u.pd.value
                                    : p->param_type == PF_Param_CHECKBOX ? &p->u.bd.value
                                                                         : &p->u.sd.value;
            changed = *target != i;
            if (changed) *target = i;
            break;
        }
        default:
            return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (changed) p->uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
    return PF_Err_NONE;
}

// Copies a ColorCard handle into a zeroed card; the stored pointer is replaced by the chart
// of the hidden card type.
void card_from_handle(PF_InData* in_data, PF_Handle h, card* c) {
    std::memset(static_cast<void*>(c), 0, sizeof(card));
    if (!h || !in_data || !in_data->utils) return;
    void* mem = in_data->utils->host_lock_handle(h);
    if (mem) {
        A_HandleSize size = in_data->utils->host_get_handle_size(h);
        std::memcpy(static_cast<void*>(c), mem, size < sizeof(card) ? size : sizeof(card));
        in_data->utils->host_unlock_handle(h);
    }
    c->ref = nullptr;
}

PF_Err get_card_raw(value_access& va, PF_ParamDef* params[], int index, card* c) {
    if (va.err) return va.err;
    PF_Err err = PF_Err_NONE;
    if (va.stream()) {
        AEGP_StreamValue v{};
        err = VALUE_value_get(va.in_data, va.effect, index, &v);
        std::memset(static_cast<void*>(c), 0, sizeof(card));
        if (!err && v.streamH) {
            card_from_handle(va.in_data, v.val.arbH, c);
            if (v.val.arbH) va.in_data->utils->host_dispose_handle(v.val.arbH);
        }
    } else {
        PF_ParamDef* p = slot(params, index);
        if (!p || p->param_type != PF_Param_ARBITRARY_DATA) return PF_Err_BAD_CALLBACK_PARAM;
        card_from_handle(va.in_data, p->u.arb_d.value, c);
    }
    if (err) return err;
    double type = 0;
    err = get_number(va, params, P_CARD_TYPE, &type);
    c->ref = refcard(stored_card_type(type));
    return err;
}

// Writes the card's bytes (the pointer field zeroed) into a ColorCard value.
PF_Err set_card_raw(value_access& va, PF_ParamDef* params[], int index, const card* c) {
    if (va.err) return va.err;
    PF_UtilCallbacks* u = va.in_data->utils;
    unsigned char bytes[CARD_HANDLE_SIZE] = {};
    std::memcpy(bytes, c, sizeof(card));
    std::memset(bytes, 0, sizeof(void*));
    if (va.stream()) {
        PF_Handle h = u->host_new_handle(CARD_HANDLE_SIZE);
        if (!h) return PF_Err_OUT_OF_MEMORY;
        void* mem = u->host_lock_handle(h);
        if (!mem) {
            u->host_dispose_handle(h);
            return PF_Err_OUT_OF_MEMORY;
        }
        std::memcpy(mem, bytes, CARD_HANDLE_SIZE);
        u->host_unlock_handle(h);
        AEGP_StreamValue v{};
        v.val.arbH = h;
        PF_Err err = VALUE_value_set(va.in_data, va.effect, index, &v);
        u->host_dispose_handle(h);
        return err;
    }
    PF_ParamDef* p = slot(params, index);
    if (!p || p->param_type != PF_Param_ARBITRARY_DATA) return PF_Err_BAD_CALLBACK_PARAM;
    PF_Handle h = p->u.arb_d.value;
    bool resized = false;
    if (!h) {
        h = u->host_new_handle(CARD_HANDLE_SIZE);
        if (!h) return PF_Err_OUT_OF_MEMORY;
        p->u.arb_d.value = h;
        resized = true;
    } else if (u->host_get_handle_size(h) != CARD_HANDLE_SIZE) {
        PF_Err err = u->host_resize_handle(CARD_HANDLE_SIZE, &h);
        if (err) return err;
        p->u.arb_d.value = h;
        resized = true;
    }
    void* mem = u->host_lock_handle(h);
    if (!mem) return PF_Err_OUT_OF_MEMORY;
    // The pointer bytes are not part of the value: a card differs only by its colours.
    bool differs =
        resized || std::memcmp(static_cast<char*>(mem) + sizeof(void*), bytes + sizeof(void*),
                               CARD_HANDLE_SIZE - sizeof(void*)) != 0;
    if (differs) {
        std::memcpy(mem, bytes, CARD_HANDLE_SIZE);
        p->uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
    }
    u->host_unlock_handle(h);
    return PF_Err_NONE;
}

struct store_map {
    int kind, iso, a, g, h, i, black, white, red_x;
};
constexpr store_map INPUT_STORES = {4, 6, 7, 14, 13, 15, 17, 18, 21};
constexpr store_map OUTPUT_STORES = {59, 61, 62, 68, 69, 70, 72, 73, 76};
const store_map& stores(int side) {
    return side_is_input(side) ? INPUT_STORES : OUTPUT_STORES;
}

PF_Err get_transfer(value_access& va, PF_ParamDef* params[], int side, transfer_function* tf) {
    const store_map& m = stores(side);
    std::memset(tf, 0, sizeof(*tf));
    double v = 0;
    PF_Err err = get_number(va, params, m.kind, &v);
    tf->kind = static_cast<int32_t>(v);
    if (!err) err = get_number(va, params, m.iso, &v), tf->iso = static_cast<int32_t>(v);
    float* abc[6] = {&tf->a, &tf->b, &tf->c, &tf->d, &tf->e, &tf->f};
    for (int k = 0; k < 6 && !err; ++k) {
        err = get_number(va, params, m.a + k, &v);
        *abc[k] = static_cast<float>(v);
    }
    if (!err) err = get_number(va, params, m.g, &v), tf->g = v != 0 ? 1 : 0;
    if (!err) err = get_number(va, params, m.h, &v), tf->h = v != 0 ? 1 : 0;
    if (!err) err = get_number(va, params, m.i, &v), tf->i = v != 0 ? 1 : 0;
    if (!err) err = get_number(va, params, m.black, &v), tf->black = static_cast<float>(v);
    if (!err) err = get_number(va, params, m.white, &v), tf->white = static_cast<float>(v);
    return err;
}

PF_Err get_space(value_access& va, PF_ParamDef* params[], int side, color_space* cs) {
    const store_map& m = stores(side);
    double* out[8] = {&cs->red_x,  &cs->red_y,  &cs->green_x, &cs->green_y,
                      &cs->blue_x, &cs->blue_y, &cs->white_x, &cs->white_y};
    PF_Err err = PF_Err_NONE;
    for (int k = 0; k < 8 && !err; ++k) {
        double v = 0;
        err = get_number(va, params, m.red_x + k, &v);
        // Slider values are kept in float precision by the hosts.
        *out[k] = static_cast<double>(static_cast<float>(v));
    }
    return err;
}

PF_Err set_space(value_access& va, PF_ParamDef* params[], int side, const color_space* cs) {
    const store_map& m = stores(side);
    const double in[8] = {cs->red_x,  cs->red_y,  cs->green_x, cs->green_y,
                          cs->blue_x, cs->blue_y, cs->white_x, cs->white_y};
    PF_Err err = PF_Err_NONE;
    for (int k = 0; k < 8 && !err; ++k)
        err = set_number(va, params, m.red_x + k, static_cast<double>(static_cast<float>(in[k])));
    return err;
}

}  // namespace

// ---------------------------------------------------------------------------
// Defaults and definitions

const transfer_function* default_transfer_function() {
    return &TRANSFER_FUNCTION[transfer_as_popup(2)];
}
const color_space* default_color_space() {
    return &COLOR_SPACE[transfer_as_popup(2)];
}
refcard_type default_card_type() {
    return CARD_TYPE[card_type_as_popup(1)];
}

int card_type_as_popup(int type) {
    static const int POSITION[REFCARD_TYPE_COUNT] = {5, 6, 1, 2, 7, 8, 10, 9, 3, 4};
    if (type < 0 || type >= REFCARD_TYPE_COUNT) return -1;
    return POSITION[type];
}
int card_type_as_popup(float type) {
    if (!(type > -2147483648.0f && type < 2147483648.0f)) return -1;
    return card_type_as_popup(static_cast<int>(type));
}

namespace {
double default_number(const param_definition& d) {
    const transfer_function* tf = default_transfer_function();
    const color_space* cs = default_color_space();
    int k = d.default_kind;
    if (k >= DEFAULT_TRANSFER_A && k < DEFAULT_TRANSFER_A + 6) {
        const float v[6] = {tf->a, tf->b, tf->c, tf->d, tf->e, tf->f};
        return v[k - DEFAULT_TRANSFER_A];
    }
    if (k >= DEFAULT_TRANSFER_G && k < DEFAULT_TRANSFER_G + 3) {
        const uint8_t v[3] = {tf->g, tf->h, tf->i};
        return v[k - DEFAULT_TRANSFER_G];
    }
    if (k >= DEFAULT_CHROMATICITY && k < DEFAULT_CHROMATICITY + 8) {
        const double v[8] = {cs->red_x,  cs->red_y,  cs->green_x, cs->green_y,
                             cs->blue_x, cs->blue_y, cs->white_x, cs->white_y};
        return v[k - DEFAULT_CHROMATICITY];
    }
    switch (k) {
        case DEFAULT_TRANSFER_POPUP:
            return transfer_as_popup(tf->kind);
        case DEFAULT_TRANSFER_KIND:
            return tf->kind;
        case DEFAULT_ISO_POPUP:
            return iso_as_popup(tf->iso);
        case DEFAULT_ISO:
            return tf->iso;
        case DEFAULT_BLACK:
            return tf->black;
        case DEFAULT_WHITE:
            return tf->white;
        case DEFAULT_CARD_POPUP:
            return card_type_as_popup(1);
        case DEFAULT_CARD_TYPE:
            return default_card_type();
        default:
            return d.value;
    }
}
}  // namespace

void param_definition_fill(PF_ParamDef* def, int index, bool premiere) {
    std::memset(def, 0, sizeof(*def));
    if (index < 1 || index >= PARAM_COUNT) return;
    const param_definition& d = PARAM_DEFINITION[index];
    def->uu.id = index;
    const char* name = d.name;
    if (!name) {
        const reference_card* rc = refcard(default_card_type());
        name = rc ? rc->corner_names[d.default_kind - DEFAULT_CORNER] : "";
    }
    std::strncpy(def->name, name, sizeof(def->name) - 1);
    if (d.marks & MARK_SUPERVISE) def->flags |= PF_ParamFlag_SUPERVISE;
    if (d.marks & MARK_CANNOT_TIME_VARY) def->flags |= PF_ParamFlag_CANNOT_TIME_VARY;
    if (d.marks & MARK_COLLAPSE) def->flags |= PF_ParamFlag_COLLAPSE_TWIRLY;
    if (d.marks & MARK_HIDDEN) def->ui_flags |= PF_PUI_INVISIBLE | PF_PUI_NO_ECW_UI;
    if (d.marks & MARK_CONTROL) def->ui_flags |= PF_PUI_CONTROL;
    if (d.marks & MARK_DISABLED) def->ui_flags |= PF_PUI_DISABLED;
    def->ui_width = static_cast<A_short>(d.ui_width);
    def->ui_height = static_cast<A_short>(d.ui_height);
    double v = default_number(d);
    switch (d.kind) {
        case PARAM_CUSTOM:
            def->param_type = PF_Param_NO_DATA;
            break;
        case PARAM_GROUP_START:
            def->param_type = PF_Param_GROUP_START;
            break;
        case PARAM_GROUP_END:
            def->param_type = PF_Param_GROUP_END;
            break;
        case PARAM_POPUP:
            def->param_type = PF_Param_POPUP;
            def->u.pd.value = static_cast<PF_ParamValue>(v);
            def->u.pd.dephault = static_cast<A_short>(v);
            def->u.pd.num_choices = static_cast<A_short>(d.popup_count);
            def->u.pd.names = d.popup;
            break;
        case PARAM_FLOAT_SLIDER:
            def->param_type = PF_Param_FLOAT_SLIDER;
            def->u.fs_d.value = def->u.fs_d.dephault = v;
            def->u.fs_d.valid_min = d.valid_min;
            def->u.fs_d.valid_max = d.valid_max;
            def->u.fs_d.slider_min = d.slider_min;
            def->u.fs_d.slider_max = d.slider_max;
            def->u.fs_d.precision = static_cast<A_short>(
                premiere && (index == 17 || index == 18 || index == 72 || index == 73)
                    ? 4
                    : d.precision);
            def->u.fs_d.display_flags =
                static_cast<A_short>(d.display == DISPLAY_PIXEL     ? PF_ValueDisplayFlag_PIXEL
                                     : d.display == DISPLAY_PERCENT ? PF_ValueDisplayFlag_PERCENT
                                                                    : 0);
            def->u.fs_d.curve_tolerance = 0.05f;
            break;
        case PARAM_FIXED_SLIDER:
            def->param_type = PF_Param_FIX_SLIDER;
            def->u.fd.value = def->u.fd.dephault = to_fixed(v);
            def->u.fd.valid_min = to_fixed(d.valid_min);
            def->u.fd.valid_max = to_fixed(d.valid_max);
            def->u.fd.slider_min = to_fixed(d.slider_min);
            def->u.fd.slider_max = to_fixed(d.slider_max);
            def->u.fd.precision = static_cast<A_short>(d.precision);
            break;
        case PARAM_CHECKBOX:
            def->param_type = PF_Param_CHECKBOX;
            def->u.bd.value = v != 0 ? 1 : 0;
            def->u.bd.dephault = v != 0 ? 1 : 0;
            def->u.bd.u_name = "";
            break;
        case PARAM_POINT: {
            static const double PERCENT[4][2] = {{25, 25}, {75, 25}, {75, 75}, {25, 75}};
            int corner = d.default_kind - DEFAULT_CORNER;
            def->param_type = PF_Param_POINT;
            def->u.td.restrict_bounds = 0;
            def->u.td.dephaults_are_percent = 1;
            def->u.td.x_value = def->u.td.x_dephault = to_fixed(PERCENT[corner][0]);
            def->u.td.y_value = def->u.td.y_dephault = to_fixed(PERCENT[corner][1]);
            break;
        }
        case PARAM_COLOR:
            def->param_type = PF_Param_COLOR;
            def->u.cd.value = def->u.cd.dephault = PF_Pixel{255, 0, 0, 0};
            break;
        case PARAM_ARBITRARY:
            def->param_type = PF_Param_ARBITRARY_DATA;
            def->u.arb_d.id = static_cast<A_short>(index);
            break;
        case PARAM_NONE:
            break;
    }
}

namespace {
// A new ColorCard value holding the reference card of `type` in `cs`.
PF_Err new_reference_handle(PF_InData* in_data, const color_space* cs, refcard_type type,
                            PF_Handle* out) {
    PF_UtilCallbacks* u = in_data->utils;
    PF_Handle h = u->host_new_handle(CARD_HANDLE_SIZE);
    if (!h) return PF_Err_OUT_OF_MEMORY;
    void* mem = u->host_lock_handle(h);
    if (!mem) {
        u->host_dispose_handle(h);
        return PF_Err_OUT_OF_MEMORY;
    }
    std::memset(mem, 0, CARD_HANDLE_SIZE);
    card* c = static_cast<card*>(mem);
    cardMakeRef(c, cs, type);
    c->ref = nullptr;
    u->host_unlock_handle(h);
    *out = h;
    return PF_Err_NONE;
}
}  // namespace

PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data) {
    (void)out_data;
    bool premiere = in_data->appl_id == APPL_ID_PREMIERE;
    PF_Err err = PF_Err_NONE;
    for (int index = 1; index < PARAM_COUNT && !err; ++index) {
        PF_ParamDef def;
        param_definition_fill(&def, index, premiere);
        if (def.param_type == PF_Param_ARBITRARY_DATA) {
            err = new_reference_handle(in_data, default_color_space(), default_card_type(),
                                       &def.u.arb_d.dephault);
            if (err) break;
            def.u.arb_d.value = nullptr;
        }
        err = in_data->inter.add_param(in_data->effect_ref, index, &def);
    }
    return err;
}

// ---------------------------------------------------------------------------
// The stream path

PF_Err VALUE_value_get(PF_InData* in_data, AEGP_EffectRefH effect, int index,
                       AEGP_StreamValue* value) {
    SPBasicSuite* basic = in_data->pica_basicP;
    const void* s = nullptr;
    if (!basic ||
        basic->AcquireSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7, &s) != kSPNoError || !s)
        return PF_Err_NONE;  // no suite: the value stays as it was
    auto* suite = static_cast<const AEGP_StreamSuite7*>(s);
    AEGP_StreamRefH stream = nullptr;
    PF_Err err = suite->AEGP_GetNewEffectStreamByIndex(gid, effect, index, &stream);
    if (!err && stream) {
        A_Time t{in_data->current_time, in_data->time_scale};
        err = suite->AEGP_GetNewStreamValue(gid, stream, AEGP_LTimeMode_LayerTime, &t, 1, value);
        suite->AEGP_DisposeStream(stream);
    }
    basic->ReleaseSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
    return err;
}

PF_Err VALUE_value_set(PF_InData* in_data, AEGP_EffectRefH effect, int index,
                       AEGP_StreamValue* value) {
    SPBasicSuite* basic = in_data->pica_basicP;
    const void* s = nullptr;
    if (!basic ||
        basic->AcquireSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7, &s) != kSPNoError || !s)
        return PF_Err_NONE;
    auto* suite = static_cast<const AEGP_StreamSuite7*>(s);
    AEGP_StreamRefH stream = nullptr;
    PF_Err err = suite->AEGP_GetNewEffectStreamByIndex(gid, effect, index, &stream);
    if (!err && stream) {
        value->streamH = stream;
        err = suite->AEGP_SetStreamValue(gid, stream, value);
        suite->AEGP_DisposeStream(stream);
    }
    basic->ReleaseSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
    return err;
}

// ---------------------------------------------------------------------------
// Values

PF_Err value_get_slider(PF_InData* in_data, PF_ParamDef* params[], int index, double* value) {
    value_access va(in_data);
    return get_number(va, params, index, value);
}
PF_Err value_get_slider(PF_InData* in_data, PF_ParamDef* params[], int index, float* value) {
    double v = *value;
    PF_Err err = value_get_slider(in_data, params, index, &v);
    *value = static_cast<float>(v);
    return err;
}
PF_Err value_set_slider(PF_InData* in_data, PF_ParamDef* params[], int index, float value) {
    value_access va(in_data);
    return set_number(va, params, index, value);
}
PF_Err value_set_slider(PF_InData* in_data, PF_ParamDef* params[], int index, double value) {
    return value_set_slider(in_data, params, index, static_cast<float>(value));
}
PF_Err value_get_popup(PF_InData* in_data, PF_ParamDef* params[], int index, int* value) {
    value_access va(in_data);
    double v = *value;
    PF_Err err = get_number(va, params, index, &v);
    *value = stored_int(v);
    return err;
}
PF_Err value_set_popup(PF_InData* in_data, PF_ParamDef* params[], int index, int value) {
    value_access va(in_data);
    return set_number(va, params, index, value);
}
PF_Err value_get_checkbox(PF_InData* in_data, PF_ParamDef* params[], int index, bool* value) {
    value_access va(in_data);
    double v = *value ? 1 : 0;
    PF_Err err = get_number(va, params, index, &v);
    *value = v != 0;
    return err;
}
PF_Err value_set_checkbox(PF_InData* in_data, PF_ParamDef* params[], int index, bool value) {
    value_access va(in_data);
    return set_number(va, params, index, value ? 1 : 0);
}

PF_Err value_get_color(PF_InData* in_data, PF_ParamDef* params[], int index, PF_PixelFloat* value) {
    value_access va(in_data);
    if (va.err) return va.err;
    if (va.stream()) {
        AEGP_StreamValue v{};
        PF_Err err = VALUE_value_get(in_data, va.effect, index, &v);
        if (!err && v.streamH) {
            value->red = v.val.color.redF;
            value->green = v.val.color.greenF;
            value->blue = v.val.color.blueF;
            value->alpha = v.val.color.alphaF;
        }
        return err;
    }
    PF_ParamDef* p = slot(params, index);
    if (!p || p->param_type != PF_Param_COLOR) return PF_Err_BAD_CALLBACK_PARAM;
    value->red = p->u.cd.value.red / 255.0f;
    value->green = p->u.cd.value.green / 255.0f;
    value->blue = p->u.cd.value.blue / 255.0f;
    value->alpha = p->u.cd.value.alpha / 255.0f;
    return PF_Err_NONE;
}

PF_Err value_set_color(PF_InData* in_data, PF_ParamDef* params[], int index,
                       const PF_PixelFloat* value) {
    value_access va(in_data);
    if (va.err) return va.err;
    if (va.stream()) {
        AEGP_StreamValue v{};
        v.val.color = AEGP_ColorVal{1.0f, value->red, value->green, value->blue};
        return VALUE_value_set(in_data, va.effect, index, &v);
    }
    PF_ParamDef* p = slot(params, index);
    if (!p || p->param_type != PF_Param_COLOR) return PF_Err_BAD_CALLBACK_PARAM;
    auto channel = [](float f) -> A_u_char {
        float v = f * 255.0f;
        // Out-of-range and NaN channels saturate instead of overflowing the byte.
        if (!(v > 0.0f)) return 0;
        if (v >= 255.0f) return 255;
        return static_cast<A_u_char>(v);
    };
    PF_Pixel px{255, channel(value->red), channel(value->green), channel(value->blue)};
    if (std::memcmp(&px, &p->u.cd.value, sizeof(px)) != 0) {
        p->u.cd.value = px;
        p->uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
    }
    return PF_Err_NONE;
}

PF_Err value_get_transfer_function(PF_InData* in_data, PF_ParamDef* params[], int side,
                                   transfer_function* tf) {
    value_access va(in_data);
    return get_transfer(va, params, side, tf);
}

PF_Err value_set_transfer_function(PF_InData* in_data, PF_ParamDef* params[], int side,
                                   const transfer_function* tf) {
    value_access va(in_data);
    const store_map& m = stores(side);
    int popup = side_is_input(side) ? P_INPUT_TRANSFER : P_OUTPUT_TRANSFER;
    int iso_popup = side_is_input(side) ? P_INPUT_ISO_POPUP : P_OUTPUT_ISO_POPUP;
    PF_Err err = set_number(va, params, m.kind, tf->kind);
    if (!err) err = set_number(va, params, m.iso, tf->iso);
    const float abc[6] = {tf->a, tf->b, tf->c, tf->d, tf->e, tf->f};
    for (int k = 0; k < 6 && !err; ++k) err = set_number(va, params, m.a + k, abc[k]);
    if (!err) err = set_number(va, params, m.g, tf->g ? 1 : 0);
    if (!err) err = set_number(va, params, m.h, tf->h ? 1 : 0);
    if (!err) err = set_number(va, params, m.i, tf->i ? 1 : 0);
    if (!err) err = set_number(va, params, m.black, tf->black);
    if (!err) err = set_number(va, params, m.white, tf->white);
    int position = transfer_as_popup(tf->kind);
    if (!err && position > 0) err = set_number(va, params, popup, position);
    position = iso_as_popup(tf->iso);
    if (!err && position > 0) err = set_number(va, params, iso_popup, position);
    return err;
}

PF_Err value_get_color_space(PF_InData* in_data, PF_ParamDef* params[], int side, color_space* cs) {
    value_access va(in_data);
    return get_space(va, params, side, cs);
}
PF_Err value_set_color_space(PF_InData* in_data, PF_ParamDef* params[], int side,
                             const color_space* cs) {
    value_access va(in_data);
    return set_space(va, params, side, cs);
}

PF_Err value_get_card(PF_InData* in_data, PF_ParamDef* params[], int index, card* c) {
    value_access va(in_data);
    return get_card_raw(va, params, index, c);
}
PF_Err value_set_card(PF_InData* in_data, PF_ParamDef* params[], int index, const card* c) {
    value_access va(in_data);
    return set_card_raw(va, params, index, c);
}

PF_Err value_get_card_type(PF_InData* in_data, PF_ParamDef* params[], refcard_type* type) {
    value_access va(in_data);
    double v = *type;
    PF_Err err = get_number(va, params, P_CARD_TYPE, &v);
    *type = stored_card_type(v);
    return err;
}

PF_Err value_set_card_type(PF_InData* in_data, PF_ParamDef* params[], refcard_type type) {
    value_access va(in_data);
    double old_value = 0;
    PF_Err err = get_number(va, params, P_CARD_TYPE, &old_value);
    if (!err) err = set_number(va, params, P_CARD_TYPE, static_cast<double>(type));
    double popup = 0;
    if (!err) err = get_number(va, params, P_CARD_TYPE_POPUP, &popup);
    int position = card_type_as_popup(static_cast<int>(type));
    if (!err && position > 0 && stored_int(popup) != position)
        err = set_number(va, params, P_CARD_TYPE_POPUP, position);
    if (err) return err;
    const reference_card* old_card = refcard(stored_card_type(old_value));
    const reference_card* new_card = refcard(type);
    if (!new_card) return PF_Err_NONE;
    if (old_card && old_card->patch_count == new_card->patch_count) return PF_Err_NONE;
    for (int index : {P_SOURCE, P_TARGET}) {
        color_space cs{};
        err = get_space(va, params, index, &cs);
        if (err) return err;
        card c;
        std::memset(static_cast<void*>(&c), 0, sizeof(c));
        cardMakeRef(&c, &cs, type);
        err = set_card_raw(va, params, index, &c);
        if (err) return err;
    }
    return PF_Err_NONE;
}

PF_Err value_get_card_location(PF_InData* in_data, PF_ParamDef* params[], card_location* loc) {
    std::memset(loc, 0, sizeof(*loc));
    for (int k = 0; k < 4; ++k) {
        PF_ParamDef* p = slot(params, P_CORNER_TL + k);
        if (!p) return PF_Err_BAD_CALLBACK_PARAM;
        loc->corners[k].x = p->u.td.x_value / 65536.0;
        loc->corners[k].y = p->u.td.y_value / 65536.0;
    }
    loc->scale_x = in_data->downsample_x.den
                       ? static_cast<double>(in_data->downsample_x.num) / in_data->downsample_x.den
                       : 1.0;
    loc->scale_y = in_data->downsample_y.den
                       ? static_cast<double>(in_data->downsample_y.num) / in_data->downsample_y.den
                       : 1.0;
    return PF_Err_NONE;
}

PF_Err value_set_card_location(PF_InData* in_data, PF_ParamDef* params[], const image* img,
                               const card_location* loc) {
    value_access va(in_data);
    if (va.err) return va.err;
    PF_Err err = PF_Err_NONE;
    for (int k = 0; k < 4 && !err; ++k) {
        double x = loc->corners[k].x / loc->scale_x;
        double y = loc->corners[k].y / loc->scale_y;
        if (va.stream()) {
            AEGP_StreamValue v{};
            v.val.two_d.x = x - img->left / img->scale_x;
            v.val.two_d.y = y - img->top / img->scale_y;
            err = VALUE_value_set(in_data, va.effect, P_CORNER_TL + k, &v);
        } else {
            PF_ParamDef* p = slot(params, P_CORNER_TL + k);
            if (!p) return PF_Err_BAD_CALLBACK_PARAM;
            p->u.td.x_value = to_fixed(x * img->scale_x - img->left);
            p->u.td.y_value = to_fixed(y * img->scale_y - img->top);
            p->uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
        }
    }
    return err;
}

PF_Err value_update_card(PF_InData* in_data, PF_ParamDef* params[], int index) {
    value_access va(in_data);
    card c;
    PF_Err err = get_card_raw(va, params, index, &c);
    if (err) return err;
    double type = 0;
    err = get_number(va, params, P_CARD_TYPE, &type);
    if (err) return err;
    if (c.reference) {
        color_space cs{};
        err = get_space(va, params, index, &cs);
        if (err) return err;
        cardMakeRef(&c, &cs, stored_card_type(type));
    } else if (c.display_valid) {
        transfer_function tf{};
        err = get_transfer(va, params, index, &tf);
        if (err) return err;
        if (c.ref) cardUpdateLinearFromDisplay(&c, &tf);
    }
    return set_card_raw(va, params, index, &c);
}

PF_Err value_get_ui(PF_InData* in_data, PF_ParamDef* params[], int index, char* name, A_long* flags,
                    A_long* ui_flags) {
    PF_ParamDef* p = slot(params, index);
    if (!p) return PF_Err_BAD_CALLBACK_PARAM;
    if (name) {
        std::memcpy(name, p->name, sizeof(p->name));
        name[sizeof(p->name) - 1] = 0;
    }
    *flags = p->flags;
    *ui_flags = p->ui_flags;
    value_access va(in_data);
    if (!va.stream()) return va.err;
    SPBasicSuite* basic = in_data->pica_basicP;
    const void* s = nullptr;
    const void* d = nullptr;
    PF_Err err = PF_Err_NONE;
    if (basic->AcquireSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7, &s) == kSPNoError && s) {
        if (basic->AcquireSuite(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5, &d) ==
                kSPNoError &&
            d) {
            auto* ss = static_cast<const AEGP_StreamSuite7*>(s);
            auto* ds = static_cast<const AEGP_DynamicStreamSuite5*>(d);
            AEGP_StreamRefH stream = nullptr;
            err = ss->AEGP_GetNewEffectStreamByIndex(gid, va.effect, index, &stream);
            if (!err && stream) {
                AEGP_DynStreamFlags f = 0;
                err = ds->AEGP_GetDynamicStreamFlags(stream, &f);
                if (!err && (f & (1 << AEGP_DynStreamFlag_HIDDEN))) *ui_flags |= PF_PUI_INVISIBLE;
                ss->AEGP_DisposeStream(stream);
            }
            basic->ReleaseSuite(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5);
        }
        basic->ReleaseSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
    }
    return err;
}

PF_Err value_set_ui(PF_InData* in_data, PF_ParamDef* params[], int index, const char* name,
                    A_long flags, A_long ui_flags) {
    PF_ParamDef* p = slot(params, index);
    if (!p) return PF_Err_BAD_CALLBACK_PARAM;
    PF_ParamDef copy = *p;
    if (name) {
        std::strncpy(copy.name, name, sizeof(copy.name) - 1);
        copy.name[sizeof(copy.name) - 1] = 0;
    }
    copy.flags = flags;
    copy.ui_flags = ui_flags;
    SPBasicSuite* basic = in_data->pica_basicP;
    if (!basic) return PF_Err_NONE;
    PF_Err err = PF_Err_NONE;
    {
        value_access va(in_data);
        if (va.stream()) {
            const void* s = nullptr;
            const void* d = nullptr;
            if (basic->AcquireSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7, &s) == kSPNoError &&
                s) {
                if (basic->AcquireSuite(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5,
                                        &d) == kSPNoError &&
                    d) {
                    auto* ss = static_cast<const AEGP_StreamSuite7*>(s);
                    auto* ds = static_cast<const AEGP_DynamicStreamSuite5*>(d);
                    AEGP_StreamRefH stream = nullptr;
                    err = ss->AEGP_GetNewEffectStreamByIndex(gid, va.effect, index, &stream);
                    if (!err && stream) {
                        err = ds->AEGP_SetDynamicStreamFlag(stream, AEGP_DynStreamFlag_HIDDEN, 0,
                                                            (ui_flags & PF_PUI_INVISIBLE) ? 1 : 0);
                        ss->AEGP_DisposeStream(stream);
                    }
                    basic->ReleaseSuite(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5);
                }
                basic->ReleaseSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
            }
        }
    }
    if (err) return err;
    const void* s = nullptr;
    if (basic->AcquireSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &s) == kSPNoError &&
        s) {
        err = static_cast<const PF_ParamUtilsSuite2*>(s)->PF_UpdateParamUI(in_data->effect_ref,
                                                                           index, &copy);
        basic->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2);
    }
    return err;
}

PF_Err value_maybe_set_ui(PF_InData* in_data, PF_ParamDef* params[], int index, const char* name,
                          A_long flags, A_long ui_flags) {
    char current[32] = {};
    A_long f = 0, u = 0;
    PF_Err err = value_get_ui(in_data, params, index, current, &f, &u);
    if (err) return err;
    bool same = f == flags && u == ui_flags && (!name || std::strncmp(current, name, 31) == 0);
    if (same) return PF_Err_NONE;
    return value_set_ui(in_data, params, index, name, flags, ui_flags);
}

PF_Err value_get_all(PF_InData* in_data, PF_ParamDef* params[], parameters* p) {
    parameters_clear(p);
    value_access va(in_data);
    PF_Err err = get_transfer(va, params, 3, &p->input_transfer);
    if (!err) err = get_transfer(va, params, 58, &p->output_transfer);
    if (!err) err = get_space(va, params, 4, &p->input_space);
    if (!err) err = get_space(va, params, 59, &p->output_space);
    if (!err) err = get_card_raw(va, params, P_SOURCE, &p->source);
    if (!err) err = get_card_raw(va, params, P_TARGET, &p->target);
    double v = 0;
    if (!err) err = get_number(va, params, P_CORRECTION, &v), p->mode = static_cast<int32_t>(v);
    if (!err) err = get_number(va, params, P_WHITE_BALANCE, &v), p->white_balance = v != 0;
    if (!err)
        err = get_number(va, params, P_PRESERVE_LIGHTNESS, &v), p->preserve_lightness = v != 0;
    if (!err) err = get_number(va, params, P_SATURATION, &v), p->saturation = static_cast<float>(v);
    if (!err) err = get_number(va, params, P_HIGHLIGHT, &v), p->highlight_protection = v != 0;
    if (!err) err = get_number(va, params, P_EXPOSURE, &v), p->exposure = static_cast<float>(v);
    if (!err) err = get_number(va, params, P_GRAYS, &v), p->grays = static_cast<float>(v);
    if (!err) err = get_number(va, params, P_CONTRAST, &v), p->contrast = static_cast<float>(v);
    if (!err) err = get_number(va, params, P_WHITES, &v), p->whites = static_cast<float>(v);
    if (!err) err = get_number(va, params, P_BLACKS, &v), p->blacks = static_cast<float>(v);
    return err;
}
