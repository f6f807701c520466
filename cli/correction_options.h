// The options that describe a correction, shared by `lut` and `correct`: entries, ISO,
// levels, chart, correction mode and adjustments. One place names them, checks them and
// knows their defaults (the effect's own), so that both commands accept the same words.
#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/parameters.h"

// The options as typed; an option not given stays empty and keeps the effect's default.
struct correction_options {
    std::optional<std::string> input;   // catalogue entry (default sRGB)
    std::optional<std::string> output;  // likewise
    std::optional<int> iso;             // 0: the entry's own
    std::optional<int> output_iso;
    std::optional<std::vector<double>> levels;         // input black, white
    std::optional<std::vector<double>> output_levels;  // output black, white
    std::optional<std::string> chart;                  // default: the ColorChecker 24
    std::optional<std::string> mode;                   // default: deltaE
    std::optional<std::string> wb, preserve_lightness, highlight_protection;  // default: on
    std::optional<double> exposure;                                           // default 0 EV
    std::optional<double> grays;                                              // default 0.5
    std::optional<double> contrast;                                           // default 0
    std::optional<double> whites;                                             // default 0
    std::optional<double> blacks;                                             // default 0
    std::optional<double> saturation;                                         // default 100 %
};

// The options checked and resolved to what the effect's controls hold; empty where the
// option was not given (an ISO of 0 counts as not given). Numbers stay as typed, in
// double precision, as a host's slider keeps them.
struct correction_values {
    std::optional<int> input_item, output_item;  // catalogue popup positions
    std::optional<int> iso, output_iso;          // exposure indices from the ISO list
    std::optional<std::array<double, 2>> levels, output_levels;
    std::optional<int> chart_item;  // chart popup position
    std::optional<int> mode;        // correction popup position, 1 to 5
    std::optional<bool> wb, preserve_lightness, highlight_protection;
    std::optional<double> exposure, grays, contrast, whites, blacks, saturation;
};

// Adds the options to a subcommand; `o` must outlive the parse.
void add_correction_options(CLI::App* sub, correction_options& o);

// Checks every option against the effect's ranges and lists. Throws cli_error{2, ...}
// naming the option for a value the effect would not accept.
correction_values resolve_correction(const correction_options& o);

// Builds the record (zero-filled, then filled) from the values over the effect's
// defaults; the cards are the chart's reference cards in each side's colour space.
parameters correction_parameters(const correction_values& v);
