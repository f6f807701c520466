// The 74 slots of the coefficient vector. The list is written once, as an X-macro, so
// that both the C++ enumeration and the slot names inside the GPU kernel sources come
// from it. Keep this file free of anything but the list and the enumeration.
#pragma once

// clang-format off
#define CHROMALANE_SLOTS(X)                                                                       \
    X(INPUT_LEVELS_A) X(INPUT_LEVELS_B) X(INPUT_TYPE) X(INPUT_A) X(INPUT_B) X(INPUT_C)           \
    X(INPUT_D) X(INPUT_E) X(INPUT_F) X(INPUT_G) X(INPUT_H) X(INPUT_I) X(INPUT_CUT)               \
    X(INPUT_CUT2) X(OUTPUT_TYPE) X(OUTPUT_A) X(OUTPUT_B) X(OUTPUT_C) X(OUTPUT_D) X(OUTPUT_E)     \
    X(OUTPUT_F) X(OUTPUT_G) X(OUTPUT_H) X(OUTPUT_I) X(OUTPUT_CUT) X(OUTPUT_CUT2)                 \
    X(OUTPUT_LEVELS_A) X(OUTPUT_LEVELS_B) X(DELTAE)                                              \
    X(GAINS1_11) X(GAINS1_12) X(GAINS1_13) X(GAINS1_21) X(GAINS1_22) X(GAINS1_23)                \
    X(GAINS1_31) X(GAINS1_32) X(GAINS1_33)                                                       \
    X(GAINS2_11) X(GAINS2_12) X(GAINS2_13) X(GAINS2_21) X(GAINS2_22) X(GAINS2_23)                \
    X(GAINS2_31) X(GAINS2_32) X(GAINS2_33)                                                       \
    X(GAINS3_11) X(GAINS3_12) X(GAINS3_13) X(GAINS3_21) X(GAINS3_22) X(GAINS3_23)                \
    X(GAINS3_31) X(GAINS3_32) X(GAINS3_33)                                                       \
    X(GAINS4_11) X(GAINS4_12) X(GAINS4_13) X(GAINS4_21) X(GAINS4_22) X(GAINS4_23)                \
    X(GAINS4_31) X(GAINS4_32) X(GAINS4_33)                                                       \
    X(GAINSY_1) X(GAINSY_2) X(GAINSY_3) X(WV) X(GAMMA) X(AB_SCALE) X(CONTRAST) X(BLACKS)         \
    X(WHITES)
// clang-format on

#ifdef __cplusplus
enum coefficient_slot : int {
#define CHROMALANE_SLOT_ENUM(name) name,
    CHROMALANE_SLOTS(CHROMALANE_SLOT_ENUM)
#undef CHROMALANE_SLOT_ENUM
        COEFFICIENT_COUNT
};
static_assert(COEFFICIENT_COUNT == 74, "the coefficient vector has 74 slots");
static_assert(WHITES == 73 && WV == 68 && GAINS1_11 == 29 && OUTPUT_LEVELS_A == 26);
#endif
