// chromalane: the command-line face of the effect.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

#include "cli/command.h"

namespace {
std::vector<std::pair<int, command_setup>>& registry() {
    static std::vector<std::pair<int, command_setup>> commands;
    return commands;
}
}  // namespace

bool register_command(int order, command_setup setup) {
    registry().emplace_back(order, setup);
    return true;
}

int main(int argc, char** argv) {
    CLI::App app{"chromalane: colour correction from a filmed colour chart"};
    app.set_version_flag("--version", std::string("chromalane ") + CHROMALANE_VERSION);
    app.require_subcommand(1);
    auto& commands = registry();
    std::stable_sort(commands.begin(), commands.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& command : commands) command.second(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Usage errors exit 2 (as the tool's own errors do); help and version exit 0.
        int status = app.exit(e);
        return status == 0 ? 0 : 2;
    } catch (const cli_error& e) {
        std::fprintf(stderr, "chromalane: %s\n", e.what());
        return e.status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chromalane: %s\n", e.what());
        return 1;
    }
    return 0;
}
