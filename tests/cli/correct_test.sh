#!/bin/sh
# The tool's main job end to end: a synthetic shot corrected through the plug-in with the
# chart found in it, the project applied to frames, and bad projects refused with nothing
# written.
set -eu
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" synth --chart 6 --encode 43 --size 640x360 -o shot.exr > truth.json
"$tool" correct shot.exr -o out.exr --input 43 --output sRGB --find --lut out.cube --lut-size 9 \
    --save-card card.bmp --project project.json
for f in out.exr out.cube card.bmp project.json; do test -s "$f"; done
test "$(head -n 1 out.cube)" = "LUT_3D_SIZE 9"
test "$(wc -l < out.cube)" -eq 730
# With no correction and the same entry on both sides the effect is an identity.
"$tool" correct shot.exr -o id.exr --input sRGB --output sRGB --mode none --wb off \
    --highlight-protection off --lut id.cube --lut-size 2
test "$(sed -n 2p id.cube)" = "0.00000 0.00000 0.00000"
test "$(sed -n 3p id.cube)" = "1.00000 0.00000 0.00000"
test "$(sed -n 5p id.cube)" = "1.00000 1.00000 0.00000"
test "$(sed -n 9p id.cube)" = "1.00000 1.00000 1.00000"
# 8-bit in, 8-bit out; the editing host with the card from the file.
"$tool" synth --chart 6 --size 320x180 -o small.png > /dev/null
"$tool" correct small.png -o small_out.png --host premiere --card card.bmp --input 43
test -s small_out.png
mkdir frames
"$tool" render --project project.json shot.exr small.png -o frames 2> /dev/null
test -s frames/shot.exr && test -s frames/small.png
# Refusals: status 1 and a message, nothing written.
printf '{"format":"chromalane-project","version":7}' > future.json
mkdir refused
if "$tool" render --project future.json shot.exr -o refused 2> err.txt; then exit 1; fi
grep -q "unknown format version" err.txt
printf 'not json' > broken.json
if "$tool" render --project broken.json shot.exr -o refused 2> err.txt; then exit 1; fi
if "$tool" render --project missing.json shot.exr -o refused 2> err.txt; then exit 1; fi
test -z "$(ls refused)"
set +e
"$tool" correct shot.exr -o never.exr --corners 1,2,3 2> /dev/null
test $? -eq 2 || exit 1
set -e
test ! -e never.exr
echo ok
