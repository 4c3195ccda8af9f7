#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build="${KORVANE_BUILD_DIR:-$here/build}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting Korvane on a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a "$build/app/korvane" "$@"
fi
exec "$build/app/korvane" "$@"
