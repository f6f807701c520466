// ColorCard bytes from outside: the 12,384-byte portable encoding (decode_data) and whole
// bitmap files (bitmap_read_stream), as loading a file on the "Source" control reads them.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/bitmap.h"
#include "host/colorcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> code(COLORCARD_CODE_BYTES, 0);
    std::memcpy(code.data(), data, size < code.size() ? size : code.size());
    transfer_function tf{};
    color_space cs{};
    static card c;
    decode_data(&tf, &cs, &c, code.data());
    if (size == 0) return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (f) {
        bitmap_read_stream(f, &tf, &cs, &c);
        std::fclose(f);
    }
    return 0;
}
