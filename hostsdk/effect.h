// The effect API as the hosts present it: basic types, error codes, command
// selectors, flags and the records that cross the entry point. Written from what
// the effect and the headless host use; values the effect never looks at are
// left out. Both sides of the boundary include this one header, so the numbers
// below only have to agree with themselves, except the declared out-flags, whose
// sums are fixed by the registration resource.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// ---------------------------------------------------------------------------
// Basic types

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef int64_t A_intptr_t;
typedef uint64_t A_HandleSize;
typedef double A_FpLong;
typedef float A_FpShort;
typedef int32_t A_Err;

typedef A_long PF_Err;
typedef A_long PF_Fixed;  // 16.16 fixed point
typedef A_u_char PF_Boolean;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long SPErr;
typedef char** PF_Handle;
typedef PF_Handle PF_ArbitraryH;
typedef struct PF_ProgressInfo* PF_ProgPtr;  // the host's reference to one effect instance
typedef struct _PF_Context* PF_ContextH;

struct A_Time {
    A_long value;
    A_u_long scale;
};

struct PF_RationalScale {
    A_long num;
    A_u_long den;
};

struct PF_Point {
    A_long h, v;
};

struct PF_FixedPoint {
    PF_Fixed x, y;
};

struct PF_LRect {
    A_long left, top, right, bottom;
};
typedef PF_LRect PF_Rect;
typedef PF_LRect PF_UnionableRect;

// Grows dst to cover src; an empty rectangle adds nothing.
inline void UnionLRect(const PF_LRect* src, PF_LRect* dst) {
    if (src->left >= src->right || src->top >= src->bottom) return;
    if (dst->left >= dst->right || dst->top >= dst->bottom) {
        *dst = *src;
        return;
    }
    if (src->left < dst->left) dst->left = src->left;
    if (src->top < dst->top) dst->top = src->top;
    if (src->right > dst->right) dst->right = src->right;
    if (src->bottom > dst->bottom) dst->bottom = src->bottom;
}

struct PF_Pixel {
    A_u_char alpha, red, green, blue;
};
struct PF_Pixel16 {
    A_u_short alpha, red, green, blue;
};
struct PF_PixelFloat {
    A_FpShort alpha, red, green, blue;
};

// Four-character codes, first character in the highest byte.
#define PF_FOURCC(a, b, c, d)                                        \
    ((A_u_long(A_u_char(a)) << 24) | (A_u_long(A_u_char(b)) << 16) | \
     (A_u_long(A_u_char(c)) << 8) | A_u_long(A_u_char(d)))

// ---------------------------------------------------------------------------
// Errors

enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517,
};

enum { kSPNoError = 0, kSPSuiteNotFoundError = PF_FOURCC('S', '!', 'F', 'd') };

// ---------------------------------------------------------------------------
// Commands

enum PF_Cmd {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP,
    PF_Cmd_UNUSED_0,
    PF_Cmd_GLOBAL_SETDOWN,
    PF_Cmd_PARAMS_SETUP,
    PF_Cmd_SEQUENCE_SETUP,
    PF_Cmd_SEQUENCE_RESETUP,
    PF_Cmd_SEQUENCE_FLATTEN,
    PF_Cmd_SEQUENCE_SETDOWN,
    PF_Cmd_DO_DIALOG,
    PF_Cmd_FRAME_SETUP,
    PF_Cmd_RENDER,
    PF_Cmd_FRAME_SETDOWN,
    PF_Cmd_USER_CHANGED_PARAM,
    PF_Cmd_UPDATE_PARAMS_UI,
    PF_Cmd_EVENT,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES,
    PF_Cmd_COMPLETELY_GENERAL,
    PF_Cmd_QUERY_DYNAMIC_FLAGS,
    PF_Cmd_AUDIO_RENDER,
    PF_Cmd_AUDIO_SETUP,
    PF_Cmd_AUDIO_SETDOWN,
    PF_Cmd_ARBITRARY_CALLBACK,
    PF_Cmd_SMART_PRE_RENDER,
    PF_Cmd_SMART_RENDER,
    PF_Cmd_NUM_CMDS
};

// ---------------------------------------------------------------------------
// Out-flags (global setup, and per command for the dynamic ones)

enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_KEEP_RESOURCE_OPEN = 1L << 0,
    PF_OutFlag_WIDE_TIME_INPUT = 1L << 1,
    PF_OutFlag_NON_PARAM_VARY = 1L << 2,
    PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 1L << 4,
    PF_OutFlag_I_DO_DIALOG = 1L << 5,
    PF_OutFlag_USE_OUTPUT_EXTENT = 1L << 6,
    PF_OutFlag_SEND_DO_DIALOG = 1L << 7,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,
    PF_OutFlag_I_EXPAND_BUFFER = 1L << 9,
    PF_OutFlag_PIX_INDEPENDENT = 1L << 10,
    PF_OutFlag_I_WRITE_INPUT_BUFFER = 1L << 11,
    PF_OutFlag_CUSTOM_UI = 1L << 15,
    PF_OutFlag_REFRESH_UI = 1L << 17,
    PF_OutFlag_FORCE_RERENDER = 1L << 19,
    PF_OutFlag_DEEP_COLOR_AWARE = 1L << 25,
};

enum {
    PF_OutFlag2_NONE = 0,
    PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1L << 3,
    PF_OutFlag2_REVEALS_ZERO_ALPHA = 1L << 7,
    PF_OutFlag2_SUPPORTS_SMART_RENDER = 1L << 10,
    PF_OutFlag2_FLOAT_COLOR_AWARE = 1L << 12,
    PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1L << 27,
};

static_assert((PF_OutFlag_KEEP_RESOURCE_OPEN | PF_OutFlag_I_DO_DIALOG | PF_OutFlag_PIX_INDEPENDENT |
               PF_OutFlag_CUSTOM_UI | PF_OutFlag_DEEP_COLOR_AWARE) == 0x02008421);
static_assert((PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG | PF_OutFlag2_REVEALS_ZERO_ALPHA |
               PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE |
               PF_OutFlag2_SUPPORTS_THREADED_RENDERING) == 0x08001488);

// ---------------------------------------------------------------------------
// Pixel buffers

typedef A_u_long PF_PixelFormat;
enum {
    PF_PixelFormat_ARGB32 = PF_FOURCC('a', 'r', 'g', 'b'),   // 8 bits per channel
    PF_PixelFormat_ARGB64 = PF_FOURCC('a', 'e', '1', '6'),   // 16-bit (0 to 32768)
    PF_PixelFormat_ARGB128 = PF_FOURCC('a', 'e', '3', '2'),  // 32-bit float
    PF_PixelFormat_INVALID = PF_FOURCC('b', 'a', 'd', 'f'),
};

// The editing host's pixel formats for CPU worlds and GPU frames.
typedef A_u_long PrPixelFormat;
enum {
    PrPixelFormat_BGRA_4444_8u = PF_FOURCC('B', 'G', 'R', 'A'),
    PrPixelFormat_BGRA_4444_32f = PF_FOURCC('B', 'G', 'R', 'f'),
    PrPixelFormat_GPU_BGRA_4444_32f = 0x41444340,
    PrPixelFormat_GPU_BGRA_4444_16f = 0x41444341,
    PrPixelFormat_Invalid = 0xFFFFFFFF,
};

struct PF_LayerDef {
    void* reserved0;  // the host's own reference to the buffer
    A_long width;
    A_long height;
    A_long rowbytes;  // may be negative (bottom-up buffers)
    void* data;       // first pixel of the top row
    A_long world_flags;
    PF_UnionableRect extent_hint;
    PF_RationalScale pix_aspect_ratio;
    A_long origin_x, origin_y;
    A_long dephault;  // layer parameter default (unused by the effect)
};
typedef PF_LayerDef PF_EffectWorld;

// ---------------------------------------------------------------------------
// Parameters

enum PF_ParamType {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER,
    PF_Param_FIX_SLIDER,
    PF_Param_ANGLE,
    PF_Param_CHECKBOX,
    PF_Param_COLOR,
    PF_Param_POINT,
    PF_Param_POPUP,
    PF_Param_CUSTOM,
    PF_Param_NO_DATA,
    PF_Param_FLOAT_SLIDER,
    PF_Param_ARBITRARY_DATA,
    PF_Param_PATH,
    PF_Param_GROUP_START,
    PF_Param_GROUP_END,
    PF_Param_BUTTON,
};

enum {
    PF_ParamFlag_NONE = 0,
    PF_ParamFlag_CANNOT_TIME_VARY = 1L << 1,
    PF_ParamFlag_CANNOT_INTERP = 1L << 2,
    PF_ParamFlag_COLLAPSE_TWIRLY = 1L << 5,
    PF_ParamFlag_SUPERVISE = 1L << 6,
    PF_ParamFlag_START_COLLAPSED = PF_ParamFlag_COLLAPSE_TWIRLY,
};

enum {
    PF_PUI_NONE = 0,
    PF_PUI_TOPIC = 1L << 0,
    PF_PUI_CONTROL = 1L << 1,
    PF_PUI_STD_CONTROL_ONLY = 1L << 2,
    PF_PUI_NO_ECW_UI = 1L << 3,
    PF_PUI_ECW_SEPARATOR = 1L << 4,
    PF_PUI_DISABLED = 1L << 5,
    PF_PUI_INVISIBLE = 1L << 8,
};

enum {
    PF_ChangeFlag_NONE = 0,
    PF_ChangeFlag_CHANGED_VALUE = 1L << 0,
};

enum {
    PF_ValueDisplayFlag_NONE = 0,
    PF_ValueDisplayFlag_PERCENT = 1 << 0,
    PF_ValueDisplayFlag_PIXEL = 1 << 1,
};

enum {
    PF_Precision_INTEGER = 0,
    PF_Precision_TENTHS,
    PF_Precision_HUNDREDTHS,
    PF_Precision_THOUSANDTHS,
    PF_Precision_TEN_THOUSANDTHS,
};

struct PF_SliderDef {
    PF_ParamValue value;
    A_long valid_min, valid_max, slider_min, slider_max;
    PF_ParamValue dephault;
};

struct PF_FixedSliderDef {
    PF_Fixed value;
    PF_Fixed valid_min, valid_max, slider_min, slider_max;
    PF_Fixed dephault;
    A_short precision;
    A_short display_flags;
};

struct PF_FloatSliderDef {
    A_FpLong value;
    A_FpLong phase;  // unused
    A_FpLong valid_min, valid_max, slider_min, slider_max;
    A_FpLong dephault;
    A_short precision;
    A_short display_flags;
    A_long fs_flags;
    A_FpShort curve_tolerance;
};

struct PF_CheckBoxDef {
    PF_ParamValue value;
    PF_Boolean dephault;
    const A_char* u_name;  // text beside the box; empty for none
};

struct PF_ColorDef {
    PF_Pixel value;
    PF_Pixel dephault;
};

struct PF_PointDef {
    PF_Fixed x_value, y_value;  // 16.16, layer pixels
    PF_Fixed x_dephault, y_dephault;
    PF_Boolean restrict_bounds;
    PF_Boolean dephaults_are_percent;  // defaults in percent of the layer, 16.16
};

struct PF_PopupDef {
    PF_ParamValue value;  // 1-based
    A_short num_choices;
    A_short dephault;
    const A_char* names;  // entries separated by '|'
};

struct PF_ArbitraryDef {
    A_short id;
    A_short pad;
    PF_ArbitraryH dephault;
    PF_ArbitraryH value;
    void* refconPV;
};

union PF_ParamDefUnion {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
    PF_ArbitraryDef arb_d;
};

struct PF_ParamDef {
    struct {
        A_long id;            // set when the parameter is added; stable across versions
        A_long change_flags;  // PF_ChangeFlag_*, set by the effect when it writes a value
    } uu;
    A_long ui_flags;              // PF_PUI_*
    A_short ui_width, ui_height;  // custom control size in the effect-controls panel
    PF_ParamType param_type;
    A_char name[32];
    A_long flags;  // PF_ParamFlag_*
    PF_ParamDefUnion u;
};
typedef PF_ParamDef* PF_ParamDefPtr;
typedef PF_ParamDef** PF_ParamList;

// ---------------------------------------------------------------------------
// Custom UI registration

enum {
    PF_CustomEFlag_NONE = 0,
    PF_CustomEFlag_COMP = 1L << 0,
    PF_CustomEFlag_LAYER = 1L << 1,
    PF_CustomEFlag_EFFECT = 1L << 2,
};

struct PF_CustomUIInfo {
    A_long events;  // PF_CustomEFlag_*
    A_long comp_ui_width, comp_ui_height;
    A_long layer_ui_width, layer_ui_height;
};

// ---------------------------------------------------------------------------
// Host callbacks reached through PF_InData

enum PF_PlatDataID {
    PF_PlatData_MAIN_WND = 0,  // the host's main window (a pointer-sized value)
    PF_PlatData_EXE_FILE_PATH_DEPRECATED,
    PF_PlatData_RES_FILE_PATH_DEPRECATED,
};

struct PF_ANSICallbacks {
    // Formatted print; returns the number of characters written.
    A_long (*sprintf)(A_char* buffer, const A_char* format, ...);
    // Copies a NUL-terminated text; returns dst.
    A_char* (*strcpy)(A_char* dst, const A_char* src);
};

struct PF_UtilCallbacks {
    // Copies the src_r part of src into dst_r of dst (whole worlds when the rectangles are null).
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);

    // Relocatable host memory. A new handle is none on failure; locking gives the memory (or none)
    // until the matching unlock; locks nest.
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle h);
    void (*host_unlock_handle)(PF_Handle h);
    void (*host_dispose_handle)(PF_Handle h);
    A_HandleSize (*host_get_handle_size)(PF_Handle h);
    PF_Err (*host_resize_handle)(A_HandleSize new_size, PF_Handle* h);

    PF_Err (*get_platform_data)(PF_ProgPtr effect_ref, PF_PlatDataID which, void* data);

    PF_ANSICallbacks ansi;
};

struct PF_InteractCallbacks {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                             A_long time_step, A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* cust_info);
};

struct SPBasicSuite;

struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    A_long version_major, version_minor;
    A_long appl_id;  // 'FXTC' compositing host, 'PrMr' editing host
    A_long num_params;
    A_long what_cpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    A_long width, height;  // layer size
    PF_RationalScale downsample_x, downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    A_long in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    A_long pre_effect_source_origin_x, pre_effect_source_origin_y;
    SPBasicSuite* pica_basicP;
};

struct PF_OutData {
    A_u_long my_version;
    A_char name[32];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width, height;
    PF_Point origin;
    A_long out_flags;
    A_char return_msg[256];
    A_long start_sampL, dur_sampL;
    A_long out_flags2;
};

// Packs an effect version as the registration resource and my_version carry it.
#define PF_VERSION(vers, subvers, bugvers, stage, build)                                     \
    (A_u_long((((vers)&0x1Fu) << 19) | (((subvers)&0xFu) << 15) | (((bugvers)&0xFu) << 11) | \
              (((stage)&0x3u) << 9) | ((build)&0x1FFu)))

enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA, PF_Stage_BETA, PF_Stage_RELEASE };

// ---------------------------------------------------------------------------
// Smart render

enum {
    PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 1 << 0,
    PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 1 << 1,
};
typedef A_short PF_RenderOutputFlags;

struct PF_RenderRequest {
    PF_LRect rect;
    A_long field;
    A_long channel_mask;
    PF_Boolean preserve_rgb_of_zero_alpha;
    A_char unused[3];
    A_long reserved[4];
};

// The host's answer to a layer checkout. The effect keeps it in a 76-byte handle as its
// pre-render data, so its size is part of the contract.
struct PF_CheckoutResult {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_RationalScale par;
    A_long solid;
    A_long ref_width, ref_height;
    A_long reserved[6];
};
static_assert(sizeof(PF_CheckoutResult) == 76);

typedef void (*PF_DeletePreRenderDataFunc)(void* pre_render_data);

struct PF_PreRenderInput {
    PF_RenderRequest output_request;
    A_short bitdepth;
    A_short pad;
    A_long device_index;
};

struct PF_PreRenderOutput {
    PF_LRect result_rect;
    PF_LRect max_result_rect;
    PF_Boolean solid;
    PF_Boolean reserved;
    PF_RenderOutputFlags flags;
    void* pre_render_data;
    PF_DeletePreRenderDataFunc delete_pre_render_data_func;
};

struct PF_PreRenderCallbacks {
    PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_idL,
                             const PF_RenderRequest* req, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_CheckoutResult* checkout_result);
};

struct PF_PreRenderExtra {
    PF_PreRenderInput* input;
    PF_PreRenderOutput* output;
    PF_PreRenderCallbacks* cb;
};

struct PF_SmartRenderInput {
    PF_RenderRequest output_request;
    A_short bitdepth;
    A_short pad;
    void* pre_render_data;
    A_long device_index;
};

struct PF_SmartRenderCallbacks {
    PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL,
                                    PF_EffectWorld** pixels);
    PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL);
    PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
};

struct PF_SmartRenderExtra {
    PF_SmartRenderInput* input;
    PF_SmartRenderCallbacks* cb;
};

// ---------------------------------------------------------------------------
// Arbitrary data

enum PF_FunctionSelector {
    PF_Arbitrary_NEW_FUNC = 0,
    PF_Arbitrary_DISPOSE_FUNC,
    PF_Arbitrary_COPY_FUNC,
    PF_Arbitrary_FLAT_SIZE_FUNC,
    PF_Arbitrary_FLATTEN_FUNC,
    PF_Arbitrary_UNFLATTEN_FUNC,
    PF_Arbitrary_INTERP_FUNC,
    PF_Arbitrary_COMPARE_FUNC,
    PF_Arbitrary_PRINT_SIZE_FUNC,
    PF_Arbitrary_PRINT_FUNC,
    PF_Arbitrary_SCAN_FUNC,
};

enum PF_ArbCompareResult {
    PF_ArbCompare_EQUAL = 0,
    PF_ArbCompare_LESS,
    PF_ArbCompare_MORE,
    PF_ArbCompare_NOT_EQUAL,
};

enum {
    PF_ArbPrint_NONE = 0,
    PF_ArbPrint_ABBREVIATED = 1 << 0,
};

struct PF_ArbParamsExtra {
    PF_ParamIndex id;
    A_long padding;
    PF_FunctionSelector which_function;
    union {
        struct {
            void* refconPV;
            PF_ArbitraryH* arbPH;
        } new_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH arbH;
        } dispose_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH src_arbH;
            PF_ArbitraryH* dst_arbPH;
        } copy_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH arbH;
            A_u_long* flat_data_sizePLu;
        } flat_size_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH arbH;
            A_u_long buf_sizeLu;
            void* flat_dataPV;
        } flatten_func_params;
        struct {
            void* refconPV;
            A_u_long buf_sizeLu;
            const void* flat_dataPV;
            PF_ArbitraryH* arbPH;
        } unflatten_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH left_arbH;
            PF_ArbitraryH right_arbH;
            A_FpLong tF;
            PF_ArbitraryH* interpPH;
        } interp_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH a_arbH;
            PF_ArbitraryH b_arbH;
            PF_ArbCompareResult* compareP;
        } compare_func_params;
        struct {
            void* refconPV;
            PF_ArbitraryH arbH;
            A_u_long* print_sizePLu;
        } print_size_func_params;
        struct {
            void* refconPV;
            A_long print_flags;
            PF_ArbitraryH arbH;
            A_u_long print_sizeLu;
            A_char* print_bufferPC;
        } print_func_params;
        struct {
            void* refconPV;
            const A_char* bufPC;
            A_u_long bytes_to_scanLu;
            PF_ArbitraryH* arbPH;
        } scan_func_params;
    } u;
};

// ---------------------------------------------------------------------------
// User changes

struct PF_UserChangedParamExtra {
    PF_ParamIndex param_index;  // the parameter the user changed
};

// ---------------------------------------------------------------------------
// Events

enum PF_EventType {
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE,
    PF_Event_DO_CLICK,
    PF_Event_DRAG,
    PF_Event_DRAW,
    PF_Event_DEACTIVATE,
    PF_Event_CLOSE_CONTEXT,
    PF_Event_IDLE,
    PF_Event_ADJUST_CURSOR,
    PF_Event_KEYDOWN,
    PF_Event_MOUSE_EXITED,
};

enum PF_WindowType {
    PF_Window_NONE = -1,
    PF_Window_COMP = 0,
    PF_Window_LAYER,
    PF_Window_EFFECT,
};

enum PF_EffectArea {
    PF_EA_NONE = 0,
    PF_EA_PARAM_TITLE,
    PF_EA_CONTROL,
};

enum {
    PF_EO_NONE = 0,
    PF_EO_HANDLED_EVENT = 1L << 0,
    PF_EO_ALWAYS_UPDATE = 1L << 1,
    PF_EO_NEVER_UPDATE = 1L << 2,
    PF_EO_UPDATE_NOW = 1L << 3,
};
typedef A_long PF_EventOutFlags;

enum {
    PF_Mod_NONE = 0,
    PF_Mod_CMD_CTRL_KEY = 1 << 8,
    PF_Mod_SHIFT_KEY = 1 << 9,
    PF_Mod_CAPS_LOCK_KEY = 1 << 10,
    PF_Mod_OPT_ALT_KEY = 1 << 11,
    PF_Mod_MAC_CONTROL_KEY = 1 << 12,
};
typedef A_long PF_Modifiers;

enum PF_CursorType {
    PF_Cursor_CUSTOM = -1,
    PF_Cursor_NONE = 0,
    PF_Cursor_ARROW,
};

struct _PF_Context {
    A_u_long magic;
    PF_WindowType w_type;
    A_long reserved_flt;
    void* reserved_hostP;  // the host's own window record
};

struct PF_DoClickEventInfo {
    A_u_long when;
    PF_Point screen_point;
    A_long num_clicks;
    PF_Modifiers modifiers;
    A_intptr_t continue_refcon[4];
    PF_Boolean send_drag;
    PF_Boolean last_time;
    A_short pad;
};

struct PF_DrawEventInfo {
    PF_Rect update_rect;
    A_long depth;
};

struct PF_AdjustCursorEventInfo {
    PF_Point screen_point;
    PF_Modifiers modifiers;
    PF_CursorType set_cursor;
};

union PF_EventUnion {
    PF_DoClickEventInfo do_click;
    PF_DoClickEventInfo drag;
    PF_DrawEventInfo draw;
    PF_AdjustCursorEventInfo adjust_cursor;
};

struct PF_EffectWindowInfo {
    PF_ParamIndex index;  // the control's parameter
    PF_EffectArea area;
    PF_UnionableRect current_frame;  // the control's rectangle in panel pixels
    PF_ParamIndex param_index;
    A_long effect_refcon;
};

struct PF_EventCallbacks {
    void* refcon;
    PF_Err (*layer_to_comp)(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*source_to_frame)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
};

struct PF_EventExtra {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EffectWindowInfo effect_win;
    PF_EventCallbacks cbs;
    PF_EventOutFlags evt_out_flags;
};

// ---------------------------------------------------------------------------
// The entry point every effect exports.

// Makes an entry point visible to the host's loader under its plain name: DLL exports on
// Windows, default visibility in a library built with hidden visibility elsewhere.
#if defined(_WIN32)
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

}  // extern "C"
