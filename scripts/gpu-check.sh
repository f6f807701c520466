#!/usr/bin/env bash
# On a machine with an NVIDIA GPU: builds the CUDA variant of the GPU path, runs the CUDA
# kernel tests against the CPU references and benchmarks the kernels on a 3840x2160 frame
# (with the CPU render of the same frame size beside them). Under five minutes; installs
# nothing. Usage: bash scripts/gpu-check.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/gpu-check}
nvcc=$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)
[ -x "$nvcc" ] || { echo "gpu-check: nvcc not found" >&2; exit 1; }
if command -v nvidia-smi >/dev/null; then
    nvidia-smi --query-gpu=name,driver_version,compute_cap --format=csv,noheader
    # Only the machine's own architecture: a shorter build.
    arch=$(nvidia-smi --query-gpu=compute_cap --format=csv,noheader | head -n 1 | tr -d ' .')
else
    echo "gpu-check: no nvidia-smi; the tests will report no device" >&2
    arch=90
fi
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
bench=ON
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCHROMALANE_CUDA=ON \
    -DCHROMALANE_CUDA_ARCHS="$arch" -DCHROMALANE_TOOLS=OFF -DCHROMALANE_BENCH=ON \
    -DCHROMALANE_NVCC="$nvcc" >/dev/null || bench=OFF
if [ "$bench" = OFF ]; then
    echo "gpu-check: configuring without the benchmarks" >&2
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCHROMALANE_CUDA=ON \
        -DCHROMALANE_CUDA_ARCHS="$arch" -DCHROMALANE_TOOLS=OFF -DCHROMALANE_BENCH=OFF \
        -DCHROMALANE_NVCC="$nvcc" >/dev/null
fi
targets=(tests_gpu_cuda tests_gpu_pixel)
[ "$bench" = ON ] && targets+=(chromalane_bench)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
"$build/tests/tests_gpu_pixel" --gtest_brief=1
"$build/tests/tests_gpu_cuda"
if [ "$bench" = ON ]; then
    "$build/bench/chromalane_bench" --benchmark_filter='Cuda|^run/rgba32f_auto$' \
        --benchmark_min_time=0.5
fi
