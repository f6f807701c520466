// DRAWBOT: the hosts' 2-D drawing suites for custom controls and overlays. A
// drawing reference comes from the event context; from it a supplier (which
// makes pens, brushes, fonts and paths) and a surface (which paints them).
#pragma once

#include <cstdint>

extern "C" {

typedef struct _DRAWBOT_DrawRef* DRAWBOT_DrawRef;
typedef struct _DRAWBOT_ObjectRef* DRAWBOT_ObjectRef;
typedef DRAWBOT_ObjectRef DRAWBOT_SupplierRef;
typedef DRAWBOT_ObjectRef DRAWBOT_SurfaceRef;
typedef DRAWBOT_ObjectRef DRAWBOT_PenRef;
typedef DRAWBOT_ObjectRef DRAWBOT_BrushRef;
typedef DRAWBOT_ObjectRef DRAWBOT_FontRef;
typedef DRAWBOT_ObjectRef DRAWBOT_PathRef;
typedef uint16_t DRAWBOT_UTF16Char;
typedef int32_t SPErr_DRAWBOT;

struct DRAWBOT_ColorRGBA {
    float red, green, blue, alpha;  // 0 to 1
};

struct DRAWBOT_PointF32 {
    float x, y;
};

struct DRAWBOT_RectF32 {
    float left, top, width, height;
};

enum DRAWBOT_FillType {
    kDRAWBOT_FillType_EvenOdd = 0,
    kDRAWBOT_FillType_Winding,
    kDRAWBOT_FillType_Default
};

enum DRAWBOT_TextAlignment {
    kDRAWBOT_TextAlignment_Left = 0,
    kDRAWBOT_TextAlignment_Center,
    kDRAWBOT_TextAlignment_Right,
    kDRAWBOT_TextAlignment_Default = kDRAWBOT_TextAlignment_Left,
};

enum DRAWBOT_TextTruncation {
    kDRAWBOT_TextTruncation_None = 0,
    kDRAWBOT_TextTruncation_End,
    kDRAWBOT_TextTruncation_EndEllipsis,
    kDRAWBOT_TextTruncation_PathEllipsis,
};

#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_DrawSuite_Version1 1
struct DRAWBOT_DrawbotSuite1 {
    SPErr_DRAWBOT (*GetSupplier)(DRAWBOT_DrawRef draw_ref, DRAWBOT_SupplierRef* supplier);
    SPErr_DRAWBOT (*GetSurface)(DRAWBOT_DrawRef draw_ref, DRAWBOT_SurfaceRef* surface);
};

#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SupplierSuite_Version1 1
struct DRAWBOT_SupplierSuite1 {
    SPErr_DRAWBOT (*NewPen)(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour,
                            float size, DRAWBOT_PenRef* pen);
    SPErr_DRAWBOT (*NewBrush)(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour,
                              DRAWBOT_BrushRef* brush);
    SPErr_DRAWBOT (*SupportsText)(DRAWBOT_SupplierRef supplier, uint8_t* supports);
    SPErr_DRAWBOT (*GetDefaultFontSize)(DRAWBOT_SupplierRef supplier, float* size);
    SPErr_DRAWBOT (*NewDefaultFont)(DRAWBOT_SupplierRef supplier, float size,
                                    DRAWBOT_FontRef* font);
    SPErr_DRAWBOT (*NewPath)(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef* path);
    SPErr_DRAWBOT (*ReleaseObject)(DRAWBOT_ObjectRef object);
};

#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_SurfaceSuite_Version1 1
struct DRAWBOT_SurfaceSuite1 {
    SPErr_DRAWBOT (*PushStateStack)(DRAWBOT_SurfaceRef surface);
    SPErr_DRAWBOT (*PopStateStack)(DRAWBOT_SurfaceRef surface);
    SPErr_DRAWBOT (*PaintRect)(DRAWBOT_SurfaceRef surface, const DRAWBOT_ColorRGBA* colour,
                               const DRAWBOT_RectF32* rect);
    SPErr_DRAWBOT (*FillPath)(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush,
                              DRAWBOT_PathRef path, DRAWBOT_FillType fill_type);
    SPErr_DRAWBOT (*StrokePath)(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef pen,
                                DRAWBOT_PathRef path);
    SPErr_DRAWBOT (*DrawString)(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush,
                                DRAWBOT_FontRef font, const DRAWBOT_UTF16Char* text,
                                const DRAWBOT_PointF32* origin, DRAWBOT_TextAlignment alignment,
                                DRAWBOT_TextTruncation truncation, float truncation_width);
};

#define kDRAWBOT_PathSuite "DRAWBOT Path Suite"
#define kDRAWBOT_PathSuite_Version1 1
struct DRAWBOT_PathSuite1 {
    SPErr_DRAWBOT (*MoveTo)(DRAWBOT_PathRef path, float x, float y);
    SPErr_DRAWBOT (*LineTo)(DRAWBOT_PathRef path, float x, float y);
    SPErr_DRAWBOT (*AddRect)(DRAWBOT_PathRef path, const DRAWBOT_RectF32* rect);
    SPErr_DRAWBOT (*Close)(DRAWBOT_PathRef path);
};

}  // extern "C"
