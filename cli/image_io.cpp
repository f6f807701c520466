#include "cli/image_io.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imageio.h>

#include <cstdio>
#include <filesystem>

#include "cli/command.h"

namespace {

std::string unreadable(const std::string& path, const std::string& why) {
    return "cannot read image '" + path + "'" + (why.empty() ? "" : ": " + why);
}

}  // namespace

rgba_image read_image(const std::string& path) {
    // Read whole and converted to float here; the file's own header (sizes, channels, pixel
    // type, pixel aspect) stays available as its native description.
    OIIO::ImageBuf buf(path);
    if (!buf.read(0, 0, true, OIIO::TypeDesc::FLOAT))
        throw cli_error(1, unreadable(path, buf.geterror()));
    const OIIO::ImageSpec& info = buf.nativespec();
    rgba_image img;
    img.width = info.width;
    img.height = info.height;
    img.pixel_aspect = info.get_float_attribute("PixelAspectRatio", 1.0f);
    if (img.width <= 0 || img.height <= 0 || info.nchannels < 1)
        throw cli_error(1, unreadable(path, "it has no pixels"));
    switch (info.format.basetype) {
        case OIIO::TypeDesc::UINT8:
            img.bits = 8;
            break;
        case OIIO::TypeDesc::UINT16:
            img.bits = 16;
            break;
        case OIIO::TypeDesc::HALF:
            img.bits = 16, img.half_float = true;
            break;
        default:
            img.bits = 32;
            break;
    }
    int nc = info.nchannels;
    std::vector<float> raw(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) *
                           static_cast<size_t>(nc));
    if (!buf.get_pixels(buf.roi(), OIIO::TypeDesc::FLOAT, raw.data()))
        throw cli_error(1, unreadable(path, buf.geterror()));
    size_t n = static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
    img.pixels.resize(n * 4);
    for (size_t i = 0; i < n; ++i) {
        const float* s = &raw[i * static_cast<size_t>(nc)];
        float* d = &img.pixels[i * 4];
        d[0] = s[0];
        d[1] = nc >= 3 ? s[1] : s[0];
        d[2] = nc >= 3 ? s[2] : s[0];
        d[3] = nc == 2 ? s[1] : nc >= 4 ? s[3] : 1.0f;
    }
    return img;
}

void write_image(const std::string& path, const rgba_image& img) {
    OIIO::TypeDesc type = img.bits == 8    ? OIIO::TypeDesc::UINT8
                          : img.half_float ? OIIO::TypeDesc::HALF
                          : img.bits == 16 ? OIIO::TypeDesc::UINT16
                                           : OIIO::TypeDesc::FLOAT;
    std::filesystem::path target(path);
    std::string tmp = (target.parent_path() / ("." + target.filename().string() + ".tmp")).string();
    // Keep the extension last so that the writer picks the format from it.
    tmp += target.extension().string();
    auto out = OIIO::ImageOutput::create(path);
    if (!out) throw cli_error(1, "cannot write image '" + path + "': " + OIIO::geterror());
    OIIO::ImageSpec info(img.width, img.height, 4, type);
    if (!out->supports("alpha")) info.nchannels = 3;
    bool ok = out->open(tmp, info);
    if (ok) {
        if (info.nchannels == 4) {
            ok = out->write_image(OIIO::TypeDesc::FLOAT, img.pixels.data());
        } else {
            std::vector<float> rgb(static_cast<size_t>(img.width) *
                                   static_cast<size_t>(img.height) * 3);
            for (size_t i = 0; i * 3 < rgb.size(); ++i)
                for (int c = 0; c < 3; ++c)
                    rgb[i * 3 + static_cast<size_t>(c)] =
                        img.pixels[i * 4 + static_cast<size_t>(c)];
            ok = out->write_image(OIIO::TypeDesc::FLOAT, rgb.data());
        }
        ok = out->close() && ok;
    }
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string why = out->geterror();
        std::remove(tmp.c_str());
        throw cli_error(1, "cannot write image '" + path + "'" + (why.empty() ? "" : ": " + why));
    }
}

image image_view(rgba_image& img) {
    image v{};
    makeImage(img.width, img.height, reinterpret_cast<char*>(img.pixels.data()), &v);
    v.pixel_aspect = img.pixel_aspect;
    return v;
}
