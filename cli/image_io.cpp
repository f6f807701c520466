#include "cli/image_io.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/command.h"
#include "platform/platform.h"

namespace {

std::string unreadable(const std::string& path, const std::string& why) {
    return "cannot read image '" + path + "'" + (why.empty() ? "" : ": " + why);
}

uint32_t big_endian(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// A PNG file's chunks, walked by their lengths up to the end chunk. The PNG reader fails
// badly on a file that ends early (its read callback leaks on the way out), so such a
// file is refused before it is decoded.
bool png_is_whole(std::FILE* f) {
    unsigned char head[8];
    if (std::fseek(f, 8, SEEK_SET) != 0) return false;
    for (;;) {
        if (std::fread(head, 1, 8, f) != 8) return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return true;
        // Chunk lengths are at most 2^31 - 1; the data and its check word follow.
        const uint32_t length = big_endian(head);
        if (length > 0x7fffffffu || std::fseek(f, static_cast<long>(length) + 4, SEEK_CUR) != 0)
            return false;
        // fseek succeeds past the end; a read there does not.
        const long here = std::ftell(f);
        if (std::fseek(f, 0, SEEK_END) != 0 || std::ftell(f) < here ||
            std::fseek(f, here, SEEK_SET) != 0)
            return false;
    }
}

// Refuses a PNG file that ends before its end chunk; other formats are left to their reader.
void refuse_truncated(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;  // the reader reports why
    static const unsigned char SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char sig[8];
    const bool png = std::fread(sig, 1, 8, f) == 8 && std::memcmp(sig, SIGNATURE, 8) == 0;
    const bool whole = !png || png_is_whole(f);
    std::fclose(f);
    if (!whole) throw cli_error(1, unreadable(path, "the file ends early"));
}

// Header limits, set once for every reader OpenImageIO has and checked here as well, so
// that a forged header is refused before anything is allocated for its pixels.
void set_reader_limits() {
    static const bool done = [] {
        OIIO::attribute("limits:channels", IMAGE_MAX_CHANNELS);
        OIIO::attribute("limits:imagesize_MB", IMAGE_MAX_MEGABYTES);
        return true;
    }();
    (void)done;
}

void check_limits(const std::string& path, const OIIO::ImageSpec& info) {
    if (info.nchannels > IMAGE_MAX_CHANNELS)
        throw cli_error(
            1, unreadable(path, "its header claims " + std::to_string(info.nchannels) +
                                    " channels, more than the limit of " +
                                    std::to_string(IMAGE_MAX_CHANNELS) + " (limits:channels)"));
    // The pixels as this tool holds them: float RGBA, besides what the file has.
    const double bytes = static_cast<double>(info.width) * static_cast<double>(info.height) *
                         static_cast<double>(std::max(info.nchannels, 4)) * 4.0;
    if (bytes > static_cast<double>(IMAGE_MAX_MEGABYTES) * 1048576.0)
        throw cli_error(1, unreadable(path, "its header claims " + std::to_string(info.width) +
                                                " x " + std::to_string(info.height) +
                                                " pixels, more than the limit of " +
                                                std::to_string(IMAGE_MAX_MEGABYTES) +
                                                " MB of float pixels (limits:imagesize_MB)"));
}

// The encoded file in memory, as the format's writer makes it.
bool encode(OIIO::ImageOutput* out, const std::string& name, const OIIO::ImageSpec& info,
            const float* pixels, std::vector<unsigned char>* bytes) {
    if (out->supports("ioproxy")) {
        OIIO::Filesystem::IOVecOutput proxy(*bytes);
        OIIO::ImageSpec config = info;
        void* p = &proxy;
        config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &p);
        bool ok = out->open(name, config) && out->write_image(OIIO::TypeDesc::FLOAT, pixels);
        return out->close() && ok;
    }
    // A writer that only writes files gets a private folder of its own; its file is read
    // back and written out as any other.
    std::string folder = (std::filesystem::temp_directory_path() / "chromalane-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return false;
    const std::string file = folder + "/" + std::filesystem::path(name).filename().string();
    bool ok = out->open(file, info) && out->write_image(OIIO::TypeDesc::FLOAT, pixels);
    ok = out->close() && ok;
    if (ok) {
        std::ifstream in(file, std::ios::binary);
        bytes->assign(std::istreambuf_iterator<char>(in), {});
        ok = !in.bad();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ok;
}

}  // namespace

rgba_image read_image(const std::string& path) {
    set_reader_limits();
    refuse_truncated(path);
    // Only the header first: sizes, channels, pixel type and aspect are checked before
    // anything is allocated for the pixels.
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::create(path);
    if (!in) throw cli_error(1, unreadable(path, OIIO::geterror()));
    OIIO::ImageSpec info;
    if (!in->open(path, info)) throw cli_error(1, unreadable(path, in->geterror()));
    rgba_image img;
    img.width = info.width;
    img.height = info.height;
    img.pixel_aspect = info.get_float_attribute("PixelAspectRatio", 1.0f);
    if (img.width <= 0 || img.height <= 0 || info.nchannels < 1) {
        in->close();
        throw cli_error(1, unreadable(path, "it has no pixels"));
    }
    try {
        check_limits(path, info);
    } catch (...) {
        in->close();
        throw;
    }
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
    // At most the first four channels are used.
    const int nc = std::min(info.nchannels, 4);
    std::vector<float> raw(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) *
                           static_cast<size_t>(nc));
    bool ok = in->read_image(0, 0, 0, nc, OIIO::TypeDesc::FLOAT, raw.data());
    const std::string why = ok ? std::string() : in->geterror();
    in->close();
    if (!ok) throw cli_error(1, unreadable(path, why));
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
    auto fail = [&](const std::string& why) {
        return cli_error(1, "cannot write image '" + path + "'" + (why.empty() ? "" : ": " + why));
    };
    // The format is chosen by the name's extension.
    auto out = OIIO::ImageOutput::create(path);
    if (!out) throw fail(OIIO::geterror());
    OIIO::ImageSpec info(img.width, img.height, 4, type);
    std::vector<float> rgb;
    const float* pixels = img.pixels.data();
    if (!out->supports("alpha")) {
        info.nchannels = 3;
        rgb.resize(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 3);
        for (size_t i = 0; i * 3 < rgb.size(); ++i)
            for (size_t c = 0; c < 3; ++c) rgb[i * 3 + c] = img.pixels[i * 4 + c];
        pixels = rgb.data();
    }
    // Encoded whole in memory first: a writer that ignores a failed write cannot leave a
    // broken file, and the one write that reaches the disk is checked to the last byte.
    std::vector<unsigned char> bytes;
    if (!encode(out.get(), path, info, pixels, &bytes)) throw fail(out->geterror());
    if (!filesave(path.c_str(), bytes.data(), bytes.size())) throw fail(std::strerror(errno));
}

image image_view(rgba_image& img) {
    image v{};
    makeImage(img.width, img.height, reinterpret_cast<char*>(img.pixels.data()), &v);
    v.pixel_aspect = img.pixel_aspect;
    return v;
}
