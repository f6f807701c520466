#!/usr/bin/env bash
# Builds the tool and runs its demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release -DCHROMALANE_BENCH=OFF >/dev/null
cmake --build --preset release --target chromalane
./build/release/cli/chromalane demo "$@"
