// The tool's word parsers on any text: --corners (and the frame check), catalogue entries,
// charts and popup items by name or position. Each either answers or throws cli_error.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const std::vector<double> v = parse_corners(text);
        check_corners_in_frame(v, 64, 48);
    } catch (const cli_error&) {
    }
    try {
        lookup_transfer_entry(text);
    } catch (const cli_error&) {
    }
    try {
        lookup_chart(text);
    } catch (const cli_error&) {
    }
    return 0;
}
