#include "cli/report.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "cards/sampling.h"
#include "cli/command.h"
#include "cli/effect_session.h"
#include "cli/lookup.h"
#include "colour/convert.h"
#include "host/params.h"
#include "pipeline/lut.h"
#include "pipeline/slots.h"
#include "platform/platform.h"

namespace {

// The chart read from a frame at the corners with one side's decoding.
std::unique_ptr<card> read_chart(const rgba_image& frame, const double* corners,
                                 const transfer_function& tf, const color_space& cs,
                                 refcard_type chart) {
    image img;
    makeImage(frame.width, frame.height,
              const_cast<char*>(reinterpret_cast<const char*>(frame.pixels.data())), &img);
    auto c = std::make_unique<card>();
    cardMakeRef(c.get(), &cs, chart);
    OfxPointD at[4];
    for (int k = 0; k < 4; ++k) at[k] = OfxPointD{corners[2 * k], corners[2 * k + 1]};
    // Read as the effect reads a card, so the report measures what the fit saw.
    img.pixel_aspect = frame.pixel_aspect > 0 ? frame.pixel_aspect : 1.0;
    cardReadSampled(&img, &tf, at, c.get(), CARD_SAMPLING_PATCH);
    return c;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

report_summary summary_of(const std::vector<double>& v) {
    report_summary s;
    s.patches = static_cast<int>(v.size());
    if (v.empty()) return s;
    for (double x : v) s.mean += x, s.max = std::max(s.max, x);
    s.mean /= static_cast<double>(v.size());
    s.median = median(v);
    return s;
}

}  // namespace

fit_report report_measure(const rgba_image& shot, const rgba_image& corrected,
                          const double* corners, const transfer_function& in_tf,
                          const color_space& in_cs, const transfer_function& out_tf,
                          const color_space& out_cs, refcard_type chart) {
    fit_report r;
    std::copy(corners, corners + 8, r.corners);
    const reference_card* ref = refcard(chart);
    if (!ref) return r;
    auto before = read_chart(shot, corners, in_tf, in_cs, chart);
    auto after = read_chart(corrected, corners, out_tf, out_cs, chart);
    for (int k = 0; k < ref->patch_count; ++k) {
        report_patch p{};
        p.name = ref->patches[k].name ? ref->patches[k].name : std::to_string(k + 1);
        std::copy(ref->patches[k].lab, ref->patches[k].lab + 3, p.reference);
        double shot_rgb[3], corrected_rgb[3];
        p.clipped = false;
        for (int c = 0; c < 3; ++c) {
            shot_rgb[c] = before->linear[c][k];
            corrected_rgb[c] = after->linear[c][k];
            const float code = before->display[c][k];
            if (!(code < REPORT_CLIP_CODE && code > 0)) p.clipped = true;
        }
        CIELabD50_from_linearRGB(p.shot, shot_rgb, &in_cs);
        CIELabD50_from_linearRGB(p.corrected, corrected_rgb, &out_cs);
        p.before = deltaE2000(p.reference, p.shot);
        p.after = deltaE2000(p.reference, p.corrected);
        r.patches.push_back(p);
    }
    report_summarise(&r);
    return r;
}

void report_summarise(fit_report* r) {
    std::vector<double> before, after;
    for (const report_patch& p : r->patches) {
        if (p.clipped) continue;
        before.push_back(p.before);
        after.push_back(p.after);
    }
    r->before = summary_of(before);
    r->after = summary_of(after);
}

// ---------------------------------------------------------------------------
// Writing

namespace {

// Every report file goes through the platform's whole-file writer: a reader sees the old
// file or the complete new one.
void write_text_file(const std::string& path, const std::string& text) {
    if (!filesave(path.c_str(), text.data(), text.size()))
        throw cli_error(1, "cannot write '" + path + "': " + std::strerror(errno));
}

// A smaller copy of a frame for the page (box filter), as 8-bit.
rgba_image preview(const rgba_image& frame, int max_width) {
    const int step = std::max(1, (frame.width + max_width - 1) / max_width);
    rgba_image p;
    p.width = std::max(1, frame.width / step);
    p.height = std::max(1, frame.height / step);
    p.bits = 8;
    p.pixels.assign(static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 4, 0.0f);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            float sum[4] = {};
            int n = 0;
            for (int dy = 0; dy < step && y * step + dy < frame.height; ++dy)
                for (int dx = 0; dx < step && x * step + dx < frame.width; ++dx, ++n)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += frame.pixels[(static_cast<size_t>(y * step + dy) *
                                                    static_cast<size_t>(frame.width) +
                                                static_cast<size_t>(x * step + dx)) *
                                                   4 +
                                               static_cast<size_t>(c)];
            for (int c = 0; c < 4; ++c)
                p.pixels[(static_cast<size_t>(y) * static_cast<size_t>(p.width) +
                          static_cast<size_t>(x)) *
                             4 +
                         static_cast<size_t>(c)] = c == 3 ? 1.0f : sum[c] / static_cast<float>(n);
        }
    return p;
}

std::string fmt(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// A CIELAB colour as an sRGB colour for the page, clipped into the display's range.
std::string css_colour(const double* lab) {
    double rgb[3];
    linearRGB_from_CIELabD50(rgb, lab, &COLOR_SPACE[2]);
    char text[8];
    int code[3];
    for (int c = 0; c < 3; ++c) {
        double v = std::clamp(rgb[c], 0.0, 1.0);
        v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
        code[c] = static_cast<int>(std::lround(v * 255));
    }
    std::snprintf(text, sizeof text, "#%02x%02x%02x", code[0], code[1], code[2]);
    return text;
}

// The chart's outline and patch numbers over the shot, in the preview's pixels.
std::string overlay_svg(const fit_report& r, const rgba_image& shot, int width, int height,
                        refcard_type chart) {
    const double sx = static_cast<double>(width) / shot.width;
    const double sy = static_cast<double>(height) / shot.height;
    std::string s = "<svg viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                    "\" class=\"frame\" role=\"img\" aria-label=\"located chart\">";
    s += "<image href=\"report-shot.png\" width=\"" + std::to_string(width) + "\" height=\"" +
         std::to_string(height) +
         "\"/><polygon fill=\"none\" stroke=\"#ff3b30\" stroke-width=\"2\" "
         "points=\"";
    for (int k = 0; k < 4; ++k)
        s += fmt("%.1f,", r.corners[2 * k] * sx) + fmt("%.1f ", r.corners[2 * k + 1] * sy);
    s += "\"/>";
    // Patch centres placed between the corners (bilinearly, close enough for labels).
    const reference_card* ref = refcard(chart);
    for (int k = 0; ref && k < ref->patch_count && k < static_cast<int>(r.patches.size()); ++k) {
        const double u = ref->patches[k].u, v = ref->patches[k].v;
        double p[2];
        for (int c = 0; c < 2; ++c)
            p[c] = (1 - u) * (1 - v) * r.corners[c] + u * (1 - v) * r.corners[2 + c] +
                   u * v * r.corners[4 + c] + (1 - u) * v * r.corners[6 + c];
        const bool clipped = r.patches[static_cast<size_t>(k)].clipped;
        s += "<circle cx=\"" + fmt("%.1f", p[0] * sx) + "\" cy=\"" + fmt("%.1f", p[1] * sy) +
             "\" r=\"7\" fill=\"" + (clipped ? "#ff3b30" : "#ffffffc0") + "\"/>";
        s += "<text x=\"" + fmt("%.1f", p[0] * sx) + "\" y=\"" + fmt("%.1f", p[1] * sy + 3.5) +
             "\" text-anchor=\"middle\" font-size=\"9\">" + std::to_string(k + 1) + "</text>";
    }
    return s + "</svg>";
}

// Per patch a square in three: reference, as shot, as corrected.
std::string swatch_svg(const fit_report& r) {
    const int n = static_cast<int>(r.patches.size());
    const int cols = n <= 24 ? 6 : static_cast<int>(std::ceil(std::sqrt(n * 1.5)));
    const int rows = (n + cols - 1) / cols;
    const int cell = 96, pad = 8, label = 30;
    const int w = cols * (cell + pad) + pad, h = rows * (cell + label + pad) + pad;
    std::string s = "<svg viewBox=\"0 0 " + std::to_string(w) + " " + std::to_string(h) +
                    "\" class=\"swatches\" role=\"img\" aria-label=\"swatch sheet\">";
    for (int k = 0; k < n; ++k) {
        const report_patch& p = r.patches[static_cast<size_t>(k)];
        const int x = pad + (k % cols) * (cell + pad), y = pad + (k / cols) * (cell + label + pad);
        const double* part[3] = {p.reference, p.shot, p.corrected};
        for (int j = 0; j < 3; ++j)
            s += "<rect x=\"" + std::to_string(x + j * cell / 3) + "\" y=\"" + std::to_string(y) +
                 "\" width=\"" + std::to_string(cell / 3 + (j < 2 ? 1 : 0)) + "\" height=\"" +
                 std::to_string(cell) + "\" fill=\"" + css_colour(part[j]) + "\"/>";
        if (p.clipped)
            s +=
                "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                std::to_string(cell) + "\" height=\"" + std::to_string(cell) +
                "\" fill=\"none\" stroke=\"#ff3b30\" stroke-width=\"4\" stroke-dasharray=\"8 4\"/>";
        s += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y + cell + 12) +
             "\" font-size=\"10\">" + std::to_string(k + 1) + " " +
             LUT_xml_text(p.name.substr(0, 16)) + "</text><text x=\"" + std::to_string(x) +
             "\" y=\"" + std::to_string(y + cell + 24) + "\" font-size=\"10\">" +
             (p.clipped ? std::string("clipped")
                        : fmt("%.2f", p.before) + " \xe2\x86\x92 " + fmt("%.2f", p.after)) +
             "</text>";
    }
    return s + "</svg>";
}

// Before and after per patch, the worst shot first.
std::string bars_svg(const fit_report& r) {
    std::vector<size_t> order(r.patches.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return r.patches[a].before > r.patches[b].before; });
    double top = 1;
    for (const report_patch& p : r.patches) top = std::max({top, p.before, p.after});
    const int row = 18, left = 150, width = 520;
    const int h = static_cast<int>(order.size()) * row + 40;
    std::string s = "<svg viewBox=\"0 0 " + std::to_string(left + width + 100) + " " +
                    std::to_string(h) +
                    "\" class=\"bars\" role=\"img\" aria-label=\"deltaE bars\">";
    for (size_t i = 0; i < order.size(); ++i) {
        const report_patch& p = r.patches[order[i]];
        const int y = static_cast<int>(i) * row + 4;
        const double wb = p.before / top * width, wa = p.after / top * width;
        s += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(y + 12) +
             "\" text-anchor=\"end\" font-size=\"11\">" + std::to_string(order[i] + 1) + " " +
             LUT_xml_text(p.name.substr(0, 18)) + (p.clipped ? " (clipped)" : "") + "</text>";
        s += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             fmt("%.1f", wb) + "\" height=\"7\" fill=\"" + (p.clipped ? "#ddd" : "#b0b0b0") +
             "\"/>";
        s += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(y + 7) +
             "\" width=\"" + fmt("%.1f", wa) + "\" height=\"7\" fill=\"" +
             (p.clipped ? "#cde" : "#2f7bd8") + "\"/>";
        s += "<text x=\"" + fmt("%.1f", left + std::max(wb, wa) + 4) + "\" y=\"" +
             std::to_string(y + 12) + "\" font-size=\"10\">" + fmt("%.2f", p.before) + " / " +
             fmt("%.2f", p.after) + "</text>";
    }
    const int y = static_cast<int>(order.size()) * row + 20;
    s += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(y) +
         "\" width=\"12\" height=\"8\" fill=\"#b0b0b0\"/><text x=\"" + std::to_string(left + 16) +
         "\" y=\"" + std::to_string(y + 8) + "\" font-size=\"11\">as shot</text><rect x=\"" +
         std::to_string(left + 90) + "\" y=\"" + std::to_string(y) +
         "\" width=\"12\" height=\"8\" fill=\"#2f7bd8\"/><text x=\"" + std::to_string(left + 106) +
         "\" y=\"" + std::to_string(y + 8) + "\" font-size=\"11\">as corrected</text>";
    return s + "</svg>";
}

nlohmann::json lab_json(const double* lab) {
    return nlohmann::json::array({lab[0], lab[1], lab[2]});
}

nlohmann::json summary_json(const report_summary& s) {
    return {{"patches", s.patches}, {"mean", s.mean}, {"median", s.median}, {"max", s.max}};
}

}  // namespace

void report_write(const std::string& dir, const fit_report& r, const rgba_image& shot,
                  const rgba_image& corrected, refcard_type chart) {
    namespace fs = std::filesystem;
    const rgba_image shot_preview = preview(shot, 960);
    write_image((fs::path(dir) / "report-shot.png").string(), shot_preview);
    write_image((fs::path(dir) / "report-corrected.png").string(), preview(corrected, 960));

    int clipped = 0;
    for (const report_patch& p : r.patches) clipped += p.clipped ? 1 : 0;

    nlohmann::json j;
    j["format"] = "chromalane-fit-report";
    j["version"] = 1;
    j["difference"] = "CIEDE2000 against the chart's CIELAB (D50) values";
    j["settings"] = nlohmann::json::object();
    for (const auto& [key, value] : r.settings) j["settings"][key] = value;
    j["corners"] = nlohmann::json::array();
    for (int k = 0; k < 4; ++k) j["corners"].push_back({r.corners[2 * k], r.corners[2 * k + 1]});
    j["clipped_patches_excluded"] = clipped;
    j["before"] = summary_json(r.before);
    j["after"] = summary_json(r.after);
    if (r.has_matrix)
        j["matrix"] = {{r.matrix[0], r.matrix[1], r.matrix[2]},
                       {r.matrix[3], r.matrix[4], r.matrix[5]},
                       {r.matrix[6], r.matrix[7], r.matrix[8]}};
    j["patches"] = nlohmann::json::array();
    for (size_t k = 0; k < r.patches.size(); ++k) {
        const report_patch& p = r.patches[k];
        j["patches"].push_back({{"index", k + 1},
                                {"name", p.name},
                                {"reference", lab_json(p.reference)},
                                {"shot", lab_json(p.shot)},
                                {"corrected", lab_json(p.corrected)},
                                {"before", p.before},
                                {"after", p.after},
                                {"clipped", p.clipped}});
    }
    write_text_file((fs::path(dir) / "report.json").string(), j.dump(2) + "\n");

    std::string h =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>chromalane fit report</title><style>"
        "body{font-family:sans-serif;margin:24px;color:#222;max-width:1400px}"
        "h1{font-size:22px}h2{font-size:17px;margin-top:28px}"
        ".pair{display:flex;gap:12px;flex-wrap:wrap}.pair figure{margin:0;flex:1;min-width:300px}"
        ".pair img,.frame{width:100%;height:auto;display:block}"
        "figcaption{font-size:13px;color:#555;margin-top:4px}"
        "table{border-collapse:collapse;font-size:14px}td,th{border:1px solid #ccc;"
        "padding:4px 10px;text-align:right}th{background:#f2f2f2}"
        ".swatches{width:100%;max-width:700px}.bars{width:100%;max-width:760px}"
        ".note{font-size:13px;color:#555}"
        "</style></head><body>\n<h1>Chart fit: CIEDE2000 per patch, before and after</h1>\n";
    h += "<h2>Summary</h2><table id=\"summary\"><tr><th></th><th>mean</th><th>median</th>"
         "<th>max</th><th>patches</th></tr>";
    const std::pair<const char*, const report_summary*> rows[2] = {{"as shot", &r.before},
                                                                   {"as corrected", &r.after}};
    for (const auto& [label, s] : rows)
        h += std::string("<tr><th>") + label + "</th><td>" + fmt("%.2f", s->mean) + "</td><td>" +
             fmt("%.2f", s->median) + "</td><td>" + fmt("%.2f", s->max) + "</td><td>" +
             std::to_string(s->patches) + "</td></tr>";
    h += "</table><p class=\"note\">";
    h += clipped ? std::to_string(clipped) +
                       " patch(es) clipped in the shot (marked red) are left out of the mean, "
                       "median and max: their true colour is not in the frame."
                 : std::string("No patch is clipped in the shot; every patch is counted.");
    h += "</p>\n<h2>Shot and corrected frame</h2><div class=\"pair\"><figure>" +
         overlay_svg(r, shot, shot_preview.width, shot_preview.height, chart) +
         "<figcaption>the shot, with the located chart</figcaption></figure><figure>"
         "<img src=\"report-corrected.png\" alt=\"corrected frame\"><figcaption>corrected"
         "</figcaption></figure></div>\n";
    h += "<h2>Swatches: reference | as shot | as corrected</h2>" + swatch_svg(r) + "\n";
    h += "<h2>CIEDE2000 per patch, sorted by the shot's difference</h2>" + bars_svg(r) + "\n";
    if (r.has_matrix) {
        h += "<h2>Fitted matrix (linear input RGB to linear output RGB)</h2><table id=\"matrix\">";
        for (int i = 0; i < 3; ++i) {
            h += "<tr>";
            for (int k = 0; k < 3; ++k) h += "<td>" + fmt("%.5f", r.matrix[3 * i + k]) + "</td>";
            h += "</tr>";
        }
        h += "</table>\n";
    }
    h += "<h2>Settings</h2><table id=\"settings\">";
    for (const auto& [key, value] : r.settings)
        h += "<tr><th>" + LUT_xml_text(key) + "</th><td style=\"text-align:left\">" +
             LUT_xml_text(value) + "</td></tr>";
    h += "</table>\n<p class=\"note\">The same numbers are in report.json.</p></body></html>\n";
    write_text_file((fs::path(dir) / "report.html").string(), h);
}

// ---------------------------------------------------------------------------
// The report of an effect session

namespace {

// The correction as one matrix from linear input RGB to linear output RGB: the fitted
// matrix, or on the perceptual route the two around its CIELAB-like stage (whose tone and
// saturation adjustments it leaves out).
void correction_matrix(const float* c, double* m) {
    const bool perceptual = c[DELTAE] != 0.0f;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) {
            if (!perceptual) {
                m[3 * i + k] = c[GAINS2_11 + 3 * i + k];
                continue;
            }
            double sum = 0;
            for (int j = 0; j < 3; ++j)
                sum += double(c[GAINS2_11 + 3 * i + j]) * double(c[GAINS1_11 + 3 * j + k]);
            m[3 * i + k] = sum;
        }
}

std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

std::string chart_name(refcard_type chart) {
    const std::vector<std::string> items = split_popup(CARD_TYPE_STR);
    const int item = card_type_as_popup(static_cast<int>(chart));
    return item >= 1 && item <= static_cast<int>(items.size())
               ? items[static_cast<size_t>(item - 1)]
               : std::to_string(chart);
}

}  // namespace

void session_report(effect_session* s, const std::string& dir, const rgba_image& frame,
                    const rgba_image& result, const double* corners,
                    const std::vector<std::pair<std::string, std::string>>& about) {
    std::unique_ptr<parameters> p = session_parameters(s);
    const refcard_type chart = p->source.ref ? static_cast<refcard_type>(p->source.ref->type)
                                             : XRITE_COLORCHECKER_24_AFTER_NOV2014;
    fit_report r = report_measure(frame, result, corners, p->input_transfer, p->input_space,
                                  p->output_transfer, p->output_space, chart);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, p.get());
    correction_matrix(coeffs, r.matrix);
    r.has_matrix = true;
    static const char* const MODES[6] = {
        "", "None", "Per Channel", "Mix Channels", "deltaE WB only", "deltaE"};
    r.settings = about;
    const std::vector<std::pair<std::string, std::string>> settings = {
        {"input", transfer_popup_name(transfer_as_popup(p->input_transfer.kind))},
        {"output", transfer_popup_name(transfer_as_popup(p->output_transfer.kind))},
        {"chart", chart_name(chart)},
        {"correction", p->mode >= 1 && p->mode <= 5 ? MODES[p->mode] : "?"},
        {"white balance", p->white_balance ? "on" : "off"},
        {"preserve lightness", p->preserve_lightness ? "on" : "off"},
        {"exposure (EV)", number(p->exposure)},
        {"grays", number(p->grays)},
        {"contrast", number(p->contrast)},
        {"whites", number(p->whites)},
        {"blacks", number(p->blacks)},
        {"saturation (%)", number(p->saturation)},
        {"highlight protection", p->highlight_protection ? "on" : "off"}};
    r.settings.insert(r.settings.end(), settings.begin(), settings.end());
    report_write(dir, r, frame, result, chart);
}
