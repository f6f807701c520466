#!/bin/sh
# Batches on several threads: frames in parallel and bands of rows give the same pixels as
# one thread; a frame that cannot be read or written is named, the others are written, the
# exit status counts the failures and no temporary file is left behind.
set -eu
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
same() { idiff -fail 0 -warn 0 "$1" "$2" > /dev/null; }
"$tool" synth --chart 6 --encode 43 --size 640x360 -o shot.exr > /dev/null
"$tool" synth --chart 6 --size 320x180 -o small.png > /dev/null
"$tool" correct shot.exr -o one.exr --input 43 --output sRGB --find --project p.json --threads 1
# Bands of rows (more threads than the 8-bit frame has bands of 16 rows would allow, too).
"$tool" correct shot.exr -o three.exr --input 43 --output sRGB --find --threads 3
same one.exr three.exr
"$tool" correct small.png -o small1.png --find --host premiere --threads 1
"$tool" correct small.png -o small64.png --find --host premiere --threads 64
cmp small1.png small64.png
# A batch of good frames with an unreadable one and one that cannot be written (a format
# that is read but not written).
for i in 1 2 3 4 5; do cp shot.exr "f$i.exr"; done
echo "not an image" > f3.exr
oiiotool small.png -o f6.pfm 2> /dev/null || cp small.png f6.pfm
mkdir par seq
set +e
"$tool" render --project p.json f1.exr f2.exr f3.exr f4.exr f5.exr small.png f6.pfm -o par \
    --threads 2 2> err.txt
status=$?
set -e
test "$status" -eq 2
grep -q "frame 'f3.exr' failed" err.txt
grep -q "frame 'f6.pfm' failed" err.txt
grep -q "2 of 7 frames failed" err.txt
test "$(ls -A par | sort | tr '\n' ' ')" = "f1.exr f2.exr f4.exr f5.exr small.png "
# The same frames one at a time give the same pixels.
"$tool" render --project p.json f1.exr small.png -o seq --threads 1
for f in f1 f2 f4 f5; do same "par/$f.exr" seq/f1.exr; done
same seq/f1.exr one.exr
cmp par/small.png seq/small.png
# Refusals before anything is written.
set +e
"$tool" render --project p.json f1.exr sub/../f1.exr -o seq 2> /dev/null
test $? -eq 2 || exit 1
"$tool" render --project p.json f1.exr -o seq --threads -1 2> /dev/null
test $? -eq 2 || exit 1
set -e
echo ok
