#include "cli/command.h"

#include <algorithm>
#include <utility>
#include <vector>

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

void build_app(CLI::App& app, bool run) {
    app.set_version_flag("--version", std::string("chromalane ") + CHROMALANE_VERSION);
    app.require_subcommand(1);
    auto& commands = registry();
    std::stable_sort(commands.begin(), commands.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& command : commands) command.second(app);
    // The main app's parse-complete callback runs after every option was converted and
    // checked, before any subcommand's callback.
    if (!run) app.parse_complete_callback([] { throw parsed_only{}; });
}
