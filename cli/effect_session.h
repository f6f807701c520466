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
#include "headless/host.h"

// Where the plug-in file is: next to the tool, else where the build put it.
std::string plugin_file_path();

struct effect_session {
    headless_plugin plugin;
    headless_host* host = nullptr;
    headless_instance* instance = nullptr;
};
// Loads the plug-in and creates one instance for frames of the given size.
void session_open(effect_session* s, host_flavour flavour, int width, int height);
void session_close(effect_session* s);

// Sets the controls as a user would, only those the options name; the chart comes first.
void session_apply(effect_session* s, const correction_values& values);

// The ColorCard of "Source" read from a frame: with the four corners (top left, top right,
// bottom right, bottom left, in frame pixels) or by finding the chart. Sets the corner
// parameters and the card as opening a project would. Returns false when no chart was found.
// `found_corners`, when given, receives the eight corner coordinates used.
bool session_read_card(effect_session* s, const rgba_image& frame, const double* corners,
                       double* found_corners = nullptr);
// Loads the "Source" card from a ColorCard bitmap file.
void session_load_card(effect_session* s, const std::string& path);
// Saves the "Source" card as a ColorCard bitmap file.
void session_save_card(effect_session* s, const std::string& path);

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
