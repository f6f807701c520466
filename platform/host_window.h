// What the host's main-window handle points to where there is no native window
// system to ask: a record through which the host answers the effect's file and
// about dialogs. The headless host fills one in; the POSIX platform services use it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t HOST_WINDOW_MAGIC = 0x43484c57;  // "CHLW"

struct host_window {
    uint32_t magic;  // HOST_WINDOW_MAGIC; anything else is not a host record
    void* context;   // handed back to the callbacks
    // Asks for a file: `mode` 'r' for an existing file to open, 'w' for a file to write.
    // Returns 1 with the chosen path (NUL-terminated, within `path_size` bytes) or 0 when
    // the user cancelled. Null when the host offers no file dialog.
    int (*choose_file)(void* context, const char* title, const char* extension, char mode,
                       char* path, size_t path_size);
    // Shows the about text modally; returns when it is dismissed. Null when not offered.
    void (*show_about)(void* context, const char* title, const char* text);
};
