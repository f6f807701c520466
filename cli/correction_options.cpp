#include "cli/correction_options.h"

#include <cctype>
#include <cmath>

#include "cli/command.h"
#include "cli/lookup.h"

void add_correction_options(CLI::App* sub, correction_options& o) {
    sub->add_option("--input", o.input, "input transfer function / colour space (default sRGB)");
    sub->add_option("--output", o.output, "output transfer function / colour space (default sRGB)");
    sub->add_option("--iso", o.iso, "exposure index of the input curve (ALEXA Log C entries)");
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

bool on_off(const std::string& value, const char* option) {
    const std::string v = lower(value);
    if (v == "on" || v == "yes" || v == "true" || v == "1") return true;
    if (v == "off" || v == "no" || v == "false" || v == "0") return false;
    throw cli_error{2, std::string(option) + " takes on or off, not '" + value + "'"};
}

int mode_of(const std::string& value) {
    static const char* const NAMES[5][2] = {{"none", "none"},
                                            {"per-channel", "per channel"},
                                            {"mix", "mix channels"},
                                            {"deltae-wb", "deltae wb only"},
                                            {"deltae", "deltae"}};
    const std::string v = lower(value);
    for (int k = 0; k < 5; ++k)
        if (v == NAMES[k][0] || v == NAMES[k][1]) return k + 1;
    throw cli_error{
        2, "unknown --mode '" + value + "'; use none, per-channel, mix, deltaE-wb or deltaE"};
}

void in_range(float v, float lo, float hi, const char* option) {
    if (!(v >= lo && v <= hi))
        throw cli_error{2, std::string(option) + " must lie between " + CLI::detail::to_string(lo) +
                               " and " + CLI::detail::to_string(hi)};
}

void apply_levels(transfer_function* tf, const std::vector<float>& levels, const char* option) {
    if (levels.empty()) return;
    in_range(levels[0], 0.0f, 1.0f, option);
    in_range(levels[1], 0.0f, 1.0f, option);
    // Equal levels would make the levels slope infinite.
    if (levels[0] == levels[1])
        throw cli_error{2, std::string(option) + " needs a black level different from white"};
    tf->black = levels[0];
    tf->white = levels[1];
}

}  // namespace

parameters correction_parameters(const correction_options& o) {
    parameters p;
    parameters_defaults(&p);
    const int in_item = o.input.empty() ? transfer_as_popup(2) : lookup_transfer_entry(o.input);
    const int out_item = o.output.empty() ? transfer_as_popup(2) : lookup_transfer_entry(o.output);
    p.input_transfer = TRANSFER_FUNCTION[in_item];
    p.input_space = COLOR_SPACE[in_item];
    p.output_transfer = TRANSFER_FUNCTION[out_item];
    p.output_space = COLOR_SPACE[out_item];
    if (o.iso != 0) {
        if (iso_as_popup(o.iso) < 1)
            throw cli_error{2, "--iso must be one of " + std::string(ISO_STR)};
        p.input_transfer.iso = o.iso;
    }
    apply_levels(&p.input_transfer, o.levels, "--levels");
    apply_levels(&p.output_transfer, o.output_levels, "--output-levels");

    refcard_type chart =
        p.source.ref ? (refcard_type)p.source.ref->type : XRITE_COLORCHECKER_24_AFTER_NOV2014;
    if (!o.chart.empty()) chart = CARD_TYPE[lookup_chart(o.chart)];
    cardMakeRef(&p.source, &p.input_space, chart);
    cardMakeRef(&p.target, &p.output_space, chart);

    p.mode = mode_of(o.mode);
    p.white_balance = on_off(o.wb, "--wb");
    p.preserve_lightness = on_off(o.preserve_lightness, "--preserve-lightness");
    p.highlight_protection = on_off(o.highlight_protection, "--highlight-protection");
    in_range(o.exposure, -10.0f, 10.0f, "--exposure");
    in_range(o.grays, 0.01f, 0.99f, "--grays");
    in_range(o.contrast, -20.0f, 20.0f, "--contrast");
    in_range(o.whites, -1.0f, 1.0f, "--whites");
    in_range(o.blacks, -1.0f, 1.0f, "--blacks");
    in_range(o.saturation, 0.0f, 500.0f, "--saturation");
    p.exposure = o.exposure;
    p.grays = o.grays;
    p.contrast = o.contrast;
    p.whites = o.whites;
    p.blacks = o.blacks;
    p.saturation = o.saturation;
    return p;
}
