#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
# The Windows converter, which the tests labelled "wine" run under Wine.
"$here/scripts/build-windows.sh"
build="${KORVANE_BUILD_DIR:-$here/build}"
# Tests never touch the user's settings, and no test needs a display.
settings="$(mktemp -d)"
trap 'rm -rf "$settings"' EXIT
export XDG_CONFIG_HOME="$settings"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
