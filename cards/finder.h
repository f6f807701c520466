// Finding a chart in a frame: candidate patches are closed, nearly square regions
// between edges; clusters of neighbouring candidates of similar size give card sides;
// each cluster's card position is scored by how well the colours sampled there map
// linearly onto the chart's reference colours, and the best one wins.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "cards/card.h"
#include "cards/primitives.h"
#include "pipeline/image.h"
#include "pipeline/transfer.h"

// Result codes shared with the host layer.
constexpr int FINDER_FOUND = 0;
constexpr int FINDER_OUT_OF_MEMORY = 4;
constexpr int FINDER_NOT_FOUND = 513;

// Where the finder's working memory comes from: the host passes its own; null means
// the C heap. `allocate` returns null when memory ran out.
struct finder_allocator {
    void* (*allocate)(void* context, size_t bytes);
    void (*release)(void* context, void* block);
    void* context;
};

// Working images are never wider than this (an extremely wide frame is worked on at
// fewer rows instead), so sizes stay bounded and labels stay exact in a float.
constexpr int FINDER_MAX_WORK_WIDTH = 8192;

// One candidate patch.
struct region {
    int32_t label;
    int32_t pixel_count;
    float side_angle[4];  // normals of the fitted sides: left, top, right, bottom
    float corner_x[4];    // corners top left, top right, bottom right, bottom left
    float corner_y[4];
    float quad_area;
    float centre_x, centre_y;
};

// Locates the chart of `reference` (its reference colours in linear working-space RGB)
// in `frame`, whose values are encoded with the input transfer `tf` (null: linear).
// Returns FINDER_FOUND with the corners (top left, top right, bottom right, bottom left,
// in the frame's pixel coordinates), FINDER_NOT_FOUND, or FINDER_OUT_OF_MEMORY. All
// working memory is released before it returns.
int cardFind(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
             const card* reference, OfxPointD* corners);

// How far the evidence at the finder's best placement carries the chart.
struct finder_report {
    // 0 to 1: the weakest of the measures below, each mapped onto 0 (not the chart) to 1
    // (as a chart in a clear shot); a placement scoring under FINDER_MIN_SCORE is not
    // returned. NaN when no placement was scored.
    double score = NAN;
    // Share of the reference colours' spread that the best 3 x 3 matrix from the sampled
    // colours leaves unexplained (0 a perfect fit, 1 none).
    double colour_residual = NAN;
    int matched = 0;   // findable patches with a candidate region of their own
    int findable = 0;  // the chart's findable patches
    // Spread of the matched regions' centres about the layout's fitted map, in patch sizes.
    double irregularity = NAN;
    // Lowest of the patches' contrast against the card body, as a ratio of linear values.
    double body_contrast = NAN;
    // Why nothing was returned (null when a card was found): "no candidate patches", "no
    // cluster like the chart's layout", or the measure that fell short.
    const char* reason = nullptr;
    // The placement that was scored, in the frame's pixels, also when it was turned down.
    OfxPointD candidate[4] = {};
    // The frame held candidate patches for four charts or more (tiles, keyboards), or so
    // many that the search stopped at its budget.
    bool crowded = false;
};
// Placements scoring below this are "not found".
constexpr double FINDER_MIN_SCORE = 0.5;

// How much of the reference colours' spread the best 3 x 3 matrix from the sampled
// card's linear colours onto the reference leaves unexplained: the residual over the
// patches (the worst tenth left out, and up to another tenth of neighbours read brighter
// than the fit, so that a speck or a highlight over a few patches does not decide)
// divided by the spread of the reference about its mean. Near 0 for the
// chart under any light and camera, about 1 for colours unrelated to it.
double card_fit_residual(const card* sampled, const card* reference);
// As cardFind, and fills `report` (may be null).
int cardFindReport(const finder_allocator* alloc, const image* frame, const transfer_function* tf,
                   const card* reference, OfxPointD* corners, finder_report* report);

// Whether the curve leaves code values as they are (linear light, up to levels): such
// frames are re-encoded for the finder's edges.
bool linear_code_values(const transfer_function* tf);
// An RGBA32f image's code values, encoded with `tf`, to linear in place (alpha kept).
void linearise_in_place(image* work, const transfer_function* tf);
// Linear values (in place) to the finder's edge encoding, a square root with a short toe.
void encode_for_edges(float* values, int count);
// Its inverse for values from 0 up (negative ones were 0 on the way in).
void decode_from_edges(float* values, int count);

// Working size for a frame of w x h pixels with the given pixel aspect: h clamped to
// 600 ... 1200 rows, width for square pixels, bounded by FINDER_MAX_WORK_WIDTH. False
// when the frame is too small or too thin to hold a chart.
bool finder_work_size(int w, int h, double pixel_aspect, int* work_w, int* work_h);

// The region's boundary reduced to the points that can touch a side line: the convex
// hull of the top/bottom point of every column and the first/last point of every row.
struct patch_outline {
    const float* x;
    const float* y;
    int count;
};
// Convex hull of one label's extents; writes up to 4 x (width + height) points into
// hx, hy and returns the number written.
int patch_outline_points(const label_extent* e, float* hx, float* hy);

// Corners of the quadrilateral whose sides (normal angles `angles`, left, top, right,
// bottom) touch the outline from outside, half a pixel out.
void patch_corners(const patch_outline* o, const float* angles, float* x, float* y);
float patch_area(const patch_outline* o, const float* angles);
// Pattern search turning a group of sides to make the area smallest. `mode` lists the
// 1-based sides turned together: 1234, 13, 24, 1, 2, 3 or 4.
void minimise_patch_area(const patch_outline* o, float* angles, int mode);
void find_patch_angles(const patch_outline* o, float* angles);

// Fits one region from its outline and fills `r` (label and count left to the caller).
void fit_region(const patch_outline* o, region* r);
// True when the region fills at least 90 % of its quadrilateral and the corners' bounding
// box is nearly square (aspect at most 1.4); regions under 80 pixels never are.
bool region_accepted(const region* r);

// Grows the cluster that starts at region `start` into `members` (room for m entries;
// members[0] = start); returns the member count.
int cluster_starting_from(const reference_card* ref, const region* regions, int m, int start,
                          int* members);
// Side angles of the card from a cluster (left, top, right, bottom); `side_mask` has room
// for 4 x count flags (corner j of member i at [4i + j]).
void find_card_angle(const region* regions, const int* members, int count, uint8_t* side_mask,
                     float* angles);
// The card's corners around the outer edges of the cluster's outer patches.
void find_card_corners_from_angle(const region* regions, const int* members, int count,
                                  const float* angles, OfxPointD* corners);
// Moves the corners out by the chart's margins (in place).
void expand_card_corners(const reference_card* ref, OfxPointD* c);
// Corner order starting at `first`, expanded by the margins.
void rotate_and_expand_card(const reference_card* ref, const OfxPointD* in, int first,
                            OfxPointD* out);
// Centres of the chart's findable patches (those square enough to be candidates) in
// the coordinates of the card found before the margins are added (0 to 1 across the
// outer edges of its outer findable patches); returns their count. u and v have room
// for the chart's patch count.
int card_layout(const reference_card* ref, double* u, double* v);
// Corners (in the chart's own order, before the margins) refined by the projective map
// that best takes the chart's patch centres onto the cluster's member centres, each
// member matched to the nearest patch centre under the current corners. False, with
// the corners unchanged, when too few members match.
// How well a cluster matched the chart's layout.
struct layout_fit {
    int matched = 0;            // patches with a member of their own
    int findable = 0;           // the chart's findable patches
    double irregularity = NAN;  // RMS distance of those members from the map, in patch sizes
};
// With `region_count`, the number of all the frame's regions in `regions`, a chart placed
// from patches at one end of it is held at the other by the regions on its oblong
// patches there (two or more).
bool refine_card_corners(const image* frame, const reference_card* ref, const region* regions,
                         const int* members, int count, OfxPointD* corners,
                         layout_fit* fit = nullptr, int region_count = 0);
// Picks the cyclic corner order with the smallest colour error, expands it by the
// margins into `corners` and returns that error.
double rotate_card(const image* frame, const card* reference, OfxPointD* corners);
// Sum of squared residuals of the best 3 x 3 matrix from the colours sampled at the
// corners to the reference colours.
double card_error(const image* frame, const card* reference, const OfxPointD* corners);

// Everything after labelling: candidate regions, clusters and scoring on a linearised
// working frame with its label plane (`labels`, labels 2 ... n). Returns FINDER_FOUND
// with the corners in working-image pixels, FINDER_NOT_FOUND or FINDER_OUT_OF_MEMORY.
int card_find_corners(const finder_allocator* alloc, const image* frame, const card* reference,
                      const image* labels, int n, OfxPointD* corners,
                      finder_report* report = nullptr);
