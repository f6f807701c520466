#!/bin/sh
# Makes the Wine prefix the Windows tests run in, once: a booted prefix whose graphics
# driver is the null one, so that windows can be made (and closed) without a display.
set -e
wine=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ ! -f "$WINEPREFIX/.chromalane-ready" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    touch "$WINEPREFIX/.chromalane-ready"
fi
echo "Wine prefix ready: $WINEPREFIX"
