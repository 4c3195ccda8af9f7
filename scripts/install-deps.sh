#!/usr/bin/env bash
# Installs every Debian package the project needs (when run as root) or says which ones are
# missing. Shared by run.sh and test.sh so that a fresh Debian 12 machine needs nothing by hand.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-svg-dev libqt6svg6
    libgif-dev zlib1g-dev libdeflate-dev
    fonts-crosextra-carlito fonts-liberation2
    # used by the tests: a real X server for screenshots, ImageMagick as an independent
    # GIF compositor, Node.js for the independent SWF parser
    xvfb xauth xdotool imagemagick nodejs
    # the Debian package (scripts/package-deb.sh) and its test: shlibdeps, lintian, validators
    dpkg-dev lintian appstream desktop-file-utils
    # the Windows converter: the cross compiler and Wine to test it (dpkg-dev above unpacks
    # the libraries' source packages)
    g++-mingw-w64-x86-64-posix wine wine64
    # GIFs as the tools in the wild write them (tests, benchmark)
    ffmpeg
    # the browser that bench/ruffle plays movies in (Ruffle, by hand)
    chromium
    # the file-list benchmark's stand-in for a screen reader: an accessibility bus and a small
    # listener on it
    at-spi2-core dbus-daemon python3-pyatspi
)
# ISA-L's fast deflater, which the converter uses where it is packaged (its SIMD code is
# written for these two)
case "$(dpkg --print-architecture)" in
    amd64 | arm64) packages+=(libisal-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "These Debian packages are missing; install them as root:" >&2
        echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
fi

# npm packages the tests use live in a folder of the project, never globally.
for dir in "$here"/tests/*/; do
    # Installed when missing, and again when the lock file lists other packages than
    # those installed (npm records them in node_modules/.package-lock.json).
    if [ -f "$dir/package.json" ] && { [ ! -d "$dir/node_modules" ] ||
        [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; }; then
        if ! command -v npm >/dev/null 2>&1; then
            if [ "$(id -u)" -eq 0 ]; then
                apt-get install -y -qq --no-install-recommends npm
            else
                echo "npm is missing; install it as root: apt-get install npm" >&2
                exit 1
            fi
        fi
        if ! (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error); then
            echo "Could not install the npm packages of ${dir%/} (see npm's message above)." >&2
            exit 1
        fi
    fi
done
