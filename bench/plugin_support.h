// The plug-in file loaded once for the benchmarks that render through it.
#pragma once

#include <cstdio>
#include <string>

#include "headless/host.h"

// The plug-in the build made, or null (with a message) when it cannot be loaded.
inline headless_plugin* loaded_plugin() {
    static headless_plugin p;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::string error;
        if (!headless_load(&p, CHROMALANE_PLUGIN_PATH, &error))
            std::fprintf(stderr, "%s\n", error.c_str());
    }
    return p.entry ? &p : nullptr;
}
