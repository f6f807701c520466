// The fit-quality report: how far each patch of the chart was from its published colour
// in the shot and after the correction (CIEDE2000), as report.html with its pictures beside
// it and report.json with the same numbers for scripts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cards/card.h"
#include "cli/image_io.h"
#include "pipeline/transfer.h"

// A patch whose mean code value in the shot reaches this in any channel (or is at or below
// 0) counts as clipped: its true colour is unknown, so it says nothing about the fit.
constexpr double REPORT_CLIP_CODE = 0.995;

struct report_patch {
    std::string name;
    double reference[3];   // CIELAB (D50): the chart's published value
    double shot[3];        // as shot, decoded with the input side
    double corrected[3];   // as corrected, decoded with the output side
    double before, after;  // CIEDE2000 to the reference
    bool clipped;
};

struct report_summary {
    int patches = 0;  // those counted: every patch that is not clipped
    double mean = 0, median = 0, max = 0;
};

struct fit_report {
    std::vector<report_patch> patches;
    report_summary before, after;
    bool has_matrix = false;
    double matrix[9] = {};  // linear input RGB to linear output RGB, row-major
    std::vector<std::pair<std::string, std::string>> settings;  // shown as given
    double corners[8] = {};  // where the chart was located: TL, TR, BR, BL (x, y)
};

// Samples the chart at `corners` in the shot (decoded with the input side) and in the
// corrected frame (with the output side), and fills the patches and their summaries.
fit_report report_measure(const rgba_image& shot, const rgba_image& corrected,
                          const double* corners, const transfer_function& in_tf,
                          const color_space& in_cs, const transfer_function& out_tf,
                          const color_space& out_cs, refcard_type chart);

// Mean, median and largest of the values, over the unclipped patches.
void report_summarise(fit_report* r);

// Writes report.html, report.json, report-shot.png and report-corrected.png into `dir`
// (which must exist). Each file appears whole or not at all. Throws cli_error on failure.
void report_write(const std::string& dir, const fit_report& r, const rgba_image& shot,
                  const rgba_image& corrected, refcard_type chart);

struct effect_session;
// The report of a session's correction of `frame` into `result`, with the chart at
// `corners` (eight numbers), its settings as the effect holds them after `about` (lines
// such as the image's name), written into `dir` as report_write does.
void session_report(effect_session* s, const std::string& dir, const rgba_image& frame,
                    const rgba_image& result, const double* corners,
                    const std::vector<std::pair<std::string, std::string>>& about);
