#include "host/entry.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <new>

#include "host/colorcard.h"
#include "host/custom_ui.h"
#include "host/params.h"
#include "host/registration.h"
#include "host/ui_update.h"
#include "hostsdk/suites.h"
#include "pipeline/render.h"

global_record global;
int64_t tick_zero = 0;
uint32_t need_to_check_current_time_in_render_cache_frame = 1;

namespace {

uint8_t initialised = 0;
real_mutex initialised_mutex = REAL_MUTEX_INITIALIZER;

int64_t system_now_us() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
int64_t (*clock_function)() = system_now_us;

template <typename Suite>
const Suite* acquire(PF_InData* in_data, const char* name, A_long version) {
    SPBasicSuite* basic = in_data ? in_data->pica_basicP : nullptr;
    const void* s = nullptr;
    if (!basic || basic->AcquireSuite(name, version, &s) != kSPNoError) return nullptr;
    return static_cast<const Suite*>(s);
}
void release(PF_InData* in_data, const char* name, A_long version) {
    in_data->pica_basicP->ReleaseSuite(name, version);
}

}  // namespace

int64_t entry_now_us() {
    return clock_function();
}
void entry_set_clock(int64_t (*clock)()) {
    clock_function = clock ? clock : system_now_us;
}

void make_sure_initialised() {
    real_mutex_lock(&initialised_mutex);
    if (!initialised) {
        initialised = 1;
        tick_zero = system_now_us();
        std::memset(static_cast<void*>(&global), 0, sizeof(global));
        real_mutex_create(&global.lock);
        global.patch_card = -1;
        global.request_tick = -1;
        global.cached_tick = -1;
        ui_cache_init();
    }
    real_mutex_unlock(&initialised_mutex);
}

uint32_t instanceID(PF_InData* in_data) {
    auto* suite = acquire<PF_UtilitySuite3>(in_data, kPFUtilitySuite, kPFUtilitySuiteVersion3);
    if (!suite) return 0;
    A_long id = 0;
    suite->GetFilterInstanceID(in_data->effect_ref, &id);
    release(in_data, kPFUtilitySuite, kPFUtilitySuiteVersion3);
    return static_cast<uint32_t>(id);
}

// ---------------------------------------------------------------------------
// Images over host buffers

PF_Err makeImage(PF_InData* in_data, int width, int height, image* img) {
    std::memset(static_cast<void*>(img), 0, sizeof(*img));
    img->flag1 = img->flag2 = 1;
    img->format = IMAGE_RGBA32F;
    img->right = width;
    img->bottom = height;
    img->scale_x = img->scale_y = img->pixel_aspect = 1.0;
    img->row_bytes = width * 16;
    PF_Handle h = in_data->utils->host_new_handle(static_cast<A_HandleSize>(img->row_bytes) *
                                                  static_cast<A_HandleSize>(height));
    if (!h) return PF_Err_OUT_OF_MEMORY;
    img->pixels = static_cast<char*>(in_data->utils->host_lock_handle(h));
    if (!img->pixels) {
        in_data->utils->host_dispose_handle(h);
        return PF_Err_OUT_OF_MEMORY;
    }
    img->host_handle = h;
    img->owns_pixels = 1;
    return PF_Err_NONE;
}

PF_Err getImage(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* world, image* img) {
    (void)out_data;
    std::memset(static_cast<void*>(img), 0, sizeof(*img));
    img->flag1 = img->flag2 = 1;
    img->format = IMAGE_ARGB8;
    PF_Err err = PF_Err_NONE;
    if (in_data->appl_id == APPL_ID_AE) {
        auto* suite = acquire<PF_WorldSuite2>(in_data, kPFWorldSuite, kPFWorldSuiteVersion2);
        if (suite) {
            PF_PixelFormat f = PF_PixelFormat_INVALID;
            err = suite->PF_GetPixelFormat(world, &f);
            if (f == PF_PixelFormat_ARGB128)
                img->format = IMAGE_ARGB32F;
            else if (f == PF_PixelFormat_ARGB64)
                img->format = IMAGE_ARGB15;
            release(in_data, kPFWorldSuite, kPFWorldSuiteVersion2);
        }
    } else if (in_data->appl_id == APPL_ID_PREMIERE) {
        auto* suite = acquire<PF_PixelFormatSuite1>(in_data, kPFPixelFormatSuite,
                                                    kPFPixelFormatSuiteVersion1);
        if (suite) {
            PrPixelFormat f = PrPixelFormat_Invalid;
            err = suite->GetPixelFormat(world, &f);
            if (f == PrPixelFormat_BGRA_4444_32f)
                img->format = IMAGE_BGRA32F;
            else if (f == PrPixelFormat_BGRA_4444_8u)
                img->format = IMAGE_BGRA8;
            release(in_data, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
        }
    }
    img->right = world->width;
    img->bottom = world->height;
    img->row_bytes = world->rowbytes;
    img->scale_x = in_data->downsample_x.den
                       ? static_cast<double>(in_data->downsample_x.num) / in_data->downsample_x.den
                       : 1.0;
    img->scale_y = in_data->downsample_y.den
                       ? static_cast<double>(in_data->downsample_y.num) / in_data->downsample_y.den
                       : 1.0;
    // The finder works in square pixels; the host says what shape the layer's pixels have.
    // Hosts that leave the world's own ratio at 1/1 still report it in in_data.
    const PF_RationalScale& own = world->pix_aspect_ratio;
    const bool square = own.num > 0 && static_cast<A_u_long>(own.num) == own.den;
    const PF_RationalScale& par = own.den && !square ? own : in_data->pixel_aspect_ratio;
    img->pixel_aspect = par.den && par.num ? static_cast<double>(par.num) / par.den : 1.0;
    img->pixels = static_cast<char*>(world->data);
    img->host_handle = world;
    img->owns_pixels = 0;
    return err;
}

PF_Err duplicateImage(PF_InData* in_data, const image* source, image* copy) {
    *copy = *source;
    int64_t rows = static_cast<int64_t>(source->bottom) - source->top;
    int64_t stride =
        source->row_bytes < 0 ? -static_cast<int64_t>(source->row_bytes) : source->row_bytes;
    if (rows < 0) rows = 0;
    auto size = static_cast<A_HandleSize>(rows * stride);
    PF_Handle h = in_data->utils->host_new_handle(size);
    if (!h) return PF_Err_OUT_OF_MEMORY;
    char* block = static_cast<char*>(in_data->utils->host_lock_handle(h));
    if (!block) {
        in_data->utils->host_dispose_handle(h);
        return PF_Err_OUT_OF_MEMORY;
    }
    // With negative row bytes the rows run backwards in memory from the first pixel, so the
    // block starts at the last row and the first pixel keeps its distance from the start.
    int64_t offset = source->row_bytes < 0 ? (rows - 1) * stride : 0;
    if (rows > 0 && source->pixels) std::memcpy(block, source->pixels - offset, size);
    copy->pixels = block + offset;
    copy->owns_pixels = 1;
    copy->host_handle = h;
    return PF_Err_NONE;
}

void freeImage(PF_InData* in_data, image* img) {
    if (!img->owns_pixels) return;
    if (img->host_handle) {
        auto h = static_cast<PF_Handle>(img->host_handle);
        in_data->utils->host_unlock_handle(h);
        in_data->utils->host_dispose_handle(h);
    }
    img->pixels = nullptr;
    img->host_handle = nullptr;
}

// ---------------------------------------------------------------------------
// The CPU render

PF_Err SharedRender(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                    PF_LayerDef* input, PF_LayerDef* output) {
    uint32_t id = instanceID(in_data);
    if (!input || !output || input->width <= 0 || input->height <= 0) return PF_Err_NONE;
    // The render writes every output pixel that has an input pixel, so the host's copy of
    // the input (a whole extra pass over the frame) is made only for an output larger than
    // the input, or when a step below fails: the output is defined whatever happens.
    const bool covered =
        input == output || (output->width <= input->width && output->height <= input->height);
    auto copy_input = [&] {
        return input == output
                   ? PF_Err_NONE
                   : in_data->utils->copy(in_data->effect_ref, input, output, nullptr, nullptr);
    };
    PF_Err err = covered ? PF_Err_NONE : copy_input();
    if (err) return err;
    image in, out;
    err = getImage(in_data, out_data, input, &in);
    PF_Err err2 = getImage(in_data, out_data, output, &out);
    if (!err) err = err2;
    if (err) {
        if (covered) copy_input();
        return err;
    }

    real_mutex_lock(&global.lock);
    int64_t now = entry_now_us();
    if (now - global.request_time_us >= 15000001) global.request_tick = -1;
    bool pending = global.request_instance == id && global.request_tick > global.cached_tick;
    bool skip;
    if (need_to_check_current_time_in_render_cache_frame) {
        skip = true;
        if (global.request_frame_time == static_cast<uint32_t>(in_data->current_time) && pending)
            skip = global.gpu_filters > 0;
    } else {
        skip = pending ? global.gpu_filters > 0 : true;
    }
    if (global.cache_image.pixels && (!skip || global.request_tick == -1))
        freeImage(in_data, &global.cache_image);
    if (!skip) {
        card_location location;
        err = value_get_card_location(in_data, params, &location);
        image copy;
        if (!err) err = duplicateImage(in_data, &in, &copy);
        if (!err) {
            global.cache_image = copy;
            global.cache_location = location;
            global.cached_tick = global.request_tick;
            global.cached_frame_time = static_cast<uint32_t>(in_data->current_time);
        }
    }
    real_mutex_unlock(&global.lock);
    if (err) {
        if (covered) copy_input();
        freeImage(in_data, &in);
        freeImage(in_data, &out);
        return err;
    }

    PF_Handle row = nullptr;
    if (out.format != IMAGE_RGBA32F && out.format != IMAGE_ARGB32F && out.format != IMAGE_BGRA32F) {
        row = in_data->utils->host_new_handle(static_cast<A_HandleSize>(out.right - out.left) * 16);
        if (!row) {
            if (covered) copy_input();
            freeImage(in_data, &in);
            freeImage(in_data, &out);
            return PF_Err_OUT_OF_MEMORY;
        }
    }
    // The record is large (two cards); keep it off the render thread's stack.
    auto* p = new (std::nothrow) parameters;
    if (!p) err = PF_Err_OUT_OF_MEMORY;
    if (!err) err = value_get_all(in_data, params, p);
    if (!err) {
        OfxRectI area{0, 0, out.right - out.left, out.bottom - out.top};
        char* scratch = row ? static_cast<char*>(in_data->utils->host_lock_handle(row)) : nullptr;
        render(&in, &out, &area, scratch, p, nullptr, nullptr);
        if (scratch) in_data->utils->host_unlock_handle(row);
    } else if (covered) {
        copy_input();
    }
    delete p;
    if (row) in_data->utils->host_dispose_handle(row);
    freeImage(in_data, &in);
    freeImage(in_data, &out);
    return err;
}

PF_Err DoDialog(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    (void)params;
    void* window = nullptr;
    if (in_data->utils && in_data->utils->get_platform_data)
        in_data->utils->get_platform_data(in_data->effect_ref, PF_PlatData_MAIN_WND, &window);
    about(window);
    out_data->out_flags |= PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
    return PF_Err_NONE;
}

namespace {

PF_Err global_setup(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = PF_Err_NONE;
    if (in_data->appl_id == APPL_ID_AE) {
        auto* suite =
            acquire<AEGP_UtilitySuite11>(in_data, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion11);
        if (suite) {
            try {
                AEGP_PluginID id = 0;
                if (!suite->AEGP_RegisterWithAEGP(nullptr, "Chromalane Color Corrector", &id))
                    gid = id;
            } catch (...) {
                err = PF_Err_INTERNAL_STRUCT_DAMAGED;
            }
            release(in_data, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion11);
        }
    }
    out_data->my_version = EFFECT_VERSION;
    out_data->out_flags = static_cast<A_long>(EFFECT_OUT_FLAGS);
    out_data->out_flags2 = static_cast<A_long>(EFFECT_OUT_FLAGS2);
    if (in_data->appl_id == APPL_ID_PREMIERE) {
        auto* suite = acquire<PF_PixelFormatSuite1>(in_data, kPFPixelFormatSuite,
                                                    kPFPixelFormatSuiteVersion1);
        if (suite) {
            suite->ClearSupportedPixelFormats(in_data->effect_ref);
            suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_32f);
            suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
            release(in_data, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
        }
    }
    need_to_check_current_time_in_render_cache_frame = 1;
    auto* info = acquire<MediaCoreAppInfoSuite1>(in_data, kMediaCoreAppInfoSuite,
                                                 kMediaCoreAppInfoSuiteVersion1);
    if (info) {
        A_u_long code = 0, version = 0;
        info->GetAppInfo(kAppInfo_AppFourCC, &code);
        info->GetAppInfo(kAppInfo_Version, &version);
        if (code == PF_FOURCC('P', 'P', 'r', 'o') && version < 11)
            need_to_check_current_time_in_render_cache_frame = 0;
        release(in_data, kMediaCoreAppInfoSuite, kMediaCoreAppInfoSuiteVersion1);
    }
    return err;
}

PF_Err params_setup_command(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = params_setup(in_data, out_data);
    out_data->num_params = PARAM_COUNT;
    if (!err) {
        PF_CustomUIInfo ui{};
        ui.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER | PF_CustomEFlag_EFFECT;
        err = in_data->inter.register_ui(in_data->effect_ref, &ui);
    }
    return err;
}

PF_Err new_card(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], int id,
                PF_Handle* handle) {
    color_space cs = *default_color_space();
    refcard_type type = default_card_type();
    // Where the host gives no values to read yet, a new card is the default chart's.
    color_space read_cs{};
    if (value_get_color_space(in_data, params, id, &read_cs) == PF_Err_NONE) cs = read_cs;
    refcard_type read_type = type;
    if (value_get_card_type(in_data, params, &read_type) == PF_Err_NONE && refcard(read_type))
        type = read_type;
    return CG_Create(in_data, out_data, handle, &cs, type);
}

PF_Err arbitrary(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                 PF_ArbParamsExtra* extra) {
    if (!extra) return PF_Err_BAD_CALLBACK_PARAM;
    if (extra->id != P_SOURCE && extra->id != P_TARGET) return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    PF_UtilCallbacks* u = in_data->utils;
    switch (extra->which_function) {
        case PF_Arbitrary_NEW_FUNC:
            return new_card(in_data, out_data, params, extra->id, extra->u.new_func_params.arbPH);
        case PF_Arbitrary_DISPOSE_FUNC:
            if (extra->u.dispose_func_params.arbH)
                u->host_dispose_handle(extra->u.dispose_func_params.arbH);
            return PF_Err_NONE;
        case PF_Arbitrary_COPY_FUNC:
            return CG_Copy(in_data, out_data, &extra->u.copy_func_params.src_arbH,
                           extra->u.copy_func_params.dst_arbPH);
        case PF_Arbitrary_FLAT_SIZE_FUNC:
            *extra->u.flat_size_func_params.flat_data_sizePLu = COLORCARD_BYTES;
            return PF_Err_NONE;
        case PF_Arbitrary_FLATTEN_FUNC: {
            auto& f = extra->u.flatten_func_params;
            if (f.buf_sizeLu < COLORCARD_FLAT_MIN_BYTES || !f.flat_dataPV)
                return PF_Err_INTERNAL_STRUCT_DAMAGED;
            std::memset(f.flat_dataPV, 0, f.buf_sizeLu);
            void* mem = f.arbH ? u->host_lock_handle(f.arbH) : nullptr;
            if (mem) {
                A_HandleSize size = u->host_get_handle_size(f.arbH);
                A_HandleSize n = f.buf_sizeLu < COLORCARD_BYTES ? f.buf_sizeLu : COLORCARD_BYTES;
                if (size < n) n = size;
                std::memcpy(f.flat_dataPV, mem, n);
            }
            std::memset(f.flat_dataPV, 0, 8);
            if (mem) u->host_unlock_handle(f.arbH);
            return PF_Err_NONE;
        }
        case PF_Arbitrary_UNFLATTEN_FUNC: {
            auto& f = extra->u.unflatten_func_params;
            if (f.buf_sizeLu < COLORCARD_FLAT_MIN_BYTES || !f.flat_dataPV)
                return PF_Err_INTERNAL_STRUCT_DAMAGED;
            PF_Handle h = u->host_new_handle(COLORCARD_BYTES);
            if (!h) return PF_Err_OUT_OF_MEMORY;
            void* mem = u->host_lock_handle(h);
            if (!mem) {
                u->host_dispose_handle(h);
                return PF_Err_OUT_OF_MEMORY;
            }
            std::memset(mem, 0, COLORCARD_BYTES);
            std::memcpy(mem, f.flat_dataPV,
                        f.buf_sizeLu < COLORCARD_BYTES ? f.buf_sizeLu : COLORCARD_BYTES);
            std::memset(mem, 0, 8);
            u->host_unlock_handle(h);
            *f.arbPH = h;
            return PF_Err_NONE;
        }
        case PF_Arbitrary_INTERP_FUNC: {
            auto& f = extra->u.interp_func_params;
            return CG_Interpolate(in_data, out_data, f.tF, &f.left_arbH, &f.right_arbH, f.interpPH);
        }
        case PF_Arbitrary_COMPARE_FUNC: {
            auto& f = extra->u.compare_func_params;
            return CG_Compare(in_data, out_data, &f.a_arbH, &f.b_arbH, f.compareP);
        }
        case PF_Arbitrary_PRINT_SIZE_FUNC:
            *extra->u.print_size_func_params.print_sizePLu = COLORCARD_PRINT_BYTES;
            return PF_Err_NONE;
        case PF_Arbitrary_PRINT_FUNC: {
            auto& f = extra->u.print_func_params;
            return CG_Print(in_data, out_data, f.print_flags, f.arbH, f.print_sizeLu,
                            f.print_bufferPC);
        }
        default:
            return PF_Err_NONE;
    }
}

PF_Err smart_pre_render(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra) {
    (void)out_data;
    PF_UtilCallbacks* u = in_data->utils;
    PF_Handle h = u->host_new_handle(sizeof(PF_CheckoutResult));
    if (!h) return PF_Err_OUT_OF_MEMORY;
    auto* result = static_cast<PF_CheckoutResult*>(u->host_lock_handle(h));
    if (!result) {
        u->host_dispose_handle(h);
        return PF_Err_OUT_OF_MEMORY;
    }
    std::memset(result, 0, sizeof(*result));
    extra->output->pre_render_data = h;
    PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &extra->input->output_request,
                                           in_data->current_time, in_data->time_step,
                                           in_data->time_scale, result);
    UnionLRect(&result->result_rect, &extra->output->result_rect);
    UnionLRect(&result->max_result_rect, &extra->output->max_result_rect);
    extra->output->flags = PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
    u->host_unlock_handle(h);
    return err;
}

PF_Err smart_render(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
    PF_UtilCallbacks* u = in_data->utils;
    A_long left = 0, top = 0;
    auto h = static_cast<PF_Handle>(extra->input->pre_render_data);
    if (h) {
        auto* result = static_cast<PF_CheckoutResult*>(u->host_lock_handle(h));
        if (result) {
            left = result->result_rect.left;
            top = result->result_rect.top;
            u->host_unlock_handle(h);
        }
    }
    PF_InData local = *in_data;
    local.pre_effect_source_origin_x = -left;
    local.pre_effect_source_origin_y = -top;

    PF_ParamDef defs[PARAM_COUNT];
    PF_ParamDef* list[PARAM_COUNT] = {};
    std::memset(static_cast<void*>(defs), 0, sizeof(defs));
    int checked_out = 0;
    PF_Err err = PF_Err_NONE;
    for (int i = 1; i < PARAM_COUNT && !err; ++i) {
        err = in_data->inter.checkout_param(in_data->effect_ref, i, in_data->current_time,
                                            in_data->time_step, in_data->time_scale, &defs[i]);
        if (!err) {
            list[i] = &defs[i];
            checked_out = i;
        }
    }
    if (!err) {
        for (int k = 0; k < 4; ++k) {
            PF_ParamDef& d = defs[P_CORNER_TL + k];
            d.u.td.x_value =
                static_cast<PF_Fixed>(d.u.td.x_value - static_cast<int64_t>(left) * 65536);
            d.u.td.y_value =
                static_cast<PF_Fixed>(d.u.td.y_value - static_cast<int64_t>(top) * 65536);
        }
    }
    PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    bool input_out = false;
    if (!err) {
        err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input);
        input_out = err == PF_Err_NONE;
    }
    if (!err) err = extra->cb->checkout_output(in_data->effect_ref, &output);
    if (!err) err = SharedRender(&local, out_data, list, input, output);
    if (input_out) {
        PF_Err e = extra->cb->checkin_layer_pixels(in_data->effect_ref, 0);
        if (!err) err = e;
    }
    for (int i = 1; i <= checked_out; ++i) {
        PF_Err e = in_data->inter.checkin_param(in_data->effect_ref, &defs[i]);
        if (!err) err = e;
    }
    return err;
}

// Changes the hidden parameter so that the host renders again; an odd value marks a
// requested frame that has not been cached yet.
void rerender_nudge(PF_InData* in_data, PF_ParamDef* params[]) {
    real_mutex_lock(&global.lock);
    int32_t counter = (global.rerender_counter & ~1) + 2;
    if (global.request_tick != -1 && global.cached_tick < global.request_tick) counter += 1;
    if (counter >= 101) counter -= 100;
    global.rerender_counter = counter;
    real_mutex_unlock(&global.lock);
    value_set_slider(in_data, params, P_HIDDEN, static_cast<double>(counter));
    if (params && params[P_HIDDEN])
        params[P_HIDDEN]->uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
}

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra) {
    switch (cmd) {
        case PF_Cmd_ABOUT:
            in_data->utils->ansi.sprintf(out_data->return_msg, "%s", ABOUT_TEXT);
            return PF_Err_NONE;
        case PF_Cmd_GLOBAL_SETUP:
            return global_setup(in_data, out_data);
        case PF_Cmd_PARAMS_SETUP:
            return params_setup_command(in_data, out_data);
        case PF_Cmd_SEQUENCE_SETUP:
        case PF_Cmd_SEQUENCE_RESETUP:
        case PF_Cmd_SEQUENCE_FLATTEN:
            out_data->sequence_data = nullptr;
            return PF_Err_NONE;
        case PF_Cmd_DO_DIALOG:
            return DoDialog(in_data, out_data, params);
        case PF_Cmd_RENDER:
            return SharedRender(in_data, out_data, params, params ? &params[0]->u.ld : nullptr,
                                output);
        case PF_Cmd_USER_CHANGED_PARAM: {
            PF_Err err = Changed(in_data, out_data, params, output,
                                 static_cast<PF_UserChangedParamExtra*>(extra));
            if (!err) err = UpdateUI(in_data, out_data, params, output);
            return err;
        }
        case PF_Cmd_UPDATE_PARAMS_UI:
            return UpdateUI(in_data, out_data, params, output);
        case PF_Cmd_EVENT: {
            auto* e = static_cast<PF_EventExtra*>(extra);
            if (!e || e->e_type == PF_Event_IDLE) return PF_Err_NONE;
            return Event(in_data, out_data, params, output, e);
        }
        case PF_Cmd_ARBITRARY_CALLBACK:
            return arbitrary(in_data, out_data, params, static_cast<PF_ArbParamsExtra*>(extra));
        case PF_Cmd_SMART_PRE_RENDER:
            return smart_pre_render(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
        case PF_Cmd_SMART_RENDER:
            return smart_render(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
        default:
            return PF_Err_NONE;
    }
}

}  // namespace

PLUGIN_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
    PF_Err err = PF_Err_NONE;
    try {
        make_sure_initialised();
        err = dispatch(cmd, in_data, out_data, params, output, extra);
        if (out_data && (out_data->out_flags & PF_OutFlag_FORCE_RERENDER))
            rerender_nudge(in_data, params);
    } catch (...) {
        if (!err) err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return err;
}
