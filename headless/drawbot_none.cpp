// The headless host without a rasteriser: no drawing suites are offered, so an effect asked
// to draw sees what a host without DRAWBOT would give it.
#include "headless/drawbot.h"

headless_drawing* drawing_begin(int, int, const headless_canvas*, double, double) {
    return nullptr;
}
void drawing_end(headless_drawing*, headless_canvas* out) {
    if (out) *out = headless_canvas{};
}
DRAWBOT_DrawRef drawing_ref(headless_drawing*) {
    return nullptr;
}
int64_t drawing_live_objects() {
    return 0;
}
const void* drawbot_suite(const std::string&, A_long) {
    return nullptr;
}
bool canvas_read_png(const std::string&, headless_canvas*) {
    return false;
}
bool canvas_write_png(const headless_canvas&, const std::string&) {
    return false;
}
