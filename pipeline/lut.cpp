#include "pipeline/lut.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "pipeline/evaluate.h"

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

bool LUT_write_cube(std::FILE* f, const float* lut, int n) {
    if (!f || n < 2) return false;
    char line[512];
    const std::string header = "LUT_3D_SIZE " + std::to_string(n) + "\n";
    if (std::fwrite(header.data(), 1, header.size(), f) != header.size()) return false;
    std::vector<char> buffer;
    buffer.reserve(1 << 16);
    const size_t entries = (size_t)n * (size_t)n * (size_t)n;
    for (size_t i = 0; i < entries; ++i) {
        char* p = line;
        char* end = line + sizeof line;
        for (int k = 0; k < 3; ++k) {
            p = put_fixed5(p, end, lut[4 * i + (size_t)k]);
            *p++ = k < 2 ? ' ' : '\n';
        }
        buffer.insert(buffer.end(), line, p);
        if (buffer.size() > (1 << 16) - 256) {
            if (std::fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) return false;
            buffer.clear();
        }
    }
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size())
        return false;
    return std::fflush(f) == 0 && !std::ferror(f);
}

bool LUT_write_cube_file(const std::string& path, const float* lut, int n, std::string* error) {
    namespace fs = std::filesystem;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (n < 2) return fail("the table needs at least 2 points per axis");
    // A uniquely named temporary beside the target, renamed over it once complete, so
    // that readers never see a half-written table.
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string tmp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 16 && !f; ++attempt) {
        tmp = path + ".tmp" + std::to_string(rd()) + "-" + std::to_string(counter++);
        f = std::fopen(tmp.c_str(), "wbx");
    }
    if (!f) return fail("cannot create a file beside '" + path + "': " + std::strerror(errno));
    const bool written = LUT_write_cube(f, lut, n);
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !closed) {
        fs::remove(tmp, ec);
        return fail("cannot write '" + path + "'");
    }
    fs::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        return fail("cannot write '" + path + "': " + ec.message());
    }
    return true;
}
