#!/bin/sh
# correct through the GPU filter on the machine's OpenCL device: the frame matches the CPU
# render within the table's interpolation, half-float files stay half; bad --gpu uses are
# refused before anything is written.
set -eu
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" synth --chart 6 --size 320x180 -o shot.exr > /dev/null
"$tool" correct shot.exr -o cpu.exr --host premiere --find
"$tool" correct shot.exr -o gpu.exr --host premiere --find --gpu opencl
# A 48-point table interpolates the curves between its nodes: within 0.03 of the CPU here,
# but for a pixel or two where a channel meets the clip at black between two nodes.
oiiotool cpu.exr gpu.exr --fail 0.03 --failpercent 0.01 --hardfail 0.1 --diff > diff.txt ||
    { cat diff.txt; exit 1; }
oiiotool shot.exr -d half -o half.exr
"$tool" correct half.exr -o gpu_half.exr --host premiere --find --gpu opencl
oiiotool --info -v gpu_half.exr | grep -q half
# CUDA: with an NVIDIA device, the same match as OpenCL; without one, refused with the
# reason and nothing written.
if "$tool" correct shot.exr -o cuda.exr --host premiere --find --gpu cuda 2> err.txt; then
    oiiotool cpu.exr cuda.exr --fail 0.03 --failpercent 0.01 --hardfail 0.1 --diff > diff.txt ||
        { cat diff.txt; exit 1; }
else
    test -s err.txt && test ! -e cuda.exr
fi
for bad in "--gpu opencl" "--host premiere --gpu metal"; do
    # shellcheck disable=SC2086
    if "$tool" correct shot.exr -o refused.exr $bad 2> err.txt; then exit 1; fi
    test -s err.txt && test ! -e refused.exr
done
echo ok
