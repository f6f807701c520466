// The headless host: loads the plug-in file, presents itself as the compositing host
// (ARGB worlds, AEGP streams) or the editing host (BGRA worlds, direct values), keeps the
// parameter slots of each effect instance and sends the commands a host sends.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "headless/drawbot.h"
#include "headless/window.h"
#include "host/registration.h"
#include "hostsdk/effect.h"
#include "hostsdk/suites.h"

enum host_flavour { FLAVOUR_AE, FLAVOUR_PREMIERE };

struct headless_plugin {
    void* library = nullptr;  // dlopen handle; null when the entry was linked in
    PF_EntryPointFunc entry = nullptr;
    registration_record registration{};
    bool has_registration = false;
    std::string path;
};

// Opens the plug-in file, reads its registration record and finds EntryPointFunc. On
// failure returns false with a message in `error`.
bool headless_load(headless_plugin* plugin, const std::string& path, std::string* error);
void headless_unload(headless_plugin* plugin);
// Reads the registration record from a plug-in file without loading it.
bool headless_read_registration(const std::string& path, registration_record* record);
// A property's data by key, or null.
const registration_property* registration_find(const registration_record* r, uint32_t key);

struct headless_host {
    headless_plugin* plugin = nullptr;
    host_flavour flavour = FLAVOUR_AE;
    A_u_long app_version = 24;  // what the application-information suite reports
    bool offer_app_info = true;
    bool offer_pixel_format_suite = true;
    bool offer_utility_suite = true;
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};
    headless_window window{};
    // Results of global setup.
    PF_Err global_error = 0;
    PF_OutData global_out{};
    std::vector<PrPixelFormat> pixel_formats;
    std::string registered_name;
    AEGP_PluginID plugin_id = 0;
    int32_t next_instance_id = 1;
    // Suites currently acquired and not yet released (all threads).
    std::mutex suite_mutex;
    int64_t suites_outstanding = 0;
};

// Starts a host of the given flavour on a loaded plug-in and sends global setup.
// `app_version` is what the application-information suite reports.
headless_host* headless_host_new(headless_plugin* plugin, host_flavour flavour,
                                 A_u_long app_version = 24);
void headless_host_delete(headless_host* host);

// World pixel layouts a host hands out.
enum world_format {
    WORLD_ARGB8,    // compositing host, 8 bits
    WORLD_ARGB16,   // compositing host, 16 bits (0-32768)
    WORLD_ARGB32F,  // compositing host, float
    WORLD_BGRA8,    // editing host, 8 bits
    WORLD_BGRA32F,  // editing host, float
};
int world_format_bytes(world_format f);

struct headless_world {
    PF_LayerDef def{};
    world_format format = WORLD_ARGB32F;
    std::vector<char> memory;
};
void world_init(headless_world* w, world_format format, int width, int height);
// A world over rows [top, top + rows) of `whole`'s memory (which must outlive it).
void world_band(headless_world* whole, int top, int rows, headless_world* band);

struct headless_instance {
    headless_host* host = nullptr;
    int32_t id = 0;
    int width = 0, height = 0;
    A_long current_time = 0, time_step = 1;
    A_u_long time_scale = 24;
    A_long downsample = 1;  // both directions: 1/downsample
    // Where the input layer's buffer starts in layer coordinates (smart render's result
    // rectangle); the effect shifts its corner points by it.
    A_long origin_x = 0, origin_y = 0;
    PF_ParamDef params[88]{};
    A_long dyn_flags[88]{};  // AEGP dynamic stream flags per parameter
    int32_t num_params = 0;
    PF_CustomUIInfo ui{};
    bool ui_registered = false;
    std::recursive_mutex mutex;  // guards the parameter slots
    int64_t param_ui_updates = 0;
    // The layer frame upstream of the effect: what the compositing host renders when the
    // effect asks for it, and what a host renders anew when the effect forces a render.
    // Owned by the caller; null for none.
    headless_world* layer = nullptr;
    headless_world rendered;  // the frame the host rendered last on its own
    int64_t host_renders = 0;
    // Where the layer sits in the composition, and window pixels per composition pixel.
    double layer_offset_x = 0, layer_offset_y = 0;
    double view_zoom = 1.0;
    A_intptr_t drag_refcon[4]{};        // carried from a click to its drags
    std::vector<std::string> messages;  // error messages the effect asked the host to show
};

// Creates an instance for a layer of the given size: parameter setup and sequence setup.
headless_instance* headless_instance_new(headless_host* host, int width, int height, PF_Err* err);
void headless_instance_delete(headless_instance* inst);

// Sends any command with a parameter array of the instance's slots (UI thread commands).
PF_Err headless_command(headless_instance* inst, PF_Cmd cmd, void* extra,
                        PF_OutData* out = nullptr);

// Setting values as a user would: the value, then user-changed-param and update-params-UI.
PF_Err headless_user_set(headless_instance* inst, int index, double value);
PF_Err headless_user_set_point(headless_instance* inst, int index, double x, double y);
PF_Err headless_user_set_color(headless_instance* inst, int index, float r, float g, float b);
// Stores a number in a slot without telling the effect, as opening a project does.
void headless_store(headless_instance* inst, int index, double value);
// Reads a number from a slot (slider, popup, checkbox, fixed slider).
double headless_value(headless_instance* inst, int index);

// Runs `fn` as if inside a command of the instance: with its in_data (suites answer as the
// host's) and its parameter slots, under the slots' lock. For driving the effect's own
// functions directly when they are linked in.
PF_Err headless_with_in_data(headless_instance* inst,
                             PF_Err (*fn)(PF_InData* in_data, PF_ParamDef* params[], void* user),
                             void* user);
// A plug-in whose entry point is linked into the caller rather than loaded from a file.
void headless_attach(headless_plugin* plugin, PF_EntryPointFunc entry);

// Arbitrary data through the effect's callbacks.
PF_Err headless_arbitrary(headless_instance* inst, PF_ArbParamsExtra* extra);
// Flattens a ColorCard value (FLAT_SIZE, then FLATTEN).
PF_Err headless_flatten(headless_instance* inst, int index, std::vector<uint8_t>* bytes);
// A new value from flattened bytes (UNFLATTEN), not yet given to any parameter.
PF_Err headless_unflatten_value(headless_instance* inst, int index,
                                const std::vector<uint8_t>& bytes, PF_Handle* value);
// Makes `value` the parameter's value, disposing of the old one (DISPOSE).
void headless_set_value(headless_instance* inst, int index, PF_Handle value);
void headless_dispose_value(headless_instance* inst, int index, PF_Handle value);
// Replaces a value from flattened bytes (UNFLATTEN), as when a project is opened.
PF_Err headless_unflatten(headless_instance* inst, int index, const std::vector<uint8_t>& bytes);

// Renders one frame: smart pre-render and smart render, or the classic render command.
PF_Err headless_render(headless_instance* inst, headless_world* input, headless_world* output,
                       bool smart = true);

// Renders rows [top, top + rows) of a frame alone, as a host with multi-frame rendering
// hands parts of a frame to worker threads: the effect sees a band-high input and output
// whose result rectangle starts at row `top` of the layer. Several threads may render
// bands or frames of one instance at once (the effect declares threaded rendering).
PF_Err headless_render_rows(headless_instance* inst, headless_world* input, headless_world* output,
                            int top, int rows, bool smart = true);

// ---------------------------------------------------------------------------
// The effect's custom UI, as a user meets it: its controls in the effect-controls panel and
// its overlay in the composition and layer windows.

// Where the panel places a custom control (its frame rectangle in panel pixels).
PF_UnionableRect headless_control_frame(headless_instance* inst, int control);

// A click at (x, y) relative to the control's top-left, as the host sends it: the effect
// answers; then the host does what the answer asks (shows a message, reports values the
// effect changed in the editing host, renders the layer frame anew when told to).
PF_Err headless_click(headless_instance* inst, int control, int x, int y,
                      PF_Modifiers modifiers = 0, PF_OutData* out = nullptr);
// A drag that continues the last click, to (x, y) relative to the control.
PF_Err headless_drag(headless_instance* inst, int control, int x, int y, bool last = false);
// The cursor the effect picks over a control.
PF_Err headless_adjust_cursor(headless_instance* inst, int control, int x, int y,
                              PF_CursorType* cursor);
// Draws one control into a picture of its own size.
PF_Err headless_draw_control(headless_instance* inst, int control, headless_canvas* out);
// Draws the overlay over `background` (the window's picture) in the composition or layer
// window; with the instance's layer offset and view zoom.
PF_Err headless_draw_overlay(headless_instance* inst, PF_WindowType window,
                             const headless_canvas& background, headless_canvas* out);

// Project files: every parameter value (ColorCards flattened) as JSON.
bool headless_project_save(headless_instance* inst, const std::string& path, std::string* error);
bool headless_project_load(headless_instance* inst, const std::string& path, std::string* error);
