// Image files for the tool's commands: any file OpenImageIO reads, held as float RGBA,
// and written back in the depth it came in.
#pragma once

#include <string>
#include <vector>

#include "pipeline/image.h"

struct rgba_image {
    int width = 0, height = 0;
    int bits = 32;  // 8, 16 (integer), 16 (half, `half_float`) or 32 (float)
    bool half_float = false;
    float pixel_aspect = 1.0f;  // as the file states it
    std::vector<float> pixels;  // RGBA, row by row
};

// What an image header may claim before the file is refused unread: channels, and the
// size of the pixels held as float RGBA (the readers' "limits:channels" and
// "limits:imagesize_MB").
constexpr int IMAGE_MAX_CHANNELS = 64;
constexpr int IMAGE_MAX_MEGABYTES = 4096;

// Reads any image OpenImageIO reads; grey and RGB files get opaque alpha. Throws
// cli_error{1, ...} for a file that cannot be read, has no pixels, ends early or whose
// header claims more than the limits above (naming the limit).
rgba_image read_image(const std::string& path);
// Writes in the image's own bit depth, as filesave writes: a regular file appears whole or
// not at all, a pipe or device is written in place. Throws cli_error{1, ...} on any failure.
void write_image(const std::string& path, const rgba_image& img);

// The effect's image record over `img`'s pixels (borrowed: `img` must outlive it and
// keep its size), with the file's pixel aspect.
image image_view(rgba_image& img);
