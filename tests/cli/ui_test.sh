#!/bin/sh
# The effect as a user meets it, through the tool: pictures of the controls and the overlay
# in both hosts, a shot matched to another through the "Target" card, edited patches, custom
# primaries, and the refusals of bad options with nothing written.
set -eu
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" synth --chart 6 --encode 43 --size 640x360 --seed 3 -o a.exr > /dev/null
"$tool" synth --chart 6 --encode 43 --size 640x360 --seed 8 -o b.exr > /dev/null
for host in ae premiere; do
    mkdir "$host"
    "$tool" ui a.exr --host "$host" --find -o "$host" > "$host/list.txt"
    grep -q "^Find card in frame: new card after" "$host/list.txt"
    for f in update-ui input-levels input-cie-xy source target curve output-levels \
             output-cie-xy export panel overlay; do
        test -s "$host/$f.png"
    done
done
# A project saved after a find holds the card the next find gives: still found, no change.
"$tool" correct a.exr -o f.exr --input 43 --find --project found.json
mkdir again
"$tool" ui a.exr --project found.json --find -o again | grep -q "^Find card in frame: new card"
# Match shot a to shot b: b's card is the target, read there by the effect's own buttons.
"$tool" correct a.exr -o matched.exr --input 43 --output 43 --find --target-image b.exr \
    --target-find --save-card a.bmp
test -s matched.exr
"$tool" correct a.exr -o matched2.exr --input 43 --output 43 --find --target-card a.bmp \
    --host premiere
test -s matched2.exr
# One patch typed in, the rest as read; then the card reset to the chart's reference.
"$tool" correct a.exr -o p.exr --input 43 --find --patch 0=0.5,0.25,0.125 --save-card p.bmp
"$tool" card show p.bmp | grep -q "^  0  .*display 0.498039 0.247059 0.12"
"$tool" correct a.exr -o r.exr --input 43 --find --ref --save-card r.bmp
"$tool" card show r.bmp | grep -q "reference"
"$tool" correct a.exr -o w.exr --input 43 --find \
    --input-primaries 0.64,0.33,0.30,0.60,0.15,0.06,0.3127,0.3290 \
    --output-primaries 0.708,0.292,0.170,0.797,0.131,0.046,0.3127,0.3290
test -s w.exr
# Refusals: status 2, nothing written.
for bad in "--target-find" "--target-image b.exr" "--patch 5" "--patch 0=2,0,0" \
           "--input-primaries 1,2" "--target-card a.bmp --target-image b.exr --target-find"; do
    set +e
    # shellcheck disable=SC2086
    "$tool" correct a.exr -o never.exr $bad 2> /dev/null
    status=$?
    set -e
    test "$status" -eq 2 || { echo "'$bad' gave status $status"; exit 1; }
    test ! -e never.exr
done
echo ok
