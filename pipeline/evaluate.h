// The per-pixel transform, evaluated plainly with the standard library: the reference
// that every faster evaluator (render driver, LUT, GPU kernels) is tested against.
#pragma once

// Input stage (levels, decoding curve, clamp at 0), in place, on `count` floats.
void apply_input_transfer(const float* coeffs, float* values, int count);
// Correction stage on `count` RGBA pixels; alpha is left alone.
void apply_correction_and_adjustments(const float* coeffs, float* pixels, int count);
// Output stage (clamp, encoding curve, levels), in place, on `count` floats.
void apply_output_transfer(const float* coeffs, float* values, int count);
