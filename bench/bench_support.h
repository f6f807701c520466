// Settings the benchmarks share: the effect's defaults for camera-log footage.
#pragma once

#include "pipeline/parameters.h"
#include "pipeline/slots.h"

// S-Log3 / S-Gamut3.Cine in, Rec. 709 out, "deltaE" with the chart's reference cards,
// highlight protection on.
inline parameters camera_log_defaults(refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014) {
    parameters p;
    parameters_defaults(&p);
    p.input_transfer = TRANSFER_FUNCTION[43];
    p.input_space = COLOR_SPACE[43];
    p.output_transfer = TRANSFER_FUNCTION[3];
    p.output_space = COLOR_SPACE[3];
    cardMakeRef(&p.source, &p.input_space, chart);
    cardMakeRef(&p.target, &p.output_space, chart);
    return p;
}
