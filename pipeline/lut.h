// Sampling the per-pixel transform into a 3-D lookup table, and writing it as a cube file.
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
