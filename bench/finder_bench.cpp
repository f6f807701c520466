// The card finder on synthetic shots of a 24-patch and a 140-patch chart at three frame
// sizes, one thread.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <utility>

#include "cards/finder.h"
#include "synth/synth.h"

namespace {

struct prepared {
    synth_shot shot;
    std::unique_ptr<card> reference;
    int encode;
};

const prepared& shot_for(refcard_type chart, int w, int h) {
    static std::map<std::pair<int, int>, std::unique_ptr<prepared>> cache;
    auto& slot = cache[{int(chart), w}];
    if (!slot) {
        slot = std::make_unique<prepared>();
        slot->encode = synth_entry("sRGB");
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
    const prepared& p = shot_for(chart, w, h);
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
    ->ArgNames({"chart", "w", "h"})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 1280, 720})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 1920, 1080})
    ->Args({XRITE_COLORCHECKER_24_AFTER_NOV2014, 3840, 2160})
    ->Args({XRITE_COLORCHECKER_SG_AFTER_NOV2014, 1280, 720})
    ->Args({XRITE_COLORCHECKER_SG_AFTER_NOV2014, 1920, 1080})
    ->Args({XRITE_COLORCHECKER_SG_AFTER_NOV2014, 3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
