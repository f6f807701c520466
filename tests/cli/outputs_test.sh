#!/bin/sh
# What the tool writes: every kind of target (regular file, link, pipe, device, missing or
# read-only folder, full disk), inputs never replaced unless asked, no two outputs on one
# file, and images it must not read (cut short, or a header claiming too many pixels).
set -eu
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
chmod 755 "$dir"
fails() { if "$@" 2> err.txt; then echo "succeeded: $*" >&2; exit 1; fi; }

"$tool" synth --chart 6 --size 320x180 -o shot.png > /dev/null
"$tool" lut --size 2 -o ref.cube

# Standard output, by name and as "-"; the link in /dev stays a link.
test "$("$tool" lut --size 2 -o /dev/stdout | head -n 1)" = "LUT_3D_SIZE 2"
test -L /dev/stdout
"$tool" lut --size 2 -o - > dash.cube
cmp dash.cube ref.cube
fails sh -c '"$1" lut --size 2 -o - > /dev/full' sh "$tool"

# A link is written through: it stays a link and its target gets the table.
ln -s target.cube link.cube
"$tool" lut --size 2 -o link.cube
test -L link.cube && cmp target.cube ref.cube
# The permission bits of the file replaced are kept.
chmod 640 target.cube
"$tool" lut --size 3 -o link.cube
test "$(stat -c %a target.cube)" = 640

# A named pipe is written into, not replaced.
mkfifo pipe.cube
cat pipe.cube > from_pipe.cube &
"$tool" lut --size 2 -o pipe.cube
wait
test -p pipe.cube && cmp from_pipe.cube ref.cube

# A device that fails every write: status 1, and the device is still there.
ln -s /dev/full full.png
fails "$tool" correct shot.png -o full.png
grep -q "No space left" err.txt
fails "$tool" lut --size 2 -o /dev/full
test -c /dev/full

# A full disk (a file size limit here): nothing under the final name, no temporaries.
mkdir small
for out in small/out.png small/out.jpg small/out.tif small/out.exr; do
    (trap '' XFSZ; ulimit -f 8; fails "$tool" correct shot.png -o "$out")
done
(trap '' XFSZ; ulimit -f 8; fails "$tool" lut --size 33 -o small/big.cube)
test -z "$(ls -A small)"

# A missing folder, and (as an ordinary user, for whom the folder's mode counts) a
# read-only one.
fails "$tool" lut --size 2 -o missing/t.cube
mkdir locked && chmod 555 locked
if [ "$(id -u)" -eq 0 ]; then
    fails setpriv --reuid=65534 --regid=65534 --clear-groups "$tool" lut --size 2 -o locked/t.cube
else
    fails "$tool" lut --size 2 -o locked/t.cube
fi
test -z "$(ls -A locked)"

# Inputs are not replaced, by any name, unless --overwrite is given.
cp shot.png keep.png
ln -s keep.png alias.png
for args in "-o keep.png" "-o alias.png" "-o o.png --lut keep.png" "-o o.png --project keep.png" \
    "-o o.png --save-card keep.png"; do
    fails "$tool" correct keep.png $args --find
    grep -q "give --overwrite" err.txt
done
cmp keep.png shot.png
"$tool" correct keep.png -o keep.png --find --project p.json --overwrite
if cmp -s keep.png shot.png; then exit 1; fi
fails "$tool" correct shot.png -o o.png --lut o.png
grep -q "would both write" err.txt

# render: not over the frames it reads, not two frames onto one file.
mkdir a b out
cp shot.png a/f.png && cp shot.png b/f.png
fails "$tool" render --project p.json a/f.png -o a
cmp a/f.png shot.png
fails "$tool" render --project p.json a/f.png b/f.png -o out
grep -q "separate folders" err.txt
test -z "$(ls -A out)"

# Corners that put the card outside the frame.
fails "$tool" correct shot.png -o o.png --corners 1e300,0,300,0,300,170,0,170
grep -q "top left corner" err.txt
fails "$tool" correct shot.png -o o.png --corners 10,10,300,10,300,170,-5,170
grep -q "bottom left corner" err.txt
test ! -e o.png

# A PNG cut short, and one whose header claims 100000 x 100000 pixels: refused, unread.
head -c 20000 shot.png > cut.png
fails "$tool" correct cut.png -o o.png
grep -q "ends early" err.txt
python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
ihdr = struct.pack(">IIBBBBB", 100000, 100000, 8, 6, 0, 0, 0)
with open("huge.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(b"\0" * 64))
            + chunk(b"IEND", b""))
PY
fails "$tool" correct huge.png -o o.png
grep -q "limits:imagesize_MB" err.txt
test ! -e o.png
echo ok
