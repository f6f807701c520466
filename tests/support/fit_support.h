// Helpers shared by the fitting, render and LUT tests: parameter records for catalogue
// entries and the reference evaluation of a whole pixel.
#pragma once

#include <cmath>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/parameters.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"

namespace fit_support {

// Catalogue items whose curve has the given form (0-7).
inline int item_with_form(int form) {
    static const int ITEMS[8] = {1, 2, 5, 6, 43, 37, 48, 44};
    return ITEMS[form];
}

// A record with the effect's defaults but the given popup items on each side; both cards
// are reference cards of the default chart in their side's colour space.
inline parameters params_for(int in_item, int out_item, int mode) {
    parameters p;
    parameters_defaults(&p);
    p.input_transfer = TRANSFER_FUNCTION[in_item];
    p.input_space = COLOR_SPACE[in_item];
    p.output_transfer = TRANSFER_FUNCTION[out_item];
    p.output_space = COLOR_SPACE[out_item];
    cardMakeRef(&p.source, &p.input_space, XRITE_COLORCHECKER_24_AFTER_NOV2014);
    cardMakeRef(&p.target, &p.output_space, XRITE_COLORCHECKER_24_AFTER_NOV2014);
    p.mode = mode;
    return p;
}

// The reference functions over RGBA pixels: alpha is left as it came in.
inline void reference_pixels(const float* coeffs, float* rgba, int count) {
    std::vector<float> alpha((size_t)count);
    for (int i = 0; i < count; ++i) alpha[(size_t)i] = rgba[4 * i + 3];
    apply_input_transfer(coeffs, rgba, 4 * count);
    apply_correction_and_adjustments(coeffs, rgba, count);
    apply_output_transfer(coeffs, rgba, 4 * count);
    for (int i = 0; i < count; ++i) rgba[4 * i + 3] = alpha[(size_t)i];
}

}  // namespace fit_support
