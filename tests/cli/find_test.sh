#!/bin/sh
# find, read and synth through the tool: a synthetic shot is found near its truth, its
# patches read back, and an unreadable file is reported with status 1.
set -e
tool=$1
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT

"$tool" synth --chart 6 --seed 3 --size 960x540 --card-share 0.4,0.5 -o "$d/shot.exr" > "$d/truth.json"
grep -q '"patch_edges"' "$d/truth.json"
test "$(grep -c '"name"' "$d/truth.json")" -eq 24

"$tool" find "$d/shot.exr" --chart 6 > "$d/found.txt"
test "$(wc -l < "$d/found.txt")" -eq 6
grep -q '^score ' "$d/found.txt"
corners=$(awk 'NR <= 4 { printf "%s%s,%s", (NR > 1 ? "," : ""), $(NF - 1), $NF }' "$d/found.txt")
"$tool" find "$d/shot.exr" --chart 6 --json > "$d/found.json"
grep -q '"found": true' "$d/found.json"
grep -q '"score": ' "$d/found.json"
grep -q '"milliseconds": ' "$d/found.json"

# A board of coloured squares in the chart's place is not the chart: status 1, and the
# JSON says why and where it looked (four corners).
"$tool" synth --chart 6 --seed 1 --size 640x360 --card-share 0.35,0.5 --decoy grid \
    -o "$d/decoy.exr" > /dev/null
if "$tool" find "$d/decoy.exr" --chart 6 --json > "$d/decoy.json" 2> /dev/null; then exit 1; fi
grep -q '"found": false' "$d/decoy.json"
grep -q '"reason": "' "$d/decoy.json"
tr -d ' \n' < "$d/decoy.json" | grep -q '"candidate":\[\[[-0-9.e]*,[-0-9.e]*\],\[[-0-9.e]*,[-0-9.e]*\],\[[-0-9.e]*,[-0-9.e]*\],\[[-0-9.e]*,[-0-9.e]*\]\]'

# The found top left corner lies within 1 % of the diagonal of the truth's.
tl_truth=$(tr -d ' \n' < "$d/truth.json" | sed 's/.*"corners":\[\[\([^]]*\)\].*/\1/')
echo "$corners $tl_truth" | awk -F'[ ,]' '{ dx = $1 - $9; dy = $2 - $10; exit !(dx * dx + dy * dy < 5 * 5) }'

"$tool" read "$d/shot.exr" --chart 6 --corners "$corners" > "$d/read.txt" 2> "$d/warn.txt"
test "$(wc -l < "$d/read.txt")" -eq 25
grep -q 'display .* linear ' "$d/read.txt"
grep -q '^fit residual ' "$d/read.txt"
test ! -s "$d/warn.txt"
"$tool" read "$d/shot.exr" --chart 6 --corners "$corners" --sampling box --pixel-aspect 1 \
    > "$d/box.txt"
test "$(wc -l < "$d/box.txt")" -eq 25
# Corners on the wrong part of the frame: the read card is implausible, and said so.
"$tool" read "$d/shot.exr" --chart 6 --corners 0,0,100,0,100,60,0,60 > /dev/null 2> "$d/warn.txt"
grep -q "do not fit the chart" "$d/warn.txt"
if "$tool" read "$d/shot.exr" --chart 6 --corners "$corners" --sampling wide 2> "$d/err.txt"; then
    exit 1
fi
grep -q "patch' or 'box'" "$d/err.txt"

if "$tool" find "$d/missing.png" --chart 6 2> "$d/err.txt"; then exit 1; fi
grep -q "cannot read image" "$d/err.txt"
if "$tool" read "$d/shot.exr" --chart 6 --corners 1,2,3 2> "$d/err.txt"; then exit 1; fi
grep -q "eight numbers" "$d/err.txt"
echo ok
