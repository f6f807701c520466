// Detection rates of the card finder over seeded synthetic shots of every chart: found,
// in the right orientation, every corner within 1 % of the card's diagonal of the truth.
// A manual measurement (it takes minutes), not part of the test suite:
//   chromalane_detection [WIDTHxHEIGHT] [moderate|hard] [shots per chart] [first seed] [chart]
// With a chart number it measures that chart alone and also prints the mean signed error
// of each corner (x, y, in working-image pixels), which shows a systematic bias.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "cards/finder.h"
#include "synth/synth.h"

int main(int argc, char** argv) {
    int w = 1920, h = 1080;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &w, &h) != 2) return 2;
    const bool hard = argc > 2 && std::strcmp(argv[2], "hard") == 0;
    const int shots = argc > 3 ? std::atoi(argv[3]) : 40;
    const unsigned long first = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 1000;
    const int only = argc > 5 ? std::atoi(argv[5]) : -1;
    const int encode = synth_entry("sRGB");
    const int space = synth_entry("Rec. 709");
    std::printf("%dx%d %s, %d shots per chart, seeds from %lu\n", w, h, hard ? "hard" : "moderate",
                shots, first);
    std::printf("%-5s %-10s %6s %6s %9s %9s %9s %8s\n", "type", "card", "found", "right", "median",
                "p95", "worst", "ms/find");
    for (int t = 0; t < REFCARD_TYPE_COUNT; ++t) {
        if (only >= 0 && t != only) continue;
        const refcard_type chart = refcard_type(t);
        synth_conditions cond = hard ? synth_hard() : synth_moderate();
        if (!hard) {
            cond.card_min = std::max(cond.card_min, synth_min_card_share(chart, h, 20));
            cond.card_max = std::max(cond.card_max, cond.card_min + 0.2);
        }
        auto ref = std::make_unique<card>();
        cardMakeRef(ref.get(), &COLOR_SPACE[space], chart);
        int found = 0, right = 0;
        std::vector<double> errors;
        double ms = 0;
        std::vector<unsigned long> misses;
        double bias[4][2] = {};
        for (int i = 0; i < shots; ++i) {
            synth_scene s = synth_draw(cond, chart, w, h, first + unsigned(i));
            s.encode = encode;
            synth_shot shot;
            synth_render(s, &shot);
            OfxPointD c[4];
            const auto t0 = std::chrono::steady_clock::now();
            const int code =
                cardFind(nullptr, &shot.frame, &TRANSFER_FUNCTION[encode], ref.get(), c);
            ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                      .count();
            if (code != FINDER_FOUND) {
                misses.push_back(first + unsigned(i));
                continue;
            }
            ++found;
            const double diag = std::hypot(shot.corners[2].x - shot.corners[0].x,
                                           shot.corners[2].y - shot.corners[0].y);
            double worst = 0;
            for (int k = 0; k < 4; ++k)
                worst = std::max(
                    worst,
                    std::hypot(c[k].x - shot.corners[k].x, c[k].y - shot.corners[k].y) / diag);
            errors.push_back(worst);
            int work_w = w, work_h = h;
            finder_work_size(w, h, 1.0, &work_w, &work_h);
            for (int k = 0; k < 4; ++k) {
                bias[k][0] += (c[k].x - shot.corners[k].x) * work_w / w;
                bias[k][1] += (c[k].y - shot.corners[k].y) * work_h / h;
            }
            if (only >= 0 && worst > 0.01) {
                std::printf("      seed %lu corner errors (frame px):", first + unsigned(i));
                for (int k = 0; k < 4; ++k)
                    std::printf(" (%+.1f, %+.1f)", c[k].x - shot.corners[k].x,
                                c[k].y - shot.corners[k].y);
                std::printf(" diagonal %.0f\n", diag);
            }
            if (worst <= 0.01)
                ++right;
            else
                misses.push_back(first + unsigned(i));
        }
        std::sort(errors.begin(), errors.end());
        auto at = [&](double q) {
            return errors.empty()
                       ? NAN
                       : errors[std::min(errors.size() - 1, size_t(q * double(errors.size())))];
        };
        std::printf("%-5d %4.2f-%4.2f %3d/%-3d %3d/%-3d %8.4f%% %8.4f%% %8.4f%% %8.1f\n", t,
                    cond.card_min, cond.card_max, found, shots, right, shots, 100 * at(0.5),
                    100 * at(0.95), 100 * (errors.empty() ? NAN : errors.back()), ms / shots);
        if (only >= 0 && found > 0) {
            std::printf("      mean signed corner error (working px):");
            for (int k = 0; k < 4; ++k)
                std::printf(" (%+.2f, %+.2f)", bias[k][0] / found, bias[k][1] / found);
            std::printf("\n");
        }
        if (!misses.empty()) {
            std::printf("      missed seeds:");
            for (unsigned long m : misses) std::printf(" %lu", m);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
