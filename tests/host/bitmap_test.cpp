#include "host/bitmap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "headless/window.h"
#include "host/colorcard.h"
#include "tests/support/host_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void spit(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

void put_le32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + size_t(k)] = static_cast<uint8_t>(v >> (8 * k));
}

// A sampled card of the given chart, its display values spread over 0-1.
struct sample {
    transfer_function tf = TRANSFER_FUNCTION[5];
    color_space cs = COLOR_SPACE[5];
    card c{};
    explicit sample(refcard_type type) {
        cardMakeRef(&c, &cs, type);
        c.reference = 0;
        c.display_valid = 1;
        for (int k = 0; k < c.ref->patch_count; ++k)
            for (int ch = 0; ch < 3; ++ch)
                c.display[ch][k] = std::fmod(0.137f * float(k) + 0.31f * float(ch), 1.0f);
    }
};

struct outputs : decoder_outputs {
    // Reads a file image from memory, as bitmap_read does from disk.
    int read(const std::vector<uint8_t>& bytes) {
#if defined(_WIN32)
        // No memory streams on Windows: a temporary file that goes when it is closed.
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() /
            ("chromalane-read-" + std::to_string(::getpid()) + "-" + std::to_string(++reads));
        FILE* f = _wfopen(path.c_str(), L"w+bD");
        if (!f) return 99;
        if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            std::fclose(f);
            return 99;
        }
        std::rewind(f);
#else
        FILE* f = ::fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
        if (!f) return 99;
#endif
        const int result = bitmap_read_stream(f, &tf, &cs, &c);
        std::fclose(f);
        return result;
    }
#if defined(_WIN32)
    int reads = 0;
#endif
};

// The hidden encoding rebuilt from a file image, and put back into one.
std::vector<uint8_t> hidden_of(const std::vector<uint8_t>& file) {
    const size_t width = le32(file, 18);
    std::vector<uint8_t> hidden(COLORCARD_CODE_BYTES);
    for (size_t k = 0; k < hidden.size(); ++k) {
        const size_t px = BITMAP_HEADER_BYTES + 3 * ((k % 96) * width + k / 96);
        hidden[k] = static_cast<uint8_t>((file[px] & 3) << 6 | (file[px + 1] & 7) << 3 |
                                         (file[px + 2] & 7));
    }
    return hidden;
}

void embed(std::vector<uint8_t>& file, const std::vector<uint8_t>& hidden) {
    const size_t width = le32(file, 18);
    for (size_t k = 0; k < hidden.size(); ++k) {
        const size_t px = BITMAP_HEADER_BYTES + 3 * ((k % 96) * width + k / 96);
        file[px] = static_cast<uint8_t>((file[px] & 0xF8) | hidden[k] >> 6);
        file[px + 1] = static_cast<uint8_t>((file[px + 1] & 0xF8) | ((hidden[k] >> 3) & 7));
        file[px + 2] = static_cast<uint8_t>((file[px + 2] & 0xF8) | (hidden[k] & 7));
    }
}

// A hidden word replaced by a forged value with the checksum made good again.
void forge_word(std::vector<uint8_t>& file, int word, float value) {
    std::vector<uint8_t> hidden = hidden_of(file);
    const uint32_t v = HTONF(value);
    std::memcpy(&hidden[4 * size_t(word)], &v, 4);
    uint32_t sum = 0;
    for (int w = 1; w < COLORCARD_CODE_WORDS; ++w) {
        uint32_t x;
        std::memcpy(&x, &hidden[4 * size_t(w)], 4);
        sum ^= x;
    }
    std::memcpy(hidden.data(), &sum, 4);
    embed(file, hidden);
}

TEST(ColorCardFile, SavedCardLoadsBackWithItsTransferAndSpace) {
    scratch_dir dir;
    headless_window window;
    headless_window_init(&window);
    const sample s(XRITE_COLORCHECKER_SG_AFTER_NOV2014);
    headless_window_answer(&window, dir.file("card.bmp"));
    ASSERT_EQ(bitmap_write(&window.record, &s.tf, &s.cs, &s.c), 1);
    ASSERT_EQ(window.requests.size(), 1u);
    EXPECT_EQ(window.requests[0].mode, 'w');
    EXPECT_EQ(window.requests[0].extension, "bmp");

    outputs o;
    headless_window_answer(&window, dir.file("card.bmp"));
    ASSERT_EQ(bitmap_read(&window.record, &o.tf, &o.cs, &o.c), 1);
    EXPECT_EQ(window.requests.back().mode, 'r');
    EXPECT_EQ(o.tf.kind, s.tf.kind);
    EXPECT_EQ(o.tf.black, s.tf.black);
    EXPECT_EQ(o.tf.white, s.tf.white);
    EXPECT_EQ(o.cs.red_x, double(float(s.cs.red_x)));
    EXPECT_EQ(o.cs.white_y, double(float(s.cs.white_y)));
    EXPECT_EQ(o.c.ref, s.c.ref);
    EXPECT_EQ(o.c.reference, 0);
    for (int k = 0; k < s.c.ref->patch_count; ++k)
        for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(o.c.display[ch][k], s.c.display[ch][k]);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(ColorCardFile, SizesFollowTheChartDrawingWithRoomForTheHiddenGrid) {
    struct {
        refcard_type type;
        uint32_t width, height;
    } cases[] = {{XRITE_COLORCHECKER_24_AFTER_NOV2014, 144, 96},
                 {DATACOLOR_SPYDERCHECKR, 200, 129},
                 {XRITE_COLORCHECKER_SG_AFTER_NOV2014, 140, 100},
                 {DSCLABS_ONESHOT, 164, 100}};
    for (const auto& k : cases) {
        const sample s(k.type);
        const std::vector<uint8_t> file = bitmap_encode(&s.tf, &s.cs, &s.c);
        ASSERT_EQ(file.size(), 54 + 3 * size_t(k.width) * k.height);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(le32(file, 2), file.size());
        EXPECT_EQ(le32(file, 10), 54u);
        EXPECT_EQ(le32(file, 14), 40u);
        EXPECT_EQ(le32(file, 18), k.width);
        EXPECT_EQ(le32(file, 22), k.height);
        EXPECT_EQ(le32(file, 26), 1u | 24u << 16);  // planes, bits per pixel
        EXPECT_EQ(le32(file, 30), 0u);
        EXPECT_EQ(le32(file, 38), 3780u);
        EXPECT_EQ(le32(file, 42), 3780u);
        EXPECT_EQ(le32(file, 46), 0u);
        EXPECT_EQ(le32(file, 50), 0u);
    }
}

TEST(ColorCardFile, WhiteIsStoredAs248PlusTheHiddenBits) {
    sample s(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    for (int ch = 0; ch < 3; ++ch) s.c.display[ch][0] = 1.0f;
    const std::vector<uint8_t> file = bitmap_encode(&s.tf, &s.cs, &s.c);
    std::vector<uint8_t> hidden(COLORCARD_CODE_BYTES);
    encode_data(hidden.data(), &s.tf, &s.cs, &s.c);
    // Patch 0 covers canvas pixels 0-23 in both directions (top left); its inner pixels
    // are file rows 95-72 (bottom-up), all inside the hidden grid.
    for (int canvas_row = 1; canvas_row < 23; ++canvas_row)
        for (int col = 1; col < 23; ++col) {
            const size_t row = 95 - size_t(canvas_row);
            const size_t px = 54 + 3 * (row * 144 + size_t(col));
            const uint8_t byte = hidden[size_t(col) * 96 + row];
            ASSERT_EQ(file[px + 2], 248 + (byte & 7));
            ASSERT_EQ(file[px + 1], 248 + ((byte >> 3) & 7));
            ASSERT_EQ(file[px], 248 + (byte >> 6));
        }
}

TEST(ColorCardFile, AnIndependentReaderSeesAnOrdinaryBitmap) {
    std::string python;
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (std::system((std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1").c_str()) ==
            0) {
            python = candidate;
            break;
        }
    if (python.empty()) GTEST_SKIP() << "no python3 with PIL";
    scratch_dir dir;
    sample s(DATACOLOR_SPYDERCHECKR);
    for (int ch = 0; ch < 3; ++ch) s.c.display[ch][0] = ch == 0 ? 1.0f : 0.0f;
    const std::string path = dir.file("card.bmp");
    spit(path, bitmap_encode(&s.tf, &s.cs, &s.c));
    // Rows from the top of the picture are above the hidden grid, so carry no hidden bits:
    // patch 0 is pure red (1.0 stored as 248), and the gap between the patch blocks is the
    // background, 0.145 stored as 32 (trunc(0.145 * 248 + 0.5) = 36, top five bits kept).
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "assert im.format == 'BMP', im.format\n"
        "assert im.mode == 'RGB', im.mode\n"
        "assert im.size == (200, 129), im.size\n"
        "r, g, b = im.getpixel((10, 10))\n"
        "assert (r, g, b) == (248, 0, 0), (r, g, b)\n"
        "r, g, b = im.getpixel((100, 0))\n"
        "assert (r, g, b) == (32, 32, 32), (r, g, b)\n";
    const std::string script_path = dir.file("check.py");
    std::ofstream(script_path) << script;
    EXPECT_EQ(std::system((python + " " + script_path + " " + path).c_str()), 0);
}

TEST(ColorCardFile, CancelMissingFileAndUnknownTransfer) {
    scratch_dir dir;
    headless_window window;
    headless_window_init(&window);
    outputs o;
    headless_window_answer(&window, "");
    EXPECT_EQ(bitmap_read(&window.record, &o.tf, &o.cs, &o.c), 0);
#if !defined(_WIN32)  // on Windows no owner still shows the system's dialog
    EXPECT_EQ(bitmap_read(nullptr, &o.tf, &o.cs, &o.c), 0);
#endif
    headless_window_answer(&window, dir.file("missing.bmp"));
    EXPECT_EQ(bitmap_read(&window.record, &o.tf, &o.cs, &o.c), -2);
    EXPECT_TRUE(o.untouched());

    // A transfer kind this build does not know reads like a newer file.
    sample s(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    s.tf.kind = 987654;
    headless_window_answer(&window, dir.file("future.bmp"));
    ASSERT_EQ(bitmap_write(&window.record, &s.tf, &s.cs, &s.c), 1);
    headless_window_answer(&window, dir.file("future.bmp"));
    EXPECT_EQ(bitmap_read(&window.record, &o.tf, &o.cs, &o.c), -1);
    EXPECT_TRUE(o.untouched());
}

TEST(ColorCardFile, FailedOrCancelledSaveLeavesWhatWasThere) {
    scratch_dir dir;
    headless_window window;
    headless_window_init(&window);
    const sample s(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const std::string path = dir.file("keep.bmp");
    spit(path, {'o', 'l', 'd'});
    headless_window_answer(&window, "");
    EXPECT_EQ(bitmap_write(&window.record, &s.tf, &s.cs, &s.c), 0);
    EXPECT_EQ(slurp(path), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // A target that cannot be replaced (a folder) fails without leaving a partial file.
    fs::create_directory(dir.path / "folder.bmp");
    headless_window_answer(&window, dir.file("folder.bmp"));
    EXPECT_EQ(bitmap_write(&window.record, &s.tf, &s.cs, &s.c), -1);
    EXPECT_TRUE(fs::is_directory(dir.path / "folder.bmp"));
    headless_window_answer(&window, dir.file("no/such/dir.bmp"));
    EXPECT_EQ(bitmap_write(&window.record, &s.tf, &s.cs, &s.c), -1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);

    // A card without a known chart is not written at all, and no dialog is shown.
    card none = s.c;
    none.ref = nullptr;
    const size_t asked = window.requests.size();
    EXPECT_EQ(bitmap_write(&window.record, &s.tf, &s.cs, &none), -1);
    EXPECT_EQ(window.requests.size(), asked);
}

TEST(ColorCardFile, EveryHeaderCheckAndTruncationRefusesTheFile) {
    const sample s(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const std::vector<uint8_t> good = bitmap_encode(&s.tf, &s.cs, &s.c);
    {
        outputs o;
        ASSERT_EQ(o.read(good), 1);
    }
    struct {
        size_t at;
        uint32_t value;
        int bytes;
        const char* what;
    } bad[] = {{0, 'X', 1, "signature"},           {10, 55, 4, "pixel offset"},
               {14, 108, 4, "info header size"},   {18, 128, 4, "width below 129"},
               {18, 0x7FFFFFFF, 4, "huge width"},  {18, 0x80000000u, 4, "negative width"},
               {22, 95, 4, "height below 96"},     {22, uint32_t(-96), 4, "top-down height"},
               {22, 0x7FFFFFFF, 4, "huge height"}, {26, 2, 2, "planes"},
               {28, 32, 2, "bits per pixel"},      {28, 8, 2, "palette bits"},
               {30, 1, 4, "compression"}};
    for (const auto& b : bad) {
        std::vector<uint8_t> file = good;
        if (b.bytes == 1) file[b.at] = static_cast<uint8_t>(b.value);
        if (b.bytes == 2) {
            file[b.at] = static_cast<uint8_t>(b.value);
            file[b.at + 1] = static_cast<uint8_t>(b.value >> 8);
        }
        if (b.bytes == 4) put_le32(file, b.at, b.value);
        outputs o;
        EXPECT_EQ(o.read(file), -2) << b.what;
        EXPECT_TRUE(o.untouched()) << b.what;
    }
    // Cut anywhere, even after the rows that hold the card, the file is incomplete.
    for (size_t length : {size_t(0), size_t(2), size_t(53), size_t(54), size_t(54 + 3 * 144 * 50),
                          size_t(54 + 3 * 144 * 95), good.size() - 1}) {
        outputs o;
        const std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(o.read(cut), -2) << "length " << length;
        EXPECT_TRUE(o.untouched());
    }
    // Extra bytes after the pixels do no harm.
    std::vector<uint8_t> longer = good;
    longer.resize(good.size() + 100, 0xFF);
    outputs o;
    EXPECT_EQ(o.read(longer), 1);
}

TEST(ColorCardFile, ForgedContentWithAGoodChecksumAnswersMinusOne) {
    const sample s(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const std::vector<uint8_t> good = bitmap_encode(&s.tf, &s.cs, &s.c);
    const float nan = std::nanf("");
    struct {
        int word;
        float value;
    } forged[] = {{1, 2.0f},      {3, 10.0f}, {3, -1.0f}, {3, nan},
                  {2, 123456.0f}, {4, nan},   {5, 1e20f}};
    for (const auto& f : forged) {
        std::vector<uint8_t> file = good;
        forge_word(file, f.word, f.value);
        outputs o;
        EXPECT_EQ(o.read(file), -1) << "word " << f.word;
        EXPECT_TRUE(o.untouched());
    }
}

// Thousands of damaged files: bytes changed anywhere, header fields set to extreme values,
// low bits disturbed, files cut short, and forged payloads with good checksums. None may
// crash or read out of bounds (this runs under the address sanitizer too); each answers
// 1, -1 or -2, and anything but 1 leaves the outputs alone.
TEST(ColorCardFile, DamagedFilesNeverCrashOrChangeTheOutputs) {
    const sample s(XRITE_COLORCHECKER_24_AFTER_NOV2014);
    const std::vector<uint8_t> good = bitmap_encode(&s.tf, &s.cs, &s.c);
    std::mt19937 random(20261208);
    auto pick = [&](size_t n) { return size_t(random() % n); };
    const uint32_t extremes[] = {0,   1,          95,          96,         128,     129,
                                 144, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFF, 0x10000, 0x55555556};
    const size_t fields[] = {2, 10, 14, 18, 22, 26, 28, 30, 34};
    constexpr int TRIES = 4000;
    int answers[3] = {0, 0, 0};  // -2, -1, 1
    outputs o;
    for (int trial = 0; trial < TRIES; ++trial) {
        std::vector<uint8_t> file = good;
        switch (trial % 5) {
            case 0:  // random bytes anywhere
                for (size_t n = 1 + pick(8); n > 0; --n)
                    file[pick(file.size())] = uint8_t(random());
                break;
            case 1:  // a header field set to an extreme
                put_le32(file, fields[pick(std::size(fields))],
                         extremes[pick(std::size(extremes))]);
                break;
            case 2:  // low bits in the hidden grid disturbed
                for (size_t n = 1 + pick(4); n > 0; --n) {
                    const size_t px = 54 + 3 * (pick(96) * 144 + pick(129)) + pick(3);
                    file[px] = uint8_t(file[px] ^ (1u << pick(3)));
                }
                break;
            case 3:  // cut short, sometimes with a header that claims more
                file.resize(pick(file.size()));
                break;
            case 4: {  // a forged payload word with the checksum made good
                const int word = int(1 + pick(23));
                const uint32_t bits = uint32_t(random());
                forge_word(
                    file, word,
                    trial % 10 == 4 ? std::bit_cast<float>(bits) : float(int(pick(40)) - 10));
                break;
            }
        }
        const int result = o.read(file);
        ASSERT_TRUE(result == 1 || result == -1 || result == -2) << "trial " << trial;
        if (result != 1) {
            ASSERT_TRUE(o.untouched()) << "trial " << trial;
        } else {
            o = outputs();
        }
        ++answers[result == -2 ? 0 : result == -1 ? 1 : 2];
    }
    std::printf("damaged files: %d tried, %d corrupt (-2), %d unknown content (-1), %d loaded\n",
                TRIES, answers[0], answers[1], answers[2]);
    EXPECT_GT(answers[0], TRIES / 2);
    EXPECT_GT(answers[1], 0);
}

}  // namespace
