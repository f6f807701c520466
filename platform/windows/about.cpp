// The about box on Windows: a small window of its own with the logo, the about text and an
// "OK" button, run modally over the host's window, which is disabled meanwhile.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/host_window.h"
#include "platform/platform.h"
#include "platform/windows/text.h"

namespace {

constexpr int CLIENT_WIDTH = 480, CLIENT_HEIGHT = 238;
constexpr int LOGO_WIDTH = 480, LOGO_HEIGHT = 90;

void put16(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    (*b)[at] = static_cast<uint8_t>(v);
    (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    put16(b, at, v & 0xffff);
    put16(b, at + 2, v >> 16);
}

// The logo as a complete 24-bit BMP file: a row of chart swatches on a dark band. Made
// once, the first time the box is shown.
const std::vector<uint8_t>& logo_file() {
    static const std::vector<uint8_t> file = [] {
        static const uint8_t swatches[6][3] = {{115, 82, 68}, {194, 150, 130}, {98, 122, 157},
                                               {87, 108, 67}, {133, 128, 177}, {103, 189, 170}};
        const uint32_t row = (LOGO_WIDTH * 3 + 3) / 4 * 4;
        std::vector<uint8_t> b(54 + static_cast<size_t>(row) * LOGO_HEIGHT, 0);
        b[0] = 'B';
        b[1] = 'M';
        put32(&b, 2, static_cast<uint32_t>(b.size()));
        put32(&b, 10, 54);
        put32(&b, 14, 40);
        put32(&b, 18, LOGO_WIDTH);
        put32(&b, 22, LOGO_HEIGHT);
        put16(&b, 26, 1);
        put16(&b, 28, 24);
        put32(&b, 34, static_cast<uint32_t>(row) * LOGO_HEIGHT);
        for (int y = 0; y < LOGO_HEIGHT; ++y)
            for (int x = 0; x < LOGO_WIDTH; ++x) {
                uint8_t* p = &b[54 + static_cast<size_t>(y) * row + static_cast<size_t>(x) * 3];
                const int cell = x / 40, in_x = x % 40, in_y = y % 45;
                const bool swatch = cell < 12 && in_x >= 6 && in_x < 36 && in_y >= 6 && in_y < 39;
                const uint8_t* c = swatches[(cell + (y < 45 ? 0 : 3)) % 6];
                const uint8_t grey = static_cast<uint8_t>(24 + y / 6);
                p[0] = swatch ? c[2] : grey;  // rows are stored blue first
                p[1] = swatch ? c[1] : grey;
                p[2] = swatch ? c[0] : grey;
            }
        return b;
    }();
    return file;
}

struct about_state {
    HWND owner;
    bool done;
};

void close_box(HWND box, about_state* s) {
    if (s->done) return;
    s->done = true;
    // The owner is enabled before the box goes, so that the system activates it again.
    if (s->owner) EnableWindow(s->owner, TRUE);
    DestroyWindow(box);
}

LRESULT CALLBACK about_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* s = reinterpret_cast<about_state*>(GetWindowLongPtrW(box, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(box, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(box, &ps);
            const std::vector<uint8_t>& file = logo_file();
            const auto* info = reinterpret_cast<const BITMAPINFO*>(file.data() + 14);
            SetDIBitsToDevice(dc, 0, 0, LOGO_WIDTH, LOGO_HEIGHT, 0, 0, 0, LOGO_HEIGHT,
                              file.data() + 54, info, DIB_RGB_COLORS);
            EndPaint(box, &ps);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                if (s) close_box(box, s);
                return 0;
            }
            break;
        case WM_CLOSE:
            if (s) close_box(box, s);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(box, message, wparam, lparam);
}

HINSTANCE this_module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&about_proc), &module);
    return module;
}

// The about text with the line ends an edit control shows.
std::wstring text_for_edit() {
    std::wstring text;
    for (wchar_t c : wide_from_utf8(ABOUT_TEXT)) {
        if (c == L'\n') text += L'\r';
        text += c;
    }
    return text;
}

}  // namespace

void about(void* owner) {
    if (!owner) return;
    if (!IsWindow(static_cast<HWND>(owner))) {
        const auto* w = static_cast<const host_window*>(owner);
        if (w->magic == HOST_WINDOW_MAGIC && w->show_about)
            w->show_about(w->context, ABOUT_TITLE, ABOUT_TEXT);
        return;
    }
    const HWND parent = static_cast<HWND>(owner);
    const HINSTANCE module = this_module();
    const std::wstring title = wide_from_utf8(ABOUT_TITLE);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = about_proc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = title.c_str();
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    about_state state{parent, false};
    HWND box = CreateWindowExW(0, title.c_str(), title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                               frame.right - frame.left, frame.bottom - frame.top, parent, nullptr,
                               module, &state);
    if (!box) return;

    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    const std::wstring text = text_for_edit();
    HWND edit = CreateWindowExW(0, L"EDIT", text.c_str(),
                                WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 10, 100, 470,
                                96, box, nullptr, module, nullptr);
    HWND ok = CreateWindowExW(
        0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 380, 206, 90,
        22, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), module, nullptr);
    if (edit) SendMessageW(edit, WM_SETFONT, font, TRUE);
    if (ok) SendMessageW(ok, WM_SETFONT, font, TRUE);

    EnableWindow(parent, FALSE);
    ShowWindow(box, SW_SHOW);
    UpdateWindow(box);
    if (ok) SetFocus(ok);
    MSG msg;
    while (!state.done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // A quit message belongs to the host's own loop: close the box and pass it on.
            close_box(box, &state);
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(box, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
