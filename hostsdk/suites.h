// Host suites: function tables acquired by name and version through the basic
// suite and released after use. Only the suites and functions the effect calls
// are declared; a host that lacks one answers the acquire with an error.
#pragma once

#include "hostsdk/drawbot.h"
#include "hostsdk/effect.h"

extern "C" {

struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, A_long version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, A_long version);
};

// ---------------------------------------------------------------------------
// Effect suites

#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion1 1
struct PF_PixelFormatSuite1 {
    PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat format);
    PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
    PF_Err (*GetPixelFormat)(PF_EffectWorld* world, PrPixelFormat* format);
};

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion2 2
struct PF_WorldSuite2 {
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* world, PF_PixelFormat* format);
};

#define kPFUtilitySuite "PF Utility Suite"
#define kPFUtilitySuiteVersion3 3
struct PF_UtilitySuite3 {
    PF_Err (*GetFilterInstanceID)(PF_ProgPtr effect_ref, A_long* instance_id);
};

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion2 2
struct PF_ParamUtilsSuite2 {
    // Replaces the definition (name, flags, user-interface flags) the host shows for a parameter.
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                               const PF_ParamDef* def);
};

#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1
struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(PF_ContextH context, DRAWBOT_DrawRef* reference);
};

struct PF_App_Color {
    A_u_short alpha, red, green, blue;  // 0 to 65535
};

#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion6 6
struct PFAppSuite6 {
    PF_Err (*PF_AppGetBgColor)(PF_App_Color* bg_color);
};

// ---------------------------------------------------------------------------
// Application information (both hosts may offer it)

enum { kAppInfo_AppFourCC = 0, kAppInfo_Version = 1 };

#define kMediaCoreAppInfoSuite "MediaCore App Info Suite"
#define kMediaCoreAppInfoSuiteVersion1 1
struct MediaCoreAppInfoSuite1 {
    // info id 0: the application's four-character code; 1: its major version.
    SPErr (*GetAppInfo)(A_long info_id, A_u_long* value);
};

// ---------------------------------------------------------------------------
// AEGP suites (compositing host)

typedef A_long AEGP_PluginID;
typedef void* AEGP_GlobalRefcon;
typedef struct _AEGP_EffectRefH* AEGP_EffectRefH;
typedef struct _AEGP_StreamRefH* AEGP_StreamRefH;
typedef struct _AEGP_LayerH* AEGP_LayerH;
typedef struct _AEGP_LayerRenderOptionsH* AEGP_LayerRenderOptionsH;
typedef struct _AEGP_RenderOptionsH* AEGP_RenderOptionsH;
typedef struct _AEGP_FrameReceiptH* AEGP_FrameReceiptH;
typedef struct _AEGP_WorldH* AEGP_WorldH;
typedef A_Boolean (*AEGP_RenderCancelFunc)(void* refcon, A_Boolean* cancel);

enum AEGP_LTimeMode { AEGP_LTimeMode_LayerTime = 0, AEGP_LTimeMode_CompTime = 1 };

enum {
    AEGP_DynStreamFlag_ACTIVE_EYEBALL = 0,
    AEGP_DynStreamFlag_HIDDEN = 1,
    AEGP_DynStreamFlag_DISABLED = 2,
};
typedef A_long AEGP_DynStreamFlags;  // bit (1 << flag) per flag above

struct AEGP_TwoDVal {
    A_FpLong x, y;
};
struct AEGP_ColorVal {
    A_FpShort alphaF, redF, greenF, blueF;  // 0 to 1
};

union AEGP_StreamVal {
    A_FpLong one_d;
    AEGP_TwoDVal two_d;
    AEGP_ColorVal color;
    PF_Handle arbH;  // arbitrary data: a handle the caller disposes of with the value
};

struct AEGP_StreamValue {
    AEGP_StreamRefH streamH;
    AEGP_StreamVal val;
};

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion11 11
struct AEGP_UtilitySuite11 {
    A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                   AEGP_PluginID* plugin_id);
};

#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1
struct AEGP_PFInterfaceSuite1 {
    A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layer);
    A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref,
                                        AEGP_EffectRefH* effect);
};

#define kAEGPEffectSuite "AEGP Effect Suite"
#define kAEGPEffectSuiteVersion2 2
#define kAEGPEffectSuiteVersion3 3
struct AEGP_EffectSuite2 {
    A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effect);
};
typedef AEGP_EffectSuite2 AEGP_EffectSuite3;

#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPStreamSuiteVersion7 7
struct AEGP_StreamSuite7 {
    A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID plugin_id, AEGP_EffectRefH effect,
                                            PF_ParamIndex index, AEGP_StreamRefH* stream);
    A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH stream);
    A_Err (*AEGP_GetNewStreamValue)(AEGP_PluginID plugin_id, AEGP_StreamRefH stream,
                                    AEGP_LTimeMode time_mode, const A_Time* time,
                                    A_Boolean pre_expression, AEGP_StreamValue* value);
    A_Err (*AEGP_DisposeStreamValue)(AEGP_StreamValue* value);
    A_Err (*AEGP_SetStreamValue)(AEGP_PluginID plugin_id, AEGP_StreamRefH stream,
                                 AEGP_StreamValue* value);
};

#define kAEGPDynamicStreamSuite "AEGP Dynamic Stream Suite"
#define kAEGPDynamicStreamSuiteVersion5 5
struct AEGP_DynamicStreamSuite5 {
    A_Err (*AEGP_GetDynamicStreamFlags)(AEGP_StreamRefH stream, AEGP_DynStreamFlags* flags);
    A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH stream, A_long flag, A_Boolean undoable,
                                       A_Boolean set);
};

#define kAEGPLayerRenderOptionsSuite "AEGP Layer Render Options Suite"
#define kAEGPLayerRenderOptionsSuiteVersion1 1
struct AEGP_LayerRenderOptionsSuite1 {
    A_Err (*AEGP_NewFromUpstreamOfEffect)(AEGP_PluginID plugin_id, AEGP_EffectRefH effect,
                                          AEGP_LayerRenderOptionsH* options);
    A_Err (*AEGP_SetTime)(AEGP_LayerRenderOptionsH options, A_Time time);
    A_Err (*AEGP_Dispose)(AEGP_LayerRenderOptionsH options);
};

#define kAEGPRenderOptionsSuite "AEGP Render Options Suite"
#define kAEGPRenderOptionsSuiteVersion1 1
struct AEGP_RenderOptionsSuite1 {
    A_Err (*AEGP_Dispose)(AEGP_RenderOptionsH options);
};

#define kAEGPWorldSuite "AEGP World Suite"
#define kAEGPWorldSuiteVersion3 3
struct AEGP_WorldSuite3 {
    A_Err (*AEGP_FillOutPFEffectWorld)(AEGP_WorldH world, PF_EffectWorld* pf_world);
};

#define kAEGPRenderSuite "AEGP Render Suite"
#define kAEGPRenderSuiteVersion5 5
struct AEGP_RenderSuite5 {
    A_Err (*AEGP_RenderAndCheckoutLayerFrame)(AEGP_LayerRenderOptionsH options,
                                              AEGP_RenderCancelFunc cancel, void* cancel_refcon,
                                              AEGP_FrameReceiptH* receipt);
    A_Err (*AEGP_CheckinFrame)(AEGP_FrameReceiptH receipt);
    A_Err (*AEGP_GetReceiptWorld)(AEGP_FrameReceiptH receipt, AEGP_WorldH* world);
};

}  // extern "C"
