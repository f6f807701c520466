#include "pipeline/lut.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "pipeline/evaluate.h"
#include "platform/platform.h"

void LUT_generate(const float* coeffs, float* lut, int n) {
    if (n < 2) return;
    const float step = (float)(n - 1);
    size_t i = 0;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r, i += 4) {
                lut[i] = (float)r / step;
                lut[i + 1] = (float)g / step;
                lut[i + 2] = (float)b / step;
                lut[i + 3] = 1.0f;
            }
    const int entries = n * n * n;
    apply_input_transfer(coeffs, lut, 4 * entries);
    apply_correction_and_adjustments(coeffs, lut, entries);
    apply_output_transfer(coeffs, lut, 4 * entries);
}

namespace {

// "%.5f" without the process locale: the decimal separator is always a point.
char* put_fixed5(char* p, char* end, float v) {
    const auto r = std::to_chars(p, end, (double)v, std::chars_format::fixed, 5);
    return r.ec == std::errc{} ? r.ptr : p;
}

}  // namespace

std::string LUT_cube_text(const float* lut, int n) {
    if (n < 2) return {};
    std::string text = "LUT_3D_SIZE " + std::to_string(n) + "\n";
    const size_t entries = (size_t)n * (size_t)n * (size_t)n;
    text.reserve(text.size() + entries * 24);
    char line[512];
    for (size_t i = 0; i < entries; ++i) {
        char* p = line;
        char* end = line + sizeof line;
        for (int k = 0; k < 3; ++k) {
            p = put_fixed5(p, end, lut[4 * i + (size_t)k]);
            *p++ = k < 2 ? ' ' : '\n';
        }
        text.append(line, p);
    }
    return text;
}

bool LUT_write_cube(std::FILE* f, const float* lut, int n) {
    if (!f || n < 2) return false;
    const std::string text = LUT_cube_text(lut, n);
    return std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0 &&
           !std::ferror(f);
}

bool LUT_write_cube_file(const std::string& path, const float* lut, int n, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (n < 2) return fail("the table needs at least 2 points per axis");
    const std::string text = LUT_cube_text(lut, n);
    if (!filesave(path.c_str(), text.data(), text.size()))
        return fail("cannot write '" + path + "': " + std::strerror(errno));
    return true;
}
