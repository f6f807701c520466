// The tool's whole option parser on any command line: every subcommand's options, flags and
// positionals, their conversions and checks. The input is the argument words, separated by
// newlines or NULs; parsing stops before a subcommand runs, so nothing is read or written.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n' || c == '\0')
            words.emplace_back();
        else
            words.back() += c;
    }
    if (words.size() > 64) return 0;
    CLI::App app{"chromalane"};
    build_app(app, false);
    // CLI11 takes the words last first.
    std::vector<std::string> args(words.rbegin(), words.rend());
    try {
        app.parse(args);
    } catch (const CLI::Error&) {
    } catch (const cli_error&) {
    } catch (const parsed_only&) {
    }
    return 0;
}
