// Settings the benchmarks share: the effect's defaults for camera-log footage.
#pragma once

#include "pipeline/parameters.h"
#include "pipeline/slots.h"

// The effect's defaults with the given catalogue items on each side and the chart's
// reference cards: "deltaE", highlight protection on.
inline parameters defaults_for(int in_item, int out_item,
                               refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014) {
    parameters p;
    parameters_defaults(&p);
    p.input_transfer = TRANSFER_FUNCTION[in_item];
    p.input_space = COLOR_SPACE[in_item];
    p.output_transfer = TRANSFER_FUNCTION[out_item];
    p.output_space = COLOR_SPACE[out_item];
    cardMakeRef(&p.source, &p.input_space, chart);
    cardMakeRef(&p.target, &p.output_space, chart);
    return p;
}

// S-Log3 / S-Gamut3.Cine in, Rec. 709 out.
inline parameters camera_log_defaults(refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014) {
    return defaults_for(43, 3, chart);
}
