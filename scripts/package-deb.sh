#!/usr/bin/env bash
# Builds the Debian package korvane_<version>_<arch>.deb and prints its path.
#   usage: scripts/package-deb.sh [-o OUT_DIR] [BUILD_DIR]
# Without BUILD_DIR a Release build is configured and built in build-release/ first; with it,
# that build is packaged as it is, without building again. The package goes to OUT_DIR
# (default: the build folder). The version is the project's own (CMake's project version, which
# `gif2swf --version` prints), so this is a native package; the dependencies are computed from
# the programs by dpkg-shlibdeps.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

out=""
while getopts "o:" option; do
    case "$option" in
    o) out="$OPTARG" ;;
    *)
        echo "usage: $0 [-o OUT_DIR] [BUILD_DIR]" >&2
        exit 1
        ;;
    esac
done
shift $((OPTIND - 1))

if [ $# -gt 0 ]; then
    build="$(cd "$1" && pwd)"
else
    build="$here/build-release"
    # Debian's hardening flags (stack protector, fortified functions, full RELRO), which a
    # first configure takes from the environment.
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS
    KORVANE_BUILD_DIR="$build" KORVANE_BUILD_TYPE=Release "$here/scripts/build.sh" \
        --target korvane gif2swf
fi
out="$(mkdir -p "${out:-$build}" && cd "${out:-$build}" && pwd)"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
maintainer="Quenwick <support@quenwick.example>"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

# Plain permissions; the programs stripped of their debugging information.
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
programs=()
while IFS= read -r -d '' file; do
    if [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ]; then
        strip --strip-unneeded --remove-section=.comment --remove-section=.note "$file"
        chmod 0755 "$file"
        programs+=("$file")
    fi
done < <(find "$root" -type f -print0)

# What Debian expects beside the files: the copyright in the machine-readable format, a
# compressed changelog and manual pages.
doc="$root/usr/share/doc/korvane"
mkdir -p "$doc"
{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: Korvane"
    echo "Upstream-Contact: $maintainer"
    echo
    echo "Files: *"
    echo "Copyright: $(sed -n 's/^Copyright (c) //p' "$here/LICENSE")"
    echo "License: Expat"
    echo "Comment: The MIT licence, as in the project's LICENSE file. Everything in this"
    echo " package is the project's own: the programs, manual pages, icons, pointers,"
    echo " sample images and demonstration video."
    echo
    echo "License: Expat"
    sed -n '/^Permission is hereby granted/,$p' "$here/LICENSE" | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"
when="${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || date +%s)}"
cat >"$work/changelog" <<EOF
korvane ($version) unstable; urgency=medium

  * Korvane $version.

 -- $maintainer  $(LC_ALL=C date -u -R -d "@$when")
EOF
gzip -9n <"$work/changelog" >"$doc/changelog.gz"
gzip -9n "$root"/usr/share/man/man1/*.1
chmod 0644 "$doc"/* "$root"/usr/share/man/man1/*

# dpkg-shlibdeps reads the package names from a debian/control beside the staged files.
mkdir -p "$work/debian"
printf 'Source: korvane\n\nPackage: korvane\nArchitecture: any\n' >"$work/debian/control"
depends="$(cd "$work" && dpkg-shlibdeps -O "${programs[@]/#/-e}" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')"
if [ -z "$depends" ]; then
    echo "dpkg-shlibdeps found no dependencies for: ${programs[*]}" >&2
    exit 1
fi

mkdir -p "$root/DEBIAN"
cat >"$root/DEBIAN/control" <<EOF
Package: korvane
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk "$root" | cut -f1)
Depends: $depends
Section: graphics
Priority: optional
Description: turn GIF images into SWF (Flash) movies
 Korvane collects GIF images into an ordered list (file dialog, whole folder
 trees, drag and drop), puts them in the wanted order and turns them into
 SWF (Flash) movies: all of them into one animated movie, or a movie for
 each image, with a chosen delay between images.
 .
 The package also provides gif2swf, the command-line converter the
 application runs, which can be used on its own.
EOF
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb="$out/korvane_${version}_${arch}.deb"
dpkg-deb --root-owner-group --build "$root" "$deb" >/dev/null
echo "$deb"
