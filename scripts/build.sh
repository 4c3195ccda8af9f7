#!/usr/bin/env bash
# Configures and builds into build/ (the application folder is build/app). Arguments go to
# `cmake --build` (for example --target gif2swf); KORVANE_BUILD_DIR and KORVANE_BUILD_TYPE
# choose another folder and build type.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KORVANE_BUILD_DIR:-$here/build}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
    # Paths relative to the checkout, so clones in other folders share the cache.
    export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE="${KORVANE_BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "$@"
