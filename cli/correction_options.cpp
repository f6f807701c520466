#include "cli/correction_options.h"

#include <cctype>
#include <cmath>

#include "cli/command.h"
#include "cli/lookup.h"

void add_correction_options(CLI::App* sub, correction_options& o) {
    sub->add_option("--input", o.input, "input transfer function / colour space (default sRGB)");
    sub->add_option("--output", o.output, "output transfer function / colour space (default sRGB)");
    sub->add_option("--iso", o.iso, "exposure index of the input curve (ALEXA Log C entries)");
    sub->add_option("--output-iso", o.output_iso, "exposure index of the output curve");
    sub->add_option("--levels", o.levels, "input black and white code values (0-1)")->expected(2);
    sub->add_option("--output-levels", o.output_levels, "output black and white code values (0-1)")
        ->expected(2);
    sub->add_option("--chart", o.chart, "chart: popup position (1-10) or name");
    sub->add_option("--mode", o.mode,
                    "none, per-channel, mix, deltaE-wb or deltaE (or the popup's own texts)");
    sub->add_option("--wb", o.wb, "white balance correction: on or off");
    sub->add_option("--preserve-lightness", o.preserve_lightness, "on or off");
    sub->add_option("--exposure", o.exposure, "exposure in EV (-10 to 10)");
    sub->add_option("--grays", o.grays, "input level mapped to 0.5 (0.01 to 0.99)");
    sub->add_option("--contrast", o.contrast, "contrast in stops (-20 to 20)");
    sub->add_option("--whites", o.whites, "upper-half tone bend (-1 to 1)");
    sub->add_option("--blacks", o.blacks, "lower-half tone bend (-1 to 1)");
    sub->add_option("--saturation", o.saturation, "saturation in percent (0 to 500)");
    sub->add_option("--highlight-protection", o.highlight_protection, "on or off");
}

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}

std::optional<bool> on_off(const std::optional<std::string>& value, const char* option) {
    if (!value) return std::nullopt;
    const std::string v = lower(*value);
    if (v == "on" || v == "yes" || v == "true" || v == "1") return true;
    if (v == "off" || v == "no" || v == "false" || v == "0") return false;
    throw cli_error{2, std::string(option) + " takes on or off, not '" + *value + "'"};
}

int mode_of(const std::string& value) {
    static const char* const SHORT[5] = {"none", "per-channel", "mix", "deltae-wb", "deltae"};
    // The correction popup's own texts, also found by position or by a unique part.
    static const std::vector<std::string> POPUP =
        split_popup("None|Per Channel|Mix Channels|deltaE WB only|deltaE");
    const std::string v = lower(value);
    for (int k = 0; k < 5; ++k)
        if (v == SHORT[k]) return k + 1;
    try {
        return lookup_popup_item(POPUP, value, "correction mode");
    } catch (const cli_error&) {
        throw cli_error{
            2, "unknown --mode '" + value + "'; use none, per-channel, mix, deltaE-wb or deltaE"};
    }
}

std::optional<int> iso_of(const std::optional<int>& iso, const char* option) {
    if (!iso || *iso == 0) return std::nullopt;
    if (iso_as_popup(*iso) < 1)
        throw cli_error{2, std::string(option) + " must be one of " + std::string(ISO_STR)};
    return iso;
}

std::optional<double> in_range(const std::optional<double>& v, double lo, double hi,
                               const char* option) {
    if (v && !(*v >= lo && *v <= hi))
        throw cli_error{2, std::string(option) + " must lie between " + CLI::detail::to_string(lo) +
                               " and " + CLI::detail::to_string(hi)};
    return v;
}

std::optional<std::array<double, 2>> levels_of(const std::optional<std::vector<double>>& levels,
                                               const char* option) {
    if (!levels || levels->size() != 2) return std::nullopt;
    in_range((*levels)[0], 0.0, 1.0, option);
    in_range((*levels)[1], 0.0, 1.0, option);
    // Equal levels would make the levels slope infinite.
    if ((*levels)[0] == (*levels)[1])
        throw cli_error{2, std::string(option) + " needs a black level different from white"};
    return std::array<double, 2>{(*levels)[0], (*levels)[1]};
}

}  // namespace

correction_values resolve_correction(const correction_options& o) {
    correction_values v;
    if (o.input) v.input_item = lookup_transfer_entry(*o.input);
    if (o.output) v.output_item = lookup_transfer_entry(*o.output);
    v.iso = iso_of(o.iso, "--iso");
    v.output_iso = iso_of(o.output_iso, "--output-iso");
    v.levels = levels_of(o.levels, "--levels");
    v.output_levels = levels_of(o.output_levels, "--output-levels");
    if (o.chart) v.chart_item = lookup_chart(*o.chart);
    if (o.mode) v.mode = mode_of(*o.mode);
    v.wb = on_off(o.wb, "--wb");
    v.preserve_lightness = on_off(o.preserve_lightness, "--preserve-lightness");
    v.highlight_protection = on_off(o.highlight_protection, "--highlight-protection");
    v.exposure = in_range(o.exposure, -10.0, 10.0, "--exposure");
    v.grays = in_range(o.grays, 0.01, 0.99, "--grays");
    v.contrast = in_range(o.contrast, -20.0, 20.0, "--contrast");
    v.whites = in_range(o.whites, -1.0, 1.0, "--whites");
    v.blacks = in_range(o.blacks, -1.0, 1.0, "--blacks");
    v.saturation = in_range(o.saturation, 0.0, 500.0, "--saturation");
    return v;
}

parameters correction_parameters(const correction_values& v) {
    parameters p;
    parameters_defaults(&p);
    const int in_item = v.input_item.value_or(transfer_as_popup(2));
    const int out_item = v.output_item.value_or(transfer_as_popup(2));
    p.input_transfer = TRANSFER_FUNCTION[in_item];
    p.input_space = COLOR_SPACE[in_item];
    p.output_transfer = TRANSFER_FUNCTION[out_item];
    p.output_space = COLOR_SPACE[out_item];
    if (v.iso) p.input_transfer.iso = *v.iso;
    if (v.output_iso) p.output_transfer.iso = *v.output_iso;
    if (v.levels) {
        p.input_transfer.black = (float)(*v.levels)[0];
        p.input_transfer.white = (float)(*v.levels)[1];
    }
    if (v.output_levels) {
        p.output_transfer.black = (float)(*v.output_levels)[0];
        p.output_transfer.white = (float)(*v.output_levels)[1];
    }

    refcard_type chart =
        p.source.ref ? (refcard_type)p.source.ref->type : XRITE_COLORCHECKER_24_AFTER_NOV2014;
    if (v.chart_item) chart = CARD_TYPE[*v.chart_item];
    cardMakeRef(&p.source, &p.input_space, chart);
    cardMakeRef(&p.target, &p.output_space, chart);

    if (v.mode) p.mode = *v.mode;
    if (v.wb) p.white_balance = *v.wb;
    if (v.preserve_lightness) p.preserve_lightness = *v.preserve_lightness;
    if (v.highlight_protection) p.highlight_protection = *v.highlight_protection;
    if (v.exposure) p.exposure = (float)*v.exposure;
    if (v.grays) p.grays = (float)*v.grays;
    if (v.contrast) p.contrast = (float)*v.contrast;
    if (v.whites) p.whites = (float)*v.whites;
    if (v.blacks) p.blacks = (float)*v.blacks;
    if (v.saturation) p.saturation = (float)*v.saturation;
    return p;
}
