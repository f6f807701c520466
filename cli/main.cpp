// chromalane: the command-line face of the effect.
#include <cstdio>
#include <exception>

#include "cli/command.h"

int main(int argc, char** argv) {
    CLI::App app{"chromalane: colour correction from a filmed colour chart"};
    build_app(app);
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
