#include "pipeline/lut.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/evaluate.h"
#include "pipeline/slots.h"
#include "platform/platform.h"

namespace {

// The table's nodes at the given positions along every axis (red fastest), taken through
// the whole pipeline.
void generate_on_axis(const float* coeffs, float* lut, const std::vector<float>& axis) {
    const size_t n = axis.size();
    size_t i = 0;
    for (size_t b = 0; b < n; ++b)
        for (size_t g = 0; g < n; ++g)
            for (size_t r = 0; r < n; ++r, i += 4) {
                lut[i] = axis[r];
                lut[i + 1] = axis[g];
                lut[i + 2] = axis[b];
                lut[i + 3] = 1.0f;
            }
    const int entries = (int)(n * n * n);
    apply_input_transfer(coeffs, lut, 4 * entries);
    apply_correction_and_adjustments(coeffs, lut, entries);
    apply_output_transfer(coeffs, lut, 4 * entries);
}

// Writes the whole text to an open stream.
bool write_text(std::FILE* f, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0 &&
           !std::ferror(f);
}

}  // namespace

void LUT_generate(const float* coeffs, float* lut, int n) {
    if (n < 2) return;
    const float step = (float)(n - 1);
    std::vector<float> axis((size_t)n);
    for (int k = 0; k < n; ++k) axis[(size_t)k] = (float)k / step;
    generate_on_axis(coeffs, lut, axis);
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
    return LUT_write(f, LUT_FORMAT_CUBE, lut, n, lut_shaper{}, "");
}

namespace {

// Writes a whole table file through the platform's writer, which replaces the file only once
// the new one is complete, so readers never see a half-written table.
bool save_text(const std::string& path, const std::string& text, std::string* error) {
    if (filesave(path.c_str(), text.data(), text.size())) return true;
    if (error) *error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
}

// Shortest text that reads back as the same float, without an exponent (cube readers take
// plain decimals only) and without the process locale.
char* put_shortest(char* p, char* end, float v) {
    const auto r = std::to_chars(p, end, v, std::chars_format::fixed);
    return r.ec == std::errc{} ? r.ptr : p;
}

// Builds a table's text.
struct text_out {
    std::string text;
    void put(const char* p, size_t n) { text.append(p, n); }
    void put(const std::string& s) { text += s; }
    // Three numbers on a line, after `indent`.
    void triple(const char* indent, float a, float b, float c) {
        char line[512];
        char* p = line;
        char* end = line + sizeof line;
        for (const char* i = indent; *i; ++i) *p++ = *i;
        const float v[3] = {a, b, c};
        for (int k = 0; k < 3; ++k) {
            p = put_shortest(p, end, v[k]);
            *p++ = k < 2 ? ' ' : '\n';
        }
        put(line, (size_t)(p - line));
    }
};

std::string number(double v) {
    char text[64];
    return std::string(text, put_shortest(text, text + sizeof text, (float)v));
}

// Title text that stays on its comment line.
std::string plain_title(const std::string& title) {
    std::string t;
    for (char c : title) t += c == '\n' || c == '\r' ? ' ' : c;
    return t;
}

// The 1-D shaper sampled at LUT_SHAPER_POINTS points spread evenly over its domain.
float shaper_point(const lut_shaper& s, int i) {
    const double x = s.max * (double)i / (double)(LUT_SHAPER_POINTS - 1);
    return (float)LUT_shaper_encode(s, x);
}

std::string cube_shaper_text(const float* lut, int n, const lut_shaper& s,
                             const std::string& title) {
    text_out out;
    // A comment rather than TITLE, which not every reader of this form takes.
    out.put("# " + plain_title(title) + "\n");
    out.put("LUT_1D_SIZE " + std::to_string(LUT_SHAPER_POINTS) + "\n");
    out.put("LUT_1D_INPUT_RANGE 0.0 " + number(s.max) + "\n");
    out.put("LUT_3D_SIZE " + std::to_string(n) + "\n");
    out.put("LUT_3D_INPUT_RANGE 0.0 1.0\n");
    for (int i = 0; i < LUT_SHAPER_POINTS; ++i) {
        const float y = shaper_point(s, i);
        out.triple("", y, y, y);
    }
    const size_t entries = (size_t)n * (size_t)n * (size_t)n;
    for (size_t i = 0; i < entries; ++i) out.triple("", lut[4 * i], lut[4 * i + 1], lut[4 * i + 2]);
    return out.text;
}

std::string clf_text(const float* lut, int n, const lut_shaper& s, const std::string& title) {
    text_out out;
    out.put(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ProcessList compCLFversion=\"3\" id=\"chromalane\" name=\"" +
        LUT_xml_text(title) + "\">\n");
    out.put("    <Description>" + LUT_xml_text(title) + "</Description>\n");
    out.put(std::string("    <Description>Input ") +
            (s.kind == LUT_SHAPER_LOG ? "scene-linear" : "code values") + " from 0 to " +
            number(s.max) + "; values outside are clamped.</Description>\n");
    // The domain onto 0..1 (clamping), as the shaper table expects it.
    out.put(
        "    <Range inBitDepth=\"32f\" outBitDepth=\"32f\">\n"
        "        <minInValue>0</minInValue>\n"
        "        <maxInValue>" +
        number(s.max) +
        "</maxInValue>\n"
        "        <minOutValue>0</minOutValue>\n"
        "        <maxOutValue>1</maxOutValue>\n"
        "    </Range>\n");
    out.put("    <LUT1D inBitDepth=\"32f\" outBitDepth=\"32f\">\n        <Array dim=\"" +
            std::to_string(LUT_SHAPER_POINTS) + " 3\">\n");
    for (int i = 0; i < LUT_SHAPER_POINTS; ++i) {
        const float y = shaper_point(s, i);
        out.triple("            ", y, y, y);
    }
    out.put("        </Array>\n    </LUT1D>\n");
    const std::string size = std::to_string(n);
    out.put(
        "    <LUT3D inBitDepth=\"32f\" outBitDepth=\"32f\" interpolation=\"trilinear\">\n"
        "        <Array dim=\"" +
        size + " " + size + " " + size + " 3\">\n");
    // The format lists blue fastest; the table holds red fastest.
    const size_t un = (size_t)n;
    for (size_t r = 0; r < un; ++r)
        for (size_t g = 0; g < un; ++g)
            for (size_t b = 0; b < un; ++b) {
                const float* e = &lut[4 * ((b * un + g) * un + r)];
                out.triple("            ", e[0], e[1], e[2]);
            }
    out.put("        </Array>\n    </LUT3D>\n</ProcessList>\n");
    return out.text;
}

}  // namespace

bool LUT_write_cube_file(const std::string& path, const float* lut, int n, std::string* error) {
    return LUT_write_file(path, LUT_FORMAT_CUBE, lut, n, lut_shaper{}, "", error);
}

lut_shaper LUT_shaper_for(const float* coeffs, double max) {
    lut_shaper s;
    // A decoding curve of type 0 is linear: the input is scene-linear light.
    if (coeffs[INPUT_TYPE] == 0.0f) {
        s.kind = LUT_SHAPER_LOG;
        s.max = max;
    }
    return s;
}

double LUT_shaper_encode(const lut_shaper& s, double x) {
    if (!(x > 0)) return 0;  // NaN too
    if (x >= s.max) return 1;
    if (s.kind == LUT_SHAPER_CODE) return x / s.max;
    return std::log2(1 + x / LUT_SHAPER_FOOT) / std::log2(1 + s.max / LUT_SHAPER_FOOT);
}

double LUT_shaper_decode(const lut_shaper& s, double y) {
    if (!(y > 0)) return 0;
    if (y >= 1) return s.max;
    if (s.kind == LUT_SHAPER_CODE) return y * s.max;
    return LUT_SHAPER_FOOT * (std::exp2(y * std::log2(1 + s.max / LUT_SHAPER_FOOT)) - 1);
}

void LUT_generate_shaped(const float* coeffs, float* lut, int n, const lut_shaper& s) {
    if (n < 2) return;
    std::vector<float> axis((size_t)n);
    for (int k = 0; k < n; ++k) axis[(size_t)k] = (float)LUT_shaper_decode(s, (double)k / (n - 1));
    generate_on_axis(coeffs, lut, axis);
}

std::string LUT_xml_text(const std::string& s) {
    std::string t;
    for (char c : s) {
        if (c == '&')
            t += "&amp;";
        else if (c == '<')
            t += "&lt;";
        else if (c == '>')
            t += "&gt;";
        else if (c == '"')
            t += "&quot;";
        else
            t += c;
    }
    return t;
}

bool LUT_format_from_name(const std::string& name, lut_format* format) {
    if (name == "cube")
        *format = LUT_FORMAT_CUBE;
    else if (name == "clf")
        *format = LUT_FORMAT_CLF;
    else if (name == "cube-shaper")
        *format = LUT_FORMAT_CUBE_SHAPER;
    else
        return false;
    return true;
}

namespace {

// The file's text, or false when the table does not fit the format.
bool lut_text(lut_format format, const float* lut, int n, const lut_shaper& s,
              const std::string& title, std::string* text) {
    if (n < 2 || !(s.max > 0)) return false;
    switch (format) {
        case LUT_FORMAT_CUBE:
            // A plain cube has no room for a domain: only code values 0..1 fit it.
            if (s.kind != LUT_SHAPER_CODE || s.max != 1.0) return false;
            *text = LUT_cube_text(lut, n);
            return true;
        case LUT_FORMAT_CLF:
            *text = clf_text(lut, n, s, title);
            return true;
        case LUT_FORMAT_CUBE_SHAPER:
            *text = cube_shaper_text(lut, n, s, title);
            return true;
    }
    return false;
}

}  // namespace

bool LUT_write(std::FILE* f, lut_format format, const float* lut, int n, const lut_shaper& s,
               const std::string& title) {
    std::string text;
    return f && lut_text(format, lut, n, s, title, &text) && write_text(f, text);
}

bool LUT_write_file(const std::string& path, lut_format format, const float* lut, int n,
                    const lut_shaper& s, const std::string& title, std::string* error) {
    if (n < 2) {
        if (error) *error = "the table needs at least 2 points per axis";
        return false;
    }
    std::string text;
    if (!lut_text(format, lut, n, s, title, &text)) {
        if (error) *error = "the table does not fit the format";
        return false;
    }
    return save_text(path, text, error);
}
