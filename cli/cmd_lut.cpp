// `lut`: the correction described by the options, sampled into a cube file.
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

namespace {

struct lut_args {
    correction_options correction;
    int size = 48;
    std::string out;
};

void run(const lut_args& a) {
    if (a.size < 2 || a.size > 129) throw cli_error{2, "--size must lie between 2 and 129"};
    // Every option is checked before anything is written.
    const parameters p = correction_parameters(resolve_correction(a.correction));
    float coeffs[COEFFICIENT_COUNT];
    set_coefficents(coeffs, &p);
    std::vector<float> lut((size_t)a.size * (size_t)a.size * (size_t)a.size * 4);
    LUT_generate(coeffs, lut.data(), a.size);
    if (a.out == "-") {
        if (!LUT_write_cube(stdout, lut.data(), a.size))
            throw cli_error{
                1, std::string("cannot write the LUT to standard output: ") + std::strerror(errno)};
        return;
    }
    std::string error;
    if (!LUT_write_cube_file(a.out, lut.data(), a.size, &error)) throw cli_error{1, error};
}

void setup(CLI::App& app) {
    auto a = std::make_shared<lut_args>();
    CLI::App* sub = app.add_subcommand(
        "lut", "write the correction as a cube LUT (with the defaults, a colour-space conversion)");
    add_correction_options(sub, a->correction);
    sub->add_option("--size", a->size, "points per axis, 2 to 129 (default 48)");
    sub->add_option("-o,--out", a->out, "cube file to write (- for standard output)")->required();
    sub->callback([a] { run(*a); });
}

static const bool registered = register_command(50, setup);

}  // namespace
