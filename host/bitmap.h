// ColorCard files: an ordinary 24-bit bitmap that shows the chart's patches and carries the
// card's portable encoding in the low bits of its first 96 rows x 129 columns of pixels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "cards/card.h"
#include "pipeline/transfer.h"

constexpr int BITMAP_CANVAS_WIDTH = 200;
constexpr int BITMAP_CANVAS_HEIGHT = 129;
// The hidden grid: encoding byte k sits at column k / 96, row k % 96 (rows from the bottom).
constexpr int BITMAP_HIDDEN_COLUMNS = 129;
constexpr int BITMAP_HIDDEN_ROWS = 96;
constexpr int BITMAP_HEADER_BYTES = 54;
// Linear background level, 0.145 on display.
constexpr float BITMAP_BACKGROUND = 0.014289253f;

// Linear light premultiplied by coverage (RGBA), row 0 at the top. Process-wide, used on
// the user-interface thread (bitmap_write serialises its own use).
extern float bitmap_canvas[BITMAP_CANVAS_HEIGHT][BITMAP_CANVAS_WIDTH][4];

void bitmap_clear_canvas();
// Adds one patch, anti-aliased at its edges: `rect` is (x0, x1, y0, y1) in chart units,
// `scale` the chart's bitmap scale, (r, g, b) its display colour.
void bitmap_draw_patch(const float* rect, float scale, float r, float g, float b);
void bitmap_draw_background();
void bitmap_linear_to_srgb();

// The file's width and height for a chart.
int bitmap_file_width(const reference_card* chart);
int bitmap_file_height(const reference_card* chart);

// Asks for a file through the owner window's dialog and writes the card there. Returns 1
// when written, 0 when the dialog was cancelled, -1 when the card names no known chart or
// the file could not be written (errno says why; an existing file is then left as it was).
int bitmap_write(void* window, const transfer_function* tf, const color_space* cs, const card* c);
// Asks for a file and reads a card from it: 1 loaded, 0 cancelled, -1 from a newer version or
// with content this build does not know, -2 not a valid ColorCard file. The outputs change
// only when the result is 1.
int bitmap_read(void* window, transfer_function* tf, color_space* cs, card* c);

// The whole file's bytes for a card (empty when the card names no known chart).
std::vector<uint8_t> bitmap_encode(const transfer_function* tf, const color_space* cs,
                                   const card* c);
// bitmap_read on an open, seekable stream holding the file from its first byte.
int bitmap_read_stream(FILE* f, transfer_function* tf, color_space* cs, card* c);
