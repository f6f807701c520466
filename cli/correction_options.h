// The options that describe a correction (`lut` now, `correct` later): entries, levels,
// chart, correction mode and adjustments, turned into a `parameters` record.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "pipeline/parameters.h"

struct correction_options {
    std::string input;                 // catalogue entry; empty: the effect's default
    std::string output;                // likewise
    int iso = 0;                       // 0: the entry's own
    std::vector<float> levels;         // input black, white
    std::vector<float> output_levels;  // output black, white
    std::string chart;                 // empty: the effect's default chart
    std::string mode = "deltaE";
    std::string wb = "on";
    std::string preserve_lightness = "on";
    std::string highlight_protection = "on";
    float exposure = 0.0f;
    float grays = 0.5f;
    float contrast = 0.0f;
    float whites = 0.0f;
    float blacks = 0.0f;
    float saturation = 100.0f;
};

// Adds the options to a subcommand; `o` must outlive the parse.
void add_correction_options(CLI::App* sub, correction_options& o);

// Builds the record (zero-filled, then filled) from parsed options; the cards are the
// chart's reference cards in each side's colour space. Throws cli_error{2, ...} for a
// value the effect would not accept.
parameters correction_parameters(const correction_options& o);
