// How often the card finder is right, over seeded synthetic shots of every chart.
// A manual measurement (it takes minutes), not part of the test suite:
//   chromalane_detection [WIDTHxHEIGHT] [SET] [shots per chart] [first seed] [chart]
// SET is one of
//   moderate  an ordinary camera, cards large enough for the working size
//   hard      tilts to 50 degrees, any roll, +-2 EV, strong casts, vignetting, blur up
//             to 2.5 px, heavy noise, glare, small cards among patch-like clutter
//   small     cards whose smallest patch is about 11 frame pixels high (a 24-patch chart
//             at 6 % of a 1080-row frame, a 140-patch one at 12 %)
//   squeezed  non-square pixels: 10/11, 40/33 and 2 in turn (use 720x480)
//   false     frames that do not show the chart asked for: none at all (strong clutter),
//             another chart, a decoy board of coloured squares, a tiled wall
//   false-hard  the same frames under the hard set's light, lens and camera
// Frames of the hard and false sets are encoded in turn as sRGB, linear and a camera log
// curve (S-Log3), as footage comes; the others are sRGB.
// For chart shots each chart's line gives right (every corner within 2 % of the card's
// diagonal, in the right orientation), found but wrong, and not found; for the false set
// the share of "found" answers. With a chart number it measures that chart alone and
// lists the seeds of the misses. With CHROMALANE_DETECTION_SAVE set to a folder, every
// chart shot the finder got wrong or missed is written there as a PFM file of its code
// values (t<type>_<seed>_in<entry>.pfm), to be looked at with the tool (entry is the
// catalogue position of the frame's encoding, for find --input), and the true corners
// beside it (.txt).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cards/finder.h"
#include "synth/synth.h"

namespace {

// A placement is right when every corner lies within this share of the card's diagonal.
constexpr double RIGHT_SHARE = 0.02;

struct tally {
    int right = 0, wrong = 0, missed = 0;
    double ms = 0;
    std::vector<double> errors;
    std::vector<double> scores_right, scores_wrong;
    std::vector<unsigned long> misses;
};

// The charts that are not another chart: the two editions of one card differ in a few
// reference values only.
bool same_card(int a, int b) {
    auto family = [](int t) {
        return t == XRITE_COLORCHECKER_24_BEFORE_NOV2014   ? XRITE_COLORCHECKER_24_AFTER_NOV2014
               : t == XRITE_COLORCHECKER_SG_BEFORE_NOV2014 ? XRITE_COLORCHECKER_SG_AFTER_NOV2014
                                                           : t;
    };
    return family(a) == family(b);
}

int find(const synth_shot& shot, const card* ref, int encode, OfxPointD* c, finder_report* rep,
         double* ms) {
    const auto t0 = std::chrono::steady_clock::now();
    const int code = cardFindReport(nullptr, &shot.frame, &TRANSFER_FUNCTION[encode], ref, c, rep);
    *ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    return code;
}

// The frame's code values as a colour PFM (rows bottom to top, little-endian floats).
void save_pfm(const synth_shot& shot, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    const image& fr = shot.frame;
    const int w = fr.right - fr.left, h = fr.bottom - fr.top;
    std::fprintf(f, "PF\n%d %d\n-1.0\n", w, h);
    std::vector<float> row(size_t(w) * 3);
    for (int y = h - 1; y >= 0; --y) {
        const float* p = reinterpret_cast<const float*>(fr.pixels + ptrdiff_t(y) * fr.row_bytes);
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) row[size_t(x) * 3 + size_t(k)] = p[4 * x + k];
        std::fwrite(row.data(), sizeof(float), row.size(), f);
    }
    std::fclose(f);
}

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    int w = 1920, h = 1080;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &w, &h) != 2) return 2;
    const std::string set = argc > 2 ? argv[2] : "moderate";
    const int shots = argc > 3 ? std::atoi(argv[3]) : 40;
    const unsigned long first = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 1000;
    const int only = argc > 5 ? std::atoi(argv[5]) : -1;
    // With CHROMALANE_DETECTION_DUMP set, every frame's measures are listed (lines
    // starting with M) for choosing the finder's thresholds.
    const bool dump = std::getenv("CHROMALANE_DETECTION_DUMP") != nullptr;
    const char* save = std::getenv("CHROMALANE_DETECTION_SAVE");
    const int encodings[3] = {synth_entry("sRGB"), synth_entry("Linear sRGB"),
                              synth_entry("Sony S-Log3 / S-Gamut3.Cine")};
    const bool false_hard = set == "false-hard";
    const bool mixed = set == "hard" || set == "false" || false_hard;
    const int space = synth_entry("Rec. 709");
    std::printf("%dx%d %s, %d shots per chart, seeds from %lu\n", w, h, set.c_str(), shots, first);
    const bool false_set = set == "false" || false_hard;
    if (false_set)
        std::printf("%-5s %9s %9s %9s %9s %8s\n", "type", "no chart", "other", "grid", "tiles",
                    "ms/find");
    else
        std::printf("%-5s %-10s %5s %5s %5s %9s %9s %8s %11s\n", "type", "card", "right", "wrong",
                    "none", "median", "p95", "ms/find", "score r/w");
    int total_right = 0, total_shots = 0, total_found_false = 0, total_false = 0;
    for (int t = 0; t < REFCARD_TYPE_COUNT; ++t) {
        if (only >= 0 && t != only) continue;
        const refcard_type chart = refcard_type(t);
        synth_conditions cond = set == "hard" ? synth_hard() : synth_moderate();
        if (set == "moderate" || set == "squeezed") {
            cond.card_min = std::max(cond.card_min, synth_min_card_share(chart, h, 20));
            cond.card_max = std::max(cond.card_max, cond.card_min + 0.2);
        } else if (set == "small") {
            cond.card_min = std::max(0.06, synth_min_card_share(chart, h, 11));
            cond.card_max = cond.card_min * 1.25;
        } else if (set == "hard") {
            cond.card_min = std::max(cond.card_min, synth_min_card_share(chart, h, 11));
            cond.card_max = std::max(cond.card_max, cond.card_min * 1.5);
        }
        auto ref = std::make_unique<card>();
        cardMakeRef(ref.get(), &COLOR_SPACE[space], chart);
        tally tl;
        int found_false[4] = {0, 0, 0, 0};
        for (int i = 0; i < shots; ++i) {
            const unsigned long seed = first + unsigned(i);
            const int encode = encodings[mixed ? i % 3 : 0];
            if (false_set) {
                for (int kind = 0; kind < 4; ++kind) {
                    synth_conditions fc = false_hard ? synth_hard() : synth_moderate();
                    refcard_type shown = chart;
                    if (kind == 1) {
                        // Another chart, seen as an ordinary camera would.
                        int other = int((seed * 7 + unsigned(t)) % REFCARD_TYPE_COUNT);
                        while (same_card(other, t)) other = (other + 1) % REFCARD_TYPE_COUNT;
                        shown = refcard_type(other);
                        fc.card_min = std::max(fc.card_min, synth_min_card_share(shown, h, 20));
                        fc.card_max = std::max(fc.card_max, fc.card_min + 0.2);
                    }
                    if (kind == 0) {
                        fc.clutter_min = 40;
                        fc.clutter_max = 90;
                        fc.clutter_patch_like = 0.6;
                    }
                    synth_scene s = synth_draw(fc, shown, w, h, seed);
                    s.encode = encode;
                    s.with_card = kind == 1;
                    s.decoy = kind == 2   ? SYNTH_DECOY_GRID
                              : kind == 3 ? SYNTH_DECOY_TILES
                                          : SYNTH_DECOY_NONE;
                    synth_shot shot;
                    synth_render(s, &shot);
                    OfxPointD c[4];
                    finder_report rep;
                    const int code = find(shot, ref.get(), encode, c, &rep, &tl.ms);
                    if (dump)
                        std::printf("M false %d %d %d %.4f %d %d %.4f %.3f\n", t, kind,
                                    code == FINDER_FOUND, rep.colour_residual, rep.matched,
                                    rep.findable, rep.irregularity, rep.score);
                    if (code == FINDER_FOUND) {
                        ++found_false[kind];
                        if (only >= 0)
                            std::printf("      kind %d seed %lu found, score %.3f\n", kind, seed,
                                        rep.score);
                    }
                }
                continue;
            }
            cond.pixel_aspect = set == "squeezed" ? (i % 3 == 0   ? 10.0 / 11
                                                     : i % 3 == 1 ? 40.0 / 33
                                                                  : 2.0)
                                                  : 1.0;
            synth_scene s = synth_draw(cond, chart, w, h, seed);
            s.encode = encode;
            synth_shot shot;
            synth_render(s, &shot);
            OfxPointD c[4];
            finder_report rep;
            const int code = find(shot, ref.get(), encode, c, &rep, &tl.ms);
            // In square pixels, so that a squeezed frame's error is judged as seen.
            const double par = shot.frame.pixel_aspect;
            auto dist = [par](OfxPointD a, OfxPointD b) {
                return std::hypot((a.x - b.x) * par, a.y - b.y);
            };
            const double diag = dist(shot.corners[2], shot.corners[0]);
            if (dump) {
                double cw = 0;
                for (int k = 0; k < 4; ++k) {
                    const double d = dist(rep.candidate[k], shot.corners[k]) / diag;
                    cw = std::isnan(d) ? INFINITY : std::max(cw, d);
                }
                // The scene's conditions, to sort the misses by: the card's height in frame
                // pixels, tilt in degrees, blur, exposure in stops, noise, glare.
                std::printf(
                    "M %s %d %d %d %.4f %d %d %.4f %.3f %lu %d card %.0f tilt %.0f blur %.1f "
                    "ev %+.1f noise %.3f glare %.2f %s\n",
                    set.c_str(), t, cw <= RIGHT_SHARE, code == FINDER_FOUND, rep.colour_residual,
                    rep.matched, rep.findable, rep.irregularity, rep.score, seed, code,
                    s.card_height, std::hypot(s.tilt_x, s.tilt_y) * 180 / 3.14159265358979, s.blur,
                    std::log2(s.exposure), s.noise, s.glare, rep.reason ? rep.reason : "-");
                // Each placed corner's error along the card's true top side and left side
                // (per cent of the diagonal), to tell a bias from scatter.
                const double ux = (shot.corners[1].x - shot.corners[0].x) * par,
                             uy = shot.corners[1].y - shot.corners[0].y,
                             vx = (shot.corners[3].x - shot.corners[0].x) * par,
                             vy = shot.corners[3].y - shot.corners[0].y;
                const double ul = std::hypot(ux, uy), vl = std::hypot(vx, vy);
                std::printf("E %s %d %lu", set.c_str(), t, seed);
                for (int k = 0; k < 4; ++k) {
                    const double ex = (rep.candidate[k].x - shot.corners[k].x) * par,
                                 ey = rep.candidate[k].y - shot.corners[k].y;
                    std::printf(" %+.2f %+.2f", 100 * (ex * ux + ey * uy) / (ul * diag),
                                100 * (ex * vx + ey * vy) / (vl * diag));
                }
                std::printf("\n");
            }
            auto keep = [&] {
                if (!save) return;
                const std::string stem = std::string(save) + "/t" + std::to_string(t) + "_" +
                                         std::to_string(seed) + "_in" + std::to_string(encode);
                save_pfm(shot, stem + ".pfm");
                if (FILE* f = std::fopen((stem + ".txt").c_str(), "w")) {
                    for (const OfxPointD& p : shot.corners)
                        std::fprintf(f, "%.2f %.2f\n", p.x, p.y);
                    std::fclose(f);
                }
            };
            if (code != FINDER_FOUND) {
                keep();
                ++tl.missed;
                tl.misses.push_back(seed);
                continue;
            }
            double worst = 0;
            for (int k = 0; k < 4; ++k) worst = std::max(worst, dist(c[k], shot.corners[k]) / diag);
            tl.errors.push_back(worst);
            if (worst <= RIGHT_SHARE) {
                ++tl.right;
                tl.scores_right.push_back(rep.score);
            } else {
                ++tl.wrong;
                keep();
                tl.scores_wrong.push_back(rep.score);
                tl.misses.push_back(seed);
                if (only >= 0) {
                    std::printf("      seed %lu score %.3f corner errors (frame px):", seed,
                                rep.score);
                    for (int k = 0; k < 4; ++k)
                        std::printf(" (%+.1f, %+.1f)", c[k].x - shot.corners[k].x,
                                    c[k].y - shot.corners[k].y);
                    std::printf(" diagonal %.0f\n", diag);
                }
            }
        }
        if (false_set) {
            std::printf("%-5d %4d/%-4d %4d/%-4d %4d/%-4d %4d/%-4d %8.1f\n", t, found_false[0],
                        shots, found_false[1], shots, found_false[2], shots, found_false[3], shots,
                        tl.ms / (4 * std::max(shots, 1)));
            for (int k = 0; k < 4; ++k) total_found_false += found_false[k];
            total_false += 4 * shots;
        } else {
            std::printf("%-5d %4.2f-%4.2f %5d %5d %5d %8.3f%% %8.3f%% %8.1f %5.2f/%-5.2f\n", t,
                        cond.card_min, cond.card_max, tl.right, tl.wrong, tl.missed,
                        100 * quantile(tl.errors, 0.5), 100 * quantile(tl.errors, 0.95),
                        tl.ms / std::max(shots, 1), quantile(tl.scores_right, 0.05),
                        quantile(tl.scores_wrong, 0.95));
            total_right += tl.right;
            total_shots += shots;
            if (!tl.misses.empty()) {
                std::printf("      missed seeds:");
                for (unsigned long m : tl.misses) std::printf(" %lu", m);
                std::printf("\n");
            }
        }
        std::fflush(stdout);
    }
    if (false_set)
        std::printf("all   found on %d of %d frames (%.1f %%)\n", total_found_false, total_false,
                    100.0 * total_found_false / std::max(total_false, 1));
    else
        std::printf("all   right on %d of %d shots (%.1f %%)\n", total_right, total_shots,
                    100.0 * total_right / std::max(total_shots, 1));
    return 0;
}
