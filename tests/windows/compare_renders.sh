#!/bin/sh
# Renders the frame with the native build and with the Windows build under Wine, then
# compares the two folders of raw pixels.
#   compare_renders.sh NATIVE_BUILD WINDOWS_PROGRAM WINDOWS_PLUGIN OUT WINE_COMMAND...
native=$1 program=$2 plugin=$3 out=$4
shift 4
if [ ! -x "$native/tests/render_frame" ] || [ ! -f "$native/chromalane_ae.so" ]; then
    echo "no native render_frame and plug-in in $native: build the default preset first"
    exit 77
fi
rm -rf "$out" && mkdir -p "$out"
"$native/tests/render_frame" "$native/chromalane_ae.so" "$out/linux" || exit 1
# The Windows side renders the Linux side's frame with its coefficients, so that the core
# renders meet on equal inputs; the plug-in fits its own correction from that frame.
"$@" "$program" "$plugin" "$out/windows" "$out/linux" || exit 1
"$native/tests/render_frame" --compare "$out/linux" "$out/windows"
