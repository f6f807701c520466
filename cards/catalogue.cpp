// The built-in chart catalogue: every supported chart's patches in catalogue order
// (column by column, each column top to bottom), with their CIELAB D50 reference values,
// swatch rectangles (chart-height units), centres and border outlines (card coordinates).
//
// Outlines: a border patch carries the pieces of the card border along its outer edges,
// inset from its cell; a corner patch has two pieces meeting at the corner; the top-left
// patch closes its corner into a triangle so the overlay shows which way up the card is.
#include "cards/card.h"

// clang-format off
namespace {

// Interior patches draw nothing over the frame.
const float overlay_none[] = {-1.0f, -1.0f};

// 6 x 4 grid: the Classic, the Passport Photo and Video, the SpyderCHECKR 24.
namespace classic {
const float patch_11[4] = {0.0f, 0.25f, 0.0f, 0.25f};
const float patch_12[4] = {0.0f, 0.25f, 0.25f, 0.5f};
const float patch_13[4] = {0.0f, 0.25f, 0.5f, 0.75f};
const float patch_14[4] = {0.0f, 0.25f, 0.75f, 1.0f};
const float patch_21[4] = {0.25f, 0.5f, 0.0f, 0.25f};
const float patch_22[4] = {0.25f, 0.5f, 0.25f, 0.5f};
const float patch_23[4] = {0.25f, 0.5f, 0.5f, 0.75f};
const float patch_24[4] = {0.25f, 0.5f, 0.75f, 1.0f};
const float patch_31[4] = {0.5f, 0.75f, 0.0f, 0.25f};
const float patch_32[4] = {0.5f, 0.75f, 0.25f, 0.5f};
const float patch_33[4] = {0.5f, 0.75f, 0.5f, 0.75f};
const float patch_34[4] = {0.5f, 0.75f, 0.75f, 1.0f};
const float patch_41[4] = {0.75f, 1.0f, 0.0f, 0.25f};
const float patch_42[4] = {0.75f, 1.0f, 0.25f, 0.5f};
const float patch_43[4] = {0.75f, 1.0f, 0.5f, 0.75f};
const float patch_44[4] = {0.75f, 1.0f, 0.75f, 1.0f};
const float patch_51[4] = {1.0f, 1.25f, 0.0f, 0.25f};
const float patch_52[4] = {1.0f, 1.25f, 0.25f, 0.5f};
const float patch_53[4] = {1.0f, 1.25f, 0.5f, 0.75f};
const float patch_54[4] = {1.0f, 1.25f, 0.75f, 1.0f};
const float patch_61[4] = {1.25f, 1.5f, 0.0f, 0.25f};
const float patch_62[4] = {1.25f, 1.5f, 0.25f, 0.5f};
const float patch_63[4] = {1.25f, 1.5f, 0.5f, 0.75f};
const float patch_64[4] = {1.25f, 1.5f, 0.75f, 1.0f};
const float overlay_11[] = {0.008333334f, 0.2375f, 0.008333334f, 0.0125f, 0.15833333f, 0.0125f, 0.008333334f, 0.2375f, -1.0f, -1.0f};
const float overlay_12[] = {0.008333334f, 0.4875f, 0.008333334f, 0.2625f, -1.0f, -1.0f};
const float overlay_13[] = {0.008333334f, 0.7375f, 0.008333334f, 0.5125f, -1.0f, -1.0f};
const float overlay_14[] = {0.15833333f, 0.9875f, 0.008333334f, 0.9875f, 0.008333334f, 0.7625f, -1.0f, -1.0f};
const float overlay_21[] = {0.175f, 0.0125f, 0.325f, 0.0125f, -1.0f, -1.0f};
const float overlay_24[] = {0.325f, 0.9875f, 0.175f, 0.9875f, -1.0f, -1.0f};
const float overlay_31[] = {0.34166667f, 0.0125f, 0.49166667f, 0.0125f, -1.0f, -1.0f};
const float overlay_34[] = {0.49166667f, 0.9875f, 0.34166667f, 0.9875f, -1.0f, -1.0f};
const float overlay_41[] = {0.5083333f, 0.0125f, 0.65833336f, 0.0125f, -1.0f, -1.0f};
const float overlay_44[] = {0.65833336f, 0.9875f, 0.5083333f, 0.9875f, -1.0f, -1.0f};
const float overlay_51[] = {0.675f, 0.0125f, 0.825f, 0.0125f, -1.0f, -1.0f};
const float overlay_54[] = {0.825f, 0.9875f, 0.675f, 0.9875f, -1.0f, -1.0f};
const float overlay_61[] = {0.84166664f, 0.0125f, 0.9916667f, 0.0125f, 0.9916667f, 0.2375f, -1.0f, -1.0f};
const float overlay_62[] = {0.9916667f, 0.2625f, 0.9916667f, 0.4875f, -1.0f, -1.0f};
const float overlay_63[] = {0.9916667f, 0.5125f, 0.9916667f, 0.7375f, -1.0f, -1.0f};
const float overlay_64[] = {0.9916667f, 0.7625f, 0.9916667f, 0.9875f, 0.84166664f, 0.9875f, -1.0f, -1.0f};
}  // namespace classic

// 14 x 10 grid of the Digital SG.
namespace sg {
const float patch_A1[4] = {0.0f, 0.1f, 0.0f, 0.1f};
const float patch_A2[4] = {0.0f, 0.1f, 0.1f, 0.2f};
const float patch_A3[4] = {0.0f, 0.1f, 0.2f, 0.3f};
const float patch_A4[4] = {0.0f, 0.1f, 0.3f, 0.4f};
const float patch_A5[4] = {0.0f, 0.1f, 0.4f, 0.5f};
const float patch_A6[4] = {0.0f, 0.1f, 0.5f, 0.6f};
const float patch_A7[4] = {0.0f, 0.1f, 0.6f, 0.7f};
const float patch_A8[4] = {0.0f, 0.1f, 0.7f, 0.8f};
const float patch_A9[4] = {0.0f, 0.1f, 0.8f, 0.9f};
const float patch_A10[4] = {0.0f, 0.1f, 0.9f, 1.0f};
const float patch_B1[4] = {0.1f, 0.2f, 0.0f, 0.1f};
const float patch_B2[4] = {0.1f, 0.2f, 0.1f, 0.2f};
const float patch_B3[4] = {0.1f, 0.2f, 0.2f, 0.3f};
const float patch_B4[4] = {0.1f, 0.2f, 0.3f, 0.4f};
const float patch_B5[4] = {0.1f, 0.2f, 0.4f, 0.5f};
const float patch_B6[4] = {0.1f, 0.2f, 0.5f, 0.6f};
const float patch_B7[4] = {0.1f, 0.2f, 0.6f, 0.7f};
const float patch_B8[4] = {0.1f, 0.2f, 0.7f, 0.8f};
const float patch_B9[4] = {0.1f, 0.2f, 0.8f, 0.9f};
const float patch_B10[4] = {0.1f, 0.2f, 0.9f, 1.0f};
const float patch_C1[4] = {0.2f, 0.3f, 0.0f, 0.1f};
const float patch_C2[4] = {0.2f, 0.3f, 0.1f, 0.2f};
const float patch_C3[4] = {0.2f, 0.3f, 0.2f, 0.3f};
const float patch_C4[4] = {0.2f, 0.3f, 0.3f, 0.4f};
const float patch_C5[4] = {0.2f, 0.3f, 0.4f, 0.5f};
const float patch_C6[4] = {0.2f, 0.3f, 0.5f, 0.6f};
const float patch_C7[4] = {0.2f, 0.3f, 0.6f, 0.7f};
const float patch_C8[4] = {0.2f, 0.3f, 0.7f, 0.8f};
const float patch_C9[4] = {0.2f, 0.3f, 0.8f, 0.9f};
const float patch_C10[4] = {0.2f, 0.3f, 0.9f, 1.0f};
const float patch_D1[4] = {0.3f, 0.4f, 0.0f, 0.1f};
const float patch_D2[4] = {0.3f, 0.4f, 0.1f, 0.2f};
const float patch_D3[4] = {0.3f, 0.4f, 0.2f, 0.3f};
const float patch_D4[4] = {0.3f, 0.4f, 0.3f, 0.4f};
const float patch_D5[4] = {0.3f, 0.4f, 0.4f, 0.5f};
const float patch_D6[4] = {0.3f, 0.4f, 0.5f, 0.6f};
const float patch_D7[4] = {0.3f, 0.4f, 0.6f, 0.7f};
const float patch_D8[4] = {0.3f, 0.4f, 0.7f, 0.8f};
const float patch_D9[4] = {0.3f, 0.4f, 0.8f, 0.9f};
const float patch_D10[4] = {0.3f, 0.4f, 0.9f, 1.0f};
const float patch_E1[4] = {0.4f, 0.5f, 0.0f, 0.1f};
const float patch_E2[4] = {0.4f, 0.5f, 0.1f, 0.2f};
const float patch_E3[4] = {0.4f, 0.5f, 0.2f, 0.3f};
const float patch_E4[4] = {0.4f, 0.5f, 0.3f, 0.4f};
const float patch_E5[4] = {0.4f, 0.5f, 0.4f, 0.5f};
const float patch_E6[4] = {0.4f, 0.5f, 0.5f, 0.6f};
const float patch_E7[4] = {0.4f, 0.5f, 0.6f, 0.7f};
const float patch_E8[4] = {0.4f, 0.5f, 0.7f, 0.8f};
const float patch_E9[4] = {0.4f, 0.5f, 0.8f, 0.9f};
const float patch_E10[4] = {0.4f, 0.5f, 0.9f, 1.0f};
const float patch_F1[4] = {0.5f, 0.6f, 0.0f, 0.1f};
const float patch_F2[4] = {0.5f, 0.6f, 0.1f, 0.2f};
const float patch_F3[4] = {0.5f, 0.6f, 0.2f, 0.3f};
const float patch_F4[4] = {0.5f, 0.6f, 0.3f, 0.4f};
const float patch_F5[4] = {0.5f, 0.6f, 0.4f, 0.5f};
const float patch_F6[4] = {0.5f, 0.6f, 0.5f, 0.6f};
const float patch_F7[4] = {0.5f, 0.6f, 0.6f, 0.7f};
const float patch_F8[4] = {0.5f, 0.6f, 0.7f, 0.8f};
const float patch_F9[4] = {0.5f, 0.6f, 0.8f, 0.9f};
const float patch_F10[4] = {0.5f, 0.6f, 0.9f, 1.0f};
const float patch_G1[4] = {0.6f, 0.7f, 0.0f, 0.1f};
const float patch_G2[4] = {0.6f, 0.7f, 0.1f, 0.2f};
const float patch_G3[4] = {0.6f, 0.7f, 0.2f, 0.3f};
const float patch_G4[4] = {0.6f, 0.7f, 0.3f, 0.4f};
const float patch_G5[4] = {0.6f, 0.7f, 0.4f, 0.5f};
const float patch_G6[4] = {0.6f, 0.7f, 0.5f, 0.6f};
const float patch_G7[4] = {0.6f, 0.7f, 0.6f, 0.7f};
const float patch_G8[4] = {0.6f, 0.7f, 0.7f, 0.8f};
const float patch_G9[4] = {0.6f, 0.7f, 0.8f, 0.9f};
const float patch_G10[4] = {0.6f, 0.7f, 0.9f, 1.0f};
const float patch_H1[4] = {0.7f, 0.8f, 0.0f, 0.1f};
const float patch_H2[4] = {0.7f, 0.8f, 0.1f, 0.2f};
const float patch_H3[4] = {0.7f, 0.8f, 0.2f, 0.3f};
const float patch_H4[4] = {0.7f, 0.8f, 0.3f, 0.4f};
const float patch_H5[4] = {0.7f, 0.8f, 0.4f, 0.5f};
const float patch_H6[4] = {0.7f, 0.8f, 0.5f, 0.6f};
const float patch_H7[4] = {0.7f, 0.8f, 0.6f, 0.7f};
const float patch_H8[4] = {0.7f, 0.8f, 0.7f, 0.8f};
const float patch_H9[4] = {0.7f, 0.8f, 0.8f, 0.9f};
const float patch_H10[4] = {0.7f, 0.8f, 0.9f, 1.0f};
const float patch_I1[4] = {0.8f, 0.9f, 0.0f, 0.1f};
const float patch_I2[4] = {0.8f, 0.9f, 0.1f, 0.2f};
const float patch_I3[4] = {0.8f, 0.9f, 0.2f, 0.3f};
const float patch_I4[4] = {0.8f, 0.9f, 0.3f, 0.4f};
const float patch_I5[4] = {0.8f, 0.9f, 0.4f, 0.5f};
const float patch_I6[4] = {0.8f, 0.9f, 0.5f, 0.6f};
const float patch_I7[4] = {0.8f, 0.9f, 0.6f, 0.7f};
const float patch_I8[4] = {0.8f, 0.9f, 0.7f, 0.8f};
const float patch_I9[4] = {0.8f, 0.9f, 0.8f, 0.9f};
const float patch_I10[4] = {0.8f, 0.9f, 0.9f, 1.0f};
const float patch_J1[4] = {0.9f, 1.0f, 0.0f, 0.1f};
const float patch_J2[4] = {0.9f, 1.0f, 0.1f, 0.2f};
const float patch_J3[4] = {0.9f, 1.0f, 0.2f, 0.3f};
const float patch_J4[4] = {0.9f, 1.0f, 0.3f, 0.4f};
const float patch_J5[4] = {0.9f, 1.0f, 0.4f, 0.5f};
const float patch_J6[4] = {0.9f, 1.0f, 0.5f, 0.6f};
const float patch_J7[4] = {0.9f, 1.0f, 0.6f, 0.7f};
const float patch_J8[4] = {0.9f, 1.0f, 0.7f, 0.8f};
const float patch_J9[4] = {0.9f, 1.0f, 0.8f, 0.9f};
const float patch_J10[4] = {0.9f, 1.0f, 0.9f, 1.0f};
const float patch_K1[4] = {1.0f, 1.1f, 0.0f, 0.1f};
const float patch_K2[4] = {1.0f, 1.1f, 0.1f, 0.2f};
const float patch_K3[4] = {1.0f, 1.1f, 0.2f, 0.3f};
const float patch_K4[4] = {1.0f, 1.1f, 0.3f, 0.4f};
const float patch_K5[4] = {1.0f, 1.1f, 0.4f, 0.5f};
const float patch_K6[4] = {1.0f, 1.1f, 0.5f, 0.6f};
const float patch_K7[4] = {1.0f, 1.1f, 0.6f, 0.7f};
const float patch_K8[4] = {1.0f, 1.1f, 0.7f, 0.8f};
const float patch_K9[4] = {1.0f, 1.1f, 0.8f, 0.9f};
const float patch_K10[4] = {1.0f, 1.1f, 0.9f, 1.0f};
const float patch_L1[4] = {1.1f, 1.2f, 0.0f, 0.1f};
const float patch_L2[4] = {1.1f, 1.2f, 0.1f, 0.2f};
const float patch_L3[4] = {1.1f, 1.2f, 0.2f, 0.3f};
const float patch_L4[4] = {1.1f, 1.2f, 0.3f, 0.4f};
const float patch_L5[4] = {1.1f, 1.2f, 0.4f, 0.5f};
const float patch_L6[4] = {1.1f, 1.2f, 0.5f, 0.6f};
const float patch_L7[4] = {1.1f, 1.2f, 0.6f, 0.7f};
const float patch_L8[4] = {1.1f, 1.2f, 0.7f, 0.8f};
const float patch_L9[4] = {1.1f, 1.2f, 0.8f, 0.9f};
const float patch_L10[4] = {1.1f, 1.2f, 0.9f, 1.0f};
const float patch_M1[4] = {1.2f, 1.3f, 0.0f, 0.1f};
const float patch_M2[4] = {1.2f, 1.3f, 0.1f, 0.2f};
const float patch_M3[4] = {1.2f, 1.3f, 0.2f, 0.3f};
const float patch_M4[4] = {1.2f, 1.3f, 0.3f, 0.4f};
const float patch_M5[4] = {1.2f, 1.3f, 0.4f, 0.5f};
const float patch_M6[4] = {1.2f, 1.3f, 0.5f, 0.6f};
const float patch_M7[4] = {1.2f, 1.3f, 0.6f, 0.7f};
const float patch_M8[4] = {1.2f, 1.3f, 0.7f, 0.8f};
const float patch_M9[4] = {1.2f, 1.3f, 0.8f, 0.9f};
const float patch_M10[4] = {1.2f, 1.3f, 0.9f, 1.0f};
const float patch_N1[4] = {1.3f, 1.4f, 0.0f, 0.1f};
const float patch_N2[4] = {1.3f, 1.4f, 0.1f, 0.2f};
const float patch_N3[4] = {1.3f, 1.4f, 0.2f, 0.3f};
const float patch_N4[4] = {1.3f, 1.4f, 0.3f, 0.4f};
const float patch_N5[4] = {1.3f, 1.4f, 0.4f, 0.5f};
const float patch_N6[4] = {1.3f, 1.4f, 0.5f, 0.6f};
const float patch_N7[4] = {1.3f, 1.4f, 0.6f, 0.7f};
const float patch_N8[4] = {1.3f, 1.4f, 0.7f, 0.8f};
const float patch_N9[4] = {1.3f, 1.4f, 0.8f, 0.9f};
const float patch_N10[4] = {1.3f, 1.4f, 0.9f, 1.0f};
const float overlay_A1[] = {0.0035714286f, 0.095f, 0.0035714286f, 0.005f, 0.067857146f, 0.005f, 0.0035714286f, 0.095f, -1.0f, -1.0f};
const float overlay_A2[] = {0.0035714286f, 0.195f, 0.0035714286f, 0.105f, -1.0f, -1.0f};
const float overlay_A3[] = {0.0035714286f, 0.295f, 0.0035714286f, 0.205f, -1.0f, -1.0f};
const float overlay_A4[] = {0.0035714286f, 0.395f, 0.0035714286f, 0.305f, -1.0f, -1.0f};
const float overlay_A5[] = {0.0035714286f, 0.495f, 0.0035714286f, 0.405f, -1.0f, -1.0f};
const float overlay_A6[] = {0.0035714286f, 0.595f, 0.0035714286f, 0.505f, -1.0f, -1.0f};
const float overlay_A7[] = {0.0035714286f, 0.695f, 0.0035714286f, 0.605f, -1.0f, -1.0f};
const float overlay_A8[] = {0.0035714286f, 0.795f, 0.0035714286f, 0.705f, -1.0f, -1.0f};
const float overlay_A9[] = {0.0035714286f, 0.895f, 0.0035714286f, 0.805f, -1.0f, -1.0f};
const float overlay_A10[] = {0.067857146f, 0.995f, 0.0035714286f, 0.995f, 0.0035714286f, 0.905f, -1.0f, -1.0f};
const float overlay_B1[] = {0.075f, 0.005f, 0.13928571f, 0.005f, -1.0f, -1.0f};
const float overlay_B10[] = {0.13928571f, 0.995f, 0.075f, 0.995f, -1.0f, -1.0f};
const float overlay_C1[] = {0.14642857f, 0.005f, 0.21071428f, 0.005f, -1.0f, -1.0f};
const float overlay_C10[] = {0.21071428f, 0.995f, 0.14642857f, 0.995f, -1.0f, -1.0f};
const float overlay_D1[] = {0.21785714f, 0.005f, 0.28214285f, 0.005f, -1.0f, -1.0f};
const float overlay_D10[] = {0.28214285f, 0.995f, 0.21785714f, 0.995f, -1.0f, -1.0f};
const float overlay_E1[] = {0.28928572f, 0.005f, 0.35357141f, 0.005f, -1.0f, -1.0f};
const float overlay_E10[] = {0.35357141f, 0.995f, 0.28928572f, 0.995f, -1.0f, -1.0f};
const float overlay_F1[] = {0.3607143f, 0.005f, 0.425f, 0.005f, -1.0f, -1.0f};
const float overlay_F10[] = {0.425f, 0.995f, 0.3607143f, 0.995f, -1.0f, -1.0f};
const float overlay_G1[] = {0.43214285f, 0.005f, 0.49642858f, 0.005f, -1.0f, -1.0f};
const float overlay_G10[] = {0.49642858f, 0.995f, 0.43214285f, 0.995f, -1.0f, -1.0f};
const float overlay_H1[] = {0.50357145f, 0.005f, 0.56785715f, 0.005f, -1.0f, -1.0f};
const float overlay_H10[] = {0.56785715f, 0.995f, 0.50357145f, 0.995f, -1.0f, -1.0f};
const float overlay_I1[] = {0.575f, 0.005f, 0.63928574f, 0.005f, -1.0f, -1.0f};
const float overlay_I10[] = {0.63928574f, 0.995f, 0.575f, 0.995f, -1.0f, -1.0f};
const float overlay_J1[] = {0.6464286f, 0.005f, 0.7107143f, 0.005f, -1.0f, -1.0f};
const float overlay_J10[] = {0.7107143f, 0.995f, 0.6464286f, 0.995f, -1.0f, -1.0f};
const float overlay_K1[] = {0.7178571f, 0.005f, 0.7821429f, 0.005f, -1.0f, -1.0f};
const float overlay_K10[] = {0.7821429f, 0.995f, 0.7178571f, 0.995f, -1.0f, -1.0f};
const float overlay_L1[] = {0.7892857f, 0.005f, 0.8535714f, 0.005f, -1.0f, -1.0f};
const float overlay_L10[] = {0.8535714f, 0.995f, 0.7892857f, 0.995f, -1.0f, -1.0f};
const float overlay_M1[] = {0.86071426f, 0.005f, 0.925f, 0.005f, -1.0f, -1.0f};
const float overlay_M10[] = {0.925f, 0.995f, 0.86071426f, 0.995f, -1.0f, -1.0f};
const float overlay_N1[] = {0.93214285f, 0.005f, 0.99642855f, 0.005f, 0.99642855f, 0.095f, -1.0f, -1.0f};
const float overlay_N2[] = {0.99642855f, 0.105f, 0.99642855f, 0.195f, -1.0f, -1.0f};
const float overlay_N3[] = {0.99642855f, 0.205f, 0.99642855f, 0.295f, -1.0f, -1.0f};
const float overlay_N4[] = {0.99642855f, 0.305f, 0.99642855f, 0.395f, -1.0f, -1.0f};
const float overlay_N5[] = {0.99642855f, 0.405f, 0.99642855f, 0.495f, -1.0f, -1.0f};
const float overlay_N6[] = {0.99642855f, 0.505f, 0.99642855f, 0.595f, -1.0f, -1.0f};
const float overlay_N7[] = {0.99642855f, 0.605f, 0.99642855f, 0.695f, -1.0f, -1.0f};
const float overlay_N8[] = {0.99642855f, 0.705f, 0.99642855f, 0.795f, -1.0f, -1.0f};
const float overlay_N9[] = {0.99642855f, 0.805f, 0.99642855f, 0.895f, -1.0f, -1.0f};
const float overlay_N10[] = {0.99642855f, 0.905f, 0.99642855f, 0.995f, 0.93214285f, 0.995f, -1.0f, -1.0f};
}  // namespace sg

// SpyderCHECKR: two halves of 4 x 6, each with its own border.
namespace spyder {
const float patch_1A[4] = {0.0f, 0.16666667f, 0.0f, 0.16666667f};
const float patch_2A[4] = {0.0f, 0.16666667f, 0.16666667f, 0.33333334f};
const float patch_3A[4] = {0.0f, 0.16666667f, 0.33333334f, 0.5f};
const float patch_4A[4] = {0.0f, 0.16666667f, 0.5f, 0.6666667f};
const float patch_5A[4] = {0.0f, 0.16666667f, 0.6666667f, 0.8333333f};
const float patch_6A[4] = {0.0f, 0.16666667f, 0.8333333f, 1.0f};
const float patch_1B[4] = {0.16666667f, 0.33333334f, 0.0f, 0.16666667f};
const float patch_2B[4] = {0.16666667f, 0.33333334f, 0.16666667f, 0.33333334f};
const float patch_3B[4] = {0.16666667f, 0.33333334f, 0.33333334f, 0.5f};
const float patch_4B[4] = {0.16666667f, 0.33333334f, 0.5f, 0.6666667f};
const float patch_5B[4] = {0.16666667f, 0.33333334f, 0.6666667f, 0.8333333f};
const float patch_6B[4] = {0.16666667f, 0.33333334f, 0.8333333f, 1.0f};
const float patch_1C[4] = {0.33333334f, 0.5f, 0.0f, 0.16666667f};
const float patch_2C[4] = {0.33333334f, 0.5f, 0.16666667f, 0.33333334f};
const float patch_3C[4] = {0.33333334f, 0.5f, 0.33333334f, 0.5f};
const float patch_4C[4] = {0.33333334f, 0.5f, 0.5f, 0.6666667f};
const float patch_5C[4] = {0.33333334f, 0.5f, 0.6666667f, 0.8333333f};
const float patch_6C[4] = {0.33333334f, 0.5f, 0.8333333f, 1.0f};
const float patch_1D[4] = {0.5f, 0.6666667f, 0.0f, 0.16666667f};
const float patch_2D[4] = {0.5f, 0.6666667f, 0.16666667f, 0.33333334f};
const float patch_3D[4] = {0.5f, 0.6666667f, 0.33333334f, 0.5f};
const float patch_4D[4] = {0.5f, 0.6666667f, 0.5f, 0.6666667f};
const float patch_5D[4] = {0.5f, 0.6666667f, 0.6666667f, 0.8333333f};
const float patch_6D[4] = {0.5f, 0.6666667f, 0.8333333f, 1.0f};
const float patch_1E[4] = {0.8837f, 1.05037f, 0.0f, 0.16666667f};
const float patch_2E[4] = {0.8837f, 1.05037f, 0.16666667f, 0.33333334f};
const float patch_3E[4] = {0.8837f, 1.05037f, 0.33333334f, 0.5f};
const float patch_4E[4] = {0.8837f, 1.05037f, 0.5f, 0.6666667f};
const float patch_5E[4] = {0.8837f, 1.05037f, 0.6666667f, 0.8333333f};
const float patch_6E[4] = {0.8837f, 1.05037f, 0.8333333f, 1.0f};
const float patch_1F[4] = {1.05037f, 1.21703f, 0.0f, 0.16666667f};
const float patch_2F[4] = {1.05037f, 1.21703f, 0.16666667f, 0.33333334f};
const float patch_3F[4] = {1.05037f, 1.21703f, 0.33333334f, 0.5f};
const float patch_4F[4] = {1.05037f, 1.21703f, 0.5f, 0.6666667f};
const float patch_5F[4] = {1.05037f, 1.21703f, 0.6666667f, 0.8333333f};
const float patch_6F[4] = {1.05037f, 1.21703f, 0.8333333f, 1.0f};
const float patch_1G[4] = {1.21703f, 1.3837f, 0.0f, 0.16666667f};
const float patch_2G[4] = {1.21703f, 1.3837f, 0.16666667f, 0.33333334f};
const float patch_3G[4] = {1.21703f, 1.3837f, 0.33333334f, 0.5f};
const float patch_4G[4] = {1.21703f, 1.3837f, 0.5f, 0.6666667f};
const float patch_5G[4] = {1.21703f, 1.3837f, 0.6666667f, 0.8333333f};
const float patch_6G[4] = {1.21703f, 1.3837f, 0.8333333f, 1.0f};
const float patch_1H[4] = {1.3837f, 1.55037f, 0.0f, 0.16666667f};
const float patch_2H[4] = {1.3837f, 1.55037f, 0.16666667f, 0.33333334f};
const float patch_3H[4] = {1.3837f, 1.55037f, 0.33333334f, 0.5f};
const float patch_4H[4] = {1.3837f, 1.55037f, 0.5f, 0.6666667f};
const float patch_5H[4] = {1.3837f, 1.55037f, 0.6666667f, 0.8333333f};
const float patch_6H[4] = {1.3837f, 1.55037f, 0.8333333f, 1.0f};
const float overlay_1A[] = {0.0302013f, 0.176768f, 0.0302013f, 0.0454545f, 0.11745f, 0.0454545f, 0.0302013f, 0.176768f, -1.0f, -1.0f};
const float overlay_2A[] = {0.0302013f, 0.332323f, 0.0302013f, 0.20101f, -1.0f, -1.0f};
const float overlay_3A[] = {0.0302013f, 0.487879f, 0.0302013f, 0.356566f, -1.0f, -1.0f};
const float overlay_4A[] = {0.0302013f, 0.643434f, 0.0302013f, 0.512121f, -1.0f, -1.0f};
const float overlay_5A[] = {0.0302013f, 0.79899f, 0.0302013f, 0.667677f, -1.0f, -1.0f};
const float overlay_6A[] = {0.11745f, 0.954545f, 0.0302013f, 0.954545f, 0.0302013f, 0.823232f, -1.0f, -1.0f};
const float overlay_1B[] = {0.133557f, 0.0454545f, 0.220805f, 0.0454545f, -1.0f, -1.0f};
const float overlay_6B[] = {0.220805f, 0.954545f, 0.133557f, 0.954545f, -1.0f, -1.0f};
const float overlay_1C[] = {0.236913f, 0.0454545f, 0.324161f, 0.0454545f, -1.0f, -1.0f};
const float overlay_6C[] = {0.324161f, 0.954545f, 0.236913f, 0.954545f, -1.0f, -1.0f};
const float overlay_1D[] = {0.340268f, 0.0454545f, 0.427517f, 0.0454545f, 0.427517f, 0.176768f, -1.0f, -1.0f};
const float overlay_2D[] = {0.427517f, 0.20101f, 0.427517f, 0.332323f, -1.0f, -1.0f};
const float overlay_3D[] = {0.427517f, 0.356566f, 0.427517f, 0.487879f, -1.0f, -1.0f};
const float overlay_4D[] = {0.427517f, 0.512121f, 0.427517f, 0.643434f, -1.0f, -1.0f};
const float overlay_5D[] = {0.427517f, 0.667677f, 0.427517f, 0.79899f, -1.0f, -1.0f};
const float overlay_6D[] = {0.427517f, 0.823232f, 0.427517f, 0.954545f, 0.340268f, 0.954545f, -1.0f, -1.0f};
const float overlay_1E[] = {0.572483f, 0.176768f, 0.572483f, 0.0454545f, 0.659732f, 0.0454545f, -1.0f, -1.0f};
const float overlay_2E[] = {0.572483f, 0.332323f, 0.572483f, 0.20101f, -1.0f, -1.0f};
const float overlay_3E[] = {0.572483f, 0.487879f, 0.572483f, 0.356566f, -1.0f, -1.0f};
const float overlay_4E[] = {0.572483f, 0.643434f, 0.572483f, 0.512121f, -1.0f, -1.0f};
const float overlay_5E[] = {0.572483f, 0.79899f, 0.572483f, 0.667677f, -1.0f, -1.0f};
const float overlay_6E[] = {0.659732f, 0.954545f, 0.572483f, 0.954545f, 0.572483f, 0.823232f, -1.0f, -1.0f};
const float overlay_1F[] = {0.675839f, 0.0454545f, 0.763087f, 0.0454545f, -1.0f, -1.0f};
const float overlay_6F[] = {0.763087f, 0.954545f, 0.675839f, 0.954545f, -1.0f, -1.0f};
const float overlay_1G[] = {0.779195f, 0.0454545f, 0.866443f, 0.0454545f, -1.0f, -1.0f};
const float overlay_6G[] = {0.866443f, 0.954545f, 0.779195f, 0.954545f, -1.0f, -1.0f};
const float overlay_1H[] = {0.88255f, 0.0454545f, 0.969799f, 0.0454545f, 0.969799f, 0.176768f, -1.0f, -1.0f};
const float overlay_2H[] = {0.969799f, 0.20101f, 0.969799f, 0.332323f, -1.0f, -1.0f};
const float overlay_3H[] = {0.969799f, 0.356566f, 0.969799f, 0.487879f, -1.0f, -1.0f};
const float overlay_4H[] = {0.969799f, 0.512121f, 0.969799f, 0.643434f, -1.0f, -1.0f};
const float overlay_5H[] = {0.969799f, 0.667677f, 0.969799f, 0.79899f, -1.0f, -1.0f};
const float overlay_6H[] = {0.969799f, 0.823232f, 0.969799f, 0.954545f, 0.88255f, 0.954545f, -1.0f, -1.0f};
}  // namespace spyder

// ColorChecker Video: two halves of 2 x 7, each with its own border.
namespace video {
const float patch_A1[4] = {0.0f, 0.14285715f, 0.0f, 0.14285715f};
const float patch_A2[4] = {0.0f, 0.14285715f, 0.14285715f, 0.2857143f};
const float patch_A3[4] = {0.0f, 0.14285715f, 0.2857143f, 0.42857143f};
const float patch_A4[4] = {0.0f, 0.14285715f, 0.42857143f, 0.5714286f};
const float patch_A5[4] = {0.0f, 0.14285715f, 0.5714286f, 0.71428573f};
const float patch_A6[4] = {0.0f, 0.14285715f, 0.71428573f, 0.85714287f};
const float patch_A7[4] = {0.0f, 0.14285715f, 0.85714287f, 1.0f};
const float patch_B1[4] = {0.14285715f, 0.2857143f, 0.0f, 0.14285715f};
const float patch_B2[4] = {0.14285715f, 0.2857143f, 0.14285715f, 0.2857143f};
const float patch_B3[4] = {0.14285715f, 0.2857143f, 0.2857143f, 0.42857143f};
const float patch_B4[4] = {0.14285715f, 0.2857143f, 0.42857143f, 0.5714286f};
const float patch_B5[4] = {0.14285715f, 0.2857143f, 0.5714286f, 0.71428573f};
const float patch_B6[4] = {0.14285715f, 0.2857143f, 0.71428573f, 0.85714287f};
const float patch_B7[4] = {0.14285715f, 0.2857143f, 0.85714287f, 1.0f};
const float patch_C1[4] = {1.1428572f, 1.2857143f, 0.0f, 0.14285715f};
const float patch_C2[4] = {1.1428572f, 1.2857143f, 0.14285715f, 0.2857143f};
const float patch_C3[4] = {1.1428572f, 1.2857143f, 0.2857143f, 0.42857143f};
const float patch_C4[4] = {1.1428572f, 1.2857143f, 0.42857143f, 0.5714286f};
const float patch_C5[4] = {1.1428572f, 1.2857143f, 0.5714286f, 0.71428573f};
const float patch_C6[4] = {1.1428572f, 1.2857143f, 0.71428573f, 0.85714287f};
const float patch_C7[4] = {1.1428572f, 1.2857143f, 0.85714287f, 1.0f};
const float patch_D1[4] = {1.2857143f, 1.4285715f, 0.0f, 0.14285715f};
const float patch_D2[4] = {1.2857143f, 1.4285715f, 0.14285715f, 0.2857143f};
const float patch_D3[4] = {1.2857143f, 1.4285715f, 0.2857143f, 0.42857143f};
const float patch_D4[4] = {1.2857143f, 1.4285715f, 0.42857143f, 0.5714286f};
const float patch_D5[4] = {1.2857143f, 1.4285715f, 0.5714286f, 0.71428573f};
const float patch_D6[4] = {1.2857143f, 1.4285715f, 0.71428573f, 0.85714287f};
const float patch_D7[4] = {1.2857143f, 1.4285715f, 0.85714287f, 1.0f};
const float overlay_A1[] = {0.0153846f, 0.142458f, 0.0153846f, 0.0363128f, 0.0884615f, 0.0363128f, 0.0153846f, 0.142458f, -1.0f, -1.0f};
const float overlay_A2[] = {0.0153846f, 0.27933f, 0.0153846f, 0.173184f, -1.0f, -1.0f};
const float overlay_A3[] = {0.0153846f, 0.416201f, 0.0153846f, 0.310056f, -1.0f, -1.0f};
const float overlay_A4[] = {0.0153846f, 0.553073f, 0.0153846f, 0.446927f, -1.0f, -1.0f};
const float overlay_A5[] = {0.0153846f, 0.689944f, 0.0153846f, 0.583799f, -1.0f, -1.0f};
const float overlay_A6[] = {0.0153846f, 0.826816f, 0.0153846f, 0.72067f, -1.0f, -1.0f};
const float overlay_A7[] = {0.0884615f, 0.963687f, 0.0153846f, 0.963687f, 0.0153846f, 0.857542f, -1.0f, -1.0f};
const float overlay_B1[] = {0.113462f, 0.0363128f, 0.186538f, 0.0363128f, 0.186538f, 0.142458f, -1.0f, -1.0f};
const float overlay_B2[] = {0.186538f, 0.173184f, 0.186538f, 0.27933f, -1.0f, -1.0f};
const float overlay_B3[] = {0.186538f, 0.310056f, 0.186538f, 0.416201f, -1.0f, -1.0f};
const float overlay_B4[] = {0.186538f, 0.446927f, 0.186538f, 0.553073f, -1.0f, -1.0f};
const float overlay_B5[] = {0.186538f, 0.583799f, 0.186538f, 0.689944f, -1.0f, -1.0f};
const float overlay_B6[] = {0.186538f, 0.72067f, 0.186538f, 0.826816f, -1.0f, -1.0f};
const float overlay_B7[] = {0.186538f, 0.857542f, 0.186538f, 0.963687f, 0.113462f, 0.963687f, -1.0f, -1.0f};
const float overlay_C1[] = {0.813462f, 0.142458f, 0.813462f, 0.0363128f, 0.886538f, 0.0363128f, -1.0f, -1.0f};
const float overlay_C2[] = {0.813462f, 0.27933f, 0.813462f, 0.173184f, -1.0f, -1.0f};
const float overlay_C3[] = {0.813462f, 0.416201f, 0.813462f, 0.310056f, -1.0f, -1.0f};
const float overlay_C4[] = {0.813462f, 0.553073f, 0.813462f, 0.446927f, -1.0f, -1.0f};
const float overlay_C5[] = {0.813462f, 0.689944f, 0.813462f, 0.583799f, -1.0f, -1.0f};
const float overlay_C6[] = {0.813462f, 0.826816f, 0.813462f, 0.72067f, -1.0f, -1.0f};
const float overlay_C7[] = {0.886538f, 0.963687f, 0.813462f, 0.963687f, 0.813462f, 0.857542f, -1.0f, -1.0f};
const float overlay_D1[] = {0.911538f, 0.0363128f, 0.984615f, 0.0363128f, 0.984615f, 0.142458f, -1.0f, -1.0f};
const float overlay_D2[] = {0.984615f, 0.173184f, 0.984615f, 0.27933f, -1.0f, -1.0f};
const float overlay_D3[] = {0.984615f, 0.310056f, 0.984615f, 0.416201f, -1.0f, -1.0f};
const float overlay_D4[] = {0.984615f, 0.446927f, 0.984615f, 0.553073f, -1.0f, -1.0f};
const float overlay_D5[] = {0.984615f, 0.583799f, 0.984615f, 0.689944f, -1.0f, -1.0f};
const float overlay_D6[] = {0.984615f, 0.72067f, 0.984615f, 0.826816f, -1.0f, -1.0f};
const float overlay_D7[] = {0.984615f, 0.857542f, 0.984615f, 0.963687f, 0.911538f, 0.963687f, -1.0f, -1.0f};
}  // namespace video

// DKK 5x7: 6 columns; row A is twice as tall as rows B and C.
namespace dkk {
const float patch_A1[4] = {0.0f, 0.25f, 0.0f, 0.5f};
const float patch_B1[4] = {0.0f, 0.25f, 0.5f, 0.75f};
const float patch_C1[4] = {0.0f, 0.25f, 0.75f, 1.0f};
const float patch_A2[4] = {0.25f, 0.5f, 0.0f, 0.5f};
const float patch_B2[4] = {0.25f, 0.5f, 0.5f, 0.75f};
const float patch_C2[4] = {0.25f, 0.5f, 0.75f, 1.0f};
const float patch_A3[4] = {0.5f, 0.75f, 0.0f, 0.5f};
const float patch_B3[4] = {0.5f, 0.75f, 0.5f, 0.75f};
const float patch_C3[4] = {0.5f, 0.75f, 0.75f, 1.0f};
const float patch_A4[4] = {0.75f, 1.0f, 0.0f, 0.5f};
const float patch_B4[4] = {0.75f, 1.0f, 0.5f, 0.75f};
const float patch_C4[4] = {0.75f, 1.0f, 0.75f, 1.0f};
const float patch_A5[4] = {1.0f, 1.25f, 0.0f, 0.5f};
const float patch_B5[4] = {1.0f, 1.25f, 0.5f, 0.75f};
const float patch_C5[4] = {1.0f, 1.25f, 0.75f, 1.0f};
const float patch_A6[4] = {1.25f, 1.5f, 0.0f, 0.5f};
const float patch_B6[4] = {1.25f, 1.5f, 0.5f, 0.75f};
const float patch_C6[4] = {1.25f, 1.5f, 0.75f, 1.0f};
const float overlay_A1[] = {0.008333334f, 0.4875f, 0.008333334f, 0.0125f, 0.15833333f, 0.0125f, 0.008333334f, 0.4875f, -1.0f, -1.0f};
const float overlay_B1[] = {0.008333334f, 0.7375f, 0.008333334f, 0.5125f, -1.0f, -1.0f};
const float overlay_C1[] = {0.15833333f, 0.9875f, 0.008333334f, 0.9875f, 0.008333334f, 0.7625f, -1.0f, -1.0f};
const float overlay_A2[] = {0.175f, 0.0125f, 0.325f, 0.0125f, -1.0f, -1.0f};
const float overlay_C2[] = {0.325f, 0.9875f, 0.175f, 0.9875f, -1.0f, -1.0f};
const float overlay_A3[] = {0.34166667f, 0.0125f, 0.49166667f, 0.0125f, -1.0f, -1.0f};
const float overlay_C3[] = {0.49166667f, 0.9875f, 0.34166667f, 0.9875f, -1.0f, -1.0f};
const float overlay_A4[] = {0.5083333f, 0.0125f, 0.65833336f, 0.0125f, -1.0f, -1.0f};
const float overlay_C4[] = {0.65833336f, 0.9875f, 0.5083333f, 0.9875f, -1.0f, -1.0f};
const float overlay_A5[] = {0.675f, 0.0125f, 0.825f, 0.0125f, -1.0f, -1.0f};
const float overlay_C5[] = {0.825f, 0.9875f, 0.675f, 0.9875f, -1.0f, -1.0f};
const float overlay_A6[] = {0.84166664f, 0.0125f, 0.9916667f, 0.0125f, 0.9916667f, 0.4875f, -1.0f, -1.0f};
const float overlay_B6[] = {0.9916667f, 0.5125f, 0.9916667f, 0.7375f, -1.0f, -1.0f};
const float overlay_C6[] = {0.9916667f, 0.7625f, 0.9916667f, 0.9875f, 0.84166664f, 0.9875f, -1.0f, -1.0f};
}  // namespace dkk

// OneShot Plus: four columns of unequal width; its border pieces lie on the card edge.
namespace oneshot {
const float patch_A1[4] = {0.0f, 0.548148f, 0.0f, 0.33333334f};
const float patch_A2[4] = {0.0f, 0.548148f, 0.33333334f, 0.6666667f};
const float patch_A3[4] = {0.0f, 0.548148f, 0.6666667f, 1.0f};
const float patch_B1[4] = {0.548148f, 1.0963f, 0.0f, 0.25f};
const float patch_B2[4] = {0.548148f, 1.0963f, 0.25f, 0.5f};
const float patch_B3[4] = {0.548148f, 1.0963f, 0.5f, 0.75f};
const float patch_B4[4] = {0.548148f, 1.0963f, 0.75f, 1.0f};
const float patch_C1[4] = {1.0963f, 1.37037f, 0.0f, 0.33333334f};
const float patch_C2[4] = {1.0963f, 1.37037f, 0.33333334f, 0.6666667f};
const float patch_C3[4] = {1.0963f, 1.37037f, 0.6666667f, 1.0f};
const float patch_D1[4] = {1.37037f, 1.64444f, 0.0f, 0.33333334f};
const float patch_D2[4] = {1.37037f, 1.64444f, 0.33333334f, 0.6666667f};
const float patch_D3[4] = {1.37037f, 1.64444f, 0.6666667f, 1.0f};
const float overlay_A1[] = {0.0f, 0.316667f, 0.0f, 0.0f, 0.325f, 0.0f, 0.0f, 0.316667f, -1.0f, -1.0f};
const float overlay_A2[] = {0.0f, 0.65f, 0.0f, 0.35f, -1.0f, -1.0f};
const float overlay_A3[] = {0.325f, 1.0f, 0.0f, 1.0f, 0.0f, 0.683333f, -1.0f, -1.0f};
const float overlay_B1[] = {0.341667f, 0.0f, 0.658333f, 0.0f, -1.0f, -1.0f};
const float overlay_B4[] = {0.658333f, 1.0f, 0.341667f, 1.0f, -1.0f, -1.0f};
const float overlay_C1[] = {0.675f, 0.0f, 0.825f, 0.0f, -1.0f, -1.0f};
const float overlay_C3[] = {0.825f, 1.0f, 0.675f, 1.0f, -1.0f, -1.0f};
const float overlay_D1[] = {0.841667f, 0.0f, 1.0f, 0.0f, 1.0f, 0.316667f, -1.0f, -1.0f};
const float overlay_D2[] = {1.0f, 0.35f, 1.0f, 0.65f, -1.0f, -1.0f};
const float overlay_D3[] = {1.0f, 0.683333f, 1.0f, 1.0f, 0.841667f, 1.0f, -1.0f, -1.0f};
}  // namespace oneshot

}  // namespace

const reference_patch patches_classic_before[] = {
    {"dark skin", {37.986, 13.555, 14.059}, classic::patch_11, 0.083333336f, 0.125f, classic::overlay_11},
    {"orange", {62.661, 36.067, 57.096}, classic::patch_12, 0.083333336f, 0.375f, classic::overlay_12},
    {"blue", {28.778, 14.179, -50.297}, classic::patch_13, 0.083333336f, 0.625f, classic::overlay_13},
    {"white 9.5 (.05 D)", {96.539, -0.425, 1.186}, classic::patch_14, 0.083333336f, 0.875f, classic::overlay_14},
    {"light skin", {65.711, 18.13, 17.81}, classic::patch_21, 0.25f, 0.125f, classic::overlay_21},
    {"purplish blue", {40.02, 10.41, -45.964}, classic::patch_22, 0.25f, 0.375f, overlay_none},
    {"green", {55.261, -38.342, 31.37}, classic::patch_23, 0.25f, 0.625f, overlay_none},
    {"neutral 8 (.23 D)", {81.257, -0.638, -0.335}, classic::patch_24, 0.25f, 0.875f, classic::overlay_24},
    {"blue sky", {49.927, -4.88, -21.905}, classic::patch_31, 0.41666666f, 0.125f, classic::overlay_31},
    {"moderate red", {51.124, 48.239, 16.248}, classic::patch_32, 0.41666666f, 0.375f, overlay_none},
    {"red", {42.101, 53.378, 28.19}, classic::patch_33, 0.41666666f, 0.625f, overlay_none},
    {"neutral 6.5 (.44 D)", {66.766, -0.734, -0.504}, classic::patch_34, 0.41666666f, 0.875f, classic::overlay_34},
    {"foliage", {43.139, -13.095, 21.905}, classic::patch_41, 0.5833333f, 0.125f, classic::overlay_41},
    {"purple", {30.325, 22.976, -21.587}, classic::patch_42, 0.5833333f, 0.375f, overlay_none},
    {"yellow", {81.733, 4.039, 79.819}, classic::patch_43, 0.5833333f, 0.625f, overlay_none},
    {"neutral 5 (.70 D)", {50.867, -0.153, -0.27}, classic::patch_44, 0.5833333f, 0.875f, classic::overlay_44},
    {"blue flower", {55.112, 8.844, -25.399}, classic::patch_51, 0.75f, 0.125f, classic::overlay_51},
    {"yellow green", {72.532, -23.709, 57.255}, classic::patch_52, 0.75f, 0.375f, overlay_none},
    {"magenta", {51.935, 49.986, -14.574}, classic::patch_53, 0.75f, 0.625f, overlay_none},
    {"neutral 3.5 (1.05 D)", {35.656, -0.421, -1.231}, classic::patch_54, 0.75f, 0.875f, classic::overlay_54},
    {"blueish green", {70.719, -33.397, -0.199}, classic::patch_61, 0.9166667f, 0.125f, classic::overlay_61},
    {"orange yellow", {71.941, 19.363, 67.857}, classic::patch_62, 0.9166667f, 0.375f, classic::overlay_62},
    {"cyan", {51.038, -28.631, -28.638}, classic::patch_63, 0.9166667f, 0.625f, classic::overlay_63},
    {"black 2 (1.5 D)", {20.461, -0.079, -0.973}, classic::patch_64, 0.9166667f, 0.875f, classic::overlay_64},
};

const reference_patch patches_classic_after[] = {
    {"dark skin", {37.54, 14.37, 14.92}, classic::patch_11, 0.083333336f, 0.125f, classic::overlay_11},
    {"orange", {62.73, 35.83, 56.5}, classic::patch_12, 0.083333336f, 0.375f, classic::overlay_12},
    {"blue", {28.37, 15.42, -49.8}, classic::patch_13, 0.083333336f, 0.625f, classic::overlay_13},
    {"white 9.5 (.05 D)", {95.19, -1.03, 2.93}, classic::patch_14, 0.083333336f, 0.875f, classic::overlay_14},
    {"light skin", {64.66, 19.27, 17.5}, classic::patch_21, 0.25f, 0.125f, classic::overlay_21},
    {"purplish blue", {39.43, 10.75, -45.17}, classic::patch_22, 0.25f, 0.375f, overlay_none},
    {"green", {54.38, -39.72, 32.27}, classic::patch_23, 0.25f, 0.625f, overlay_none},
    {"neutral 8 (.23 D)", {81.29, -0.57, 0.44}, classic::patch_24, 0.25f, 0.875f, classic::overlay_24},
    {"blue sky", {49.32, -3.82, -22.54}, classic::patch_31, 0.41666666f, 0.125f, classic::overlay_31},
    {"moderate red", {50.57, 48.64, 16.67}, classic::patch_32, 0.41666666f, 0.375f, overlay_none},
    {"red", {42.43, 51.05, 28.62}, classic::patch_33, 0.41666666f, 0.625f, overlay_none},
    {"neutral 6.5 (.44 D)", {66.89, -0.75, -0.06}, classic::patch_34, 0.41666666f, 0.875f, classic::overlay_34},
    {"foliage", {43.46, -12.74, 22.72}, classic::patch_41, 0.5833333f, 0.125f, classic::overlay_41},
    {"purple", {30.1, 22.54, -20.87}, classic::patch_42, 0.5833333f, 0.375f, overlay_none},
    {"yellow", {81.8, 2.67, 80.41}, classic::patch_43, 0.5833333f, 0.625f, overlay_none},
    {"neutral 5 (.70 D)", {50.76, -0.13, 0.14}, classic::patch_44, 0.5833333f, 0.875f, classic::overlay_44},
    {"blue flower", {54.94, 9.61, -24.79}, classic::patch_51, 0.75f, 0.125f, classic::overlay_51},
    {"yellow green", {71.77, -24.13, 58.19}, classic::patch_52, 0.75f, 0.375f, overlay_none},
    {"magenta", {50.63, 51.28, -14.12}, classic::patch_53, 0.75f, 0.625f, overlay_none},
    {"neutral 3.5 (1.05 D)", {35.63, -0.46, -0.48}, classic::patch_54, 0.75f, 0.875f, classic::overlay_54},
    {"blueish green", {70.48, -32.26, -0.37}, classic::patch_61, 0.9166667f, 0.125f, classic::overlay_61},
    {"orange yellow", {71.51, 18.24, 67.37}, classic::patch_62, 0.9166667f, 0.375f, classic::overlay_62},
    {"cyan", {49.57, -29.71, -28.32}, classic::patch_63, 0.9166667f, 0.625f, classic::overlay_63},
    {"black 2 (1.5 D)", {20.64, 0.07, -0.46}, classic::patch_64, 0.9166667f, 0.875f, classic::overlay_64},
};

const reference_patch patches_spyder24[] = {
    {"1H - aqua", {70.19, -31.9, 1.98}, classic::patch_11, 0.083333336f, 0.125f, classic::overlay_11},
    {"1G - primary orange", {60.94, 38.21, 61.31}, classic::patch_12, 0.083333336f, 0.375f, classic::overlay_12},
    {"1F - primary cyan", {47.12, -32.5, -28.75}, classic::patch_13, 0.083333336f, 0.625f, classic::overlay_13},
    {"1E - card white", {96.04, 2.16, 2.6}, classic::patch_14, 0.083333336f, 0.875f, classic::overlay_14},
    {"2H - lavender", {54.38, 8.84, -25.71}, classic::patch_21, 0.25f, 0.125f, classic::overlay_21},
    {"2G - blueprint", {37.8, 7.3, -43.04}, classic::patch_22, 0.25f, 0.375f, overlay_none},
    {"2F - primary magenta", {50.49, 53.45, -13.55}, classic::patch_23, 0.25f, 0.625f, overlay_none},
    {"2E - 20% gray", {80.44, 1.17, 2.05}, classic::patch_24, 0.25f, 0.875f, classic::overlay_24},
    {"3H - evergreen", {42.03, -15.8, 22.93}, classic::patch_31, 0.41666666f, 0.125f, classic::overlay_31},
    {"3G - pink", {49.81, 48.5, 15.76}, classic::patch_32, 0.41666666f, 0.375f, overlay_none},
    {"3F - primary yellow", {83.61, 3.36, 87.02}, classic::patch_33, 0.41666666f, 0.625f, overlay_none},
    {"3E - 40% gray", {65.52, 0.69, 1.86}, classic::patch_34, 0.41666666f, 0.875f, classic::overlay_34},
    {"4H - steel blue", {48.82, -5.11, -23.08}, classic::patch_41, 0.5833333f, 0.125f, classic::overlay_41},
    {"4G - violet", {28.88, 19.36, -24.48}, classic::patch_42, 0.5833333f, 0.375f, overlay_none},
    {"4F - primary red", {41.05, 60.75, 31.17}, classic::patch_43, 0.5833333f, 0.625f, overlay_none},
    {"4E - 60% gray", {49.62, 0.58, 1.56}, classic::patch_44, 0.5833333f, 0.875f, classic::overlay_44},
    {"5H - classic light skin", {65.1, 18.14, 18.68}, classic::patch_51, 0.75f, 0.125f, classic::overlay_51},
    {"5G - apple green", {72.45, -23.6, 60.47}, classic::patch_52, 0.75f, 0.375f, overlay_none},
    {"5F - primary green", {54.14, -40.8, 34.75}, classic::patch_53, 0.75f, 0.625f, overlay_none},
    {"5E - 80% gray", {33.55, 0.35, 1.4}, classic::patch_54, 0.75f, 0.875f, classic::overlay_54},
    {"6H - classic dark skin", {36.13, 14.15, 15.78}, classic::patch_61, 0.9166667f, 0.125f, classic::overlay_61},
    {"6G - sunflower", {71.65, 23.74, 72.28}, classic::patch_62, 0.9166667f, 0.375f, classic::overlay_62},
    {"6F - primary blue", {24.75, 13.78, -49.48}, classic::patch_63, 0.9166667f, 0.625f, classic::overlay_63},
    {"6E - card black", {16.91, 1.43, -0.81}, classic::patch_64, 0.9166667f, 0.875f, classic::overlay_64},
};

const reference_patch patches_spyder[] = {
    {"1A - low sat red", {61.35, 34.81, 18.38}, spyder::patch_1A, 0.0738255f, 0.111111f, spyder::overlay_1A},
    {"2A - low sat yellow", {75.5, 5.84, 50.42}, spyder::patch_2A, 0.0738255f, 0.266667f, spyder::overlay_2A},
    {"3A - low sat green", {66.82, -25.1, 23.47}, spyder::patch_3A, 0.0738255f, 0.422222f, spyder::overlay_3A},
    {"4A - low sat cyan", {60.53, -22.6, -20.4}, spyder::patch_4A, 0.0738255f, 0.577778f, spyder::overlay_4A},
    {"5A - low sat blue", {59.66, -2.03, -28.46}, spyder::patch_5A, 0.0738255f, 0.733333f, spyder::overlay_5A},
    {"6A - low sat magenta", {59.15, 30.83, -5.72}, spyder::patch_6A, 0.0738255f, 0.888889f, spyder::overlay_6A},
    {"1B - 10% red tint", {82.68, 5.03, 3.02}, spyder::patch_1B, 0.177181f, 0.111111f, spyder::overlay_1B},
    {"2B - 10% green tint", {82.25, -2.42, 3.78}, spyder::patch_2B, 0.177181f, 0.266667f, overlay_none},
    {"3B - 10% blue tint", {82.29, 2.2, -2.04}, spyder::patch_3B, 0.177181f, 0.422222f, overlay_none},
    {"4B - 90% red tone", {24.89, 4.43, 0.78}, spyder::patch_4B, 0.177181f, 0.577778f, overlay_none},
    {"5B - 90% green tone", {25.16, -3.88, 2.13}, spyder::patch_5B, 0.177181f, 0.733333f, overlay_none},
    {"6B - 90% blue tone", {26.13, 2.61, -5.03}, spyder::patch_6B, 0.177181f, 0.888889f, spyder::overlay_6B},
    {"1C - lightest skin", {85.42, 9.41, 14.49}, spyder::patch_1C, 0.280537f, 0.111111f, spyder::overlay_1C},
    {"2C - lighter skin", {74.28, 9.05, 27.21}, spyder::patch_2C, 0.280537f, 0.266667f, overlay_none},
    {"3C - moderate skin", {64.57, 12.39, 37.24}, spyder::patch_3C, 0.280537f, 0.422222f, overlay_none},
    {"4C - medium skin", {44.49, 17.23, 26.24}, spyder::patch_4C, 0.280537f, 0.577778f, overlay_none},
    {"5C - deep skin", {25.29, 7.95, 8.87}, spyder::patch_5C, 0.280537f, 0.733333f, overlay_none},
    {"6C - 95% gray", {22.67, 2.11, -1.1}, spyder::patch_6C, 0.280537f, 0.888889f, spyder::overlay_6C},
    {"1D - 5% gray", {92.72, 1.89, 2.76}, spyder::patch_1D, 0.383893f, 0.111111f, spyder::overlay_1D},
    {"2D - 10% gray", {88.85, 1.59, 2.27}, spyder::patch_2D, 0.383893f, 0.266667f, spyder::overlay_2D},
    {"3D - 30% gray", {73.42, 0.99, 1.89}, spyder::patch_3D, 0.383893f, 0.422222f, spyder::overlay_3D},
    {"4D - 50% gray", {57.15, 0.57, 1.19}, spyder::patch_4D, 0.383893f, 0.577778f, spyder::overlay_4D},
    {"5D - 70% gray", {41.57, 0.24, 1.45}, spyder::patch_5D, 0.383893f, 0.733333f, spyder::overlay_5D},
    {"6D - 90% gray", {25.65, 1.24, 0.05}, spyder::patch_6D, 0.383893f, 0.888889f, spyder::overlay_6D},
    {"1E - card white", {96.04, 2.16, 2.6}, spyder::patch_1E, 0.616107f, 0.111111f, spyder::overlay_1E},
    {"2E - 20% gray", {80.44, 1.17, 2.05}, spyder::patch_2E, 0.616107f, 0.266667f, spyder::overlay_2E},
    {"3E - 40% gray", {65.52, 0.69, 1.86}, spyder::patch_3E, 0.616107f, 0.422222f, spyder::overlay_3E},
    {"4E - 60% gray", {49.62, 0.58, 1.56}, spyder::patch_4E, 0.616107f, 0.577778f, spyder::overlay_4E},
    {"5E - 80% gray", {33.55, 0.35, 1.4}, spyder::patch_5E, 0.616107f, 0.733333f, spyder::overlay_5E},
    {"6E - card black", {16.91, 1.43, -0.81}, spyder::patch_6E, 0.616107f, 0.888889f, spyder::overlay_6E},
    {"1F - primary cyan", {47.12, -32.5, -28.75}, spyder::patch_1F, 0.719463f, 0.111111f, spyder::overlay_1F},
    {"2F - primary magenta", {50.49, 53.45, -13.55}, spyder::patch_2F, 0.719463f, 0.266667f, overlay_none},
    {"3F - primary yellow", {83.61, 3.36, 87.02}, spyder::patch_3F, 0.719463f, 0.422222f, overlay_none},
    {"4F - primary red", {41.05, 60.75, 31.17}, spyder::patch_4F, 0.719463f, 0.577778f, overlay_none},
    {"5F - primary green", {54.14, -40.8, 34.75}, spyder::patch_5F, 0.719463f, 0.733333f, overlay_none},
    {"6F - primary blue", {24.75, 13.78, -49.48}, spyder::patch_6F, 0.719463f, 0.888889f, spyder::overlay_6F},
    {"1G - primary orange", {60.94, 38.21, 61.31}, spyder::patch_1G, 0.822819f, 0.111111f, spyder::overlay_1G},
    {"2G - blueprint", {37.8, 7.3, -43.04}, spyder::patch_2G, 0.822819f, 0.266667f, overlay_none},
    {"3G - pink", {49.81, 48.5, 15.76}, spyder::patch_3G, 0.822819f, 0.422222f, overlay_none},
    {"4G - violet", {28.88, 19.36, -24.48}, spyder::patch_4G, 0.822819f, 0.577778f, overlay_none},
    {"5G - apple green", {72.45, -23.6, 60.47}, spyder::patch_5G, 0.822819f, 0.733333f, overlay_none},
    {"6G - sunflower", {71.65, 23.74, 72.28}, spyder::patch_6G, 0.822819f, 0.888889f, spyder::overlay_6G},
    {"1H - aqua", {70.19, -31.9, 1.98}, spyder::patch_1H, 0.926175f, 0.111111f, spyder::overlay_1H},
    {"2H - lavender", {54.38, 8.84, -25.71}, spyder::patch_2H, 0.926175f, 0.266667f, spyder::overlay_2H},
    {"3H - evergreen", {42.03, -15.8, 22.93}, spyder::patch_3H, 0.926175f, 0.422222f, spyder::overlay_3H},
    {"4H - steel blue", {48.82, -5.11, -23.08}, spyder::patch_4H, 0.926175f, 0.577778f, spyder::overlay_4H},
    {"5H - classic light skin", {65.1, 18.14, 18.68}, spyder::patch_5H, 0.926175f, 0.733333f, spyder::overlay_5H},
    {"6H - classic dark skin", {36.13, 14.15, 15.78}, spyder::patch_6H, 0.926175f, 0.888889f, spyder::overlay_6H},
};

const reference_patch patches_sg_before[] = {
    {"A1", {96.55, -0.91, 0.57}, sg::patch_A1, 0.035714287f, 0.05f, sg::overlay_A1},
    {"A2", {6.43, -0.06, -0.41}, sg::patch_A2, 0.035714287f, 0.15f, sg::overlay_A2},
    {"A3", {49.7, -0.18, 0.03}, sg::patch_A3, 0.035714287f, 0.25f, sg::overlay_A3},
    {"A4", {96.5, -0.89, 0.59}, sg::patch_A4, 0.035714287f, 0.35f, sg::overlay_A4},
    {"A5", {6.5, -0.06, -0.44}, sg::patch_A5, 0.035714287f, 0.45f, sg::overlay_A5},
    {"A6", {49.66, -0.2, 0.01}, sg::patch_A6, 0.035714287f, 0.55f, sg::overlay_A6},
    {"A7", {96.52, -0.91, 0.58}, sg::patch_A7, 0.035714287f, 0.65f, sg::overlay_A7},
    {"A8", {6.49, -0.02, -0.28}, sg::patch_A8, 0.035714287f, 0.75f, sg::overlay_A8},
    {"A9", {49.72, -0.2, 0.04}, sg::patch_A9, 0.035714287f, 0.85f, sg::overlay_A9},
    {"A10", {96.43, -0.91, 0.67}, sg::patch_A10, 0.035714287f, 0.95f, sg::overlay_A10},
    {"B1", {49.72, -0.19, 0.02}, sg::patch_B1, 0.10714286f, 0.05f, sg::overlay_B1},
    {"B2", {32.6, 51.58, -10.85}, sg::patch_B2, 0.10714286f, 0.15f, overlay_none},
    {"B3", {60.75, 26.22, -18.69}, sg::patch_B3, 0.10714286f, 0.25f, overlay_none},
    {"B4", {28.69, 48.28, -39.0}, sg::patch_B4, 0.10714286f, 0.35f, overlay_none},
    {"B5", {49.38, -15.43, -48.48}, sg::patch_B5, 0.10714286f, 0.45f, overlay_none},
    {"B6", {60.63, -30.77, -26.23}, sg::patch_B6, 0.10714286f, 0.55f, overlay_none},
    {"B7", {19.29, -26.37, -6.15}, sg::patch_B7, 0.10714286f, 0.65f, overlay_none},
    {"B8", {60.15, -41.77, -12.6}, sg::patch_B8, 0.10714286f, 0.75f, overlay_none},
    {"B9", {21.42, 1.67, 8.79}, sg::patch_B9, 0.10714286f, 0.85f, overlay_none},
    {"B10", {49.69, -0.2, 0.01}, sg::patch_B10, 0.10714286f, 0.95f, sg::overlay_B10},
    {"C1", {6.5, -0.03, -0.67}, sg::patch_C1, 0.17857143f, 0.05f, sg::overlay_C1},
    {"C2", {21.82, 17.33, -18.35}, sg::patch_C2, 0.17857143f, 0.15f, overlay_none},
    {"C3", {41.53, 18.48, -37.26}, sg::patch_C3, 0.17857143f, 0.25f, overlay_none},
    {"C4", {19.99, -0.16, -36.29}, sg::patch_C4, 0.17857143f, 0.35f, overlay_none},
    {"C5", {60.16, -18.45, -31.42}, sg::patch_C5, 0.17857143f, 0.45f, overlay_none},
    {"C6", {19.94, -17.92, -20.96}, sg::patch_C6, 0.17857143f, 0.55f, overlay_none},
    {"C7", {60.68, -6.05, -32.81}, sg::patch_C7, 0.17857143f, 0.65f, overlay_none},
    {"C8", {50.81, -49.8, -9.63}, sg::patch_C8, 0.17857143f, 0.75f, overlay_none},
    {"C9", {60.65, -39.77, 20.76}, sg::patch_C9, 0.17857143f, 0.85f, overlay_none},
    {"C10", {6.53, -0.03, -0.43}, sg::patch_C10, 0.17857143f, 0.95f, sg::overlay_C10},
    {"D1", {96.56, -0.91, 0.59}, sg::patch_D1, 0.25f, 0.05f, sg::overlay_D1},
    {"D2", {84.19, -1.95, -8.23}, sg::patch_D2, 0.25f, 0.15f, overlay_none},
    {"D3", {84.75, 14.55, 0.23}, sg::patch_D3, 0.25f, 0.25f, overlay_none},
    {"D4", {84.87, -19.07, -0.82}, sg::patch_D4, 0.25f, 0.35f, overlay_none},
    {"D5", {85.15, 13.48, 6.82}, sg::patch_D5, 0.25f, 0.45f, overlay_none},
    {"D6", {84.17, -10.45, 26.78}, sg::patch_D6, 0.25f, 0.55f, overlay_none},
    {"D7", {61.74, 31.06, 36.42}, sg::patch_D7, 0.25f, 0.65f, overlay_none},
    {"D8", {64.37, 20.82, 18.92}, sg::patch_D8, 0.25f, 0.75f, overlay_none},
    {"D9", {50.4, -53.22, 14.62}, sg::patch_D9, 0.25f, 0.85f, overlay_none},
    {"D10", {96.51, -0.89, 0.65}, sg::patch_D10, 0.25f, 0.95f, sg::overlay_D10},
    {"E1", {49.74, -0.19, 0.03}, sg::patch_E1, 0.32142857f, 0.05f, sg::overlay_E1},
    {"E2", {31.91, 18.62, 21.99}, sg::patch_E2, 0.32142857f, 0.15f, overlay_none},
    {"E3", {60.74, 38.66, 70.97}, sg::patch_E3, 0.32142857f, 0.25f, overlay_none},
    {"E4", {19.35, 22.23, -58.86}, sg::patch_E4, 0.32142857f, 0.35f, overlay_none},
    {"E5", {96.52, -0.91, 0.62}, sg::patch_E5, 0.32142857f, 0.45f, overlay_none},
    {"E6", {6.66, 0.0, -0.3}, sg::patch_E6, 0.32142857f, 0.55f, overlay_none},
    {"E7", {76.51, 20.81, 22.72}, sg::patch_E7, 0.32142857f, 0.65f, overlay_none},
    {"E8", {72.79, 29.15, 24.18}, sg::patch_E8, 0.32142857f, 0.75f, overlay_none},
    {"E9", {22.33, -20.7, 5.75}, sg::patch_E9, 0.32142857f, 0.85f, overlay_none},
    {"E10", {49.7, -0.19, 0.01}, sg::patch_E10, 0.32142857f, 0.95f, sg::overlay_E10},
    {"F1", {6.53, -0.05, -0.61}, sg::patch_F1, 0.39285713f, 0.05f, sg::overlay_F1},
    {"F2", {63.42, 20.19, 19.22}, sg::patch_F2, 0.39285713f, 0.15f, overlay_none},
    {"F3", {34.94, 11.64, -50.7}, sg::patch_F3, 0.39285713f, 0.25f, overlay_none},
    {"F4", {52.03, -44.15, 39.04}, sg::patch_F4, 0.39285713f, 0.35f, overlay_none},
    {"F5", {79.43, 0.29, -0.17}, sg::patch_F5, 0.39285713f, 0.45f, overlay_none},
    {"F6", {30.67, -0.14, -0.53}, sg::patch_F6, 0.39285713f, 0.55f, overlay_none},
    {"F7", {63.6, 14.44, 26.07}, sg::patch_F7, 0.39285713f, 0.65f, overlay_none},
    {"F8", {64.37, 14.5, 17.05}, sg::patch_F8, 0.39285713f, 0.75f, overlay_none},
    {"F9", {60.01, -44.33, 8.49}, sg::patch_F9, 0.39285713f, 0.85f, overlay_none},
    {"F10", {6.63, -0.01, -0.47}, sg::patch_F10, 0.39285713f, 0.95f, sg::overlay_F10},
    {"G1", {96.56, -0.93, 0.59}, sg::patch_G1, 0.4642857f, 0.05f, sg::overlay_G1},
    {"G2", {46.37, -5.09, -24.46}, sg::patch_G2, 0.4642857f, 0.15f, overlay_none},
    {"G3", {47.08, 52.97, 20.49}, sg::patch_G3, 0.4642857f, 0.25f, overlay_none},
    {"G4", {36.04, 64.92, 38.51}, sg::patch_G4, 0.4642857f, 0.35f, overlay_none},
    {"G5", {65.05, 0.0, -0.32}, sg::patch_G5, 0.4642857f, 0.45f, overlay_none},
    {"G6", {40.14, -0.19, -0.38}, sg::patch_G6, 0.4642857f, 0.55f, overlay_none},
    {"G7", {43.77, 16.46, 27.12}, sg::patch_G7, 0.4642857f, 0.65f, overlay_none},
    {"G8", {64.39, 17.0, 16.59}, sg::patch_G8, 0.4642857f, 0.75f, overlay_none},
    {"G9", {60.79, -29.74, 41.5}, sg::patch_G9, 0.4642857f, 0.85f, overlay_none},
    {"G10", {96.48, -0.89, 0.64}, sg::patch_G10, 0.4642857f, 0.95f, sg::overlay_G10},
    {"H1", {49.75, -0.21, 0.01}, sg::patch_H1, 0.53571427f, 0.05f, sg::overlay_H1},
    {"H2", {38.18, -16.99, 30.87}, sg::patch_H2, 0.53571427f, 0.15f, overlay_none},
    {"H3", {21.31, 29.14, -27.51}, sg::patch_H3, 0.53571427f, 0.25f, overlay_none},
    {"H4", {80.57, 3.85, 89.61}, sg::patch_H4, 0.53571427f, 0.35f, overlay_none},
    {"H5", {49.71, -0.2, 0.03}, sg::patch_H5, 0.53571427f, 0.45f, overlay_none},
    {"H6", {60.27, 0.08, -0.41}, sg::patch_H6, 0.53571427f, 0.55f, overlay_none},
    {"H7", {67.34, 14.45, 16.9}, sg::patch_H7, 0.53571427f, 0.65f, overlay_none},
    {"H8", {64.69, 16.95, 18.57}, sg::patch_H8, 0.53571427f, 0.75f, overlay_none},
    {"H9", {51.12, -49.31, 44.41}, sg::patch_H9, 0.53571427f, 0.85f, overlay_none},
    {"H10", {49.7, -0.2, 0.02}, sg::patch_H10, 0.53571427f, 0.95f, sg::overlay_H10},
    {"I1", {6.67, -0.05, -0.64}, sg::patch_I1, 0.60714287f, 0.05f, sg::overlay_I1},
    {"I2", {51.56, 9.16, -26.88}, sg::patch_I2, 0.60714287f, 0.15f, overlay_none},
    {"I3", {70.83, -24.26, 64.77}, sg::patch_I3, 0.60714287f, 0.25f, overlay_none},
    {"I4", {48.06, 55.33, -15.61}, sg::patch_I4, 0.60714287f, 0.35f, overlay_none},
    {"I5", {35.26, -0.09, -0.24}, sg::patch_I5, 0.60714287f, 0.45f, overlay_none},
    {"I6", {75.16, 0.25, -0.2}, sg::patch_I6, 0.60714287f, 0.55f, overlay_none},
    {"I7", {44.54, 26.27, 38.93}, sg::patch_I7, 0.60714287f, 0.65f, overlay_none},
    {"I8", {35.91, 16.59, 26.46}, sg::patch_I8, 0.60714287f, 0.75f, overlay_none},
    {"I9", {61.49, -52.73, 47.3}, sg::patch_I9, 0.60714287f, 0.85f, overlay_none},
    {"I10", {6.59, -0.05, -0.5}, sg::patch_I10, 0.60714287f, 0.95f, sg::overlay_I10},
    {"J1", {96.58, -0.9, 0.61}, sg::patch_J1, 0.6785714f, 0.05f, sg::overlay_J1},
    {"J2", {68.93, -34.58, -0.34}, sg::patch_J2, 0.6785714f, 0.15f, overlay_none},
    {"J3", {69.65, 20.09, 78.57}, sg::patch_J3, 0.6785714f, 0.25f, overlay_none},
    {"J4", {47.79, -33.18, -30.21}, sg::patch_J4, 0.6785714f, 0.35f, overlay_none},
    {"J5", {15.94, -0.42, -1.2}, sg::patch_J5, 0.6785714f, 0.45f, overlay_none},
    {"J6", {89.02, -0.36, -0.48}, sg::patch_J6, 0.6785714f, 0.55f, overlay_none},
    {"J7", {63.43, 25.44, 26.25}, sg::patch_J7, 0.6785714f, 0.65f, overlay_none},
    {"J8", {65.75, 22.06, 27.82}, sg::patch_J8, 0.6785714f, 0.75f, overlay_none},
    {"J9", {61.47, 17.1, 50.72}, sg::patch_J9, 0.6785714f, 0.85f, overlay_none},
    {"J10", {96.53, -0.89, 0.66}, sg::patch_J10, 0.6785714f, 0.95f, sg::overlay_J10},
    {"K1", {49.79, -0.2, 0.03}, sg::patch_K1, 0.75f, 0.05f, sg::overlay_K1},
    {"K2", {85.17, 10.89, 17.26}, sg::patch_K2, 0.75f, 0.15f, overlay_none},
    {"K3", {89.74, -16.52, 6.19}, sg::patch_K3, 0.75f, 0.25f, overlay_none},
    {"K4", {84.55, 5.07, -6.12}, sg::patch_K4, 0.75f, 0.35f, overlay_none},
    {"K5", {84.02, -13.87, -8.72}, sg::patch_K5, 0.75f, 0.45f, overlay_none},
    {"K6", {70.76, 0.07, -0.35}, sg::patch_K6, 0.75f, 0.55f, overlay_none},
    {"K7", {45.59, -0.05, 0.23}, sg::patch_K7, 0.75f, 0.65f, overlay_none},
    {"K8", {20.3, 0.07, -0.32}, sg::patch_K8, 0.75f, 0.75f, overlay_none},
    {"K9", {61.79, -13.41, 55.42}, sg::patch_K9, 0.75f, 0.85f, overlay_none},
    {"K10", {49.72, -0.19, 0.02}, sg::patch_K10, 0.75f, 0.95f, sg::overlay_K10},
    {"L1", {6.77, -0.05, -0.44}, sg::patch_L1, 0.8214286f, 0.05f, sg::overlay_L1},
    {"L2", {21.85, 34.37, 7.83}, sg::patch_L2, 0.8214286f, 0.15f, overlay_none},
    {"L3", {42.66, 67.43, 48.42}, sg::patch_L3, 0.8214286f, 0.25f, overlay_none},
    {"L4", {60.33, 36.56, 3.56}, sg::patch_L4, 0.8214286f, 0.35f, overlay_none},
    {"L5", {61.22, 36.61, 17.32}, sg::patch_L5, 0.8214286f, 0.45f, overlay_none},
    {"L6", {62.07, 52.8, 77.14}, sg::patch_L6, 0.8214286f, 0.55f, overlay_none},
    {"L7", {72.42, -9.82, 89.66}, sg::patch_L7, 0.8214286f, 0.65f, overlay_none},
    {"L8", {62.03, 3.53, 57.01}, sg::patch_L8, 0.8214286f, 0.75f, overlay_none},
    {"L9", {71.95, -27.34, 73.69}, sg::patch_L9, 0.8214286f, 0.85f, overlay_none},
    {"L10", {6.59, -0.04, -0.45}, sg::patch_L10, 0.8214286f, 0.95f, sg::overlay_L10},
    {"M1", {49.77, -0.19, 0.04}, sg::patch_M1, 0.89285713f, 0.05f, sg::overlay_M1},
    {"M2", {41.84, 62.05, 10.01}, sg::patch_M2, 0.89285713f, 0.15f, overlay_none},
    {"M3", {19.78, 29.16, -7.85}, sg::patch_M3, 0.89285713f, 0.25f, overlay_none},
    {"M4", {39.56, 65.98, 33.71}, sg::patch_M4, 0.89285713f, 0.35f, overlay_none},
    {"M5", {52.39, 68.33, 47.84}, sg::patch_M5, 0.89285713f, 0.45f, overlay_none},
    {"M6", {81.23, 24.12, 87.51}, sg::patch_M6, 0.89285713f, 0.55f, overlay_none},
    {"M7", {81.8, 6.78, 95.75}, sg::patch_M7, 0.89285713f, 0.65f, overlay_none},
    {"M8", {71.72, -16.23, 76.28}, sg::patch_M8, 0.89285713f, 0.75f, overlay_none},
    {"M9", {20.31, 14.45, 16.74}, sg::patch_M9, 0.89285713f, 0.85f, overlay_none},
    {"M10", {49.68, -0.19, 0.05}, sg::patch_M10, 0.89285713f, 0.95f, sg::overlay_M10},
    {"N1", {96.48, -0.88, 0.68}, sg::patch_N1, 0.96428573f, 0.05f, sg::overlay_N1},
    {"N2", {49.69, -0.18, 0.03}, sg::patch_N2, 0.96428573f, 0.15f, sg::overlay_N2},
    {"N3", {6.39, -0.04, -0.33}, sg::patch_N3, 0.96428573f, 0.25f, sg::overlay_N3},
    {"N4", {96.54, -0.9, 0.67}, sg::patch_N4, 0.96428573f, 0.35f, sg::overlay_N4},
    {"N5", {49.72, -0.18, 0.05}, sg::patch_N5, 0.96428573f, 0.45f, sg::overlay_N5},
    {"N6", {6.49, -0.03, -0.41}, sg::patch_N6, 0.96428573f, 0.55f, sg::overlay_N6},
    {"N7", {96.51, -0.9, 0.69}, sg::patch_N7, 0.96428573f, 0.65f, sg::overlay_N7},
    {"N8", {49.7, -0.19, 0.07}, sg::patch_N8, 0.96428573f, 0.75f, sg::overlay_N8},
    {"N9", {6.47, 0.0, -0.38}, sg::patch_N9, 0.96428573f, 0.85f, sg::overlay_N9},
    {"N10", {96.46, -0.89, 0.71}, sg::patch_N10, 0.96428573f, 0.95f, sg::overlay_N10},
};

const reference_patch patches_sg_after[] = {
    {"A1", {96.71, -0.62, 2.06}, sg::patch_A1, 0.035714287f, 0.05f, sg::overlay_A1},
    {"A2", {8.05, 0.17, -0.69}, sg::patch_A2, 0.035714287f, 0.15f, sg::overlay_A2},
    {"A3", {49.76, 0.11, 0.72}, sg::patch_A3, 0.035714287f, 0.25f, sg::overlay_A3},
    {"A4", {96.72, -0.63, 2.06}, sg::patch_A4, 0.035714287f, 0.35f, sg::overlay_A4},
    {"A5", {8.17, 0.15, -0.65}, sg::patch_A5, 0.035714287f, 0.45f, sg::overlay_A5},
    {"A6", {49.68, 0.14, 0.74}, sg::patch_A6, 0.035714287f, 0.55f, sg::overlay_A6},
    {"A7", {96.6, -0.62, 2.11}, sg::patch_A7, 0.035714287f, 0.65f, sg::overlay_A7},
    {"A8", {7.99, 0.21, -0.75}, sg::patch_A8, 0.035714287f, 0.75f, sg::overlay_A8},
    {"A9", {49.67, 0.15, 0.73}, sg::patch_A9, 0.035714287f, 0.85f, sg::overlay_A9},
    {"A10", {96.51, -0.63, 2.11}, sg::patch_A10, 0.035714287f, 0.95f, sg::overlay_A10},
    {"B1", {49.7, 0.12, 0.68}, sg::patch_B1, 0.10714286f, 0.05f, sg::overlay_B1},
    {"B2", {33.02, 52.0, -10.3}, sg::patch_B2, 0.10714286f, 0.15f, overlay_none},
    {"B3", {61.4, 27.14, -18.42}, sg::patch_B3, 0.10714286f, 0.25f, overlay_none},
    {"B4", {30.54, 50.39, -41.79}, sg::patch_B4, 0.10714286f, 0.35f, overlay_none},
    {"B5", {49.56, -13.9, -49.65}, sg::patch_B5, 0.10714286f, 0.45f, overlay_none},
    {"B6", {60.62, -29.91, -27.54}, sg::patch_B6, 0.10714286f, 0.55f, overlay_none},
    {"B7", {20.13, -24.81, -7.5}, sg::patch_B7, 0.10714286f, 0.65f, overlay_none},
    {"B8", {60.32, -40.29, -13.25}, sg::patch_B8, 0.10714286f, 0.75f, overlay_none},
    {"B9", {19.62, 1.77, 11.99}, sg::patch_B9, 0.10714286f, 0.85f, overlay_none},
    {"B10", {49.68, 0.15, 0.78}, sg::patch_B10, 0.10714286f, 0.95f, sg::overlay_B10},
    {"C1", {8.13, 0.15, -0.76}, sg::patch_C1, 0.17857143f, 0.05f, sg::overlay_C1},
    {"C2", {19.65, 20.42, -18.82}, sg::patch_C2, 0.17857143f, 0.15f, overlay_none},
    {"C3", {41.7, 18.9, -37.42}, sg::patch_C3, 0.17857143f, 0.25f, overlay_none},
    {"C4", {20.25, 0.26, -36.44}, sg::patch_C4, 0.17857143f, 0.35f, overlay_none},
    {"C5", {60.13, -17.88, -32.08}, sg::patch_C5, 0.17857143f, 0.45f, overlay_none},
    {"C6", {19.75, -17.79, -22.37}, sg::patch_C6, 0.17857143f, 0.55f, overlay_none},
    {"C7", {60.43, -5.12, -32.79}, sg::patch_C7, 0.17857143f, 0.65f, overlay_none},
    {"C8", {50.46, -47.9, -11.56}, sg::patch_C8, 0.17857143f, 0.75f, overlay_none},
    {"C9", {60.53, -40.75, 19.37}, sg::patch_C9, 0.17857143f, 0.85f, overlay_none},
    {"C10", {8.09, 0.19, -0.69}, sg::patch_C10, 0.17857143f, 0.95f, sg::overlay_C10},
    {"D1", {96.79, -0.66, 1.99}, sg::patch_D1, 0.25f, 0.05f, sg::overlay_D1},
    {"D2", {84.0, -1.7, -8.37}, sg::patch_D2, 0.25f, 0.15f, overlay_none},
    {"D3", {85.48, 15.15, 0.79}, sg::patch_D3, 0.25f, 0.25f, overlay_none},
    {"D4", {84.56, -19.74, -1.13}, sg::patch_D4, 0.25f, 0.35f, overlay_none},
    {"D5", {85.26, 13.37, 7.95}, sg::patch_D5, 0.25f, 0.45f, overlay_none},
    {"D6", {84.38, -11.97, 27.16}, sg::patch_D6, 0.25f, 0.55f, overlay_none},
    {"D7", {62.35, 29.94, 36.89}, sg::patch_D7, 0.25f, 0.65f, overlay_none},
    {"D8", {64.17, 21.34, 19.36}, sg::patch_D8, 0.25f, 0.75f, overlay_none},
    {"D9", {50.48, -53.21, 12.65}, sg::patch_D9, 0.25f, 0.85f, overlay_none},
    {"D10", {96.57, -0.64, 2.0}, sg::patch_D10, 0.25f, 0.95f, sg::overlay_D10},
    {"E1", {49.79, 0.13, 0.66}, sg::patch_E1, 0.32142857f, 0.05f, sg::overlay_E1},
    {"E2", {32.77, 19.91, 22.33}, sg::patch_E2, 0.32142857f, 0.15f, overlay_none},
    {"E3", {62.28, 37.56, 68.87}, sg::patch_E3, 0.32142857f, 0.25f, overlay_none},
    {"E4", {19.92, 25.07, -61.05}, sg::patch_E4, 0.32142857f, 0.35f, overlay_none},
    {"E5", {96.78, -0.66, 2.01}, sg::patch_E5, 0.32142857f, 0.45f, overlay_none},
    {"E6", {8.07, 0.12, -0.93}, sg::patch_E6, 0.32142857f, 0.55f, overlay_none},
    {"E7", {77.37, 20.28, 24.27}, sg::patch_E7, 0.32142857f, 0.65f, overlay_none},
    {"E8", {74.01, 29.0, 25.8}, sg::patch_E8, 0.32142857f, 0.75f, overlay_none},
    {"E9", {20.33, -23.98, 7.2}, sg::patch_E9, 0.32142857f, 0.85f, overlay_none},
    {"E10", {49.72, 0.14, 0.71}, sg::patch_E10, 0.32142857f, 0.95f, sg::overlay_E10},
    {"F1", {8.09, 0.19, -0.69}, sg::patch_F1, 0.39285713f, 0.05f, sg::overlay_F1},
    {"F2", {63.88, 20.34, 19.93}, sg::patch_F2, 0.39285713f, 0.15f, overlay_none},
    {"F3", {35.28, 12.93, -51.17}, sg::patch_F3, 0.39285713f, 0.25f, overlay_none},
    {"F4", {52.75, -44.12, 38.68}, sg::patch_F4, 0.39285713f, 0.35f, overlay_none},
    {"F5", {79.65, -0.08, 0.62}, sg::patch_F5, 0.39285713f, 0.45f, overlay_none},
    {"F6", {30.32, -0.1, 0.22}, sg::patch_F6, 0.39285713f, 0.55f, overlay_none},
    {"F7", {63.46, 13.53, 26.37}, sg::patch_F7, 0.39285713f, 0.65f, overlay_none},
    {"F8", {64.44, 14.31, 17.63}, sg::patch_F8, 0.39285713f, 0.75f, overlay_none},
    {"F9", {60.05, -44.0, 7.27}, sg::patch_F9, 0.39285713f, 0.85f, overlay_none},
    {"F10", {8.08, 0.18, -0.78}, sg::patch_F10, 0.39285713f, 0.95f, sg::overlay_F10},
    {"G1", {96.7, -0.66, 1.97}, sg::patch_G1, 0.4642857f, 0.05f, sg::overlay_G1},
    {"G2", {45.84, -3.74, -25.32}, sg::patch_G2, 0.4642857f, 0.15f, overlay_none},
    {"G3", {47.6, 53.66, 22.15}, sg::patch_G3, 0.4642857f, 0.25f, overlay_none},
    {"G4", {36.88, 65.72, 41.63}, sg::patch_G4, 0.4642857f, 0.35f, overlay_none},
    {"G5", {65.22, -0.27, 0.16}, sg::patch_G5, 0.4642857f, 0.45f, overlay_none},
    {"G6", {39.55, -0.37, -0.09}, sg::patch_G6, 0.4642857f, 0.55f, overlay_none},
    {"G7", {44.49, 16.06, 26.79}, sg::patch_G7, 0.4642857f, 0.65f, overlay_none},
    {"G8", {64.97, 15.89, 16.79}, sg::patch_G8, 0.4642857f, 0.75f, overlay_none},
    {"G9", {60.77, -30.19, 40.76}, sg::patch_G9, 0.4642857f, 0.85f, overlay_none},
    {"G10", {96.71, -0.64, 2.01}, sg::patch_G10, 0.4642857f, 0.95f, sg::overlay_G10},
    {"H1", {49.74, 0.14, 0.68}, sg::patch_H1, 0.53571427f, 0.05f, sg::overlay_H1},
    {"H2", {38.29, -17.44, 30.22}, sg::patch_H2, 0.53571427f, 0.15f, overlay_none},
    {"H3", {20.76, 31.66, -28.04}, sg::patch_H3, 0.53571427f, 0.25f, overlay_none},
    {"H4", {81.43, 2.41, 88.98}, sg::patch_H4, 0.53571427f, 0.35f, overlay_none},
    {"H5", {49.71, 0.12, 0.69}, sg::patch_H5, 0.53571427f, 0.45f, overlay_none},
    {"H6", {60.04, 0.09, 0.05}, sg::patch_H6, 0.53571427f, 0.55f, overlay_none},
    {"H7", {67.6, 14.47, 17.12}, sg::patch_H7, 0.53571427f, 0.65f, overlay_none},
    {"H8", {64.75, 17.3, 18.88}, sg::patch_H8, 0.53571427f, 0.75f, overlay_none},
    {"H9", {51.26, -50.65, 43.8}, sg::patch_H9, 0.53571427f, 0.85f, overlay_none},
    {"H10", {49.76, 0.14, 0.71}, sg::patch_H10, 0.53571427f, 0.95f, sg::overlay_H10},
    {"I1", {8.1, 0.19, -0.93}, sg::patch_I1, 0.60714287f, 0.05f, sg::overlay_I1},
    {"I2", {51.36, 9.52, -26.98}, sg::patch_I2, 0.60714287f, 0.15f, overlay_none},
    {"I3", {71.62, -24.77, 64.1}, sg::patch_I3, 0.60714287f, 0.25f, overlay_none},
    {"I4", {48.75, 57.24, -14.45}, sg::patch_I4, 0.60714287f, 0.35f, overlay_none},
    {"I5", {34.85, -0.21, 0.73}, sg::patch_I5, 0.60714287f, 0.45f, overlay_none},
    {"I6", {75.36, 0.35, 0.26}, sg::patch_I6, 0.60714287f, 0.55f, overlay_none},
    {"I7", {45.14, 26.38, 41.24}, sg::patch_I7, 0.60714287f, 0.65f, overlay_none},
    {"I8", {36.2, 16.7, 27.06}, sg::patch_I8, 0.60714287f, 0.75f, overlay_none},
    {"I9", {61.65, -54.33, 46.18}, sg::patch_I9, 0.60714287f, 0.85f, overlay_none},
    {"I10", {7.97, 0.14, -0.8}, sg::patch_I10, 0.60714287f, 0.95f, sg::overlay_I10},
    {"J1", {96.69, -0.67, 1.95}, sg::patch_J1, 0.6785714f, 0.05f, sg::overlay_J1},
    {"J2", {68.71, -35.41, -1.11}, sg::patch_J2, 0.6785714f, 0.15f, overlay_none},
    {"J3", {70.39, 19.37, 79.73}, sg::patch_J3, 0.6785714f, 0.25f, overlay_none},
    {"J4", {47.42, -30.91, -32.27}, sg::patch_J4, 0.6785714f, 0.35f, overlay_none},
    {"J5", {15.43, -0.24, -0.25}, sg::patch_J5, 0.6785714f, 0.45f, overlay_none},
    {"J6", {88.85, -0.59, 0.25}, sg::patch_J6, 0.6785714f, 0.55f, overlay_none},
    {"J7", {64.0, 25.09, 27.14}, sg::patch_J7, 0.6785714f, 0.65f, overlay_none},
    {"J8", {66.65, 22.21, 28.81}, sg::patch_J8, 0.6785714f, 0.75f, overlay_none},
    {"J9", {62.05, 16.45, 51.74}, sg::patch_J9, 0.6785714f, 0.85f, overlay_none},
    {"J10", {96.71, -0.64, 2.02}, sg::patch_J10, 0.6785714f, 0.95f, sg::overlay_J10},
    {"K1", {49.72, 0.12, 0.64}, sg::patch_K1, 0.75f, 0.05f, sg::overlay_K1},
    {"K2", {85.68, 10.75, 18.39}, sg::patch_K2, 0.75f, 0.15f, overlay_none},
    {"K3", {89.35, -16.38, 6.41}, sg::patch_K3, 0.75f, 0.25f, overlay_none},
    {"K4", {84.59, 5.21, -5.87}, sg::patch_K4, 0.75f, 0.35f, overlay_none},
    {"K5", {83.63, -12.47, -8.89}, sg::patch_K5, 0.75f, 0.45f, overlay_none},
    {"K6", {70.6, -0.24, 0.07}, sg::patch_K6, 0.75f, 0.55f, overlay_none},
    {"K7", {45.14, -0.04, 0.86}, sg::patch_K7, 0.75f, 0.65f, overlay_none},
    {"K8", {20.33, 0.4, -0.21}, sg::patch_K8, 0.75f, 0.75f, overlay_none},
    {"K9", {62.33, -14.54, 54.58}, sg::patch_K9, 0.75f, 0.85f, overlay_none},
    {"K10", {49.74, 0.14, 0.69}, sg::patch_K10, 0.75f, 0.95f, sg::overlay_K10},
    {"L1", {8.08, 0.13, -0.81}, sg::patch_L1, 0.8214286f, 0.05f, sg::overlay_L1},
    {"L2", {23.03, 33.95, 8.88}, sg::patch_L2, 0.8214286f, 0.15f, overlay_none},
    {"L3", {44.35, 67.94, 50.62}, sg::patch_L3, 0.8214286f, 0.25f, overlay_none},
    {"L4", {60.91, 36.55, 4.15}, sg::patch_L4, 0.8214286f, 0.35f, overlay_none},
    {"L5", {62.2, 37.45, 18.18}, sg::patch_L5, 0.8214286f, 0.45f, overlay_none},
    {"L6", {63.33, 51.3, 81.88}, sg::patch_L6, 0.8214286f, 0.55f, overlay_none},
    {"L7", {73.74, -11.45, 85.07}, sg::patch_L7, 0.8214286f, 0.65f, overlay_none},
    {"L8", {62.35, 1.96, 57.52}, sg::patch_L8, 0.8214286f, 0.75f, overlay_none},
    {"L9", {72.77, -29.09, 71.26}, sg::patch_L9, 0.8214286f, 0.85f, overlay_none},
    {"L10", {8.13, 0.15, -0.86}, sg::patch_L10, 0.8214286f, 0.95f, sg::overlay_L10},
    {"M1", {49.71, 0.12, 0.62}, sg::patch_M1, 0.89285713f, 0.05f, sg::overlay_M1},
    {"M2", {42.52, 63.55, 11.43}, sg::patch_M2, 0.89285713f, 0.15f, overlay_none},
    {"M3", {18.09, 32.61, -5.9}, sg::patch_M3, 0.89285713f, 0.25f, overlay_none},
    {"M4", {40.66, 65.54, 31.98}, sg::patch_M4, 0.89285713f, 0.35f, overlay_none},
    {"M5", {53.13, 68.44, 49.57}, sg::patch_M5, 0.89285713f, 0.45f, overlay_none},
    {"M6", {82.08, 23.39, 87.24}, sg::patch_M6, 0.89285713f, 0.55f, overlay_none},
    {"M7", {82.5, 5.29, 96.68}, sg::patch_M7, 0.89285713f, 0.65f, overlay_none},
    {"M8", {71.9, -17.32, 77.72}, sg::patch_M8, 0.89285713f, 0.75f, overlay_none},
    {"M9", {21.95, 13.41, 16.36}, sg::patch_M9, 0.89285713f, 0.85f, overlay_none},
    {"M10", {49.74, 0.12, 0.69}, sg::patch_M10, 0.89285713f, 0.95f, sg::overlay_M10},
    {"N1", {96.79, -0.67, 1.97}, sg::patch_N1, 0.96428573f, 0.05f, sg::overlay_N1},
    {"N2", {49.78, 0.12, 0.65}, sg::patch_N2, 0.96428573f, 0.15f, sg::overlay_N2},
    {"N3", {8.23, 0.18, -0.82}, sg::patch_N3, 0.96428573f, 0.25f, sg::overlay_N3},
    {"N4", {96.73, -0.67, 1.99}, sg::patch_N4, 0.96428573f, 0.35f, sg::overlay_N4},
    {"N5", {49.8, 0.11, 0.67}, sg::patch_N5, 0.96428573f, 0.45f, sg::overlay_N5},
    {"N6", {8.18, 0.15, -0.84}, sg::patch_N6, 0.96428573f, 0.55f, sg::overlay_N6},
    {"N7", {96.73, -0.65, 2.01}, sg::patch_N7, 0.96428573f, 0.65f, sg::overlay_N7},
    {"N8", {49.75, 0.13, 0.67}, sg::patch_N8, 0.96428573f, 0.75f, sg::overlay_N8},
    {"N9", {8.11, 0.15, -0.9}, sg::patch_N9, 0.96428573f, 0.85f, sg::overlay_N9},
    {"N10", {96.55, -0.64, 2.02}, sg::patch_N10, 0.96428573f, 0.95f, sg::overlay_N10},
};

const reference_patch patches_passport_video[] = {
    {"A1", {77.04, -11.02, 52.57}, classic::patch_11, 0.083333336f, 0.125f, classic::overlay_11},
    {"A2", {29.87, 5.78, 9.37}, classic::patch_12, 0.083333336f, 0.375f, classic::overlay_12},
    {"A3", {25.57, -0.33, -0.18}, classic::patch_13, 0.083333336f, 0.625f, classic::overlay_13},
    {"A4", {24.42, -0.08, -0.17}, classic::patch_14, 0.083333336f, 0.875f, classic::overlay_14},
    {"B1", {52.61, 43.63, 22.3}, classic::patch_21, 0.25f, 0.125f, classic::overlay_21},
    {"B2", {43.5, 13.7, 19.93}, classic::patch_22, 0.25f, 0.375f, overlay_none},
    {"B3", {30.6, -0.3, -0.52}, classic::patch_23, 0.25f, 0.625f, overlay_none},
    {"B4", {20.25, -0.19, 0.01}, classic::patch_24, 0.25f, 0.875f, classic::overlay_24},
    {"C1", {54.61, 44.28, -27.73}, classic::patch_31, 0.41666666f, 0.125f, classic::overlay_31},
    {"C2", {61.78, 11.61, 18.21}, classic::patch_32, 0.41666666f, 0.375f, overlay_none},
    {"C3", {45.58, 0.1, 0.17}, classic::patch_33, 0.41666666f, 0.625f, overlay_none},
    {"C4", {4.64, -0.19, -0.54}, classic::patch_34, 0.41666666f, 0.875f, classic::overlay_34},
    {"D1", {41.0, 17.23, -47.24}, classic::patch_41, 0.5833333f, 0.125f, classic::overlay_41},
    {"D2", {56.0, 13.75, 21.83}, classic::patch_42, 0.5833333f, 0.375f, overlay_none},
    {"D3", {55.69, -0.43, 0.28}, classic::patch_43, 0.5833333f, 0.625f, overlay_none},
    {"D4", {90.42, -0.56, 0.54}, classic::patch_44, 0.5833333f, 0.875f, classic::overlay_44},
    {"E1", {71.45, -31.14, -11.68}, classic::patch_51, 0.75f, 0.125f, classic::overlay_51},
    {"E2", {68.97, 10.83, 15.76}, classic::patch_52, 0.75f, 0.375f, overlay_none},
    {"E3", {70.11, 0.11, -0.2}, classic::patch_53, 0.75f, 0.625f, overlay_none},
    {"E4", {94.58, 0.11, 1.69}, classic::patch_54, 0.75f, 0.875f, classic::overlay_54},
    {"F1", {66.57, -44.06, 36.23}, classic::patch_61, 0.9166667f, 0.125f, classic::overlay_61},
    {"F2", {71.94, 10.4, 14.21}, classic::patch_62, 0.9166667f, 0.375f, classic::overlay_62},
    {"F3", {85.23, 0.03, -0.1}, classic::patch_63, 0.9166667f, 0.625f, classic::overlay_63},
    {"F4", {97.41, -0.56, 3.92}, classic::patch_64, 0.9166667f, 0.875f, classic::overlay_64},
};

const reference_patch patches_video[] = {
    {"A1", {29.87, 5.78, 9.37}, video::patch_A1, 0.0519231f, 0.0893855f, video::overlay_A1},
    {"A2", {43.5, 13.7, 19.93}, video::patch_A2, 0.0519231f, 0.226257f, video::overlay_A2},
    {"A3", {61.78, 11.61, 18.21}, video::patch_A3, 0.0519231f, 0.363128f, video::overlay_A3},
    {"A4", {56.0, 13.75, 21.83}, video::patch_A4, 0.0519231f, 0.5f, video::overlay_A4},
    {"A5", {68.97, 10.83, 15.76}, video::patch_A5, 0.0519231f, 0.636872f, video::overlay_A5},
    {"A6", {71.94, 10.4, 14.21}, video::patch_A6, 0.0519231f, 0.773743f, video::overlay_A6},
    {"A7", {20.25, -0.19, 0.01}, video::patch_A7, 0.0519231f, 0.910614f, video::overlay_A7},
    {"B1", {25.57, -0.33, -0.18}, video::patch_B1, 0.15f, 0.0893855f, video::overlay_B1},
    {"B2", {30.6, -0.3, -0.52}, video::patch_B2, 0.15f, 0.226257f, video::overlay_B2},
    {"B3", {45.58, 0.1, 0.17}, video::patch_B3, 0.15f, 0.363128f, video::overlay_B3},
    {"B4", {55.69, -0.43, 0.28}, video::patch_B4, 0.15f, 0.5f, video::overlay_B4},
    {"B5", {70.11, 0.11, -0.2}, video::patch_B5, 0.15f, 0.636872f, video::overlay_B5},
    {"B6", {85.23, 0.03, -0.1}, video::patch_B6, 0.15f, 0.773743f, video::overlay_B6},
    {"B7", {96.95, -0.35, 4.11}, video::patch_B7, 0.15f, 0.910614f, video::overlay_B7},
    {"C1", {20.25, -0.19, 0.01}, video::patch_C1, 0.85f, 0.0893855f, video::overlay_C1},
    {"C2", {77.04, -11.02, 52.57}, video::patch_C2, 0.85f, 0.226257f, video::overlay_C2},
    {"C3", {52.61, 43.63, 22.3}, video::patch_C3, 0.85f, 0.363128f, video::overlay_C3},
    {"C4", {54.61, 44.28, -27.73}, video::patch_C4, 0.85f, 0.5f, video::overlay_C4},
    {"C5", {41.0, 17.23, -47.24}, video::patch_C5, 0.85f, 0.636872f, video::overlay_C5},
    {"C6", {71.45, -31.14, -11.68}, video::patch_C6, 0.85f, 0.773743f, video::overlay_C6},
    {"C7", {66.57, -44.06, 36.23}, video::patch_C7, 0.85f, 0.910614f, video::overlay_C7},
    {"D1", {96.95, -0.35, 4.11}, video::patch_D1, 0.948077f, 0.0893855f, video::overlay_D1},
    {"D2", {53.928, -11.02, 52.57}, video::patch_D2, 0.948077f, 0.226257f, video::overlay_D2},
    {"D3", {36.827, 43.63, 22.3}, video::patch_D3, 0.948077f, 0.363128f, video::overlay_D3},
    {"D4", {38.227, 44.28, -27.73}, video::patch_D4, 0.948077f, 0.5f, video::overlay_D4},
    {"D5", {28.7, 17.23, -47.24}, video::patch_D5, 0.948077f, 0.636872f, video::overlay_D5},
    {"D6", {50.015, -31.14, -11.68}, video::patch_D6, 0.948077f, 0.773743f, video::overlay_D6},
    {"D7", {46.599, -44.06, 36.23}, video::patch_D7, 0.948077f, 0.910614f, video::overlay_D7},
};

const reference_patch patches_dkk[] = {
    {"A1 - card white", {92.5915, 0.6897, 1.5222}, dkk::patch_A1, 0.083333336f, 0.25f, dkk::overlay_A1},
    {"B1 - red", {47.5104, 65.838, 40.6333}, dkk::patch_B1, 0.083333336f, 0.625f, dkk::overlay_B1},
    {"C1 - dark red", {40.8631, 46.9821, 21.006}, dkk::patch_C1, 0.083333336f, 0.875f, dkk::overlay_C1},
    {"A2 - 35% gray", {71.3285, 0.1636, 0.786}, dkk::patch_A2, 0.25f, 0.25f, dkk::overlay_A2},
    {"B2 - yellow", {87.6796, -1.3661, 89.2933}, dkk::patch_B2, 0.25f, 0.625f, overlay_none},
    {"C2 - orange", {56.6589, 30.4837, 59.9281}, dkk::patch_C2, 0.25f, 0.875f, dkk::overlay_C2},
    {"A3 - 50% gray", {60.6371, 0.2374, 0.7715}, dkk::patch_A3, 0.41666666f, 0.25f, dkk::overlay_A3},
    {"B3 - green", {62.2863, -32.6502, 50.3457}, dkk::patch_B3, 0.41666666f, 0.625f, overlay_none},
    {"C3 - teal", {52.1236, -19.4594, -23.3879}, dkk::patch_C3, 0.41666666f, 0.875f, dkk::overlay_C3},
    {"A4 - 50% gray", {49.1261, 0.1009, 0.9958}, dkk::patch_A4, 0.5833333f, 0.25f, dkk::overlay_A4},
    {"B4 - light blue", {56.2316, -30.1695, -46.111}, dkk::patch_B4, 0.5833333f, 0.625f, overlay_none},
    {"C4 - purple", {49.2884, 47.8334, -10.8422}, dkk::patch_C4, 0.5833333f, 0.875f, dkk::overlay_C4},
    {"A5 - 75% gray", {37.2741, 0.4049, 1.8371}, dkk::patch_A5, 0.75f, 0.25f, dkk::overlay_A5},
    {"B5 - dark blue", {22.0911, 4.268, -22.3825}, dkk::patch_B5, 0.75f, 0.625f, overlay_none},
    {"C5 - skin 1", {67.0541, 14.0175, 15.1866}, dkk::patch_C5, 0.75f, 0.875f, dkk::overlay_C5},
    {"A6 - card black", {20.1887, 0.3079, 0.3134}, dkk::patch_A6, 0.9166667f, 0.25f, dkk::overlay_A6},
    {"B6 - magenta", {49.6936, 68.8487, -1.0495}, dkk::patch_B6, 0.9166667f, 0.625f, dkk::overlay_B6},
    {"C6 - skin 2", {63.1167, 12.0942, 15.2145}, dkk::patch_C6, 0.9166667f, 0.875f, dkk::overlay_C6},
};

const reference_patch patches_oneshot[] = {
    {"A1 - card white", {92.9576, 0.6904, -2.7898}, oneshot::patch_A1, 0.16666667f, 0.16666667f, oneshot::overlay_A1},
    {"A2 - 18% grey", {49.5724, 0.8738, -0.5152}, oneshot::patch_A2, 0.16666667f, 0.5f, oneshot::overlay_A2},
    {"A3 - card black", {10.6596, 0.6606, 0.2127}, oneshot::patch_A3, 0.16666667f, 0.8333333f, oneshot::overlay_A3},
    {"B1 - skin 1", {70.3385, 19.3317, 30.8983}, oneshot::patch_B1, 0.5f, 0.125f, oneshot::overlay_B1},
    {"B2 - skin 2", {70.6199, 20.3789, 24.1318}, oneshot::patch_B2, 0.5f, 0.375f, overlay_none},
    {"B3 - skin 3", {51.5254, 17.4316, 23.1978}, oneshot::patch_B3, 0.5f, 0.625f, overlay_none},
    {"B4 - skin 4", {36.9412, 12.273, 14.8637}, oneshot::patch_B4, 0.5f, 0.875f, oneshot::overlay_B4},
    {"C1 - red", {52.1532, 39.7469, 19.8905}, oneshot::patch_C1, 0.75f, 0.16666667f, oneshot::overlay_C1},
    {"C2 - green", {67.187, -41.0567, 34.8851}, oneshot::patch_C2, 0.75f, 0.5f, overlay_none},
    {"C3 - blue", {43.3715, 19.4932, -49.4422}, oneshot::patch_C3, 0.75f, 0.8333333f, oneshot::overlay_C3},
    {"D1 - cyan", {68.9955, -26.8666, -11.1075}, oneshot::patch_D1, 0.916667f, 0.16666667f, oneshot::overlay_D1},
    {"D2 - magenta", {54.2772, 48.0691, -31.9389}, oneshot::patch_D2, 0.916667f, 0.5f, oneshot::overlay_D2},
    {"D3 - yellow", {73.5233, -7.7906, 45.7722}, oneshot::patch_D3, 0.916667f, 0.8333333f, oneshot::overlay_D3},
};

// clang-format on

// clang-format off
const reference_card refcard_XRITE_COLORCHECKER_24_BEFORE_NOV2014 = {
    XRITE_COLORCHECKER_24_BEFORE_NOV2014, 24, patches_classic_before, 96.0f,
    {"TL (dark skin)", "TR (bluish green)", "BR (black)", "BL (white)"},
    1.0f / 120.0f, 1.0f / 120.0f, 1.0f / 80.0f, 1.0f / 80.0f, 1.5f, 144, 96, 96.0f};

const reference_card refcard_XRITE_COLORCHECKER_24_AFTER_NOV2014 = {
    XRITE_COLORCHECKER_24_AFTER_NOV2014, 24, patches_classic_after, 96.0f,
    {"TL (dark skin)", "TR (bluish green)", "BR (black)", "BL (white)"},
    1.0f / 120.0f, 1.0f / 120.0f, 1.0f / 80.0f, 1.0f / 80.0f, 1.5f, 144, 96, 96.0f};

const reference_card refcard_DATACOLOR_SPYDERCHECKR_24 = {
    DATACOLOR_SPYDERCHECKR_24, 24, patches_spyder24, 96.0f,
    {"TL (bluish green)", "TR (dark skin)", "BR (black)", "BL (white)"},
    1.0f / 120.0f, 1.0f / 120.0f, 1.0f / 80.0f, 1.0f / 80.0f, 1.5f, 144, 96, 96.0f};

const reference_card refcard_DATACOLOR_SPYDERCHECKR = {
    DATACOLOR_SPYDERCHECKR, 48, patches_spyder, 92.881256f,
    {"TL (low sat red)", "TR (bluish green)", "BR (dark skin)", "BL (low sat magenta)"},
    0.0321429f, 0.0321429f, 0.05f, 0.05f, 1.5f, 200, 129, 129.0f};

const reference_card refcard_XRITE_COLORCHECKER_SG_BEFORE_NOV2014 = {
    XRITE_COLORCHECKER_SG_BEFORE_NOV2014, 140, patches_sg_before, 96.0f,
    {"Top Left", "Top Right", "Bottom Right", "Bottom Left"},
    1.0f / 280.0f, 1.0f / 280.0f, 0.005f, 0.005f, 1.5f, 140, 100, 100.0f};

const reference_card refcard_XRITE_COLORCHECKER_SG_AFTER_NOV2014 = {
    XRITE_COLORCHECKER_SG_AFTER_NOV2014, 140, patches_sg_after, 96.0f,
    {"Top Left", "Top Right", "Bottom Right", "Bottom Left"},
    1.0f / 280.0f, 1.0f / 280.0f, 0.005f, 0.005f, 1.5f, 140, 100, 100.0f};

const reference_card refcard_XRITE_COLORCHECKER_PASSPORT_VIDEO = {
    XRITE_COLORCHECKER_PASSPORT_VIDEO, 24, patches_passport_video, 96.0f,
    {"TL (yellow)", "TR (green)", "BR (white)", "BL (gray)"},
    1.0f / 120.0f, 1.0f / 120.0f, 1.0f / 80.0f, 1.0f / 80.0f, 1.5f, 144, 96, 96.0f};

// The patches sit in two groups at opposite corners with the card's body between them;
// seen turned and tilted, the gap between the groups reaches 3.5 times a group's radius.
const reference_card refcard_XRITE_COLORCHECKER_VIDEO_COMPAT = {
    XRITE_COLORCHECKER_VIDEO_COMPAT, 28, patches_video, 96.0f,
    {"TL (dark skin)", "TR (white)", "BR (dark green)", "BL (black)"},
    1.0f / 63.0f, 1.0f / 63.0f, 0.0391566f, 0.0391566f, 3.5f, 160, 112, 112.0f};

// The top margin reaches over the tall row A, since the card is located from its
// square rows B and C.
const reference_card refcard_DGKCOLORTOOLS_DKK_5x7 = {
    DGKCOLORTOOLS_DKK_5x7, 18, patches_dkk, 96.0f,
    {"TL (card white)", "TR (card black)", "BR (skin 2)", "BL (dark red)"},
    1.0f / 120.0f, 1.0f / 120.0f, 39.0f / 38.0f, 1.0f / 80.0f, 1.5f, 144, 96, 96.0f};

// Only columns C and D are square enough to be found as patches; the card reaches twice
// their width further to the left. Margins and corner names are in the frame of the
// patch centres (A1 card white at the top left).
const reference_card refcard_DSCLABS_ONESHOT = {
    DSCLABS_ONESHOT, 13, patches_oneshot, 87.567566f,
    {"TL (card white)", "TR (cyan)", "BR (yellow)", "BL (card black)"},
    2.0f, 0.0f, 0.0f, 0.0f, 2.0f, 164, 100, 100.0f};
// clang-format on

const refcard_type CARD_TYPE[CARD_TYPE_COUNT + 1] = {
    DATACOLOR_SPYDERCHECKR_24,
    DATACOLOR_SPYDERCHECKR_24,
    DATACOLOR_SPYDERCHECKR,
    DGKCOLORTOOLS_DKK_5x7,
    DSCLABS_ONESHOT,
    XRITE_COLORCHECKER_24_BEFORE_NOV2014,
    XRITE_COLORCHECKER_24_AFTER_NOV2014,
    XRITE_COLORCHECKER_SG_BEFORE_NOV2014,
    XRITE_COLORCHECKER_SG_AFTER_NOV2014,
    XRITE_COLORCHECKER_VIDEO_COMPAT,
    XRITE_COLORCHECKER_PASSPORT_VIDEO,
};

const char* const CARD_TYPE_STR =
    "SpyderCHECKR 24 [Datacolor]|"
    "SpyderCHECKR [Datacolor]|"
    "DKK 5x7 [DGK Color Tools]|"
    "OneShot Plus [DSC Labs]|"
    "ColorChecker Classic / Passport Photo (Before Nov 2014) [Calibrite / X-Rite]|"
    "ColorChecker Classic / Passport Photo (After Nov 2014) [Calibrite / X-Rite]|"
    "ColorChecker Digital SG (Before Nov 2014) [Calibrite / X-Rite]|"
    "ColorChecker Digital SG (After Nov 2014) [Calibrite / X-Rite]|"
    "ColorChecker Video [Calibrite / X-Rite]|"
    "ColorChecker Passport Video [Calibrite / X-Rite]";

const reference_card* refcard(refcard_type type) {
    switch (type) {
        case XRITE_COLORCHECKER_24_BEFORE_NOV2014:
            return &refcard_XRITE_COLORCHECKER_24_BEFORE_NOV2014;
        case XRITE_COLORCHECKER_24_AFTER_NOV2014:
            return &refcard_XRITE_COLORCHECKER_24_AFTER_NOV2014;
        case DATACOLOR_SPYDERCHECKR_24:
            return &refcard_DATACOLOR_SPYDERCHECKR_24;
        case DATACOLOR_SPYDERCHECKR:
            return &refcard_DATACOLOR_SPYDERCHECKR;
        case XRITE_COLORCHECKER_SG_BEFORE_NOV2014:
            return &refcard_XRITE_COLORCHECKER_SG_BEFORE_NOV2014;
        case XRITE_COLORCHECKER_SG_AFTER_NOV2014:
            return &refcard_XRITE_COLORCHECKER_SG_AFTER_NOV2014;
        case XRITE_COLORCHECKER_PASSPORT_VIDEO:
            return &refcard_XRITE_COLORCHECKER_PASSPORT_VIDEO;
        case XRITE_COLORCHECKER_VIDEO_COMPAT:
            return &refcard_XRITE_COLORCHECKER_VIDEO_COMPAT;
        case DGKCOLORTOOLS_DKK_5x7:
            return &refcard_DGKCOLORTOOLS_DKK_5x7;
        case DSCLABS_ONESHOT:
            return &refcard_DSCLABS_ONESHOT;
    }
    return nullptr;
}
