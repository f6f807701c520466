#include "headless/host.h"

#if defined(_WIN32)
#include "headless/dlfcn_windows.h"
#else
#include <dlfcn.h>
#include <elf.h>
#endif

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "headless/memory.h"

// ---------------------------------------------------------------------------
// The plug-in file

#if defined(_WIN32)
// The record is the PiPL resource (id 16000, US English); the file is mapped as data, so
// none of its code runs.
bool headless_read_registration(const std::string& path, registration_record* record) {
    const std::wstring wide = wide_from_utf8(path.c_str());
    HMODULE m = LoadLibraryExW(wide.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return false;
    bool ok = false;
    HRSRC found = FindResourceExW(m, L"PiPL", MAKEINTRESOURCEW(16000),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL loaded = found ? LoadResource(m, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes && SizeofResource(m, found) >= sizeof(registration_record)) {
        std::memcpy(record, bytes, sizeof(*record));
        ok = record->magic == REGISTRATION_MAGIC && record->count <= 12;
    }
    FreeLibrary(m);
    return ok;
}
#else
bool headless_read_registration(const std::string& path, registration_record* record) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::vector<char> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr)) return false;
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof(eh));
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        return false;
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shstrndx >= eh.e_shnum) return false;
    auto section = [&](size_t i, Elf64_Shdr* sh) {
        size_t at = eh.e_shoff + i * sizeof(Elf64_Shdr);
        if (at + sizeof(Elf64_Shdr) > file.size()) return false;
        std::memcpy(sh, file.data() + at, sizeof(*sh));
        return true;
    };
    Elf64_Shdr names;
    if (!section(eh.e_shstrndx, &names) || names.sh_offset + names.sh_size > file.size())
        return false;
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh;
        if (!section(i, &sh) || sh.sh_name >= names.sh_size) continue;
        const char* name = file.data() + names.sh_offset + sh.sh_name;
        size_t room = names.sh_size - sh.sh_name;
        if (strnlen(name, room) == room || std::strcmp(name, REGISTRATION_SECTION) != 0) continue;
        if (sh.sh_type == SHT_NOBITS || sh.sh_size < sizeof(registration_record) ||
            sh.sh_offset + sizeof(registration_record) > file.size())
            return false;
        std::memcpy(record, file.data() + sh.sh_offset, sizeof(*record));
        return record->magic == REGISTRATION_MAGIC && record->count <= 12;
    }
    return false;
}
#endif

const registration_property* registration_find(const registration_record* r, uint32_t key) {
    for (uint32_t i = 0; i < r->count && i < 12; ++i)
        if (r->properties[i].key == key) return &r->properties[i];
    return nullptr;
}

bool headless_load(headless_plugin* plugin, const std::string& path, std::string* error) {
    plugin->path = path;
    plugin->has_registration = headless_read_registration(path, &plugin->registration);
    if (!plugin->has_registration) {
        if (error) *error = "'" + path + "' is not an effect plug-in (no registration record)";
        return false;
    }
    const registration_property* entry = registration_find(&plugin->registration, fourcc("8664"));
    std::string entry_name = entry ? reinterpret_cast<const char*>(entry->data) : "EntryPointFunc";
    plugin->library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin->library) {
        if (error) *error = std::string("cannot load '") + path + "': " + dlerror();
        return false;
    }
    void* sym = dlsym(plugin->library, entry_name.c_str());
    if (!sym) {
        if (error) *error = "'" + path + "' exports no " + entry_name;
        dlclose(plugin->library);
        plugin->library = nullptr;
        return false;
    }
    plugin->entry = reinterpret_cast<PF_EntryPointFunc>(sym);
    return true;
}

void headless_unload(headless_plugin* plugin) {
    if (plugin->library) dlclose(plugin->library);
    plugin->library = nullptr;
    plugin->entry = nullptr;
}

// ---------------------------------------------------------------------------
// Worlds

int world_format_bytes(world_format f) {
    switch (f) {
        case WORLD_ARGB8:
        case WORLD_BGRA8:
            return 4;
        case WORLD_ARGB16:
            return 8;
        case WORLD_ARGB32F:
        case WORLD_BGRA32F:
            return 16;
    }
    return 4;
}

void world_init(headless_world* w, world_format format, int width, int height) {
    w->format = format;
    int bpp = world_format_bytes(format);
    // Rows are padded, as hosts do, so that row bytes and width differ.
    A_long rowbytes = (width * bpp + 31) / 32 * 32;
    w->memory.assign(static_cast<size_t>(rowbytes) * static_cast<size_t>(height > 0 ? height : 0),
                     0);
    w->def = PF_LayerDef{};
    w->def.reserved0 = w;
    w->def.width = width;
    w->def.height = height;
    w->def.rowbytes = rowbytes;
    w->def.data = w->memory.empty() ? nullptr : w->memory.data();
    w->def.extent_hint = PF_LRect{0, 0, width, height};
    w->def.pix_aspect_ratio = PF_RationalScale{1, 1};
}

namespace {

headless_world* world_of(const PF_EffectWorld* w) {
    return w ? static_cast<headless_world*>(w->reserved0) : nullptr;
}

// What an effect reference stands for: the instance, and during a render its worlds.
struct effect_context {
    headless_instance* instance;
    headless_world* input;
    headless_world* output;
    // Where the input buffer starts in layer coordinates during a render.
    A_long origin_x = 0, origin_y = 0;
};
effect_context* context_of(PF_ProgPtr ref) {
    return reinterpret_cast<effect_context*>(ref);
}
PF_ProgPtr ref_of(effect_context* c) {
    return reinterpret_cast<PF_ProgPtr>(c);
}

// The host of the calling thread's current command (suites carry no host pointer).
thread_local headless_host* current_host = nullptr;

// ---------------------------------------------------------------------------
// Callbacks through in_data

PF_Err cb_copy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
    if (!src || !dst) return PF_Err_BAD_CALLBACK_PARAM;
    headless_world* s = world_of(src);
    headless_world* d = world_of(dst);
    if (s && d && s->format != d->format) return PF_Err_BAD_CALLBACK_PARAM;
    int bpp = s ? world_format_bytes(s->format) : 4;
    A_long w = src->width < dst->width ? src->width : dst->width;
    A_long h = src->height < dst->height ? src->height : dst->height;
    for (A_long y = 0; y < h; ++y)
        std::memcpy(static_cast<char*>(dst->data) + static_cast<ptrdiff_t>(y) * dst->rowbytes,
                    static_cast<const char*>(src->data) + static_cast<ptrdiff_t>(y) * src->rowbytes,
                    static_cast<size_t>(w) * static_cast<size_t>(bpp));
    return PF_Err_NONE;
}

PF_Err cb_platform_data(PF_ProgPtr ref, PF_PlatDataID which, void* data) {
    if (which != PF_PlatData_MAIN_WND || !data) return PF_Err_BAD_CALLBACK_PARAM;
    effect_context* c = context_of(ref);
    void* window = c ? &c->instance->host->window.record : nullptr;
    std::memcpy(data, &window, sizeof(window));
    return PF_Err_NONE;
}

A_long cb_sprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, 256, format, args);
    va_end(args);
    return n;
}
A_char* cb_strcpy(A_char* dst, const A_char* src) {
    return std::strcpy(dst, src);
}

PF_Handle copy_handle(PF_Handle h) {
    if (!h) return nullptr;
    A_HandleSize size = headless_get_handle_size(h);
    PF_Handle c = headless_new_handle(size);
    if (!c) return nullptr;
    void* from = headless_lock_handle(h);
    void* to = headless_lock_handle(c);
    if (from && to) std::memcpy(to, from, size);
    if (from) headless_unlock_handle(h);
    if (to) headless_unlock_handle(c);
    return c;
}

PF_Err cb_add_param(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    headless_instance* inst = context_of(ref)->instance;
    if (index < 0) index = inst->num_params;
    if (index < 1 || index >= 88 || !def) return PF_Err_BAD_CALLBACK_PARAM;
    PF_ParamDef& p = inst->params[index];
    p = *def;
    p.uu.change_flags = 0;
    if (p.param_type == PF_Param_POINT && p.u.td.dephaults_are_percent) {
        // Point defaults come in percent of the layer; the host turns them into pixels.
        auto scale = [](PF_Fixed percent, int size) {
            return static_cast<PF_Fixed>(static_cast<int64_t>(percent) * size / 100);
        };
        p.u.td.x_value = p.u.td.x_dephault = scale(def->u.td.x_dephault, inst->width);
        p.u.td.y_value = p.u.td.y_dephault = scale(def->u.td.y_dephault, inst->height);
    }
    if (p.param_type == PF_Param_ARBITRARY_DATA) {
        p.u.arb_d.value = copy_handle(def->u.arb_d.dephault);
    }
    if (index + 1 > inst->num_params) inst->num_params = index + 1;
    return PF_Err_NONE;
}

PF_Err cb_register_ui(PF_ProgPtr ref, PF_CustomUIInfo* info) {
    headless_instance* inst = context_of(ref)->instance;
    inst->ui = *info;
    inst->ui_registered = true;
    return PF_Err_NONE;
}

PF_Err cb_checkout_param(PF_ProgPtr ref, PF_ParamIndex index, A_long, A_long, A_u_long,
                         PF_ParamDef* param) {
    headless_instance* inst = context_of(ref)->instance;
    if (index < 0 || index >= 88 || !param) return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    *param = inst->params[index];
    if (index == 0 && context_of(ref)->input) param->u.ld = context_of(ref)->input->def;
    if (param->param_type == PF_Param_ARBITRARY_DATA)
        param->u.arb_d.value = copy_handle(inst->params[index].u.arb_d.value);
    return PF_Err_NONE;
}

PF_Err cb_checkin_param(PF_ProgPtr, PF_ParamDef* param) {
    if (param && param->param_type == PF_Param_ARBITRARY_DATA && param->u.arb_d.value) {
        headless_dispose_handle(param->u.arb_d.value);
        param->u.arb_d.value = nullptr;
    }
    return PF_Err_NONE;
}

// ---------------------------------------------------------------------------
// Suites

PF_Err px_add(PF_ProgPtr ref, PrPixelFormat format) {
    context_of(ref)->instance->host->pixel_formats.push_back(format);
    return PF_Err_NONE;
}
PF_Err px_clear(PF_ProgPtr ref) {
    context_of(ref)->instance->host->pixel_formats.clear();
    return PF_Err_NONE;
}
PF_Err px_get(PF_EffectWorld* world, PrPixelFormat* format) {
    headless_world* w = world_of(world);
    if (!w || !format) return PF_Err_BAD_CALLBACK_PARAM;
    *format = w->format == WORLD_BGRA32F ? PrPixelFormat_BGRA_4444_32f
              : w->format == WORLD_BGRA8 ? PrPixelFormat_BGRA_4444_8u
                                         : PrPixelFormat_Invalid;
    return PF_Err_NONE;
}
const PF_PixelFormatSuite1 PIXEL_FORMAT_SUITE = {px_add, px_clear, px_get};

PF_Err world_get(const PF_EffectWorld* world, PF_PixelFormat* format) {
    headless_world* w = world_of(world);
    if (!w || !format) return PF_Err_BAD_CALLBACK_PARAM;
    *format = w->format == WORLD_ARGB32F  ? PF_PixelFormat_ARGB128
              : w->format == WORLD_ARGB16 ? PF_PixelFormat_ARGB64
              : w->format == WORLD_ARGB8  ? PF_PixelFormat_ARGB32
                                          : PF_PixelFormat_INVALID;
    return PF_Err_NONE;
}
const PF_WorldSuite2 WORLD_SUITE = {world_get};

PF_Err util_instance_id(PF_ProgPtr ref, A_long* id) {
    *id = context_of(ref)->instance->id;
    return PF_Err_NONE;
}
const PF_UtilitySuite3 UTILITY_SUITE = {util_instance_id};

PF_Err param_ui_update(PF_ProgPtr ref, PF_ParamIndex index, const PF_ParamDef* def) {
    headless_instance* inst = context_of(ref)->instance;
    if (index < 1 || index >= 88 || !def) return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    std::memcpy(inst->params[index].name, def->name, sizeof(def->name));
    inst->params[index].flags = def->flags;
    inst->params[index].ui_flags = def->ui_flags;
    ++inst->param_ui_updates;
    return PF_Err_NONE;
}
const PF_ParamUtilsSuite2 PARAM_UTILS_SUITE = {param_ui_update};

SPErr app_info(A_long id, A_u_long* value) {
    headless_host* h = current_host;
    if (!h || !value) return kSPSuiteNotFoundError;
    if (id == kAppInfo_AppFourCC)
        *value = h->flavour == FLAVOUR_PREMIERE ? PF_FOURCC('P', 'P', 'r', 'o')
                                                : PF_FOURCC('F', 'X', 'T', 'C');
    else
        *value = h->app_version;
    return kSPNoError;
}
const MediaCoreAppInfoSuite1 APP_INFO_SUITE = {app_info};

A_Err aegp_register(AEGP_GlobalRefcon, const A_char* name, AEGP_PluginID* id) {
    headless_host* h = current_host;
    if (!h || !id) return PF_Err_BAD_CALLBACK_PARAM;
    h->registered_name = name ? name : "";
    h->plugin_id = 7;
    *id = h->plugin_id;
    return PF_Err_NONE;
}
const AEGP_UtilitySuite11 AEGP_UTILITY_SUITE = {aegp_register};

A_Err aegp_effect_layer(PF_ProgPtr, AEGP_LayerH* layer) {
    *layer = nullptr;
    return PF_Err_NONE;
}
A_Err aegp_effect_for_effect(AEGP_PluginID, PF_ProgPtr ref, AEGP_EffectRefH* effect) {
    *effect = reinterpret_cast<AEGP_EffectRefH>(context_of(ref)->instance);
    return PF_Err_NONE;
}
const AEGP_PFInterfaceSuite1 AEGP_PF_INTERFACE_SUITE = {aegp_effect_layer, aegp_effect_for_effect};

A_Err aegp_dispose_effect(AEGP_EffectRefH) {
    return PF_Err_NONE;
}
const AEGP_EffectSuite2 AEGP_EFFECT_SUITE = {aegp_dispose_effect};

// A stream names one parameter of one instance.
struct stream_record {
    headless_instance* instance;
    int index;
};

A_Err st_new(AEGP_PluginID, AEGP_EffectRefH effect, PF_ParamIndex index, AEGP_StreamRefH* out) {
    if (index < 1 || index >= 88 || !effect) return PF_Err_BAD_CALLBACK_PARAM;
    *out = reinterpret_cast<AEGP_StreamRefH>(
        new stream_record{reinterpret_cast<headless_instance*>(effect), index});
    return PF_Err_NONE;
}
A_Err st_dispose(AEGP_StreamRefH s) {
    delete reinterpret_cast<stream_record*>(s);
    return PF_Err_NONE;
}
A_Err st_get(AEGP_PluginID, AEGP_StreamRefH s, AEGP_LTimeMode, const A_Time*, A_Boolean,
             AEGP_StreamValue* value) {
    auto* st = reinterpret_cast<stream_record*>(s);
    std::lock_guard<std::recursive_mutex> guard(st->instance->mutex);
    const PF_ParamDef& p = st->instance->params[st->index];
    value->streamH = s;
    switch (p.param_type) {
        case PF_Param_FLOAT_SLIDER:
            value->val.one_d = p.u.fs_d.value;
            break;
        case PF_Param_FIX_SLIDER:
            value->val.one_d = p.u.fd.value / 65536.0;
            break;
        case PF_Param_SLIDER:
            value->val.one_d = p.u.sd.value;
            break;
        case PF_Param_POPUP:
            value->val.one_d = p.u.pd.value;
            break;
        case PF_Param_CHECKBOX:
            value->val.one_d = p.u.bd.value;
            break;
        case PF_Param_POINT:
            value->val.two_d = AEGP_TwoDVal{p.u.td.x_value / 65536.0, p.u.td.y_value / 65536.0};
            break;
        case PF_Param_COLOR:
            value->val.color =
                AEGP_ColorVal{p.u.cd.value.alpha / 255.0f, p.u.cd.value.red / 255.0f,
                              p.u.cd.value.green / 255.0f, p.u.cd.value.blue / 255.0f};
            break;
        case PF_Param_ARBITRARY_DATA:
            value->val.arbH = copy_handle(p.u.arb_d.value);
            break;
        default:
            return PF_Err_BAD_CALLBACK_PARAM;
    }
    return PF_Err_NONE;
}
A_Err st_dispose_value(AEGP_StreamValue* value) {
    (void)value;
    return PF_Err_NONE;
}
// 16.16 fixed point, rounded half away from zero; values beyond its range saturate and a
// NaN counts as 0, as a host's control would never hold them.
PF_Fixed fixed(double v) {
    const double r = v * 65536.0;
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483648.0) return -2147483647 - 1;
    return static_cast<PF_Fixed>(r < 0 ? -std::floor(-r + 0.5) : std::floor(r + 0.5));
}
// A whole-number control's value, saturating likewise.
A_long whole_number(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<A_long>(v);
}
A_Err st_set(AEGP_PluginID, AEGP_StreamRefH s, AEGP_StreamValue* value) {
    auto* st = reinterpret_cast<stream_record*>(s);
    std::lock_guard<std::recursive_mutex> guard(st->instance->mutex);
    PF_ParamDef& p = st->instance->params[st->index];
    switch (p.param_type) {
        case PF_Param_FLOAT_SLIDER:
            p.u.fs_d.value = static_cast<float>(value->val.one_d);
            break;
        case PF_Param_FIX_SLIDER:
            p.u.fd.value = fixed(value->val.one_d);
            break;
        case PF_Param_SLIDER:
            p.u.sd.value = whole_number(value->val.one_d);
            break;
        case PF_Param_POPUP:
            p.u.pd.value = whole_number(value->val.one_d);
            break;
        case PF_Param_CHECKBOX:
            p.u.bd.value = value->val.one_d != 0 ? 1 : 0;
            break;
        case PF_Param_POINT:
            p.u.td.x_value = fixed(value->val.two_d.x);
            p.u.td.y_value = fixed(value->val.two_d.y);
            break;
        case PF_Param_COLOR: {
            auto ch = [](float f) {
                float v = f * 255.0f;
                return static_cast<A_u_char>(!(v > 0) ? 0 : v >= 255 ? 255 : v);
            };
            p.u.cd.value = PF_Pixel{255, ch(value->val.color.redF), ch(value->val.color.greenF),
                                    ch(value->val.color.blueF)};
            break;
        }
        case PF_Param_ARBITRARY_DATA: {
            PF_Handle c = copy_handle(value->val.arbH);
            if (!c) return PF_Err_OUT_OF_MEMORY;
            if (p.u.arb_d.value) headless_dispose_handle(p.u.arb_d.value);
            p.u.arb_d.value = c;
            break;
        }
        default:
            return PF_Err_BAD_CALLBACK_PARAM;
    }
    p.uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
    return PF_Err_NONE;
}
const AEGP_StreamSuite7 AEGP_STREAM_SUITE = {st_new, st_dispose, st_get, st_dispose_value, st_set};

A_Err dyn_get(AEGP_StreamRefH s, AEGP_DynStreamFlags* flags) {
    auto* st = reinterpret_cast<stream_record*>(s);
    std::lock_guard<std::recursive_mutex> guard(st->instance->mutex);
    *flags = st->instance->dyn_flags[st->index];
    return PF_Err_NONE;
}
A_Err dyn_set(AEGP_StreamRefH s, A_long flag, A_Boolean, A_Boolean set) {
    auto* st = reinterpret_cast<stream_record*>(s);
    std::lock_guard<std::recursive_mutex> guard(st->instance->mutex);
    A_long bit = 1 << flag;
    A_long& f = st->instance->dyn_flags[st->index];
    f = set ? (f | bit) : (f & ~bit);
    return PF_Err_NONE;
}
const AEGP_DynamicStreamSuite5 AEGP_DYNAMIC_STREAM_SUITE = {dyn_get, dyn_set};

// The layer frame, rendered for the effect on request (compositing host).
struct layer_options_record {
    headless_instance* instance;
};
A_Err lro_new(AEGP_PluginID, AEGP_EffectRefH effect, AEGP_LayerRenderOptionsH* options) {
    if (!effect || !options) return PF_Err_BAD_CALLBACK_PARAM;
    *options = reinterpret_cast<AEGP_LayerRenderOptionsH>(
        new layer_options_record{reinterpret_cast<headless_instance*>(effect)});
    return PF_Err_NONE;
}
A_Err lro_set_time(AEGP_LayerRenderOptionsH, A_Time) {
    return PF_Err_NONE;
}
A_Err lro_dispose(AEGP_LayerRenderOptionsH options) {
    delete reinterpret_cast<layer_options_record*>(options);
    return PF_Err_NONE;
}
const AEGP_LayerRenderOptionsSuite1 LAYER_RENDER_OPTIONS_SUITE = {lro_new, lro_set_time,
                                                                  lro_dispose};
A_Err ro_dispose(AEGP_RenderOptionsH) {
    return PF_Err_NONE;
}
const AEGP_RenderOptionsSuite1 RENDER_OPTIONS_SUITE = {ro_dispose};
A_Err world_fill(AEGP_WorldH world, PF_EffectWorld* pf_world) {
    if (!world || !pf_world) return PF_Err_BAD_CALLBACK_PARAM;
    *pf_world = reinterpret_cast<headless_world*>(world)->def;
    return PF_Err_NONE;
}
const AEGP_WorldSuite3 AEGP_WORLD_SUITE = {world_fill};
A_Err render_layer(AEGP_LayerRenderOptionsH options, AEGP_RenderCancelFunc, void*,
                   AEGP_FrameReceiptH* receipt) {
    auto* o = reinterpret_cast<layer_options_record*>(options);
    if (!o || !receipt) return PF_Err_BAD_CALLBACK_PARAM;
    // Without a layer frame there is nothing to render: the host reports a failure.
    if (!o->instance->layer) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    *receipt = reinterpret_cast<AEGP_FrameReceiptH>(o->instance->layer);
    return PF_Err_NONE;
}
A_Err checkin_frame(AEGP_FrameReceiptH) {
    return PF_Err_NONE;
}
A_Err receipt_world(AEGP_FrameReceiptH receipt, AEGP_WorldH* world) {
    if (!receipt || !world) return PF_Err_BAD_CALLBACK_PARAM;
    *world = reinterpret_cast<AEGP_WorldH>(receipt);
    return PF_Err_NONE;
}
const AEGP_RenderSuite5 AEGP_RENDER_SUITE = {render_layer, checkin_frame, receipt_world};

// What an event's context stands for: the window and, while drawing, the picture.
struct ui_context {
    _PF_Context context;
    headless_drawing* drawing;
};
PF_Err drawing_reference(PF_ContextH context, DRAWBOT_DrawRef* reference) {
    auto* ui = context ? static_cast<ui_context*>(context->reserved_hostP) : nullptr;
    if (!ui || !ui->drawing || !reference) return PF_Err_BAD_CALLBACK_PARAM;
    *reference = drawing_ref(ui->drawing);
    return PF_Err_NONE;
}
const PF_EffectCustomUISuite1 CUSTOM_UI_SUITE = {drawing_reference};

// The compositing host's dark panel.
PF_Err app_background(PF_App_Color* colour) {
    *colour = PF_App_Color{65535, 10280, 10280, 10280};
    return PF_Err_NONE;
}
const PFAppSuite6 APP_SUITE = {app_background};

SPErr acquire_suite(const char* name, A_long version, const void** suite) {
    headless_host* h = current_host;
    *suite = nullptr;
    if (!h) return kSPSuiteNotFoundError;
    bool ae = h->flavour == FLAVOUR_AE;
    std::string n = name;
    const void* s = nullptr;
    if (n == kPFPixelFormatSuite && version == 1 && !ae && h->offer_pixel_format_suite)
        s = &PIXEL_FORMAT_SUITE;
    else if (n == kPFWorldSuite && version == 2 && ae)
        s = &WORLD_SUITE;
    else if (n == kPFUtilitySuite && version == 3 && !ae && h->offer_utility_suite)
        s = &UTILITY_SUITE;
    else if (n == kPFParamUtilsSuite && version == 2)
        s = &PARAM_UTILS_SUITE;
    else if (n == kMediaCoreAppInfoSuite && version == 1 && h->offer_app_info)
        s = &APP_INFO_SUITE;
    else if (n == kAEGPUtilitySuite && version == 11 && ae)
        s = &AEGP_UTILITY_SUITE;
    else if (n == kAEGPPFInterfaceSuite && version == 1 && ae)
        s = &AEGP_PF_INTERFACE_SUITE;
    else if (n == kAEGPEffectSuite && (version == 2 || version == 3) && ae)
        s = &AEGP_EFFECT_SUITE;
    else if (n == kAEGPStreamSuite && version == 7 && ae)
        s = &AEGP_STREAM_SUITE;
    else if (n == kAEGPDynamicStreamSuite && version == 5 && ae)
        s = &AEGP_DYNAMIC_STREAM_SUITE;
    else if (n == kAEGPLayerRenderOptionsSuite && version == 1 && ae)
        s = &LAYER_RENDER_OPTIONS_SUITE;
    else if (n == kAEGPRenderOptionsSuite && version == 1 && ae)
        s = &RENDER_OPTIONS_SUITE;
    else if (n == kAEGPWorldSuite && version == 3 && ae)
        s = &AEGP_WORLD_SUITE;
    else if (n == kAEGPRenderSuite && version == 5 && ae)
        s = &AEGP_RENDER_SUITE;
    else if (n == kPFEffectCustomUISuite && version == 1)
        s = &CUSTOM_UI_SUITE;
    else if (n == kPFAppSuite && version == 6 && ae)
        s = &APP_SUITE;
    else if (n.rfind("DRAWBOT", 0) == 0)
        s = drawbot_suite(n, version);
    if (!s) return kSPSuiteNotFoundError;
    *suite = s;
    std::lock_guard<std::mutex> guard(h->suite_mutex);
    ++h->suites_outstanding;
    return kSPNoError;
}
SPErr release_suite(const char*, A_long) {
    headless_host* h = current_host;
    if (!h) return kSPSuiteNotFoundError;
    std::lock_guard<std::mutex> guard(h->suite_mutex);
    --h->suites_outstanding;
    return kSPNoError;
}

// Sets the calling thread's host for the duration of one command.
struct host_scope {
    headless_host* previous;
    explicit host_scope(headless_host* h) : previous(current_host) { current_host = h; }
    ~host_scope() { current_host = previous; }
    host_scope(const host_scope&) = delete;
    host_scope& operator=(const host_scope&) = delete;
};

void fill_in_data(PF_InData* in, headless_host* h, headless_instance* inst, effect_context* ctx) {
    *in = PF_InData{};
    in->inter.checkout_param = cb_checkout_param;
    in->inter.checkin_param = cb_checkin_param;
    in->inter.add_param = cb_add_param;
    in->inter.register_ui = cb_register_ui;
    in->utils = &h->utils;
    in->effect_ref = ref_of(ctx);
    in->version_major = 13;
    in->version_minor = 27;
    in->appl_id =
        h->flavour == FLAVOUR_AE ? PF_FOURCC('F', 'X', 'T', 'C') : PF_FOURCC('P', 'r', 'M', 'r');
    in->num_params = 88;
    if (inst) {
        in->current_time = inst->current_time;
        in->time_step = inst->time_step;
        in->local_time_step = inst->time_step;
        in->time_scale = inst->time_scale;
        in->width = inst->width;
        in->height = inst->height;
        in->downsample_x = PF_RationalScale{1, static_cast<A_u_long>(inst->downsample)};
        in->downsample_y = in->downsample_x;
    } else {
        in->time_scale = 24;
        in->downsample_x = in->downsample_y = PF_RationalScale{1, 1};
    }
    in->pixel_aspect_ratio = inst && inst->layer && inst->layer->def.pix_aspect_ratio.den
                                 ? inst->layer->def.pix_aspect_ratio
                                 : PF_RationalScale{1, 1};
    in->pica_basicP = &h->basic;
}

PF_Err call(headless_host* h, PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef** params,
            PF_LayerDef* output, void* extra) {
    host_scope scope(h);
    return h->plugin->entry(cmd, in, out, params, output, extra);
}

}  // namespace

// ---------------------------------------------------------------------------
// Host and instances

headless_host* headless_host_new(headless_plugin* plugin, host_flavour flavour,
                                 A_u_long app_version) {
    auto* h = new headless_host;
    h->app_version = app_version;
    h->plugin = plugin;
    h->flavour = flavour;
    headless_memory_callbacks(&h->utils);
    h->utils.copy = cb_copy;
    h->utils.get_platform_data = cb_platform_data;
    h->utils.ansi.sprintf = cb_sprintf;
    h->utils.ansi.strcpy = cb_strcpy;
    h->basic.AcquireSuite = acquire_suite;
    h->basic.ReleaseSuite = release_suite;
    headless_window_init(&h->window);
    // Global setup happens without an instance; the effect reference names a stand-in.
    headless_instance stand_in;
    stand_in.host = h;
    effect_context ctx{&stand_in, nullptr, nullptr};
    PF_InData in;
    fill_in_data(&in, h, nullptr, &ctx);
    h->global_out = PF_OutData{};
    h->global_error = call(h, PF_Cmd_GLOBAL_SETUP, &in, &h->global_out, nullptr, nullptr, nullptr);
    return h;
}

void headless_host_delete(headless_host* host) {
    delete host;
}

PF_Err headless_command(headless_instance* inst, PF_Cmd cmd, void* extra, PF_OutData* out) {
    headless_host* h = inst->host;
    effect_context ctx{inst, nullptr, nullptr};
    PF_InData in;
    fill_in_data(&in, h, inst, &ctx);
    PF_OutData local{};
    if (!out) out = &local;
    *out = PF_OutData{};
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    PF_ParamDef* list[88];
    for (int i = 0; i < 88; ++i) list[i] = &inst->params[i];
    for (int i = 0; i < 88; ++i) inst->params[i].uu.change_flags = 0;
    return call(h, cmd, &in, out, list, nullptr, extra);
}

headless_instance* headless_instance_new(headless_host* host, int width, int height, PF_Err* err) {
    auto* inst = new headless_instance;
    inst->host = host;
    inst->id = host->next_instance_id++;
    inst->width = width;
    inst->height = height;
    inst->params[0].param_type = PF_Param_LAYER;
    inst->num_params = 1;
    PF_OutData out{};
    PF_Err e = headless_command(inst, PF_Cmd_PARAMS_SETUP, nullptr, &out);
    if (!e) inst->num_params = out.num_params;
    if (!e) e = headless_command(inst, PF_Cmd_SEQUENCE_SETUP, nullptr, &out);
    if (err) *err = e;
    return inst;
}

void headless_instance_delete(headless_instance* inst) {
    if (!inst) return;
    headless_command(inst, PF_Cmd_SEQUENCE_SETDOWN, nullptr);
    for (auto& p : inst->params) {
        if (p.param_type != PF_Param_ARBITRARY_DATA) continue;
        for (PF_Handle h : {p.u.arb_d.value, p.u.arb_d.dephault}) {
            if (!h) continue;
            PF_ArbParamsExtra extra{};
            extra.id = p.uu.id;
            extra.which_function = PF_Arbitrary_DISPOSE_FUNC;
            extra.u.dispose_func_params.arbH = h;
            headless_arbitrary(inst, &extra);
        }
        p.u.arb_d.value = p.u.arb_d.dephault = nullptr;
    }
    delete inst;
}

namespace {
void store_number(PF_ParamDef& p, double value) {
    switch (p.param_type) {
        case PF_Param_FLOAT_SLIDER:
            p.u.fs_d.value = value;
            break;
        case PF_Param_FIX_SLIDER:
            p.u.fd.value = fixed(value);
            break;
        case PF_Param_SLIDER:
            p.u.sd.value = whole_number(value);
            break;
        case PF_Param_POPUP:
            p.u.pd.value = whole_number(value);
            break;
        case PF_Param_CHECKBOX:
            p.u.bd.value = value != 0 ? 1 : 0;
            break;
        default:
            break;
    }
}

PF_Err user_changed(headless_instance* inst, int index) {
    PF_UserChangedParamExtra extra{index};
    PF_Err err = PF_Err_NONE;
    if (inst->params[index].flags & PF_ParamFlag_SUPERVISE) {
        err = headless_command(inst, PF_Cmd_USER_CHANGED_PARAM, &extra);
        if (!err) err = headless_command(inst, PF_Cmd_UPDATE_PARAMS_UI, nullptr);
    }
    return err;
}
}  // namespace

void headless_store(headless_instance* inst, int index, double value) {
    if (index < 1 || index >= 88) return;
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    store_number(inst->params[index], value);
}

double headless_value(headless_instance* inst, int index) {
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    const PF_ParamDef& p = inst->params[index];
    switch (p.param_type) {
        case PF_Param_FLOAT_SLIDER:
            return p.u.fs_d.value;
        case PF_Param_FIX_SLIDER:
            return p.u.fd.value / 65536.0;
        case PF_Param_SLIDER:
            return p.u.sd.value;
        case PF_Param_POPUP:
            return p.u.pd.value;
        case PF_Param_CHECKBOX:
            return p.u.bd.value;
        default:
            return 0;
    }
}

PF_Err headless_user_set(headless_instance* inst, int index, double value) {
    if (index < 1 || index >= 88) return PF_Err_BAD_CALLBACK_PARAM;
    {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        store_number(inst->params[index], value);
    }
    return user_changed(inst, index);
}

PF_Err headless_user_set_point(headless_instance* inst, int index, double x, double y) {
    if (index < 1 || index >= 88) return PF_Err_BAD_CALLBACK_PARAM;
    {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        inst->params[index].u.td.x_value = fixed(x);
        inst->params[index].u.td.y_value = fixed(y);
    }
    return user_changed(inst, index);
}

PF_Err headless_user_set_color(headless_instance* inst, int index, float r, float g, float b) {
    if (index < 1 || index >= 88) return PF_Err_BAD_CALLBACK_PARAM;
    {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        auto ch = [](float f) {
            float v = f * 255.0f;
            return static_cast<A_u_char>(!(v > 0) ? 0 : v >= 255 ? 255 : v);
        };
        inst->params[index].u.cd.value = PF_Pixel{255, ch(r), ch(g), ch(b)};
    }
    return user_changed(inst, index);
}

PF_Err headless_with_in_data(headless_instance* inst,
                             PF_Err (*fn)(PF_InData* in_data, PF_ParamDef* params[], void* user),
                             void* user) {
    effect_context ctx{inst, nullptr, nullptr};
    PF_InData in;
    fill_in_data(&in, inst->host, inst, &ctx);
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    PF_ParamDef* list[88];
    for (int i = 0; i < 88; ++i) list[i] = &inst->params[i];
    host_scope scope(inst->host);
    return fn(&in, list, user);
}

void headless_attach(headless_plugin* plugin, PF_EntryPointFunc entry) {
    plugin->library = nullptr;
    plugin->entry = entry;
    plugin->has_registration = false;
}

PF_Err headless_arbitrary(headless_instance* inst, PF_ArbParamsExtra* extra) {
    return headless_command(inst, PF_Cmd_ARBITRARY_CALLBACK, extra);
}

PF_Err headless_flatten(headless_instance* inst, int index, std::vector<uint8_t>* bytes) {
    PF_Handle value;
    {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        value = inst->params[index].u.arb_d.value;
    }
    A_u_long size = 0;
    PF_ArbParamsExtra extra{};
    extra.id = index;
    extra.which_function = PF_Arbitrary_FLAT_SIZE_FUNC;
    extra.u.flat_size_func_params.arbH = value;
    extra.u.flat_size_func_params.flat_data_sizePLu = &size;
    PF_Err err = headless_arbitrary(inst, &extra);
    if (err) return err;
    bytes->assign(size, 0);
    extra = PF_ArbParamsExtra{};
    extra.id = index;
    extra.which_function = PF_Arbitrary_FLATTEN_FUNC;
    extra.u.flatten_func_params.arbH = value;
    extra.u.flatten_func_params.buf_sizeLu = size;
    extra.u.flatten_func_params.flat_dataPV = bytes->data();
    return headless_arbitrary(inst, &extra);
}

PF_Err headless_unflatten_value(headless_instance* inst, int index,
                                const std::vector<uint8_t>& bytes, PF_Handle* value) {
    *value = nullptr;
    PF_ArbParamsExtra extra{};
    extra.id = index;
    extra.which_function = PF_Arbitrary_UNFLATTEN_FUNC;
    extra.u.unflatten_func_params.buf_sizeLu = static_cast<A_u_long>(bytes.size());
    extra.u.unflatten_func_params.flat_dataPV = bytes.data();
    extra.u.unflatten_func_params.arbPH = value;
    return headless_arbitrary(inst, &extra);
}

void headless_dispose_value(headless_instance* inst, int index, PF_Handle value) {
    if (!value) return;
    PF_ArbParamsExtra extra{};
    extra.id = index;
    extra.which_function = PF_Arbitrary_DISPOSE_FUNC;
    extra.u.dispose_func_params.arbH = value;
    headless_arbitrary(inst, &extra);
}

void headless_set_value(headless_instance* inst, int index, PF_Handle value) {
    PF_Handle old;
    {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        old = inst->params[index].u.arb_d.value;
        inst->params[index].u.arb_d.value = value;
    }
    headless_dispose_value(inst, index, old);
}

PF_Err headless_unflatten(headless_instance* inst, int index, const std::vector<uint8_t>& bytes) {
    PF_Handle h = nullptr;
    PF_Err err = headless_unflatten_value(inst, index, bytes, &h);
    if (!err) headless_set_value(inst, index, h);
    return err;
}

// ---------------------------------------------------------------------------
// Rendering

namespace {
PF_Err pre_checkout_layer(PF_ProgPtr ref, PF_ParamIndex index, A_long, const PF_RenderRequest*,
                          A_long, A_long, A_u_long, PF_CheckoutResult* result) {
    effect_context* c = context_of(ref);
    if (index != 0 || !c->input) return PF_Err_BAD_CALLBACK_PARAM;
    *result = PF_CheckoutResult{};
    result->result_rect = PF_LRect{c->origin_x, c->origin_y, c->origin_x + c->input->def.width,
                                   c->origin_y + c->input->def.height};
    result->max_result_rect = result->result_rect;
    result->par = PF_RationalScale{1, 1};
    result->ref_width = c->input->def.width;
    result->ref_height = c->input->def.height;
    return PF_Err_NONE;
}
PF_Err sr_checkout_pixels(PF_ProgPtr ref, A_long id, PF_EffectWorld** pixels) {
    effect_context* c = context_of(ref);
    if (id != 0 || !c->input) return PF_Err_BAD_CALLBACK_PARAM;
    *pixels = &c->input->def;
    return PF_Err_NONE;
}
PF_Err sr_checkin_pixels(PF_ProgPtr, A_long) {
    return PF_Err_NONE;
}
PF_Err sr_checkout_output(PF_ProgPtr ref, PF_EffectWorld** output) {
    *output = &context_of(ref)->output->def;
    return PF_Err_NONE;
}
}  // namespace

namespace {
PF_Err render_at(headless_instance* inst, headless_world* input, headless_world* output, bool smart,
                 A_long origin_x, A_long origin_y) {
    headless_host* h = inst->host;
    effect_context ctx{inst, input, output, origin_x, origin_y};
    PF_InData in;
    fill_in_data(&in, h, inst, &ctx);
    PF_OutData out{};
    if (smart) {
        PF_PreRenderCallbacks pre_cb{pre_checkout_layer};
        PF_PreRenderInput pre_in{};
        pre_in.output_request.rect = PF_LRect{0, 0, output->def.width, output->def.height};
        PF_PreRenderOutput pre_out{};
        PF_PreRenderExtra pre{&pre_in, &pre_out, &pre_cb};
        PF_Err err = call(h, PF_Cmd_SMART_PRE_RENDER, &in, &out, nullptr, nullptr, &pre);
        if (!err) {
            PF_SmartRenderCallbacks cb{sr_checkout_pixels, sr_checkin_pixels, sr_checkout_output};
            PF_SmartRenderInput sr_in{};
            sr_in.output_request = pre_in.output_request;
            sr_in.pre_render_data = pre_out.pre_render_data;
            PF_SmartRenderExtra sr{&sr_in, &cb};
            err = call(h, PF_Cmd_SMART_RENDER, &in, &out, nullptr, nullptr, &sr);
        }
        // The effect gives its pre-render data no delete callback; the host releases it.
        if (pre_out.pre_render_data)
            headless_dispose_handle(static_cast<PF_Handle>(pre_out.pre_render_data));
        return err;
    }
    // Classic render: a checked-out copy of every parameter, the input layer first.
    PF_ParamDef defs[88];
    PF_ParamDef* list[88];
    for (int i = 0; i < 88; ++i) {
        cb_checkout_param(ref_of(&ctx), i, inst->current_time, inst->time_step, inst->time_scale,
                          &defs[i]);
        list[i] = &defs[i];
    }
    PF_Err err = call(h, PF_Cmd_RENDER, &in, &out, list, &output->def, nullptr);
    for (int i = 0; i < 88; ++i) cb_checkin_param(ref_of(&ctx), &defs[i]);
    return err;
}
}  // namespace

PF_Err headless_render(headless_instance* inst, headless_world* input, headless_world* output,
                       bool smart) {
    return render_at(inst, input, output, smart, inst->origin_x, inst->origin_y);
}

void world_band(headless_world* whole, int top, int rows, headless_world* band) {
    band->format = whole->format;
    band->memory.clear();
    band->def = whole->def;
    band->def.reserved0 = band;
    band->def.height = rows;
    band->def.data = static_cast<char*>(whole->def.data) +
                     static_cast<ptrdiff_t>(top) * static_cast<ptrdiff_t>(whole->def.rowbytes);
    band->def.extent_hint = PF_LRect{0, 0, whole->def.width, rows};
}

PF_Err headless_render_rows(headless_instance* inst, headless_world* input, headless_world* output,
                            int top, int rows, bool smart) {
    if (top < 0 || rows <= 0 || top + rows > input->def.height || top + rows > output->def.height)
        return PF_Err_BAD_CALLBACK_PARAM;
    headless_world in, out;
    world_band(input, top, rows, &in);
    world_band(output, top, rows, &out);
    return render_at(inst, &in, &out, smart, inst->origin_x, inst->origin_y + top);
}

// ---------------------------------------------------------------------------
// Custom UI events

namespace {

constexpr A_long PANEL_LEFT = 16;  // where the panel puts a control's left edge
constexpr A_long PANEL_TOP = 4;

PF_Err ev_layer_to_comp(void* refcon, PF_ContextH, A_long, A_long, PF_FixedPoint* pt) {
    auto* inst = static_cast<headless_instance*>(refcon);
    pt->x = fixed(pt->x / 65536.0 + inst->layer_offset_x);
    pt->y = fixed(pt->y / 65536.0 + inst->layer_offset_y);
    return PF_Err_NONE;
}
PF_Err ev_source_to_frame(void* refcon, PF_ContextH, PF_FixedPoint* pt) {
    auto* inst = static_cast<headless_instance*>(refcon);
    pt->x = fixed(pt->x / 65536.0 * inst->view_zoom);
    pt->y = fixed(pt->y / 65536.0 * inst->view_zoom);
    return PF_Err_NONE;
}

// Sends one event and does what a host does with the answer.
PF_Err send_event(headless_instance* inst, PF_EventExtra* extra, PF_WindowType window,
                  headless_drawing* drawing, PF_OutData* out) {
    ui_context ui{};
    ui.context.magic = 0x55494358;
    ui.context.w_type = window;
    ui.context.reserved_hostP = &ui;
    ui.drawing = drawing;
    extra->contextH = &ui.context;
    extra->cbs.refcon = inst;
    extra->cbs.layer_to_comp = ev_layer_to_comp;
    extra->cbs.source_to_frame = ev_source_to_frame;
    PF_OutData local{};
    if (!out) out = &local;
    PF_Err err = headless_command(inst, PF_Cmd_EVENT, extra, out);
    extra->contextH = nullptr;
    if (out->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE)
        inst->messages.push_back(out->return_msg);
    // The editing host reports values the effect set during the event as changes.
    std::vector<int> changed;
    if (inst->host->flavour == FLAVOUR_PREMIERE) {
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        for (int i = 1; i < 87; ++i)
            if ((inst->params[i].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) &&
                (inst->params[i].flags & PF_ParamFlag_SUPERVISE))
                changed.push_back(i);
    }
    for (int i : changed) {
        PF_Err e = user_changed(inst, i);
        if (!err) err = e;
    }
    if ((out->out_flags & PF_OutFlag_FORCE_RERENDER) && inst->layer) {
        if (inst->rendered.def.width != inst->layer->def.width ||
            inst->rendered.def.height != inst->layer->def.height ||
            inst->rendered.format != inst->layer->format)
            world_init(&inst->rendered, inst->layer->format, inst->layer->def.width,
                       inst->layer->def.height);
        ++inst->host_renders;
        PF_Err e = headless_render(inst, inst->layer, &inst->rendered, true);
        if (!err) err = e;
    }
    return err;
}

PF_EventExtra control_event(headless_instance* inst, PF_EventType type, int control, int x, int y) {
    PF_EventExtra e{};
    e.e_type = type;
    e.effect_win.index = control;
    e.effect_win.param_index = control;
    e.effect_win.area = PF_EA_CONTROL;
    e.effect_win.current_frame = headless_control_frame(inst, control);
    e.u.do_click.screen_point =
        PF_Point{e.effect_win.current_frame.left + x, e.effect_win.current_frame.top + y};
    return e;
}

}  // namespace

PF_UnionableRect headless_control_frame(headless_instance* inst, int control) {
    std::lock_guard<std::recursive_mutex> guard(inst->mutex);
    const PF_ParamDef& p = inst->params[control];
    return PF_UnionableRect{PANEL_LEFT, PANEL_TOP, PANEL_LEFT + p.ui_width,
                            PANEL_TOP + p.ui_height};
}

PF_Err headless_click(headless_instance* inst, int control, int x, int y, PF_Modifiers modifiers,
                      PF_OutData* out) {
    if (control < 1 || control >= 88) return PF_Err_BAD_CALLBACK_PARAM;
    PF_EventExtra e = control_event(inst, PF_Event_DO_CLICK, control, x, y);
    e.u.do_click.num_clicks = 1;
    e.u.do_click.modifiers = modifiers;
    PF_Err err = send_event(inst, &e, PF_Window_EFFECT, nullptr, out);
    std::memcpy(inst->drag_refcon, e.u.do_click.continue_refcon, sizeof(inst->drag_refcon));
    return err;
}

PF_Err headless_drag(headless_instance* inst, int control, int x, int y, bool last) {
    if (control < 1 || control >= 88) return PF_Err_BAD_CALLBACK_PARAM;
    PF_EventExtra e = control_event(inst, PF_Event_DRAG, control, x, y);
    std::memcpy(e.u.drag.continue_refcon, inst->drag_refcon, sizeof(inst->drag_refcon));
    e.u.drag.last_time = last ? 1 : 0;
    PF_Err err = send_event(inst, &e, PF_Window_EFFECT, nullptr, nullptr);
    std::memcpy(inst->drag_refcon, e.u.drag.continue_refcon, sizeof(inst->drag_refcon));
    return err;
}

PF_Err headless_adjust_cursor(headless_instance* inst, int control, int x, int y,
                              PF_CursorType* cursor) {
    PF_EventExtra e = control_event(inst, PF_Event_ADJUST_CURSOR, control, x, y);
    // The click and cursor records of the event union place the point differently.
    const PF_Point point = e.u.do_click.screen_point;
    e.u.adjust_cursor = PF_AdjustCursorEventInfo{point, 0, PF_Cursor_ARROW};
    PF_Err err = send_event(inst, &e, PF_Window_EFFECT, nullptr, nullptr);
    *cursor = e.u.adjust_cursor.set_cursor;
    return err;
}

PF_Err headless_draw_control(headless_instance* inst, int control, headless_canvas* out) {
    if (control < 1 || control >= 88) return PF_Err_BAD_CALLBACK_PARAM;
    PF_EventExtra e = control_event(inst, PF_Event_DRAW, control, 0, 0);
    const PF_UnionableRect f = e.effect_win.current_frame;
    e.u.draw.update_rect = f;
    headless_drawing* d = drawing_begin(f.right - f.left, f.bottom - f.top, nullptr, f.left, f.top);
    PF_Err err = send_event(inst, &e, PF_Window_EFFECT, d, nullptr);
    drawing_end(d, out);
    return err;
}

PF_Err headless_draw_overlay(headless_instance* inst, PF_WindowType window,
                             const headless_canvas& background, headless_canvas* out) {
    PF_EventExtra e{};
    e.e_type = PF_Event_DRAW;
    e.effect_win.area = PF_EA_NONE;
    e.u.draw.update_rect = PF_Rect{0, 0, background.width, background.height};
    headless_drawing* d = drawing_begin(background.width, background.height, &background);
    PF_Err err = send_event(inst, &e, window, d, nullptr);
    drawing_end(d, out);
    return err;
}
