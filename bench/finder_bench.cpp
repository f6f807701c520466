// The card finder on synthetic shots of a 24-patch and a 140-patch chart at three frame
// sizes, sRGB-encoded, and of the 24-patch chart in a linear 1080p frame (which the finder
// re-encodes for its edges), one thread.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "cards/finder.h"
#include "synth/synth.h"

namespace {

struct prepared {
    synth_shot shot;
    std::unique_ptr<card> reference;
    int encode;
};

const prepared& shot_for(refcard_type chart, int w, int h, bool linear = false) {
    static std::map<std::tuple<int, int, bool>, std::unique_ptr<prepared>> cache;
    auto& slot = cache[{int(chart), w, linear}];
    if (!slot) {
        slot = std::make_unique<prepared>();
        slot->encode = synth_entry(linear ? "Linear sRGB" : "sRGB");
        synth_conditions cond = synth_moderate();
        cond.card_min = 0.35;
        cond.card_max = 0.45;
        synth_scene s = synth_draw(cond, chart, w, h, 7);
        s.encode = slot->encode;
        synth_render(s, &slot->shot);
        slot->reference = std::make_unique<card>();
        cardMakeRef(slot->reference.get(), &COLOR_SPACE[synth_entry("Rec. 709")], chart);
    }
    return *slot;
}

void BM_cardFind(benchmark::State& state) {
    const refcard_type chart = refcard_type(state.range(0));
    const int w = int(state.range(1)), h = int(state.range(2));
    const prepared& p = shot_for(chart, w, h, state.range(3) != 0);
    int code = -1;
    for (auto _ : state) {
        OfxPointD corners[4];
        code = cardFind(nullptr, &p.shot.frame, &TRANSFER_FUNCTION[p.encode], p.reference.get(),
                        corners);
        benchmark::DoNotOptimize(corners);
    }
    state.counters["found"] = code == FINDER_FOUND ? 1 : 0;
}

}  // namespace

BENCHMARK(BM_cardFind)
    ->ArgNames({"chart", "w", "h", "linear"})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 1280, 720, 0})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 1920, 1080, 0})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 3840, 2160, 0})
    ->Args({XRITE_COLORCHECKER_SG_AFTER_NOV2014, 1280, 720, 0})
    ->Args({XRITE_COLORCHECKER_SG_AFTER_NOV2014, 1920, 1080, 0})
    ->Args({XRITE_COLORCHECKER_SG_AFTER_NOV2014, 3840, 2160, 0})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 1920, 1080, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

namespace {

// A frame tiled with 40-pixel squares: about 1300 candidate regions of one size, the
// finder's worst case for clustering.
void BM_cardFind_tiled(benchmark::State& state) {
    const int W = 1920, H = 1080, cell = 40;
    std::vector<float> px(size_t(W) * H * 4, 1.0f);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool on = ((x / cell) + (y / cell)) % 2 != 0;
            float* p = &px[(size_t(y) * W + size_t(x)) * 4];
            p[0] = on ? 0.8f : 0.1f;
            p[1] = on ? 0.3f : 0.1f;
            p[2] = on ? 0.2f : 0.15f;
        }
    image frame = {};
    frame.format = IMAGE_RGBA32F;
    frame.right = W;
    frame.bottom = H;
    frame.pixel_aspect = 1;
    frame.row_bytes = W * 16;
    frame.pixels = reinterpret_cast<char*>(px.data());
    const refcard_type chart = refcard_type(state.range(0));
    auto reference = std::make_unique<card>();
    cardMakeRef(reference.get(), &COLOR_SPACE[synth_entry("Rec. 709")], chart);
    for (auto _ : state) {
        OfxPointD corners[4];
        benchmark::DoNotOptimize(cardFind(nullptr, &frame, nullptr, reference.get(), corners));
    }
}

}  // namespace

BENCHMARK(BM_cardFind_tiled)
    ->ArgNames({"chart"})
    ->Arg(XRITE_COLORCHECKER_24_AFTER_NOV2014)
    ->Arg(XRITE_COLORCHECKER_SG_AFTER_NOV2014)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
