// Image operations the card finder runs on its downscaled frame: separable edge
// detection, dilation, connected-region labelling, region extents, and the small line
// geometry that turns four side lines into corners and corners into an area.
//
// A plane is a single-channel float image: `left`, `top`, `right`, `bottom` give its
// size, `row_bytes` its row stride and `pixels` its first float. Planes are views into a
// work image of the same size whose rows hold several planes (plane k starts k x width floats
// into each row; an RGBA32f image holds four), so the finder never needs more than two
// frame-sized buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pipeline/image.h"

// Plane `index` (0-3) of an RGBA32f image: shares its bounds and stride.
image plane_view(const image* work, int index);

inline int image_width(const image* p) {
    return p->right - p->left;
}
inline int image_height(const image* p) {
    return p->bottom - p->top;
}
inline float* plane_row(const image* p, int y) {
    return reinterpret_cast<float*>(p->pixels + static_cast<ptrdiff_t>(p->row_bytes) * y);
}

void clear(image* p);
// Plane dst receives float c (0 = R, 1 = G, 2 = B) of every RGBA32f pixel of src.
void extract_channel(int c, const image* src, image* dst);
// dst += |src| per pixel.
void add_abs(const image* src, image* dst);
// 1.0 where the pixel is greater than t, else 0.0 (NaN gives 0.0).
void threshold(image* p, float t);
// Grey-level dilation (maximum, never below 0) over the window x-r ... x+r-1, y-r ... y+r-1:
// 2r pixels wide, clipped at the borders.
void dilate(const image* src, image* dst, int r);
// Correlation with the 2r + 1 taps of k (not mirrored), border pixels repeated.
void convolve1_x(const float* k, int r, const image* src, image* dst);
void convolve1_y(const float* k, int r, const image* src, image* dst);
// The edge threshold of the finder's first look at a frame.
constexpr float EDGE_THRESHOLD = 2.0f;
// Binary edge plane (1.0 on edges) of an RGBA32f frame: per channel, smoothed
// derivatives along x and y, magnitudes summed over channels, thresholded at `level`.
void sobel_edges(const image* src, image* edges, float level = EDGE_THRESHOLD);

// Fills the 4-connected area of exact 0.0 pixels at (x, y) with `label`; nothing
// happens when that pixel is not 0.0 or the label is 0 or NaN. The seed stack grows as
// needed (it may throw std::bad_alloc).
void flood_fill(image* p, int x, int y, float label);
// Labels every zero area of p with 2, 3, ...; returns the highest label used (1 when none).
int flood_fill_regions(image* p);
// Edges, thickened edges, labels and their final 2-pixel growth; plane 0 of `work` holds
// the labels afterwards, plane 1 is free. Returns N >= 5: labels 2 ... N are to be
// examined. `work` has the frame's size and rows of at least two planes (2 x width floats);
// an RGBA32f image serves.
int card_find_regions(const image* frame, image* work, float edge_threshold = EDGE_THRESHOLD);

// Extents of one label over the whole plane: col_ext (W x 2 floats, rows 0 and 1) gets
// the smallest and largest y per column, row_ext (H rows, first two floats) the first and
// last x per row; -1 where none. Returns the pixel count.
int perimeter(const image* labels, int label, image* col_ext, image* row_ext);

// The bounding box and pixel count of one label (inclusive box; empty when count is 0).
struct label_box {
    int32_t count;
    int32_t x0, y0, x1, y1;
};
// One pass over the label plane filling boxes[L] for every label L in 0 ... n.
void label_boxes(const image* labels, label_box* boxes, int n);

// Extents of many labels gathered in one pass, each over its own bounding box:
// column c of label L (x = box.x0 + c) has top/bottom at col[2c], col[2c + 1]; row r
// (y = box.y0 + r) has first/last x at row[2r], row[2r + 1]; -1 where none.
struct label_extent {
    int32_t label;
    label_box box;
    int32_t* col;  // 2 x box width
    int32_t* row;  // 2 x box height
};
// Number of int32 a label_extent of this box needs.
inline size_t label_extent_ints(const label_box& b) {
    return 2 * (static_cast<size_t>(b.x1 - b.x0 + 1) + static_cast<size_t>(b.y1 - b.y0 + 1));
}
// `index` maps a label (0 ... n) to its position in `extents`, or -1 to skip it. The
// col/row arrays must already point to storage of label_extent_ints each.
void gather_extents(const image* labels, const int32_t* index, int n, label_extent* extents,
                    int count);

// Intersection of the lines x cos(theta) + y sin(theta) = r.
void hough_intersect(float theta1, float r1, float theta2, float r2, float* x, float* y);
// Corner k = side k meets side k + 1 (mod 4): sides left, top, right, bottom give corners
// top left, top right, bottom right, bottom left.
void corners(float* theta, float* r, float* x, float* y);
// Area of a quadrilateral, positive when clockwise on screen (y down), else 0.
float area(float* x, float* y);
