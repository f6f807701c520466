#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing
# (`deps.sh windows`: those of the Windows build too).
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format
      libgtest-dev libgmock-dev libbenchmark-dev
      libcli11-dev libopenimageio-dev openimageio-tools nlohmann-json3-dev
      python3 python3-pil ffmpeg libcairo2-dev fonts-dejavu-core pkg-config
      pocl-opencl-icd ocl-icd-libopencl1 ocl-icd-opencl-dev
      python3-numpy python3-pyopencolorio opencolorio-tools python3-openimageio)
# The Windows build: the cross compiler, and Wine to run its tests.
[ "${1:-}" = windows ] && pkgs+=(g++-mingw-w64-x86-64 wine64 wine)
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
