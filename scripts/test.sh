#!/usr/bin/env bash
# Builds and runs the test suite under a preset (default: "default"; "windows" cross-builds
# for Windows and runs the tests under Wine).
# Warnings are errors here, so what passes on a developer's machine passes in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/deps.sh "$preset"
if [ "$preset" = windows ]; then
    # The Linux plug-in and render program, whose render of a frame the Windows one must match.
    cmake --preset default -DCHROMALANE_WERROR=ON >/dev/null
    cmake --build --preset default --target chromalane_ae render_frame
fi
cmake --preset "$preset" -DCHROMALANE_WERROR=ON >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
