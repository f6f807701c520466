// Sampling the per-pixel transform into a 3-D lookup table, and writing it as a cube file,
// as a cube with a 1-D shaper section, or as a Common LUT Format (CLF) file.
#pragma once

#include <cstdio>
#include <string>

// Fills 16*n^3 bytes: n^3 entries of R, G, B, A (red fastest), for n >= 2.
void LUT_generate(const float* coeffs, float* lut, int n);

// The cube text: "LUT_3D_SIZE n", then n^3 lines "%.5f %.5f %.5f", LF endings, independent
// of the process locale. Empty for n < 2.
std::string LUT_cube_text(const float* lut, int n);

// Writes the cube text ("LUT_3D_SIZE n", then n^3 lines "%.5f %.5f %.5f", LF endings,
// independent of the process locale) to an open stream. Returns false on a write error.
bool LUT_write_cube(std::FILE* f, const float* lut, int n);

// Writes the cube file as filesave writes any file: a regular file appears whole or not at
// all, a pipe or device is written in place. Returns false, with `error` set when given
// (naming the path and the system's reason), on failure.
bool LUT_write_cube_file(const std::string& path, const float* lut, int n,
                         std::string* error = nullptr);

// ---------------------------------------------------------------------------
// Tables behind a 1-D shaper

// How a shaper spreads the table's points over the input. Code values (log and display
// curves) fill 0..1 already, so their shaper is the identity there. Scene-linear values
// run from black far above 1, so they go through a logarithm with a linear foot:
//     y = log2(1 + x / LUT_SHAPER_FOOT) / log2(1 + max / LUT_SHAPER_FOOT)
// which maps 0..max onto 0..1, keeps about as many points per stop from the foot up to
// `max`, and stays finite and smooth at black.
enum lut_shaper_kind { LUT_SHAPER_CODE, LUT_SHAPER_LOG };
struct lut_shaper {
    lut_shaper_kind kind = LUT_SHAPER_CODE;
    double max = 1.0;  // top of the domain; the bottom is always 0
};
constexpr double LUT_SHAPER_FOOT = 1.0 / 64.0;
// Entries of the sampled 1-D shaper in the files.
constexpr int LUT_SHAPER_POINTS = 4096;
// The default and smallest top of a scene-linear domain.
constexpr double LUT_LINEAR_MAX = 16.0;

// The shaper for the transform's input: a log shaper up to `max` when its decoding curve
// is linear (scene-linear input), the code range otherwise.
lut_shaper LUT_shaper_for(const float* coeffs, double max);
// Domain value to table coordinate (0..1, clamped) and back.
double LUT_shaper_encode(const lut_shaper& s, double x);
double LUT_shaper_decode(const lut_shaper& s, double y);

// Like LUT_generate, but the lattice point at coordinate y holds the transform of
// LUT_shaper_decode(s, y).
void LUT_generate_shaped(const float* coeffs, float* lut, int n, const lut_shaper& s);

enum lut_format { LUT_FORMAT_CUBE, LUT_FORMAT_CLF, LUT_FORMAT_CUBE_SHAPER };
// "cube", "clf", "cube-shaper"; false for any other name.
bool LUT_format_from_name(const std::string& name, lut_format* format);

// Writes a table made by LUT_generate_shaped in the format, with its domain stated in the
// file: the cube with LUT_1D_INPUT_RANGE and the shaper as a 1-D section before the 3-D
// one; the CLF as a clamping Range onto 0..1, the shaper as a LUT1D, then the LUT3D. The
// plain cube holds no shaper and is only right for a code-range shaper. Numbers are
// written locale-independently, shortest round-trip for the shaper formats.
bool LUT_write(std::FILE* f, lut_format format, const float* lut, int n, const lut_shaper& s,
               const std::string& title);
// The same into a file that appears whole or not at all.
bool LUT_write_file(const std::string& path, lut_format format, const float* lut, int n,
                    const lut_shaper& s, const std::string& title, std::string* error = nullptr);

// Text with &, <, > and " escaped, safe inside XML (and HTML) text and attribute values.
std::string LUT_xml_text(const std::string& text);
