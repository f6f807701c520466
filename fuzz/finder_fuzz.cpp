// The chart finder on small frames of every pixel format, the pixels taken from the input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "cards/card.h"
#include "cards/finder.h"
#include "pipeline/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const imageFormat f = static_cast<imageFormat>(data[0] % IMAGE_FORMAT_COUNT);
    const int width = 8 + data[1] % 57, height = 8 + data[2] % 57;
    const refcard_type chart = static_cast<refcard_type>(data[3] % REFCARD_TYPE_COUNT);
    const int bpp = imageFormatBytes(f);
    std::vector<char> pixels(static_cast<size_t>(width * height * bpp), 0);
    for (size_t i = 0; i < pixels.size() && 4 + i < size; ++i)
        pixels[i] = static_cast<char>(data[4 + i]);
    image img{};
    img.flag1 = img.flag2 = 1;
    img.format = f;
    img.right = width;
    img.bottom = height;
    img.row_bytes = width * bpp;
    img.scale_x = img.scale_y = img.pixel_aspect = 1.0;
    img.pixels = pixels.data();
    static card c;
    const color_space cs = COLOR_SPACE[1];
    const transfer_function tf = TRANSFER_FUNCTION[1];
    cardMakeRef(&c, &cs, chart);
    OfxPointD corners[4];
    cardFind(nullptr, &img, &tf, &c, corners);
    return 0;
}
