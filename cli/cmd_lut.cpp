// `lut`: the correction described by the options, sampled into a cube or CLF file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/correction_options.h"
#include "pipeline/lut.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"

namespace {

struct lut_args {
    correction_options correction;
    int size = 48;
    std::string format = "cube";
    double max = LUT_LINEAR_MAX;
    std::string out;
};

void run(const lut_args& a) {
    if (a.size < 2 || a.size > 129) throw cli_error{2, "--size must lie between 2 and 129"};
    lut_format format;
    if (!LUT_format_from_name(a.format, &format))
        throw cli_error{2, "--format takes cube, clf or cube-shaper, not '" + a.format + "'"};
    if (!(a.max >= LUT_LINEAR_MAX && a.max <= 65504.0))
        throw cli_error{2, "--max must lie between 16 and 65504"};
    // Every option is checked before anything is written.
    const correction_values values = resolve_correction(a.correction);
    const parameters p = correction_parameters(values);
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    lut_shaper shaper;
    if (format != LUT_FORMAT_CUBE)
        shaper = LUT_shaper_for(coeffs, a.max);
    else if (LUT_shaper_for(coeffs, a.max).kind == LUT_SHAPER_LOG)
        std::fprintf(stderr,
                     "chromalane: note: a plain cube covers input values 0 to 1 only; "
                     "--format clf or cube-shaper keep scene-linear values up to --max\n");
    std::vector<float> lut((size_t)a.size * (size_t)a.size * (size_t)a.size * 4);
    LUT_generate_shaped(coeffs, lut.data(), a.size, shaper);
    const std::string title = "chromalane: " + transfer_popup_name(values.input_item.value_or(2)) +
                              " to " + transfer_popup_name(values.output_item.value_or(2));
    if (a.out == "-") {
        if (!LUT_write(stdout, format, lut.data(), a.size, shaper, title))
            throw cli_error{
                1, std::string("cannot write the LUT to standard output: ") + std::strerror(errno)};
        return;
    }
    std::string error;
    if (!LUT_write_file(a.out, format, lut.data(), a.size, shaper, title, &error))
        throw cli_error{1, error};
}

void setup(CLI::App& app) {
    auto a = std::make_shared<lut_args>();
    CLI::App* sub = app.add_subcommand(
        "lut", "write the correction as a LUT (with the defaults, a colour-space conversion)");
    add_correction_options(sub, a->correction);
    sub->add_option("--size", a->size, "points per axis, 2 to 129 (default 48)");
    sub->add_option("--format", a->format,
                    "cube (3-D table over 0-1), clf or cube-shaper (a 1-D shaper, then the 3-D "
                    "table; default cube)");
    sub->add_option("--max", a->max,
                    "top of a scene-linear input's domain for clf and cube-shaper (16 to 65504, "
                    "default 16); log and display inputs cover their code range 0-1");
    sub->add_option("-o,--out", a->out, "file to write (- for standard output)")->required();
    sub->callback([a] { run(*a); });
}

static const bool registered = register_command(50, setup);

}  // namespace
