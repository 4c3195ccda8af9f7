#!/bin/sh
# Makes the Wine prefix the Windows converter's tests run in (once: it takes a while), checks
# that the converter starts there, and starts the prefix's wineserver until the tests' end
# stops it (gif2swf_wine_server_stop). Without it each test's last Wine process ended the
# server, and a test starting then, beside it, failed with "wine client error:0: recvmsg:
# Connection reset by peer". Usage: wine-prefix.sh WINE WINESERVER PREFIX GIF2SWF_EXE
set -eu
wine="$1" wineserver="$2" prefix="$3" exe="$4"
if [ ! -f "$exe" ]; then
    echo "$exe is missing: build it with scripts/build-windows.sh" >&2
    exit 1
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all
# A server left from a run that did not end cleanly would refuse to let a new one start.
"$wineserver" -k 2>/dev/null || true
if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
fi
# The server, and the Windows services Wine starts with it, outlive this script: they must
# not hold its output, which CTest reads to the end.
"$wineserver" -p </dev/null >/dev/null 2>&1
log="$prefix/setup.log"
if [ ! -f "$prefix/system.reg" ]; then
    # No .NET or browser engine to install: the converter is a plain console program.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init </dev/null >"$log" 2>&1
fi
status=0
"$wine" "$exe" --version </dev/null >"$log" 2>&1 || status=$?
cat "$log"
exit "$status"
