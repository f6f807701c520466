// Synthetic shots of a colour chart, with their truth: a physical card (patches with
// their gaps, a dark body) placed in perspective in a frame with a cluttered background,
// lit with a colour cast and exposure, seen through a camera matrix with cross-talk,
// vignetting, blur and noise, and encoded with a catalogue curve. Seeded and
// deterministic: the same scene and seed give the same bits on every machine.
#pragma once

#include <cstdint>
#include <vector>

#include "cards/card.h"
#include "pipeline/image.h"
#include "pipeline/transfer.h"

// What stands in the frame in the card's place, to tempt the finder.
enum synth_decoy : int {
    SYNTH_DECOY_NONE = 0,
    // A board of coloured squares in a grid (random rows, columns and colours) on a dark
    // body, placed and lit as the card would be; the card itself is not drawn.
    SYNTH_DECOY_GRID = 1,
    // The whole background tiled with squares of a few colours between grout lines.
    SYNTH_DECOY_TILES = 2,
};

// One fully specified scene. Angles in radians, sizes in square pixels (frame rows high;
// with a pixel aspect other than 1 the frame's pixels are that much wider than high).
struct synth_scene {
    int width = 960, height = 540;
    refcard_type chart = XRITE_COLORCHECKER_24_AFTER_NOV2014;
    double centre_x = 480, centre_y = 270;  // where the card centre lands
    double card_height = 200;               // height of the card (v from 0 to 1) facing the camera
    double rotation = 0;                    // in-plane turn, clockwise on screen
    double tilt_x = 0;                      // turn about the card's horizontal axis
    double tilt_y = 0;                      // turn about its vertical axis
    double focal = 0;                       // focal length in pixels; 0 means the frame's height
    double exposure = 1;                    // linear gain
    double cast[3] = {1, 1, 1};             // illuminant gains per channel
    double camera[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // scene to camera RGB, row-major
    double vignetting = 0;          // fall-off at the frame corners (0 none, 0.3 = 30 %)
    double blur = 0;                // Gaussian sigma in pixels
    double noise = 0;               // noise sigma at linear 1 (shot noise, scales with sqrt)
    double noise_floor = 0;         // noise sigma at black
    int clutter = 0;                // coloured rectangles in the background
    double clutter_patch_like = 0;  // share of them that are square and patch-sized
    int encode = 2;  // TRANSFER_FUNCTION entry the frame is encoded with; 0 leaves it linear
    const color_space* space = nullptr;  // working space of the reference colours; null: Rec. 709
    uint64_t seed = 1;                   // background, clutter and noise
    bool with_card = true;               // false renders the same scene without the chart
    int decoy = SYNTH_DECOY_NONE;        // drawn as well as (tiles) or instead of (grid) the card
    double glare = 0;  // peak linear light of a reflected highlight on the card (0 none)
    double glare_u = 0.5, glare_v = 0.5;  // its centre in card coordinates
    double case_grey = 0;                 // reflectance of a grey case around the card (0 none)
    double case_border = 0.2;  // how far the case reaches beyond the card, in card heights
    double pixel_aspect = 1;   // frame pixel width over height; the scene is width x aspect wide
};

// Ranges a scene is drawn from.
struct synth_conditions {
    double card_min = 0.15, card_max = 0.6;  // card height over frame height
    double max_tilt = 0.436;                 // out-of-plane turn, each axis (25 degrees)
    double max_rotation = 3.14159265358979;  // in-plane turn either way
    double max_cast = 0.35;                  // log2 of the largest channel gain deviation
    double min_ev = -1.0, max_ev = 0.5;      // exposure in stops
    double max_crosstalk = 0.12;
    double max_vignetting = 0.3;
    double blur_min = 0.3, blur_max = 1.2;
    double noise_max = 0.01, noise_floor_max = 0.002;
    int clutter_min = 0, clutter_max = 0;
    double clutter_patch_like = 0;
    double pixel_aspect = 1;  // the frame's pixel aspect (the scene is drawn in square pixels)
    double glare_chance = 0;  // share of scenes with a highlight on the card
    double case_chance = 0;   // share of scenes with the card in a grey case
};
// An ordinary camera: card at least 15 % of the frame height, up to 25 degrees of
// perspective, any in-plane rotation, mild cast, blur and noise, a plain background.
synth_conditions synth_moderate();
// Small cards, strong perspective, heavy clutter with patch-like squares, more noise.
synth_conditions synth_hard();

// The smallest card height, as a share of a frame `frame_height` rows high, at which the
// chart's smallest findable patch is `patch_pixels` high in the finder's working image
// (600 to 1200 rows): below that its patches are too small to be candidate regions.
double synth_min_card_share(refcard_type chart, int frame_height, double patch_pixels);

// Draws a scene of the given chart and frame size from the conditions; the card always
// lies wholly inside the frame.
synth_scene synth_draw(const synth_conditions& cond, refcard_type chart, int width, int height,
                       uint64_t seed);

struct synth_shot {
    std::vector<float> pixels;  // RGBA32f, width x height, encoded with scene.encode
    image frame;                // wraps `pixels`
    // The card corners as the finder defines them (the outer edges of the patches it
    // can find, moved out by the chart's margins): top left, top right, bottom right,
    // bottom left, in frame pixels (pixel centres at integer coordinates).
    OfxPointD corners[4];
    // The card coordinates' unit square (u, v from 0 to 1) in the frame.
    OfxPointD card_square[4];
    // The outer edges of all patches in the frame.
    OfxPointD patch_edges[4];
    int patch_count;
    // Per patch (R, G, B interleaved): the reference colour in the working space, and
    // the linear camera value rendered for it (cast, exposure and camera matrix applied,
    // before vignetting, blur, noise and encoding).
    std::vector<float> reference;
    std::vector<float> scene;
};

// Renders a scene. Throws std::bad_alloc when memory runs out.
void synth_render(const synth_scene& scene, synth_shot* shot);

// The demo's input: a camera frame in the log curve `encode` with a chart of the given
// type under a warm colour cast, facing the camera with a slight turn.
void synth_demo_shot(int width, int height, int encode, refcard_type chart, synth_shot* shot);

// Catalogue entry (1-50) named `part`, else the first whose name contains it, or 0.
int synth_entry(const char* part);
