#!/bin/sh
# Checks that every C++ source of the tree follows the root .clang-format.
# Usage: check_format.sh [source root]; lists tracked files in a git checkout and
# searches the tree (skipping build folders) otherwise.
set -eu
root=${1:-$(dirname "$0")/../..}
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror
else
    find . \( -name 'build*' -o -name '.?*' \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) \
        -print0 | xargs -0 -r clang-format --dry-run --Werror
fi
