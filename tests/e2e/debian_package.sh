#!/usr/bin/env bash
# The Debian package as a user meets it: packages the build that was just made (no second
# build), checks its dependencies, lintian and the two metadata validators, installs it with
# apt-get, converts a GIF with /usr/bin/gif2swf, converts the samples in the installed
# application under Xvfb as a new user does, then removes it and finds none of its files
# left and nothing to purge. It installs into /usr, so it runs only as root.
#   usage: debian_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build="$1"
source_dir="$2"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installs a package into /usr with apt-get, so it runs only as root"
    exit 77
fi
for tool in lintian appstreamcli desktop-file-validate dpkg-shlibdeps Xvfb identify node; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

# Only one run on this machine installs the package at a time; other tests use the build's own
# application folder and never /usr.
exec 9>/run/lock/korvane-debian-package-test.lock
flock -w 200 9 || { echo "FAIL: another run of this test kept the package lock"; exit 1; }
if [ "$(dpkg-query -W -f='${db:Status-Status}' korvane 2>/dev/null)" = installed ]; then
    echo "SKIP: korvane is installed on this machine; this test would replace and remove it"
    exit 77
fi

work="$(mktemp -d)"
chmod 0755 "$work" # apt reads the package as its own unprivileged user
installed=0
cleanup() {
    if [ "$installed" = 1 ]; then
        apt-get purge -y -qq korvane >/dev/null 2>&1 || dpkg --purge korvane >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
export DEBIAN_FRONTEND=noninteractive

deb="$("$source_dir/scripts/package-deb.sh" -o "$work" "$build")"
echo "== $deb"
dpkg-deb -f "$deb"
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6widgets6 libgif7 libdeflate0; do
    grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends does not name $package"
done

echo "== lintian"
lint=0
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || lint=$?
grep -v 'root privileges' "$work/lintian.log" || true
[ "$lint" -eq 0 ] || fail "lintian reports errors"
dpkg-deb -x "$deb" "$work/files"
echo "== appstreamcli validate"
appstreamcli validate --no-net "$work"/files/usr/share/metainfo/*.metainfo.xml ||
    fail "appstreamcli rejects the metainfo"
echo "== desktop-file-validate"
desktop-file-validate "$work"/files/usr/share/applications/*.desktop ||
    fail "desktop-file-validate rejects the desktop entry"

# The package's paths as dpkg-deb -c lists them, and which of its folders exist already.
mapfile -t paths < <(dpkg-deb -c "$deb" | sed -E 's/^([^ ]+ +){5}\.//; s/ -> .*//; s|(.)/$|\1|')
existing=()
for path in "${paths[@]}"; do
    [ -d "$path" ] && existing+=("$path")
done

echo "== apt-get install"
installed=1
apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get cannot install the package"; }

version="$(dpkg-deb -f "$deb" Version)"
[ "$(/usr/bin/gif2swf --version)" = "gif2swf $version" ] ||
    fail "/usr/bin/gif2swf --version says '$(/usr/bin/gif2swf --version)', the package $version"
gif=/usr/lib/korvane/Samples/BouncingBall.gif
frames=$(identify "$gif" | wc -l)
read -r width height < <(identify -format '%W %H\n' "$gif" | head -n 1)
/usr/bin/gif2swf -r 2 "$gif" -o "$work/ball.swf" || fail "/usr/bin/gif2swf failed"
node "$source_dir/tests/swf-reader/check.mjs" "$work/ball.swf" width="$width" height="$height" \
    rate=512 frames="$frames"

echo "== /usr/bin/korvane under Xvfb"
"$source_dir/tests/e2e/first_run.sh" /usr/lib/korvane "$source_dir" /usr/bin/korvane

echo "== apt-get remove"
apt-get remove -y -qq korvane >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove"; }
installed=0
left=()
for path in "${paths[@]}"; do
    if [ -e "$path" ] || [ -L "$path" ]; then
        [[ " ${existing[*]} " == *" $path "* ]] || left+=("$path")
    fi
done
[ ${#left[@]} -eq 0 ] || fail "apt-get remove left behind: ${left[*]}"
# No configuration is kept that a purge would still have to remove.
status="$(dpkg-query -W -f='${db:Status-Status}' korvane 2>/dev/null || true)"
[ -z "$status" ] || [ "$status" = not-installed ] || fail "after removal korvane is $status"
echo "PASS: $(basename "$deb") installs, works from /usr/bin and leaves nothing behind"
