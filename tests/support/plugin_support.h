// The plug-in file in the headless host, for tests that drive the effect as a host does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "headless/host.h"
#include "headless/memory.h"

// One loaded plug-in file shared by a test program (the process keeps one copy of the
// effect's globals, as a host does).
inline headless_plugin* loaded_plugin() {
    static headless_plugin plugin;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::string error;
        if (!headless_load(&plugin, CHROMALANE_PLUGIN_PATH, &error)) ADD_FAILURE() << error;
    }
    return plugin.entry ? &plugin : nullptr;
}

// A frame of smooth colours in any world format, filled from float RGBA.
inline void fill_world(headless_world* w, uint32_t seed) {
    int bpp = world_format_bytes(w->format);
    for (int y = 0; y < w->def.height; ++y) {
        char* row = static_cast<char*>(w->def.data) + static_cast<ptrdiff_t>(y) * w->def.rowbytes;
        for (int x = 0; x < w->def.width; ++x) {
            float v[4];
            for (int c = 0; c < 4; ++c) {
                uint32_t h = (static_cast<uint32_t>(x) * 73856093u) ^
                             (static_cast<uint32_t>(y) * 19349663u) ^
                             (static_cast<uint32_t>(c + 1) * 83492791u) ^ seed;
                h ^= h >> 13;
                h *= 0x5bd1e995u;
                h ^= h >> 15;
                v[c] = static_cast<float>(h % 1000u) / 999.0f;
            }
            char* px = row + x * bpp;
            switch (w->format) {
                case WORLD_ARGB8:
                case WORLD_BGRA8:
                    for (int c = 0; c < 4; ++c)
                        px[c] = static_cast<char>(static_cast<uint8_t>(v[c] * 255.0f));
                    break;
                case WORLD_ARGB16:
                    for (int c = 0; c < 4; ++c) {
                        auto u = static_cast<uint16_t>(v[c] * 32768.0f);
                        std::memcpy(px + 2 * c, &u, 2);
                    }
                    break;
                case WORLD_ARGB32F:
                case WORLD_BGRA32F:
                    // Beyond 0-1 too: float worlds carry super-whites and negatives.
                    for (int c = 0; c < 4; ++c) {
                        float f = v[c] * 1.4f - 0.2f;
                        std::memcpy(px + 4 * c, &f, 4);
                    }
                    break;
            }
        }
    }
}

// The pixels of a world row by row, without the padding at the rows' ends (which no one
// writes): for comparing what two renders wrote.
inline std::vector<char> world_pixels(const headless_world& w) {
    const size_t row = static_cast<size_t>(w.def.width) * world_format_bytes(w.format);
    std::vector<char> bytes;
    for (int y = 0; y < w.def.height; ++y) {
        const char* p = w.memory.data() + static_cast<ptrdiff_t>(y) * w.def.rowbytes;
        bytes.insert(bytes.end(), p, p + row);
    }
    return bytes;
}
