// Colour conversions between linear RGB of a colour space, CIE XYZ, CIELAB
// relative to D50 and OKLab, and chromatic-adaptation matrices. Colours are
// three doubles, matrices nine doubles row-major acting on column vectors.
// Every function writes its first argument, which must not alias an input.
#pragma once

#include "pipeline/transfer.h"

// Bradford cone-response matrix and its inverse.
extern const double M_Bradford[9];
extern const double M_Bradfordinv[9];
// CAT02 matrix and its inverse.
extern const double M_CAT02[9];
extern const double M_CAT02inv[9];
// OKLab: XYZ (D65) -> LMS, and cube-rooted LMS -> L, a, b; with inverses.
extern const double M_OKLab1[9];
extern const double M_OKLab1inv[9];
extern const double M_OKLab2[9];
extern const double M_OKLab2inv[9];

// Fixed white XYZ vectors used on the CIELAB -> OKLab route.
extern const double XYZ_D50[3];
extern const double XYZ_D65[3];

// D50 white chromaticity, the reference of CIELAB here.
constexpr double D50_x = 0.34567;
constexpr double D50_y = 0.3585;

// CIE 1931 2-degree observer, 360-830 nm in 5 nm steps: nm, xbar, ybar, zbar.
constexpr int COLOR_STANDARD_OBSERVER_ROWS = 95;
extern const double color_standard_observer[COLOR_STANDARD_OBSERVER_ROWS][4];

// Linear RGB -> XYZ (white has Y = 1) of a colour space, and its inverse.
void M_XYZ_from_RGB(double* M, const color_space* cs);
void M_RGB_from_XYZ(double* M, const color_space* cs);

// Bradford adaptation of one colour; target white first, source white second.
void XYZ_change_illuminate(double* out, const double* XYZ, double target_x, double target_y,
                           double source_x, double source_y);
// CAT02 adaptation matrix; target white first, source white second.
void M_XYZ_change_illuminate(double* M, double target_x, double target_y, double source_x,
                             double source_y);

void CIExy_from_XYZ(double* x, double* y, const double* XYZ);
// CIELAB (D50) -> XYZ relative to D50.
void XYZ_from_CIELabD50(double* XYZ, const double* Lab);
// CIELAB (D50) -> linear RGB of the colour space (Bradford to its white).
void linearRGB_from_CIELabD50(double* RGB, const double* Lab, const color_space* cs);
// XYZ relative to D50 -> CIELAB (D50).
void CIELabD50_from_XYZ(double* Lab, const double* XYZ);
// Linear RGB of the colour space -> CIELAB (D50) (Bradford from its white).
void CIELabD50_from_linearRGB(double* Lab, const double* RGB, const color_space* cs);
// The CIEDE2000 colour difference of two CIELAB colours (kL = kC = kH = 1).
double deltaE2000(const double* lab1, const double* lab2);
// XYZ relative to D65 -> OKLab.
void OKLab_from_XYZ(double* OKLab, const double* XYZ);
// CIELAB (D50) -> OKLab (Bradford D50 -> D65 on the fixed white vectors).
void OKLab_from_CIELabD50(double* OKLab, const double* Lab);
