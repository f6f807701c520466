// Card geometry (card coordinates to frame positions through four corners) and the
// image readers used to sample patches and by the card finder.
#pragma once

#include "cards/card.h"
#include "pipeline/image.h"
#include "pipeline/transfer.h"

// Corners in the pixel coordinates of an image of the given scale (relative to full
// resolution): top left, top right, bottom right, bottom left.
struct card_location {
    OfxPointD corners[4];
    double scale_x, scale_y;
};

// A prepared perspective-aware interpolation over four corners. The caller fills x and y
// and calls card_interpolate_init; the rest is derived.
struct card_corners {
    float x[4], y[4];    // top left, top right, bottom right, bottom left
    float cx, cy;        // where the diagonals 0-2 and 1-3 cross
    float px[4], py[4];  // corner offsets from the centre times their weights
    float w[4];          // homogeneous weights
};

void card_interpolate_init(card_corners* cc);
// Frame position of card coordinate (u, v); the unit corners map onto the corners.
void card_interpolate_xy(float* x, float* y, const card_corners* cc, float u, float v);

// Samples every patch of c->ref from `img` at the card given by four corners (image
// pixel coordinates). `tf` may be null: then `linear` becomes a copy of `display`.
void cardRead(const image* img, const transfer_function* tf, const OfxPointD* corners, card* c);

// How a patch is read from a frame.
enum card_sampling : int {
    // A fixed 10 x 10 pixel box around the patch centre, averaged as stored.
    CARD_SAMPLING_BOX = 0,
    // The central part of the patch as the corners' perspective maps it, averaged in
    // linear light with outlying pixels (specks, highlights) left out.
    CARD_SAMPLING_PATCH = 1,
};

// cardRead with a choice of sampling; CARD_SAMPLING_BOX is cardRead itself.
void cardReadSampled(const image* img, const transfer_function* tf, const OfxPointD* corners,
                     card* c, card_sampling sampling);

// The card-coordinate rectangle read for patch `index` by patch sampling: the patch's
// cell (half-way to its neighbours across and down, or to the card's edge) shrunk about
// its centre to the share that lies safely inside the patch.
void patch_sample_rect(const reference_card* ref, int index, float* u0, float* u1, float* v0,
                       float* v1);

// Mean colour of the whole pixels in the box [x0, x1) x [y0, y1) that lie in the image.
void getRgb_quick(const image* img, int x0, int y0, int x1, int y1, float* r, float* g, float* b);
// Area-weighted mean colour over a fractional rectangle.
void getRgb(const image* img, float x0, float y0, float x1, float y1, float* r, float* g, float* b);
// One pixel as three floats; unknown formats leave the outputs untouched.
void getRgb(const image* img, int x, int y, float* r, float* g, float* b);

// Resamples all of `src` into the bounds (and format) of `dst`.
void scaleImage(const image* src, image* dst);
