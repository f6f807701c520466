// The tool's way to the effect: the plug-in file loaded in the headless host, one
// instance, images moved in and out of host worlds, and the settings a user would make.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/correction_options.h"
#include "cli/image_io.h"
#include "headless/gpu_host.h"
#include "headless/host.h"

// Where the plug-in file is: next to the tool, else where the build put it.
std::string plugin_file_path();

struct effect_session {
    headless_plugin plugin;
    headless_host* host = nullptr;
    headless_instance* instance = nullptr;
    // With a GPU chosen, frames render through the effect's GPU filter on that device.
    headless_gpu_device* gpu = nullptr;
    headless_gpu_filter* gpu_filter = nullptr;
    headless_world layer;  // the frame the effect's "Find" and "Read" buttons see
};
// Loads the plug-in and creates one instance for frames of the given size.
void session_open(effect_session* s, host_flavour flavour, int width, int height);
void session_close(effect_session* s);

// Renders the session's frames through the effect's GPU filter (editing host only):
// `framework` is "opencl" or "cuda". Throws cli_error when the device or filter is missing.
void session_use_gpu(effect_session* s, const std::string& framework);

// Sets the controls as a user would, only those the options name; the chart comes first.
void session_apply(effect_session* s, const correction_values& values);

// Makes `frame` the layer the effect's card buttons see.
void session_set_layer(effect_session* s, const rgba_image& frame);

// A card control's card read from a frame as a user does it: drags the four corners (top
// left, top right, bottom right, bottom left, in frame pixels) and clicks "Read from frame",
// or clicks "Find card in frame". Returns false when no chart was found. `seconds`, when
// given, receives the time from the click to the new card; `fit_residual` the read card's
// colour residual against the chart under the best 3 x 3 matrix (card_fit_residual);
// `found_corners` the eight corner coordinates the effect holds afterwards. The frame's pixel
// aspect reaches the effect as the host's pixel aspect ratio.
bool session_read_card(effect_session* s, const rgba_image& frame, const double* corners,
                       int control = 40, double* seconds = nullptr, double* fit_residual = nullptr,
                       double* found_corners = nullptr);
// Clicks "Load" on a card control and answers the file dialog with `path`.
void session_load_card(effect_session* s, const std::string& path, int control = 40);
// Clicks "Save" on a card control and answers the file dialog with `path`.
void session_save_card(effect_session* s, const std::string& path, int control = 40);
// Clicks "Ref" on a card control.
void session_reset_card(effect_session* s, int control);
// Clicks patch `patch` of a card control's swatch and sets the "Patch" colour it selects.
void session_edit_patch(effect_session* s, int control, int patch, float r, float g, float b);
// Sets one side's primaries and white point (red x, y, green x, y, blue x, y, white x, y).
void session_set_primaries(effect_session* s, bool input, const std::vector<double>& xy);

// The settings as the effect reads them from its controls (cards included).
std::unique_ptr<parameters> session_parameters(effect_session* s);

// Renders a frame through the effect (smart render); the result has the input's depth.
// `seconds`, when given, receives the time of the render commands alone (the longest band).
// With more than one thread, bands of rows render on worker threads at once, each as its
// own smart render of those rows; the result is the same, bit for bit. Several threads may
// render frames through one session at once.
rgba_image session_render(effect_session* s, const rgba_image& frame, double* seconds = nullptr,
                          int threads = 1);
// The effect's correction on a lattice of n^3 code values, written as a cube file.
void session_write_lut(effect_session* s, const std::string& path, int n);

// Pictures of the effect as a user sees it, drawn by the effect itself: every custom control
// of the panel (one file each, and all of them in `panel.png`) and the overlay over the frame
// in the composition window (`overlay.png`, at most `max_width` pixels wide); without
// `each_control` only the panel and the overlay. Returns the files written.
std::vector<std::string> session_write_ui_pictures(effect_session* s, const rgba_image& frame,
                                                   const std::string& dir, int max_width = 960,
                                                   bool each_control = true);
