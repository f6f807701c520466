// Every effect parameter value that a frame needs, and the assembly of the coefficient
// vector from it.
#pragma once

#include <cstdint>

#include "cards/card.h"
#include "pipeline/transfer.h"

// Correction modes: the raw 1-based values of the "Color Correction" popup, plus -1
// (identity without highlight protection, used internally).
enum correction_mode : int32_t {
    CORRECTION_IDENTITY = -1,
    CORRECTION_NONE = 1,
    CORRECTION_PER_CHANNEL = 2,
    CORRECTION_MIX_CHANNELS = 3,
    CORRECTION_DELTAE_WB = 4,
    CORRECTION_DELTAE = 5,
};

// Compared byte for byte (GPU table reuse, coefficient memo), so it must always be
// zero-filled before it is filled: use parameters_clear or parameters_defaults, never a
// partially initialised local.
struct parameters {
    transfer_function input_transfer;  // curve that linearises the footage
    color_space input_space;           // primaries and white of the footage
    card source;                       // patch colours read from the footage
    card target;                       // reference patch colours to be reached
    int32_t mode;                      // correction_mode value
    bool white_balance;
    bool preserve_lightness;
    float exposure;    // EV
    float grays;       // input level the tone curve maps to 0.5
    float contrast;    // stops
    float whites;      // upper-half tone bend
    float blacks;      // lower-half tone bend
    float saturation;  // percent, 100 = unchanged
    bool highlight_protection;
    transfer_function output_transfer;  // curve that encodes the result
    color_space output_space;           // primaries and white of the result
};

// Zero-fills the whole record, padding included.
void parameters_clear(parameters* p);

// Zero-fills, then sets the effect's defaults: popup entry `transfer_as_popup(2)` on both
// sides, both cards the reference card of chart `refcard_type` 1 in that colour space,
// "deltaE", white balance and preserve lightness on, exposure 0, grays 0.5, contrast,
// whites and blacks 0, saturation 100, highlight protection on.
void parameters_defaults(parameters* p);

// Fills all 74 slots of the coefficient vector from the record. Pure; fits afresh.
void set_coefficents(float* coeffs, const parameters* p);

// As set_coefficents, but answers from a small process-wide memo of recently built
// vectors keyed by the record's bytes, so an unchanged frame does not fit again. Safe to
// call from several threads at once.
void set_coefficents_memo(float* coeffs, const parameters* p);

// Empties the memo; counts since the last clear (for tests and benchmarks).
void coefficient_memo_clear();
struct coefficient_memo_stats {
    long hits;
    long misses;
};
coefficient_memo_stats coefficient_memo_counts();
