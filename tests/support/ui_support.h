// The effect linked into the test program and driven through the headless host's custom-UI
// events: a synthetic chart shot as the layer frame, and the buttons' click points.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "headless/host.h"
#include "host/custom_ui.h"
#include "host/entry.h"
#include "host/params.h"
#include "synth/synth.h"

inline headless_plugin* linked_ui_plugin() {
    static headless_plugin plugin;
    if (!plugin.entry) headless_attach(&plugin, &EntryPointFunc);
    return &plugin;
}

inline std::string host_name(const ::testing::TestParamInfo<host_flavour>& p) {
    return p.param == FLAVOUR_AE ? "Compositing" : "Editing";
}

// A synthetic shot (sRGB-encoded ColorChecker) in the world format of the flavour.
inline void shot_world(const synth_shot& shot, host_flavour flavour, headless_world* w) {
    int width = shot.frame.right, height = shot.frame.bottom;
    world_init(w, flavour == FLAVOUR_AE ? WORLD_ARGB32F : WORLD_BGRA32F, width, height);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(static_cast<char*>(w->def.data) +
                                             static_cast<ptrdiff_t>(y) * w->def.rowbytes);
        for (int x = 0; x < width; ++x) {
            const float* p = &shot.pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                                           static_cast<size_t>(x)) *
                                          4];
            float* d = row + x * 4;
            if (flavour == FLAVOUR_AE)
                d[0] = p[3], d[1] = p[0], d[2] = p[1], d[3] = p[2];
            else
                d[0] = p[2], d[1] = p[1], d[2] = p[0], d[3] = p[3];
        }
    }
}

// The middle of a button, relative to its control.
inline int button_x(const button& b) {
    return static_cast<int>(b.x + b.width / 2);
}
inline int button_y(const button& b) {
    return static_cast<int>(b.y + 9);
}
inline PF_Err click_button(headless_instance* inst, int control, const button& b,
                           PF_Modifiers modifiers = 0) {
    return headless_click(inst, control, button_x(b), button_y(b), modifiers);
}

// The card stored in a ColorCard parameter.
inline std::unique_ptr<card> stored_card(headless_instance* inst, int index) {
    auto c = std::make_unique<card>();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(headless_flatten(inst, index, &bytes), PF_Err_NONE);
    std::memset(static_cast<void*>(c.get()), 0, sizeof(card));
    std::memcpy(static_cast<void*>(c.get()), bytes.data(),
                bytes.size() < sizeof(card) ? bytes.size() : sizeof(card));
    c->ref = refcard(static_cast<refcard_type>(static_cast<int>(headless_value(inst, 39))));
    return c;
}
