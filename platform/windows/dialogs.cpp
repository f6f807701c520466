// The file dialog on Windows: the common open and save dialogs in their wide-character
// form, so that any file name can be chosen and opened. When the owner is not a window but
// a host record (the headless host), the record answers, as on POSIX.
#include "platform/windows/dialogs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/host_window.h"
#include "platform/platform.h"
#include "platform/windows/text.h"

namespace {

BOOL system_dialog(OPENFILENAMEW* ofn, bool save) {
    return save ? GetSaveFileNameW(ofn) : GetOpenFileNameW(ofn);
}
file_dialog_function dialog = system_dialog;

// A record handed out by a host without a window system. Only looked at when the owner
// is not a window handle, which is all a real host ever passes.
const host_window* as_host_window(void* owner) {
    if (!owner || IsWindow(static_cast<HWND>(owner))) return nullptr;
    const auto* w = static_cast<const host_window*>(owner);
    return w->magic == HOST_WINDOW_MAGIC ? w : nullptr;
}

// The filter list for an extension: NUL-separated name and pattern pairs, ended by an
// empty entry (the literal's own terminator).
const wchar_t* filter_for(const char* extension) {
    if (extension && std::strcmp(extension, "bmp") == 0)
        return L"ColorCard Files (*.bmp)\0*.bmp\0All Files (*.*)\0*.*\0";
    if (extension && std::strcmp(extension, "cube") == 0)
        return L"Cube Files (*.cube)\0*.cube\0All Files (*.*)\0*.*\0";
    return L"All Files (*.*)\0*.*\0";
}

int cancelled(char* path) {
    if (path) path[0] = '\0';
    errno = ECANCELED;
    return 0;
}

int ask_host(const host_window* w, const char* title, const char* extension, char mode, char* path,
             size_t path_size) {
    if (!w->choose_file) return cancelled(path);
    path[0] = '\0';
    const int chosen = w->choose_file(w->context, title ? title : "", extension ? extension : "",
                                      mode, path, path_size);
    if (chosen != 1 || path[0] == '\0' || std::memchr(path, '\0', path_size) == nullptr)
        return cancelled(path);
    errno = 0;
    return 1;
}

}  // namespace

void windows_set_file_dialog(file_dialog_function fn) {
    dialog = fn ? fn : system_dialog;
}

int filechoose(void* owner, const char* title, const char* extension, char mode, char* path,
               size_t path_size) {
    if ((mode != 'r' && mode != 'w') || !path || path_size == 0) return cancelled(path);
    if (const host_window* w = as_host_window(owner))
        return ask_host(w, title, extension, mode, path, path_size);
    if (owner && !IsWindow(static_cast<HWND>(owner))) return cancelled(path);

    wchar_t chosen[4096] = {};
    const std::wstring default_extension = extension ? wide_from_utf8(extension) : L"";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(owner);
    ofn.lpstrFilter = filter_for(extension);
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = sizeof chosen / sizeof chosen[0];
    ofn.lpstrDefExt = default_extension.empty() ? nullptr : default_extension.c_str();
    ofn.Flags = mode == 'r'
                    ? OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY
                    : OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!dialog(&ofn, mode == 'w')) return cancelled(path);
    chosen[sizeof chosen / sizeof chosen[0] - 1] = L'\0';
    const std::string utf8 = utf8_from_wide(chosen);
    if (utf8.empty() || utf8.size() >= path_size) return cancelled(path);
    std::memcpy(path, utf8.c_str(), utf8.size() + 1);
    errno = 0;
    return 1;
}

FILE* fileopen(void* owner, const char* title, const char* extension, char mode) {
    char path[4096 * 3];
    if (!filechoose(owner, title, extension, mode, path, sizeof path)) return nullptr;
    const std::wstring wide = wide_from_utf8(path);
    FILE* f = _wfopen(wide.c_str(), mode == 'r' ? L"rb" : L"wb");
    if (f) errno = 0;
    return f;
}
