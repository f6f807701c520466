#!/bin/sh
# The fit report opened from the file system in a real headless browser with the network
# cut off: the page renders, its pictures load, and the numbers on it are report.json's.
# Skipped (77) where no browser is installed.
set -eu
tool="$1"
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then echo "skipped: no chromium"; exit 77; fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" synth --chart 6 --encode 43 --size 640x360 -o shot.exr > /dev/null
mkdir rep
"$tool" correct shot.exr -o out.exr --input 43 --output sRGB --find --report rep
# A proxy that answers nothing: any remote font or script would fail to load.
run() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --user-data-dir="$dir/profile" --proxy-server=127.0.0.1:9 --window-size=1300,1500 \
        "$@" "file://$dir/rep/report.html" 2> /dev/null
}
run --dump-dom > dom.html
run --screenshot="$dir/page.png" > /dev/null
test -s page.png
py=python3; [ -x /usr/bin/python3 ] && py=/usr/bin/python3
"$py" - "$dir" <<'PY'
import json, sys
from PIL import Image
d = sys.argv[1]
j = json.load(open(f"{d}/rep/report.json"))
dom = open(f"{d}/dom.html").read()
for side in ("before", "after"):
    for key in ("mean", "median", "max"):
        value = f"{j[side][key]:.2f}"
        assert f"<td>{value}</td>" in dom, (side, key, value)
assert 'id="summary"' in dom and 'id="matrix"' in dom
# The two frame pictures loaded: the top of the page holds many colours, not blank boxes.
page = Image.open(f"{d}/page.png").convert("RGB")
colours = len(set(page.crop((0, 250, 1300, 700)).getdata()))
assert colours > 2000, colours
PY
echo ok
