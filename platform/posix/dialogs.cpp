// File dialog and about box without a window system: both are answered by the host
// record that the host's main-window handle points to.
#include <cerrno>
#include <cstring>

#include "platform/host_window.h"
#include "platform/platform.h"

namespace {

const host_window* as_host_window(void* owner) {
    const auto* w = static_cast<const host_window*>(owner);
    return w && w->magic == HOST_WINDOW_MAGIC ? w : nullptr;
}

}  // namespace

int filechoose(void* owner, const char* title, const char* extension, char mode, char* path,
               size_t path_size) {
    const host_window* w = as_host_window(owner);
    if ((mode != 'r' && mode != 'w') || !w || !w->choose_file || !path || path_size == 0) {
        errno = ECANCELED;
        return 0;
    }
    path[0] = '\0';
    const int chosen = w->choose_file(w->context, title ? title : "", extension ? extension : "",
                                      mode, path, path_size);
    // A chooser that fills the whole buffer without a terminator has not given a usable path.
    if (chosen != 1 || path[0] == '\0' || std::memchr(path, '\0', path_size) == nullptr) {
        path[0] = '\0';
        errno = ECANCELED;
        return 0;
    }
    errno = 0;
    return 1;
}

void about(void* owner) {
    const host_window* w = as_host_window(owner);
    if (w && w->show_about) w->show_about(w->context, ABOUT_TITLE, ABOUT_TEXT);
}
