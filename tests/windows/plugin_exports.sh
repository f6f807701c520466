#!/bin/sh
# The Windows plug-in exports its entry points under their plain names and nothing else
# (xGPUFilterEntry only when the build has it), and needs no DLL beyond the system's: the
# C++ runtime is linked in.
#   plugin_exports.sh OBJDUMP NM DLL
objdump=$1 nm=$2 dll=$3
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected="EntryPointFunc "
if "$nm" "$dll" 2>/dev/null | grep -q ' T xGPUFilterEntry$'; then
    expected="EntryPointFunc xGPUFilterEntry "
fi
if [ "$exports" != "$expected" ]; then
    echo "exports: '$exports', expected '$expected'"
    exit 1
fi
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
for name in $imports; do
    case $(echo "$name" | tr 'A-Z' 'a-z') in
        kernel32.dll | user32.dll | gdi32.dll | comdlg32.dll | advapi32.dll | msvcrt.dll) ;;
        *) echo "imports $name (all: $imports)"; exit 1 ;;
    esac
done
echo "exports: $exports; imports: $imports; ok"
