#!/bin/sh
# Makes the Wine prefix the Windows converter's tests run in (once: it takes a while) and
# checks that the converter starts there. Usage: wine-prefix.sh WINE PREFIX GIF2SWF_EXE
set -eu
wine="$1" prefix="$2" exe="$3"
if [ ! -f "$exe" ]; then
    echo "$exe is missing: build it with scripts/build-windows.sh" >&2
    exit 1
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all
if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    # No .NET or browser engine to install: the converter is a plain console program.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init
fi
"$wine" "$exe" --version
