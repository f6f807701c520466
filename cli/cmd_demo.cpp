// `demo`: a short tour of the catalogue. A grey ramp around 18 % grey is encoded by a few
// camera curves into code values and decoded back to scene light.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "pipeline/evaluate.h"
#include "pipeline/slots.h"
#include "pipeline/transfer.h"

namespace {

constexpr int DEMO_ITEMS[] = {2, 13, 14, 38, 43, 48};
constexpr float RAMP_STOPS[] = {-5.0f, -4.0f, -2.0f, -1.0f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f};

void run_demo() {
    std::printf("Scene light of a grey ramp (18%% grey and stops around it), its code values\n");
    std::printf("in a few catalogue entries, and the light decoded back from those codes.\n\n");
    for (int item : DEMO_ITEMS) {
        const transfer_function& tf = TRANSFER_FUNCTION[item];
        float encode[COEFFICIENT_COUNT] = {};
        float decode[COEFFICIENT_COUNT] = {};
        set_coefficents_for_transfer_function(encode, 'o', &tf);
        set_coefficents_for_transfer_function(decode, 'i', &tf);
        std::printf("%s\n", transfer_popup_name(item).c_str());
        std::printf("  %8s  %10s  %10s  %10s  %10s\n", "stops", "linear", "code", "10-bit",
                    "decoded");
        for (float stops : RAMP_STOPS) {
            const float linear = 0.18f * std::exp2(stops);
            float code = linear;
            apply_output_transfer(encode, &code, 1);
            float back = code;
            apply_input_transfer(decode, &back, 1);
            std::printf("  %+8.1f  %10.6f  %10.6f  %10.1f  %10.6f\n", double(stops), double(linear),
                        double(code), double(code) * 1023.0, double(back));
        }
        std::printf("\n");
    }
}

void setup(CLI::App& app) {
    app.add_subcommand("demo", "demonstrate the catalogue on a grey ramp")->callback(run_demo);
}

}  // namespace

static const bool registered = register_command(1, setup);
