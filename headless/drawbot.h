// The headless host's DRAWBOT: the drawing suites an effect draws its controls and overlays
// with, rasterised by Cairo into an RGBA picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostsdk/drawbot.h"
#include "hostsdk/effect.h"

// 8-bit straight RGBA, rows top to bottom.
struct headless_canvas {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

struct headless_drawing;

// A surface of the given size, cleared to transparent or starting from `background` (which
// must be as large); `origin_x` and `origin_y` are the drawing coordinates of its top-left.
headless_drawing* drawing_begin(int width, int height, const headless_canvas* background,
                                double origin_x = 0, double origin_y = 0);
// Ends the drawing and hands out what was drawn.
void drawing_end(headless_drawing* d, headless_canvas* out);
DRAWBOT_DrawRef drawing_ref(headless_drawing* d);
// Objects the effect made and has not released yet (pens, brushes, fonts, paths).
int64_t drawing_live_objects();

// The DRAWBOT suite of that name and version, or null.
const void* drawbot_suite(const std::string& name, A_long version);

// Reads a PNG file into a canvas. False when it could not be read.
bool canvas_read_png(const std::string& path, headless_canvas* c);
// Writes the canvas as a PNG file. False when it could not be written.
bool canvas_write_png(const headless_canvas& c, const std::string& path);
