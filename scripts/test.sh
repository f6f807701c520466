#!/usr/bin/env bash
# Builds and runs the test suite under a preset (default: "default").
# Warnings are errors here, so what passes on a developer's machine passes in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/deps.sh
cmake --preset "$preset" -DCHROMALANE_WERROR=ON >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
