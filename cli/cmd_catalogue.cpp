// `transfers`, `decode` and `encode`: the transfer function / colour space catalogue.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/lookup.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"

namespace {

void list_transfers() {
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item) {
        const transfer_function& tf = TRANSFER_FUNCTION[item];
        const color_space& cs = COLOR_SPACE[item];
        std::string form = "-";
        if (tf.kind >= 0) {
            float coeffs[COEFFICIENT_COUNT] = {};
            set_coefficents_for_transfer_function(coeffs, 'o', &tf);
            form = std::to_string(static_cast<int>(coeffs[OUTPUT_TYPE]));
        }
        std::printf(
            "%2d  %-52s  kind %3d  form %s  levels %.9g %.9g  "
            "R %.7g %.7g  G %.7g %.7g  B %.7g %.7g  W %.7g %.7g\n",
            item, transfer_popup_name(item).c_str(), tf.kind, form.c_str(), double(tf.black),
            double(tf.white), cs.red_x, cs.red_y, cs.green_x, cs.green_y, cs.blue_x, cs.blue_y,
            cs.white_x, cs.white_y);
    }
}

float parse_value(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    // A number that a float cannot hold is as unusable as one that does not parse.
    if (end == begin || *end != '\0' || std::isnan(value) || errno == ERANGE ||
        (std::isfinite(value) && std::fabs(value) > 3.4028234663852886e38))
        throw cli_error{2, "not a number: '" + text + "'"};
    return static_cast<float>(value);
}

struct stage_options {
    std::string entry;
    int iso = 0;
    bool iso_given = false;
    std::vector<std::string> values;
};

void run_stage(const stage_options& options, bool decode) {
    const int item = lookup_transfer_entry(options.entry);
    transfer_function tf = TRANSFER_FUNCTION[item];
    if (options.iso_given) tf.iso = options.iso;
    std::vector<float> values;
    values.reserve(options.values.size());
    for (const std::string& text : options.values) values.push_back(parse_value(text));

    float coeffs[COEFFICIENT_COUNT] = {};
    set_coefficents_for_transfer_function(coeffs, decode ? 'i' : 'o', &tf);
    if (decode)
        apply_input_transfer(coeffs, values.data(), static_cast<int>(values.size()));
    else
        apply_output_transfer(coeffs, values.data(), static_cast<int>(values.size()));
    for (float v : values) std::printf("%.9g\n", double(v));
}

void add_stage(CLI::App& app, const char* name, const char* help, bool decode) {
    auto options = std::make_shared<stage_options>();
    CLI::App* sub = app.add_subcommand(name, help);
    sub->add_option("entry", options->entry,
                    "catalogue entry: popup position (1-50) or name, or an unambiguous part of one")
        ->required();
    sub->add_option("--iso", options->iso, "exposure index (ALEXA Log C entries)");
    sub->add_option("values", options->values, "values to convert")->required();
    sub->callback([options, sub, decode]() {
        options->iso_given = sub->count("--iso") > 0;
        run_stage(*options, decode);
    });
}

void setup(CLI::App& app) {
    app.add_subcommand("transfers", "list the transfer function / colour space catalogue")
        ->callback(list_transfers);
    add_stage(app, "decode", "code values to linear light through an entry's input stage", true);
    add_stage(app, "encode", "linear light to code values through an entry's output stage", false);
}

}  // namespace

static const bool registered = register_command(10, setup);
