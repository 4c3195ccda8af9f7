#!/usr/bin/env bash
# Cross-builds the converter for 64-bit Windows: a static gif2swf.exe that needs no DLL.
#
# giflib and libdeflate come from Debian's source packages (apt-get source with a private
# sources list, state and cache, so the machine's own apt setup is left as it was); they
# (cmake/windows-deps) and the converter, in converter-only mode (no Qt), are built with CMake
# through the toolchain file cmake/mingw-w64-x86_64.cmake.
#
# Result: $KORVANE_BUILD_DIR/windows/app/gif2swf.exe (default build/windows/app/gif2swf.exe).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KORVANE_BUILD_DIR:-$here/build}"
out="$build/windows"
deps="$build/windows-deps"
prefix="$deps/prefix"
triple=x86_64-w64-mingw32

need=()
command -v $triple-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix)
command -v dpkg-source >/dev/null 2>&1 || need+=(dpkg-dev)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing: ${need[*]}; install them as root: apt-get install ${need[*]}" >&2
        exit 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# The Debian archive this machine already uses, as source lines for bookworm.
debian_source_lines() {
    local files=()
    [ -f /etc/apt/sources.list ] && files+=(/etc/apt/sources.list)
    for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] || return 0
    awk '
        function flush(   n, s, i) {
            if (uri ~ /debian/ && suites != "") {
                n = split(suites, s, " ")
                for (i = 1; i <= n; i++)
                    if (s[i] ~ /^bookworm/)
                        printf "deb-src [signed-by=%s] %s %s%s\n", key, uri, s[i], comps
            }
            uri = ""; suites = ""; comps = " main"; key = default_key
        }
        BEGIN { default_key = "/usr/share/keyrings/debian-archive-keyring.gpg"; flush() }
        FNR == 1 { flush() }
        FILENAME ~ /\.sources$/ {
            if ($0 ~ /^[ \t]*$/) { flush(); next }
            if ($1 == "URIs:") uri = $2
            else if ($1 == "Suites:") { $1 = ""; suites = $0 }
            else if ($1 == "Components:") { $1 = ""; comps = $0 }
            else if ($1 == "Signed-By:") key = $2
            next
        }
        $1 == "deb" {
            i = 2
            if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
            if ($i ~ /debian/ && $(i + 1) ~ /^bookworm/)
                printf "deb-src [signed-by=%s] %s %s main\n", default_key, $i, $(i + 1)
        }
        END { flush() }
    ' "${files[@]}" | sort -u
}

# Fetches giflib and libdeflate into $deps/src, once.
fetch_sources() {
    if compgen -G "$deps/src/giflib-*/gif_lib.h" >/dev/null &&
        compgen -G "$deps/src/libdeflate-*/libdeflate.h" >/dev/null; then
        return
    fi
    mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" "$deps/src"
    debian_source_lines >"$deps/apt/sources.list"
    if [ ! -s "$deps/apt/sources.list" ]; then
        echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
            "http://deb.debian.org/debian bookworm main" >"$deps/apt/sources.list"
    fi
    local apt=(-o Dir::Etc::SourceList="$deps/apt/sources.list"
        -o Dir::Etc::SourceParts=/nonexistent
        -o Dir::State="$deps/apt" -o Dir::State::Lists="$deps/apt/lists"
        -o Dir::Cache="$deps/apt/cache")
    # As root, apt downloads as the unprivileged _apt user, which cannot write here.
    [ "$(id -u)" -eq 0 ] && apt+=(-o APT::Sandbox::User=root)
    apt-get -qq "${apt[@]}" update
    (cd "$deps/src" && apt-get -qq "${apt[@]}" source giflib libdeflate >/dev/null)
}

build_libraries() {
    if [ -f "$prefix/lib/libgif.a" ] && [ -f "$prefix/lib/libdeflate.a" ]; then
        return
    fi
    local gif deflate
    gif="$(dirname "$(compgen -G "$deps/src/giflib-*/gif_lib.h" | head -1)")"
    deflate="$(dirname "$(compgen -G "$deps/src/libdeflate-*/libdeflate.h" | head -1)")"
    cmake -S "$here/cmake/windows-deps" -B "$deps/build" "${toolchain[@]}" \
        -DGIFLIB_SOURCE="$gif" -DLIBDEFLATE_SOURCE="$deflate" -DCMAKE_INSTALL_PREFIX="$prefix" \
        >/dev/null
    cmake --build "$deps/build" -j "$(nproc)" >/dev/null
    cmake --install "$deps/build" >/dev/null
}

launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
toolchain=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
    "${launcher[@]}")

fetch_sources
build_libraries

cmake -S "$here" -B "$out" "${toolchain[@]}" -DKORVANE_DEPS_PREFIX="$prefix" \
    -DKORVANE_CONVERTER_ONLY=ON -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s >/dev/null
cmake --build "$out" -j "$(nproc)" --target gif2swf
echo "Built $out/app/gif2swf.exe"
