#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format
      libgtest-dev libgmock-dev libbenchmark-dev
      libcli11-dev libopenimageio-dev openimageio-tools nlohmann-json3-dev
      python3 python3-pil ffmpeg
      python3-numpy python3-pyopencolorio opencolorio-tools python3-openimageio)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages; as root run: apt-get update && $line" >&2
    exit 1
fi
echo "Installing: ${missing[*]}" >&2
apt-get update -qq
DEBIAN_FRONTEND=noninteractive $line >/dev/null
