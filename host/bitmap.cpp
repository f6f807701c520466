#include "host/bitmap.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "host/colorcard.h"
#include "platform/platform.h"

float bitmap_canvas[BITMAP_CANVAS_HEIGHT][BITMAP_CANVAS_WIDTH][4];

namespace {

std::mutex canvas_lock;

constexpr int32_t PIXELS_PER_METRE = 3780;

float fraction(float x) {
    return x - std::trunc(x);
}

// Index of the first pixel of a span; far-off values land outside the canvas either way.
int pixel_index(float x) {
    if (!(x > -1.0f)) return -1;
    if (x >= 1.0e6f) return 1000000;
    return static_cast<int>(std::trunc(x));
}

// Display value to an 8-bit code with room for three hidden bits: 1.0 becomes 248.
// Out-of-range and NaN values are clamped so that no value wraps round into a dark code.
uint8_t quantise(float v) {
    if (!(v > 0.0f)) v = 0.0f;
    if (v > 1.0f) v = 1.0f;
    const int q = static_cast<int>(std::trunc(v * 248.0f + 0.5f)) % 256;
    return static_cast<uint8_t>(q & 0xF8);
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool known_transfer_kind(int32_t kind) {
    for (int item = 1; item <= TRANSFER_SPACE_COUNT; ++item)
        if (TRANSFER_FUNCTION[item].kind == kind) return true;
    return false;
}

}  // namespace

void bitmap_clear_canvas() {
    std::memset(bitmap_canvas, 0, sizeof bitmap_canvas);
}

void bitmap_draw_patch(const float* rect, float scale, float r, float g, float b) {
    const float x0 = rect[0] * scale, x1 = rect[1] * scale;
    const float y0 = rect[2] * scale, y1 = rect[3] * scale;
    const int xs = pixel_index(x0), xe = pixel_index(x1);
    const int ys = pixel_index(y0), ye = pixel_index(y1);
    if (ys > ye) return;
    const float lr = std::pow(r, 2.2f), lg = std::pow(g, 2.2f), lb = std::pow(b, 2.2f);
    const float fx = static_cast<float>(xs) + 1.0f - x0;
    const float fy = static_cast<float>(ys) + 1.0f - y0;
    const float lx = fraction(x1), ly = fraction(y1);
    for (int y = ys; y <= ye && y < BITMAP_CANVAS_HEIGHT; ++y) {
        if (y < 0) continue;
        float wy = y == ys ? fy : 1.0f;
        if (y == ye) wy *= ly;
        for (int x = xs; x <= xe && x < BITMAP_CANVAS_WIDTH; ++x) {
            if (x < 0) continue;
            float wx = x == xs ? fx : 1.0f;
            if (x == xe) wx *= lx;
            const float w = wy * wx;
            float* p = bitmap_canvas[y][x];
            p[0] += lr * w;
            p[1] += lg * w;
            p[2] += lb * w;
            p[3] += w;
        }
    }
}

void bitmap_draw_background() {
    for (auto& row : bitmap_canvas)
        for (float* p : row) {
            const float uncovered = (1.0f - p[3]) * BITMAP_BACKGROUND;
            p[0] += uncovered;
            p[1] += uncovered;
            p[2] += uncovered;
            p[3] = 1.0f;
        }
}

void bitmap_linear_to_srgb() {
    for (auto& row : bitmap_canvas)
        for (float* p : row)
            for (int k = 0; k < 3; ++k) p[k] = std::pow(p[k], 0.45454544f) / p[3];
}

int bitmap_file_width(const reference_card* chart) {
    const int w =
        chart->bitmap_width > BITMAP_HIDDEN_COLUMNS ? chart->bitmap_width : BITMAP_HIDDEN_COLUMNS;
    return (w + 3) / 4 * 4;
}

int bitmap_file_height(const reference_card* chart) {
    return chart->bitmap_height > BITMAP_HIDDEN_ROWS ? chart->bitmap_height : BITMAP_HIDDEN_ROWS;
}

std::vector<uint8_t> bitmap_encode(const transfer_function* tf, const color_space* cs,
                                   const card* c) {
    const reference_card* chart = colorcard_chart(c);
    if (!chart) return {};
    uint8_t hidden[COLORCARD_CODE_BYTES];
    encode_data(hidden, tf, cs, c);

    const int width = bitmap_file_width(chart), height = bitmap_file_height(chart);
    const size_t pixel_bytes = 3 * static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> file(BITMAP_HEADER_BYTES + pixel_bytes, 0);
    uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<uint32_t>(file.size()));
    put32(h + 10, BITMAP_HEADER_BYTES);
    put32(h + 14, 40);
    put32(h + 18, static_cast<uint32_t>(width));
    put32(h + 22, static_cast<uint32_t>(height));
    put16(h + 26, 1);
    put16(h + 28, 24);
    put32(h + 38, PIXELS_PER_METRE);
    put32(h + 42, PIXELS_PER_METRE);

    std::lock_guard<std::mutex> guard(canvas_lock);
    bitmap_clear_canvas();
    for (int k = 0; k < chart->patch_count && k < CARD_MAX_PATCHES; ++k)
        bitmap_draw_patch(chart->patches[k].rect, chart->bitmap_scale, c->display[0][k],
                          c->display[1][k], c->display[2][k]);
    bitmap_draw_background();
    bitmap_linear_to_srgb();
    // Beyond the canvas (no chart draws there) the picture is background.
    const uint8_t outside = quantise(std::pow(BITMAP_BACKGROUND, 0.45454544f));

    uint8_t* p = file.data() + BITMAP_HEADER_BYTES;
    for (int r = 0; r < height; ++r) {
        const int canvas_row = height - 1 - r;
        for (int col = 0; col < width; ++col, p += 3) {
            uint8_t red = outside, green = outside, blue = outside;
            if (canvas_row < BITMAP_CANVAS_HEIGHT && col < BITMAP_CANVAS_WIDTH) {
                const float* px = bitmap_canvas[canvas_row][col];
                red = quantise(px[0]);
                green = quantise(px[1]);
                blue = quantise(px[2]);
            }
            if (r < BITMAP_HIDDEN_ROWS && col < BITMAP_HIDDEN_COLUMNS) {
                const uint8_t byte = hidden[col * BITMAP_HIDDEN_ROWS + r];
                red = static_cast<uint8_t>(red + (byte & 7));
                green = static_cast<uint8_t>(green + ((byte >> 3) & 7));
                blue = static_cast<uint8_t>(blue + (byte >> 6));
            }
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
    return file;
}

int bitmap_write(void* window, const transfer_function* tf, const color_space* cs, const card* c) {
    if (!colorcard_chart(c)) {
        errno = EINVAL;
        return -1;
    }
    char path[4096];
    if (!filechoose(window, "ColorCard", "bmp", 'w', path, sizeof path)) return 0;
    const std::vector<uint8_t> file = bitmap_encode(tf, cs, c);
    // Written whole or not at all: a half-written file must never load as a card.
    return filesave(path, file.data(), file.size()) ? 1 : -1;
}

int bitmap_read_stream(FILE* f, transfer_function* tf, color_space* cs, card* c) {
    uint8_t h[BITMAP_HEADER_BYTES];
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fread(h, 1, sizeof h, f) != sizeof h) return -2;
    const int32_t width = static_cast<int32_t>(get32(h + 18));
    const int32_t height = static_cast<int32_t>(get32(h + 22));
    if (h[0] != 'B' || h[1] != 'M' || get32(h + 10) != BITMAP_HEADER_BYTES || get32(h + 14) != 40 ||
        width < BITMAP_HIDDEN_COLUMNS || height < BITMAP_HIDDEN_ROWS || get16(h + 26) != 1 ||
        get16(h + 28) != 24 || get32(h + 30) != 0)
        return -2;

    // The file must hold every row it declares; both sizes are below 2^31, so this cannot
    // overflow 64 bits.
    const uint64_t row_bytes = 3 * static_cast<uint64_t>(width);
    const uint64_t need = BITMAP_HEADER_BYTES + row_bytes * static_cast<uint64_t>(height);
    if (std::fseek(f, 0, SEEK_END) != 0) return -2;
    const long length = std::ftell(f);
    if (length < 0 || static_cast<uint64_t>(length) < need) return -2;

    uint8_t hidden[COLORCARD_CODE_BYTES];
    uint8_t row[3 * BITMAP_HIDDEN_COLUMNS];
    for (int r = 0; r < BITMAP_HIDDEN_ROWS; ++r) {
        const uint64_t at = BITMAP_HEADER_BYTES + row_bytes * static_cast<uint64_t>(r);
        if (std::fseek(f, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(row, 1, sizeof row, f) != sizeof row)
            return -2;
        for (int col = 0; col < BITMAP_HIDDEN_COLUMNS; ++col) {
            const uint8_t blue = row[3 * col], green = row[3 * col + 1], red = row[3 * col + 2];
            hidden[col * BITMAP_HIDDEN_ROWS + r] =
                static_cast<uint8_t>((blue << 6) | (green & 7) << 3 | (red & 7));
        }
    }

    transfer_function tf_read;
    color_space cs_read;
    card card_read;
    const int result = decode_data(&tf_read, &cs_read, &card_read, hidden);
    if (result != 1) return result;
    if (!known_transfer_kind(tf_read.kind) || !colorcard_chart(&card_read)) return -1;
    *tf = tf_read;
    *cs = cs_read;
    std::memcpy(c, &card_read, sizeof card_read);
    return 1;
}

int bitmap_read(void* window, transfer_function* tf, color_space* cs, card* c) {
    FILE* f = fileopen(window, "ColorCard", "bmp", 'r');
    if (!f) return errno == ECANCELED ? 0 : -2;
    const int result = bitmap_read_stream(f, tf, cs, c);
    std::fclose(f);
    return result;
}
