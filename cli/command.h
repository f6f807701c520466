// The tool's subcommands register themselves here; main() builds the parser from them.
#pragma once

#include <CLI/CLI.hpp>
#include <stdexcept>
#include <string>

// Thrown by a subcommand to end the tool with a status and a one-line message on stderr.
struct cli_error : std::runtime_error {
    int status;
    cli_error(int code, const std::string& message) : std::runtime_error(message), status(code) {}
};

// Adds one subcommand (with its options and callback) to the application. A callback
// reports failure by throwing cli_error; results go to stdout.
using command_setup = void (*)(CLI::App& app);

// Called from a static initialiser in each cmd_*.cpp; `order` sorts the help text.
bool register_command(int order, command_setup setup);

// Thrown instead of running a subcommand by a parser built without `run`.
struct parsed_only {};

// The tool's parser: every registered subcommand in order, with the version flag. Without
// `run`, parsing ends by throwing parsed_only once every option is converted and checked,
// and no subcommand runs, as the option fuzzer needs.
void build_app(CLI::App& app, bool run = true);
