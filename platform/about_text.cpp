// The about box's words, the same on every platform.
#include "platform/platform.h"

const char* const ABOUT_TITLE = "Chromalane Color Corrector";
const char* const ABOUT_TEXT =
    "Chromalane Color Corrector III, version 3.0\n"
    "Colour correction from a chart filmed in the shot. All rights reserved.";
