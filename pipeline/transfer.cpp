#include "pipeline/transfer.h"

#include <cmath>

#include "pipeline/slots.h"

namespace {

// Preset record of a popup item: kind, exposure index, levels; the carried fields are 0.
constexpr transfer_function preset(int32_t kind, int32_t iso, float black, float white) {
    return transfer_function{kind, iso, 0, 0, 0, 0, 0, 0, 0, 0, 0, black, white};
}

// Legal (narrow) range levels in 8-bit and 10-bit steps.
constexpr float L8_BLACK = 0.062745102f;  // 16 / 255
constexpr float L8_WHITE = 0.92156863f;   // 235 / 255

}  // namespace

// Levels notes for three camera entries. The curve constants of S-Log3 (42, 43) already
// produce full-range code values, so their levels are 0 and 1. The constants of F-Log2 (33)
// and L-Log (35, 36) produce the camera code rescaled by (code - 95) / 833 and
// (code - 92) / 839; their levels undo that rescaling so that the code values of real
// footage decode to the right scene light.
// clang-format off
const transfer_function TRANSFER_FUNCTION[TRANSFER_SPACE_COUNT + 1] = {
    preset(0, 0, 0.0f, 0.0f),
    preset(1, 100, 0.0f, 1.0f),                      // 1 Linear sRGB
    preset(2, 100, 0.0f, 1.0f),                      // 2 sRGB
    preset(3, 100, L8_BLACK, L8_WHITE),              // 3 Rec. 709
    preset(4, 100, 0.062515266f, 0.91819292f),       // 4 Rec. 2020
    preset(101, 100, 0.0f, 1.0f),                    // 5 Rec. 2100 PQ
    preset(102, 100, 0.0f, 1.0f),                    // 6 Rec. 2100 HLG
    preset(8, 100, 0.0f, 1.0f),                      // 7 DaVinci Intermediate
    preset(5, 100, 0.0f, 1.0f),                      // 8 DCI-P3 D65
    preset(6, 100, 0.0f, 1.0f),                      // 9 DCI-P3 Theater
    preset(7, 100, 0.0f, 1.0f),                      // 10 DCI DCDM X'Y'Z'
    preset(-1, 100, 0.0f, 0.0f),                     // 11 separator
    preset(10, 160, 0.0f, 1.0f),                     // 12 ALEXA Log C (SUP 2.x)
    preset(11, 160, 0.0f, 1.0f),                     // 13 ALEXA Log C (SUP 3.x)
    preset(12, 160, 0.0f, 1.0f),                     // 14 ARRI LogC4
    preset(110, 100, 0.0f, 1.0f),                    // 15 Blackmagic Cinema Camera
    preset(111, 100, 0.0f, 1.0f),                    // 16 Blackmagic Pocket / Micro
    preset(112, 100, 0.0f, 1.0f),                    // 17 Blackmagic Pocket 4K
    preset(113, 100, 0.0f, 1.0f),                    // 18 Blackmagic URSA Mini 4K
    preset(114, 100, 0.0f, 1.0f),                    // 19 Blackmagic URSA Mini 4.6K
    preset(115, 100, 0.0f, 1.0f),                    // 20 Blackmagic URSA Broadcast
    preset(116, 100, 0.0f, 1.0f),                    // 21 Blackmagic Film Gen 5
    preset(20, 100, L8_BLACK, L8_WHITE),             // 22 Canon Log
    preset(21, 100, L8_BLACK, L8_WHITE),             // 23 Canon Log 2 / BT 709
    preset(22, 100, L8_BLACK, L8_WHITE),             // 24 Canon Log 2 / DCI-P3
    preset(23, 100, L8_BLACK, L8_WHITE),             // 25 Canon Log 2 / BT 2020
    preset(24, 100, L8_BLACK, L8_WHITE),             // 26 Canon Log 2 / Cinema Gamut
    preset(25, 100, L8_BLACK, L8_WHITE),             // 27 Canon Log 3 / BT 709
    preset(26, 100, L8_BLACK, L8_WHITE),             // 28 Canon Log 3 / DCI-P3
    preset(27, 100, L8_BLACK, L8_WHITE),             // 29 Canon Log 3 / BT 2020
    preset(28, 100, L8_BLACK, L8_WHITE),             // 30 Canon Log 3 / Cinema Gamut
    preset(80, 100, 0.0f, 1.0f),                     // 31 D-Log
    preset(60, 100, 0.0f, 1.0f),                     // 32 F-Log
    preset(61, 100, 95.0f / 1023.0f, 928.0f / 1023.0f),  // 33 F-Log2
    preset(90, 100, 0.0f, 1.0f),                     // 34 ProTune Flat
    preset(140, 100, 92.0f / 1023.0f, 931.0f / 1023.0f), // 35 L-Log
    preset(141, 100, 92.0f / 1023.0f, 931.0f / 1023.0f), // 36 L-Log / BT 709
    preset(70, 100, 0.0f, 1.0f),                     // 37 N-Log
    preset(30, 100, 0.0f, 1.0f),                     // 38 V-Log
    preset(130, 100, 0.0f, 1.0f),                    // 39 Log3G10
    preset(40, 100, 0.062561095f, 0.9188661f),       // 40 S-Log
    preset(41, 100, 0.062561095f, 0.9188661f),       // 41 S-Log2
    preset(42, 100, 0.0f, 1.0f),                     // 42 S-Log3 / S-Gamut3
    preset(43, 100, 0.0f, 1.0f),                     // 43 S-Log3 / S-Gamut3.Cine
    preset(44, 100, 0.015686275f, 1.0f),             // 44 S-Cinetone
    preset(122, 100, 0.16249999f, 1.0f),             // 45 Z-Log2
    preset(-2, 100, 0.0f, 0.0f),                     // 46 separator
    preset(50, 100, 0.0f, 1.0f),                     // 47 ACES2065-1
    preset(51, 100, 0.0f, 1.0f),                     // 48 ACEScc
    preset(52, 100, 0.0f, 1.0f),                     // 49 ACEScg
    preset(53, 100, 0.0f, 1.0f),                     // 50 ACESproxy
};

#define CS(rx, ry, gx, gy, bx, by, wx, wy)                                                  \
    color_space{double(rx##f), double(ry##f), double(gx##f), double(gy##f), double(bx##f), \
                double(by##f), double(wx##f), double(wy##f)}
#define CS_709 CS(0.64, 0.33, 0.3, 0.6, 0.15, 0.06, 0.3127, 0.329)
#define CS_2020 CS(0.708, 0.292, 0.17, 0.797, 0.131, 0.046, 0.3127, 0.329)
#define CS_P3D65 CS(0.68, 0.32, 0.265, 0.69, 0.15, 0.06, 0.3127, 0.329)
#define CS_AWG3 CS(0.684, 0.313, 0.221, 0.848, 0.0861, -0.102, 0.3127, 0.329)
#define CS_BMD CS(0.761978, 0.266773, 0.256352, 0.797427, -0.159037, -0.269847, 0.44758, 0.40745)
#define CS_BMD4K CS(0.7177, 0.3171, 0.228, 0.8616, 0.1006, -0.082, 0.3127, 0.329)
#define CS_CINEMA CS(0.74, 0.27, 0.17, 1.14, 0.08, -0.1, 0.3127, 0.329)
#define CS_SGAMUT CS(0.73, 0.28, 0.14, 0.855, 0.1, -0.05, 0.3127, 0.329)
#define CS_AP1 CS(0.713, 0.293, 0.165, 0.83, 0.128, 0.044, 0.32168, 0.33767)
#define CS_NONE color_space{0, 0, 0, 0, 0, 0, 0, 0}

const color_space COLOR_SPACE[TRANSFER_SPACE_COUNT + 1] = {
    CS_NONE,
    CS_709,                                                                  // 1
    CS_709,                                                                  // 2
    CS_709,                                                                  // 3
    CS_2020,                                                                 // 4
    CS_2020,                                                                 // 5
    CS_2020,                                                                 // 6
    CS(0.8, 0.313, 0.1682, 0.9877, 0.079, -0.1155, 0.3127, 0.329),           // 7
    CS_P3D65,                                                                // 8
    CS(0.68, 0.32, 0.265, 0.69, 0.15, 0.06, 0.314, 0.351),                   // 9
    CS(1.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.33333, 0.33333),                                  // 10
    CS_NONE,                                                                 // 11
    CS_AWG3,                                                                 // 12
    CS_AWG3,                                                                 // 13
    CS(0.7347, 0.2653, 0.1424, 0.8576, 0.0991, -0.0308, 0.3127, 0.329),      // 14
    CS_BMD,                                                                  // 15
    CS_BMD,                                                                  // 16
    CS_BMD4K,                                                                // 17
    CS(1.0625, 0.3948, 0.3689, 0.7775, 0.0956, 0.0332, 0.3135, 0.3305),      // 18
    CS(0.8608, 0.3689, 0.3282, 0.6156, 0.0783, -0.0233, 0.3127, 0.329),      // 19
    CS_BMD4K,                                                                // 20
    CS(0.717722, 0.317118, 0.228041, 0.861569, 0.100584, -0.0820452, 0.312717, 0.329031), // 21
    CS_709,                                                                  // 22
    CS_709,                                                                  // 23
    CS_P3D65,                                                                // 24
    CS_2020,                                                                 // 25
    CS_CINEMA,                                                               // 26
    CS_709,                                                                  // 27
    CS_P3D65,                                                                // 28
    CS_2020,                                                                 // 29
    CS_CINEMA,                                                               // 30
    CS(0.71, 0.31, 0.21, 0.88, 0.09, -0.08, 0.3127, 0.329),                  // 31
    CS_2020,                                                                 // 32
    CS_2020,                                                                 // 33
    CS(0.6985, 0.193, 0.3296, 1.0246, 0.1084, -0.0347, 0.3127, 0.329),       // 34
    CS_2020,                                                                 // 35
    CS_709,                                                                  // 36
    CS_2020,                                                                 // 37
    CS(0.73, 0.28, 0.165, 0.84, 0.1, -0.03, 0.3127, 0.329),                  // 38
    CS(0.780308, 0.304253, 0.121595, 1.49399, 0.095612, -0.084589, 0.3127, 0.329), // 39
    CS_SGAMUT,                                                               // 40
    CS_SGAMUT,                                                               // 41
    CS_SGAMUT,                                                               // 42
    CS(0.766, 0.275, 0.225, 0.8, 0.089, -0.087, 0.3127, 0.329),              // 43
    CS_709,                                                                  // 44
    CS(0.675, 0.24, 0.284, 1.0, 0.08, -0.04, 0.3168, 0.33767),                 // 45
    CS_NONE,                                                                 // 46
    CS(0.7347, 0.2653, 0.0, 1.0, 0.0001, -0.077, 0.32168, 0.33767),              // 47
    CS_AP1,                                                                  // 48
    CS_AP1,                                                                  // 49
    CS_AP1,                                                                  // 50
};
#undef CS
#undef CS_709
#undef CS_2020
#undef CS_P3D65
#undef CS_AWG3
#undef CS_BMD
#undef CS_BMD4K
#undef CS_CINEMA
#undef CS_SGAMUT
#undef CS_AP1
#undef CS_NONE

const char* const TRANSFER_SPACES_STR =
    "Linear sRGB|sRGB|Rec. 709|Rec. 2020|Rec. 2100 PQ|Rec. 2100 HLG|"
    "DaVinci Intermediate / DaVinci Wide Gamut|DCI-P3 D65|DCI-P3 Theater|DCI DCDM X'Y'Z'|(-|"
    "ALEXA Log C (SUP 2.x) / ALEXA Wide Gamut RGB|ALEXA Log C (SUP 3.x) / ALEXA Wide Gamut RGB|"
    "ARRI LogC4 / ALEXA Wide Gamut 4|Blackmagic Cinema Camera|"
    "Blackmagic Pocket Cinema Camera / Micro Cinema Camera|Blackmagic Pocket Cinema Camera 4K|"
    "Blackmagic URSA Mini 4K|Blackmagic URSA Mini 4.6K|Blackmagic URSA Broadcast|"
    "Blackmagic Film Gen 5 / Blackmagic Wide Gamut|Canon Log|Canon Log 2 / BT 709|"
    "Canon Log 2 / DCI-P3|Canon Log 2 / BT 2020|Canon Log 2 / Cinema Gamut|Canon Log 3 / BT 709|"
    "Canon Log 3 / DCI-P3|Canon Log 3 / BT 2020|Canon Log 3 / Cinema Gamut|"
    "DJI Cinema Color System (D-Log / D-Gamut)|Fujifilm F-Log|Fujifilm F-Log2|GoPro ProTune Flat|"
    "Leica L-Log|Leica L-Log / BT 709 (Leica SL Typ 601 only)|Nikon N-Log|"
    "Panasonic V-Log / V-Gamut|RED IPP2 (Log 3G10 / REDWideGamutRGB)|Sony S-Log / S-Gamut|"
    "Sony S-Log2 / S-Gamut|Sony S-Log3 / S-Gamut3|Sony S-Log3 / S-Gamut3.Cine|Sony S-Cinetone|"
    "Z Cam Z-Log2|(-|ACES2065-1|ACEScc|ACEScg|ACESproxy";

const double ISO[ISO_COUNT + 1] = {-1,  50,  64,  80,   100,  125,  160,  200,  250, 320,
                                   400, 500, 640, 800, 1000, 1250, 1600, 2000, 2500, 3200};
const char* const ISO_STR =
    "50|64|80|100|125|160|200|250|320|400|500|640|800|1000|1250|1600|2000|2500|3200";

namespace {

// Power law with linear toe: y = scale * x^exponent + offset above cut, slope * x below.
struct power_curve {
    int32_t kind;
    float cut, slope, scale, offset, exponent;
};
constexpr power_curve POWER_CURVES[] = {
    {2, 0.0031308f, 12.92f, 1.055f, -0.055f, 0.41666666f},
    {3, 0.018f, 4.5f, 1.099f, -0.099f, 0.45f},
    {4, 0.018054f, 4.5f, 1.0992968f, -0.099296801f, 0.45f},
    {5, 0.0f, 0.0f, 1.0f, 0.0f, 0.3846154f},
    {6, 0.0f, 0.0f, 1.0f, 0.0f, 0.3846154f},
    {7, 0.0f, 0.0f, 0.9670427f, 0.0f, 0.3846154f},
};

// Base-10 logarithm with linear toe: y = c * log10(a * x + b) + d at and above cut,
// e * x + f below.
struct log_curve {
    int32_t kind;
    float cut, a, b, c, d, e, f;
};
constexpr log_curve LOG_CURVES[] = {
    {8, 0.00262409f, 1.0f, 0.0075f, 0.24347234f, 0.51304734f, 10.444268f, 0.0f},
    {12, -0.018056996f, 2231.8264f, 64.0f, 0.21524572f, -0.29590839f, 8.803033f, 0.15895633f},
    {20, 0.0f, 10.1596f, 1.0f, 0.529136f, 0.0730597f, 0.0f, 0.0f},
    {21, 0.0f, 87.09937f, 1.0f, 0.2818631f, 0.035388127f, 0.0f, 0.0f},
    {22, 0.0f, 87.09937f, 1.0f, 0.2818631f, 0.035388127f, 0.0f, 0.0f},
    {23, 0.0f, 87.09937f, 1.0f, 0.2818631f, 0.035388127f, 0.0f, 0.0f},
    {24, 0.0f, 87.09937f, 1.0f, 0.2818631f, 0.035388127f, 0.0f, 0.0f},
    {25, 0.014f, 14.98325f, 1.0f, 0.4288991f, 0.069886632f, 2.3069816f, 0.07305936f},
    {26, 0.014f, 14.98325f, 1.0f, 0.4288991f, 0.069886632f, 2.3069816f, 0.07305936f},
    {27, 0.014f, 14.98325f, 1.0f, 0.4288991f, 0.069886632f, 2.3069816f, 0.07305936f},
    {28, 0.014f, 14.98325f, 1.0f, 0.4288991f, 0.069886632f, 2.3069816f, 0.07305936f},
    {30, 0.01f, 1.0f, 0.00873f, 0.241514f, 0.59820598f, 5.6f, 0.125f},
    {40, 0.0f, 1.0f, 0.037584f, 0.432699f, 0.64659601f, 5.0f, 0.03f},
    {41, 0.0f, 0.70776254f, 0.037584f, 0.432699f, 0.64659601f, 3.5388129f, 0.03f},
    {42, 0.01125f, 5.263158f, 0.05263158f, 0.25562072f, 0.41055718f, 6.6219435f, 0.092864126f},
    {43, 0.01125f, 5.263158f, 0.05263158f, 0.25562072f, 0.41055718f, 6.6219435f, 0.092864126f},
    {53, 0.001185737f, 1.0f, 0.0f, 0.16224313f, 0.53724056f, 0.0f, 0.062515266f},
    {60, 0.00089f, 0.555556f, 0.009468f, 0.344676f, 0.79045302f, 8.735631f, 0.092864f},
    {61, 0.000889f, 5.555556f, 0.064829f, 0.30122745f, 0.3579295f, 10.806541f, -1.5554988e-07f},
    {80, 0.0078f, 0.9892f, 0.0108f, 0.256663f, 0.58455497f, 6.025f, 0.0929f},
    {90, 0.0f, 112.0f, 1.0f, 0.48707345f, 0.0f, 0.0f, 0.0f},
    {110, 0.003209736f, 211.4367f, 1.308502f, 0.409f, 0.0f, 18.51123f, 0.06256091f},
    {111, 0.001551982f, 242.0545f, 1.774367f, 0.368f, 0.0f, 19.00268f, 0.09284786f},
    {112, 0.003735932f, 252.6454f, 1.021476f, 0.416f, 0.0f, 15.94115f, 0.06251526f},
    {113, 0.002008862f, 59.25786f, 1.507406f, 0.526f, 0.0f, 8.793699f, 0.09344692f},
    {114, 0.0008545013f, 255.7728f, 1.772027f, 0.368f, 0.0f, 20.08496f, 0.09286227f},
    {115, 0.003320724f, 100.8637f, 1.002945f, 0.498f, 0.0f, 18.95872f, 0.0f},
    {116, 0.005f, 1.0f, 0.0054940726f, 0.20016088f, 0.53001332f, 8.283606f, 0.09246575f},
    {122, 0.0f, 264.29498f, 1.0f, 0.4125405f, 0.0f, 1.0f, 0.0f},
    {130, -0.01f, 155.97533f, 2.559753f, 0.224282f, 0.0f, 15.1927f, 0.151927f},
    {140, 0.006f, 1.3f, 0.0115f, 0.32921338f, 0.6219309f, 9.75447f, 8.3432584e-05f},
    {141, 0.006f, 1.3f, 0.0115f, 0.32921338f, 0.6219309f, 9.75447f, 8.3432584e-05f},
};

// The exposure-index dependent constants of the two ALEXA Log C generations.
struct logc_row {
    int32_t ei;
    float c10, e10, f10;                     // SUP 2.x
    float cut11, b11, c11, d11, e11, f11;    // SUP 3.x
};
constexpr logc_row LOGC_ROWS[] = {
    {160, 0.269035f, 6.332427f, 0.108361f, 0.005561f, 0.080216f, 0.269036f, 0.381991f, 5.842037f, 0.092778f},
    {200, 0.266007f, 6.189953f, 0.111543f, 0.006208f, 0.076621f, 0.266007f, 0.382478f, 5.776265f, 0.092782f},
    {250, 0.262978f, 6.034414f, 0.114725f, 0.006871f, 0.072941f, 0.262978f, 0.382966f, 5.710494f, 0.092786f},
    {320, 0.259627f, 5.844973f, 0.118246f, 0.007622f, 0.068768f, 0.259627f, 0.383508f, 5.637732f, 0.092791f},
    {400, 0.256598f, 5.65619f, 0.121428f, 0.008318f, 0.064901f, 0.256598f, 0.383999f, 5.57196f, 0.092795f},
    {500, 0.253569f, 5.449261f, 0.12461f, 0.009031f, 0.060939f, 0.253569f, 0.384493f, 5.506188f, 0.0928f},
    {640, 0.250218f, 5.198031f, 0.12813f, 0.00984f, 0.056443f, 0.250219f, 0.38504f, 5.433426f, 0.092805f},
    {800, 0.247189f, 4.950469f, 0.131313f, 0.010591f, 0.052272f, 0.24719f, 0.385537f, 5.367655f, 0.092809f},
    {1000, 0.244161f, 4.684112f, 0.134495f, 0.011361f, 0.047996f, 0.244161f, 0.386036f, 5.301883f, 0.092814f},
    {1250, 0.24081f, 4.369609f, 0.138015f, 0.012235f, 0.043137f, 0.24081f, 0.38659f, 5.229121f, 0.092819f},
    {1600, 0.237781f, 4.070466f, 0.141197f, 0.013047f, 0.038625f, 0.237781f, 0.387093f, 5.16335f, 0.092824f},
};

// A curve given directly as its slots: A ... I, CUT, CUT2 of each direction and WV.
struct fixed_curve {
    int32_t kind;
    int32_t form;
    float encode[11];
    float decode[11];
    float wv;
};
constexpr fixed_curve FIXED_CURVES[] = {
    {101, 2,
     {0.8359375f, 18.8515625f, 18.6875f, 0.15930176f, 78.84375f, 0, 0, 0, 0, 0, 0},
     {-0.8359375f, 18.8515625f, -18.6875f, 6.2773948f, 0.012683313f, 0, 0, 0, 0, 0, 0},
     1.0f},
    {102, 3,
     {0.17883277f, -0.28466892f, 0.55991073f, 0, 0, 0, 0, 0, 0, 0.083333336f, 0},
     {5.5918164f, 0.02372241f, -3.1309178f, 0.083333336f, 0, 0, 0, 0, 0, 0.5f, 0},
     1.0000004f},
    {70, 5,
     {14.78086f, 0.0075f, 0.33333334f, 0.6353861f, 0.14662756f, 0.6050831f, 0, 0, 0, 0.022190861f, 0},
     {0.067655064f, -0.00050741294f, 3.0f, 1.5738462f, 6.82f, -4.126667f, 0, 0, 0, 0.44183773f, 0},
     1.0000001f},
    {51, 6,
     {0.057077624f, 0.55479455f, 0.5f, 1.5258789e-5f, 0, 0, 0, 0, 0, 3.0517578e-5f, 0},
     {12.143939f, -6.737391f, 2.0f, -3.0517578e-5f, 0, 0, 0, 0, 0, -0.30136985f, 0},
     222.86095f},
    {44, 7,
     {1.0f, -0.15158968f, 0.31147376f, 1.0171928f, 0.37808537f, 1.5395489f, -0.20796195f, 7.1744142f, 0.0f, 0.01762172f, 0.24962451f},
     {1.0f, 0.15158968f, 7.3925495f, -7.519648f, 2.6449053f, 0.6495409f, 0.1350798f, 0.13938421f, -0.0f, 0.12642552f, 0.70303428f},
     1.0322366f},
};
// clang-format on

// Slot offsets within one side, relative to INPUT_TYPE / OUTPUT_TYPE.
enum { S_TYPE = 0, S_A = 1, S_G = 7, S_H = 8, S_I = 9, S_CUT = 10, S_CUT2 = 11 };

template <typename T, size_t N>
const T* find_kind(const T (&table)[N], int32_t kind) {
    for (const T& entry : table)
        if (entry.kind == kind) return &entry;
    return nullptr;
}

const logc_row& logc_row_for(int32_t iso) {
    for (const logc_row& row : LOGC_ROWS)
        if (row.ei == iso) return row;
    return LOGC_ROWS[0];
}

// The log curve of a transfer kind, with the exposure-dependent ones filled in.
bool log_curve_for(const transfer_function& tf, log_curve* out) {
    if (tf.kind == 10) {
        const logc_row& row = logc_row_for(tf.iso);
        *out = log_curve{10, 0.0f, 5.061087f, 0.089004f, row.c10, 0.391007f, row.e10, row.f10};
        return true;
    }
    if (tf.kind == 11) {
        const logc_row& row = logc_row_for(tf.iso);
        *out = log_curve{11, row.cut11, 5.555556f, row.b11, row.c11, row.d11, row.e11, row.f11};
        return true;
    }
    const log_curve* curve = find_kind(LOG_CURVES, tf.kind);
    if (!curve) return false;
    *out = *curve;
    return true;
}

}  // namespace

void set_coefficents_for_transfer_function(float* coeffs, char side, const transfer_function* tf) {
    const bool input = side == 'i';
    float* s = coeffs + (input ? INPUT_TYPE : OUTPUT_TYPE);
    float curve[12] = {};  // TYPE, A ... I, CUT, CUT2 of this side
    float wv = 1.0f;

    const double black = double(tf->black);
    const double span = double(tf->white) - black;

    if (const power_curve* p = find_kind(POWER_CURVES, tf->kind)) {
        const double cut = p->cut, slope = p->slope, scale = p->scale, offset = p->offset;
        const double exponent = p->exponent;
        curve[S_TYPE] = 1.0f;
        if (input) {
            curve[S_A + 0] = float(1.0 / exponent);
            curve[S_A + 1] = float(1.0 / scale);
            curve[S_A + 2] = float(-offset / scale);
            // A pure power law has no toe: its decoding cut is 0, and a zero slot keeps
            // the unused toe finite for evaluators that compute both branches.
            curve[S_A + 4] = slope != 0.0 ? float(1.0 / slope) : 0.0f;
            curve[S_CUT] = float(slope * cut);
        } else {
            curve[S_A + 0] = float(exponent);
            curve[S_A + 1] = float(scale);
            curve[S_A + 2] = float(offset);
            curve[S_A + 4] = float(slope);
            curve[S_CUT] = float(cut);
        }
        wv = float(std::pow((1.0 - offset) / scale, 1.0 / exponent));
    } else if (log_curve l; log_curve_for(*tf, &l)) {
        const double cut = l.cut, a = l.a, b = l.b, c = l.c, d = l.d, e = l.e, f = l.f;
        const double ln10 = std::log(10.0);
        curve[S_TYPE] = 4.0f;
        if (input) {
            curve[S_A + 0] = float(1.0 / a);
            curve[S_A + 1] = float(-b / a);
            curve[S_A + 2] = float(ln10 / c);
            curve[S_A + 3] = float(-d * ln10 / c);
            curve[S_A + 4] = e != 0.0 ? float(1.0 / e) : 0.0f;
            curve[S_A + 5] = e != 0.0 ? float(-f / e) : 0.0f;
            curve[S_CUT] = float(e * cut + f);
        } else {
            const double slots[6] = {a, b, c, d, e, f};
            for (int k = 0; k < 6; ++k) curve[S_A + k] = float(slots[k]);
            curve[S_CUT] = float(cut);
        }
        wv = float((std::pow(10.0, (1.0 - d) / c) - b) / a);
    } else if (const fixed_curve* x = find_kind(FIXED_CURVES, tf->kind)) {
        curve[S_TYPE] = float(x->form);
        const float* slots = input ? x->decode : x->encode;
        for (int k = 0; k < 11; ++k) curve[S_A + k] = slots[k];
        wv = x->wv;
    }

    // Only form 7 reads G, H, I and CUT2, but every vector carries its constants there.
    const fixed_curve& cinetone = FIXED_CURVES[4];
    const float* form7 = input ? cinetone.decode : cinetone.encode;
    curve[S_G] = form7[6];
    curve[S_H] = form7[7];
    curve[S_I] = form7[8];
    curve[S_CUT2] = form7[10];

    if (input) {
        coeffs[INPUT_LEVELS_A] = float(1.0 / span);
        coeffs[INPUT_LEVELS_B] = float(-black / span);
    } else {
        coeffs[OUTPUT_LEVELS_A] = float(span);
        coeffs[OUTPUT_LEVELS_B] = float(black);
        coeffs[WV] = wv;
    }
    for (int k = 0; k < 12; ++k) s[k] = curve[k];
}

int transfer_as_popup(int kind) {
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item)
        if (TRANSFER_FUNCTION[item].kind == kind) return item;
    return -1;
}

int transfer_as_popup(float kind) {
    // Truncation is only defined inside the int range; NaN and huge values name no kind.
    if (!(kind >= -2147483648.0f && kind < 2147483648.0f)) return -1;
    return transfer_as_popup(static_cast<int>(kind));
}

int iso_as_popup(int iso) {
    for (int item = 1; item <= ISO_COUNT; ++item)
        if (ISO[item] == double(iso)) return item;
    return -1;
}

int iso_as_popup(float iso) {
    if (!(iso >= -2147483648.0f && iso < 2147483648.0f)) return -1;
    return iso_as_popup(static_cast<int>(iso));
}

std::string transfer_popup_name(int item) {
    if (item < 1 || item > TRANSFER_SPACE_COUNT) return {};
    const char* p = TRANSFER_SPACES_STR;
    for (int k = 1; k < item; ++k) {
        while (*p && *p != '|') ++p;
        if (*p) ++p;
    }
    const char* end = p;
    while (*end && *end != '|') ++end;
    return std::string(p, end);
}
