// Fitting the colour correction from a source card and a target card.
#pragma once

struct parameters;

// Writes DELTAE, GAINS1-GAINS4 and GAINSY (slots 28-67) from the record's cards, colour
// spaces, correction mode, white balance, preserve lightness, exposure and saturation.
void set_coefficents_for_correction(float* coeffs, const parameters* p);

// The opaque data of the two objective functions below.
struct card_fit_data {
    int n;                    // patch count
    const double* rgb;        // n x 3 linear R, G, B
    const double* reference;  // n x 3 OKLab of the reference patches
    const double* weights;    // n
    double weight_sum;
    const double* to_cone;    // 3x3, card_WB_deltaE only
    const double* from_cone;  // 3x3, card_WB_deltaE only
};

// Weighted mean OKLab distance of x * rgb_i (x a row-major 3x3 RGB -> XYZ matrix) to the
// reference patches.
double card_deltaE(const double* x, const void* data);
// The same for from_cone * diag(x) * to_cone * rgb_i (x three von Kries gains).
double card_WB_deltaE(const double* x, const void* data);
