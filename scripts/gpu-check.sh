#!/usr/bin/env bash
# The GPU path on a machine with an NVIDIA GPU: the CUDA kernel tests against the CPU
# references, the effect's GPU filter on the CUDA device through the headless editing host
# against the CPU render, and benchmarks of both on a 3840x2160 frame (with the CPU render
# of the same frame size beside them). Under five minutes; installs nothing.
#
#   bash scripts/gpu-check.sh [build folder]
#       builds the CUDA variant for this machine's GPU and runs the checks (the machine needs
#       what the build needs: CMake, nvcc, GoogleTest, Google Benchmark, Cairo).
#   bash scripts/gpu-check.sh pack [arch]
#       builds here, for a GPU elsewhere (architecture `arch`, 90 by default), and gathers
#       the programs, the plug-in and the libraries they load into build/gpu-pack (a few
#       tens of MiB) for a machine that has the GPU but not the build's packages.
#   bash scripts/gpu-check.sh run [pack folder]
#       runs the checks from such a pack.
set -euo pipefail
cd "$(dirname "$0")/.."

build_tree() {  # folder, architecture
    local build=$1 arch=$2
    local nvcc
    nvcc=$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)
    [ -x "$nvcc" ] || { echo "gpu-check: nvcc not found" >&2; exit 1; }
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCHROMALANE_CUDA=ON \
        -DCHROMALANE_CUDA_ARCHS="$arch" -DCHROMALANE_TOOLS=OFF -DCHROMALANE_BENCH=ON \
        -DCHROMALANE_NVCC="$nvcc" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target tests_gpu_cuda tests_gpu_filter chromalane_bench
}

# The checks, from a folder holding tests/, bench/ and the plug-in. Every check runs even
# when one before it failed (a GPU is rarely at hand twice); the status says whether all
# passed.
run_checks() {
    local dir=$1 failed=0
    if command -v nvidia-smi >/dev/null; then
        nvidia-smi --query-gpu=name,driver_version,compute_cap,clocks.max.sm,clocks.max.mem \
            --format=csv
    fi
    "$dir/tests/tests_gpu_cuda" || failed=1
    "$dir/tests/tests_gpu_filter" --gtest_filter='*CUDA*' || failed=1
    "$dir/bench/chromalane_bench" --benchmark_filter='Cuda|^run/rgba32f_auto$' \
        --benchmark_min_time=0.5 || failed=1
    # Device memory checked on every access of the kernels and the filter.
    if command -v compute-sanitizer >/dev/null; then
        timeout 120 compute-sanitizer --tool memcheck --error-exitcode 1 \
            "$dir/tests/tests_gpu_cuda" --gtest_brief=1 || failed=1
        timeout 120 compute-sanitizer --tool memcheck --error-exitcode 1 \
            "$dir/tests/tests_gpu_filter" --gtest_filter='*CUDA*' --gtest_brief=1 || failed=1
    fi
    # The apply kernel's own time on the device, apart from the table's upload around it.
    if command -v ncu >/dev/null; then
        timeout 120 ncu -k regex:apply_LUT_CUDA -c 4 --metrics gpu__time_duration.sum \
            "$dir/bench/chromalane_bench" --benchmark_filter='^BM_CudaApplyLUT' \
            --benchmark_min_time=0.01 || echo "gpu-check: ncu did not finish" >&2
    fi
    [ "$failed" = 0 ] || echo "gpu-check: a check failed" >&2
    return "$failed"
}

case "${1:-}" in
    pack)
        arch=${2:-90}
        build=build/gpu-check
        build_tree "$build" "$arch"
        pack=build/gpu-pack
        rm -rf "$pack"
        mkdir -p "$pack/tests" "$pack/bench" "$pack/lib"
        cp "$build/tests/tests_gpu_cuda" "$build/tests/tests_gpu_filter" "$pack/tests/"
        cp "$build/bench/chromalane_bench" "$pack/bench/"
        cp "$build/chromalane_ae.so" "$pack/"
        strip --strip-debug "$pack"/tests/* "$pack"/bench/* "$pack/chromalane_ae.so"
        # The programs look for the plug-in where the build put it.
        realpath "$build/chromalane_ae.so" > "$pack/plugin-path"
        # Every library the programs load but the C and C++ runtimes, which any Linux has.
        for f in "$pack"/tests/* "$pack"/bench/*; do
            ldd "$f" | awk '$3 ~ /^\// {print $3}'
        done | sort -u | grep -Ev '/(libc|libm|libstdc\+\+|libgcc_s|ld-linux[^/]*|libdl|libpthread|librt)\.so' |
            while read -r lib; do cp -L "$lib" "$pack/lib/"; done
        du -sh "$pack"
        ;;
    run)
        pack=${2:-build/gpu-pack}
        want=$(cat "$pack/plugin-path")
        if [ ! -e "$want" ]; then
            mkdir -p "$(dirname "$want")"
            ln -s "$(realpath "$pack/chromalane_ae.so")" "$want"
        fi
        # Of the packed libraries, only those the system lacks: its own are built for its C
        # library.
        libs=$(mktemp -d)
        for lib in "$pack"/lib/*; do
            ldconfig -p | grep -q "/$(basename "$lib")\$" || ln -s "$(realpath "$lib")" "$libs/"
        done
        export LD_LIBRARY_PATH="$libs${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
        run_checks "$pack"
        ;;
    *)
        if command -v nvidia-smi >/dev/null; then
            # Only the machine's own architecture: a shorter build.
            arch=$(nvidia-smi --query-gpu=compute_cap --format=csv,noheader | head -n 1 | tr -d ' .')
        else
            echo "gpu-check: no nvidia-smi; the tests will report no device" >&2
            arch=90
        fi
        build=${1:-build/gpu-check}
        build_tree "$build" "$arch"
        run_checks "$build"
        ;;
esac
