#!/usr/bin/env bash
# Installs the Debian package found in BUILD_DIR on this machine, checks what it installed, starts
# the installed /usr/bin/wirelark on a private X server and waits for its window, then purges the
# package and checks that every file it brought is gone. Needs root. A wirelark package that is
# already installed is left alone: the test refuses to run rather than remove it.
#   usage: package-test.sh BUILD_DIR
set -euo pipefail

app_id=io.github.wirelark.Wirelark

fail() {
    echo "package-test: FAIL: $*" >&2
    exit 1
}

# The window check runs inside xvfb-run, as a second invocation of this script.
if [ "${1:-}" = --window-check ]; then
    home=$(mktemp -d)
    # A clean environment: nothing from a build tree, a fresh configuration folder.
    env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" HOME="$home" \
        XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=xcb /usr/bin/wirelark \
        >"$home/out.txt" 2>&1 &
    pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Wirelark$' | head -n 1) || true
    status=0
    if [ -z "$wid" ]; then
        echo "package-test: FAIL: no window named Wirelark within 30 s; program output:" >&2
        status=1
    elif [ "$(xdotool getwindowpid "$wid")" != "$pid" ]; then
        echo "package-test: FAIL: the Wirelark window belongs to another process" >&2
        status=1
    elif [ "$(readlink "/proc/$pid/exe")" != /usr/bin/wirelark ]; then
        echo "package-test: FAIL: the process runs $(readlink "/proc/$pid/exe")" >&2
        status=1
    else
        eval "$(xdotool getwindowgeometry --shell "$wid")"
        # The window has a fixed client area of 565 x 431 pixels.
        if [ "$WIDTH" != 565 ] || [ "$HEIGHT" != 431 ]; then
            echo "package-test: FAIL: window is ${WIDTH}x${HEIGHT}, expected 565x431" >&2
            status=1
        else
            echo "package-test: window $wid of /usr/bin/wirelark (pid $pid), ${WIDTH}x${HEIGHT}"
        fi
    fi
    if kill "$pid" 2>/dev/null; then
        wait "$pid" || true
    else
        echo "package-test: FAIL: /usr/bin/wirelark ended by itself" >&2
        status=1
    fi
    [ "$status" -eq 0 ] || cat "$home/out.txt" >&2
    rm -rf "$home"
    exit "$status"
fi

build=${1:?usage: package-test.sh BUILD_DIR}
[ "$(id -u)" -eq 0 ] || fail "needs root: it installs the package on this machine"
deb=$(ls -t "$build"/wirelark_*.deb 2>/dev/null | head -n 1) || true
[ -n "$deb" ] || fail "no wirelark_*.deb in $build (run make package first)"
deb=$(realpath "$deb")
if dpkg-query -W -f='${db:Status-Status}' wirelark 2>/dev/null | grep -qv '^not-installed$'; then
    fail "a wirelark package is already on this machine; remove it first (dpkg --purge wirelark)"
fi
echo "package-test: $deb"

installed=0
log=$(mktemp)
cleanup() {
    if [ "$installed" -eq 1 ]; then
        dpkg --purge wirelark >/dev/null || echo "package-test: could not purge wirelark" >&2
    fi
    rm -f "$log"
}
trap cleanup EXIT

# The control fields a user of the package relies on.
[ "$(dpkg-deb -f "$deb" Package)" = wirelark ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Recommends)" = "fonts-noto-cjk | fonts-arphic-uming" ] ||
    fail "Recommends is '$(dpkg-deb -f "$deb" Recommends)'"
for field in Maintainer Description Section Depends; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "empty $field"
done
depends=$(dpkg-deb -f "$deb" Depends)

installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$log" 2>&1 ||
    { cat "$log" >&2; false; } ||
    fail "apt-get install $deb"
mapfile -t files < <(dpkg -L wirelark)

expected=(
    /usr/bin/wirelark
    /usr/bin/wirelark-slave
    /usr/bin/wirelark-poll
    "/usr/share/applications/$app_id.desktop"
    "/usr/share/metainfo/$app_id.metainfo.xml"
    "/usr/share/icons/hicolor/64x64/apps/$app_id.png"
    "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    /usr/share/man/man1/wirelark-slave.1.gz
    /usr/share/man/man1/wirelark-poll.1.gz
)
for f in "${expected[@]}"; do
    [ -f "$f" ] || fail "$f is not installed"
done
[ "$(identify -format '%wx%h' "/usr/share/icons/hicolor/64x64/apps/$app_id.png")" = 64x64 ] ||
    fail "the 64x64 icon is not 64 x 64 pixels"
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "desktop entry"
grep -qx "Icon=$app_id" "/usr/share/applications/$app_id.desktop" || fail "the desktop entry's icon"
appstreamcli validate --no-net --strict "/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
    fail "AppStream metainfo"
[ "$(man -w wirelark-slave)" = /usr/share/man/man1/wirelark-slave.1.gz ] ||
    fail "man -w wirelark-slave"
[ -n "$(MANWIDTH=80 man wirelark-slave 2>/dev/null | grep -i 'wirelark-slave')" ] ||
    fail "man wirelark-slave shows nothing"
[ -n "$(MANWIDTH=80 man wirelark-poll 2>/dev/null | grep -i 'wirelark-poll')" ] ||
    fail "man wirelark-poll shows nothing"
# The command-line tool must run where there is no display.
env -u DISPLAY -u WAYLAND_DISPLAY wirelark-poll --version >/dev/null ||
    fail "wirelark-poll --version without a display"

# Every library a binary links directly must come from a package that Depends names.
mapfile -t depends_names < <(tr ',|' '\n\n' <<<"$depends" |
    sed 's/(.*)//; s/:.*//; s/ //g' | grep .)
owner_of() {
    local p owner
    for p in "$1" "$(realpath "$1")"; do
        owner=$(dpkg -S "$p" 2>/dev/null | head -n 1 | cut -d: -f1)
        if [ -n "$owner" ]; then
            echo "$owner"
            return
        fi
    done
}
for bin in /usr/bin/wirelark /usr/bin/wirelark-slave /usr/bin/wirelark-poll; do
    while read -r lib; do
        path=$(ldd "$bin" | awk -v l="$lib" '$1 == l { print $3 }')
        [ -n "$path" ] && [ -e "$path" ] || fail "$bin: $lib does not resolve"
        owner=$(owner_of "$path")
        [ -n "$owner" ] || fail "$bin: no package owns $path"
        printf '%s\n' "${depends_names[@]}" | grep -Fxq "$owner" ||
            fail "$bin links $lib from $owner, which Depends lacks: $depends"
    done < <(objdump -p "$bin" | awk '$1 == "NEEDED" { print $2 }')
done

here=$(cd "$(dirname "$0")" && pwd)
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$here/package-test.sh" --window-check ||
    fail "the installed program did not show its window"

dpkg --purge wirelark >/dev/null || fail "dpkg --purge wirelark"
installed=0
[ "$(dpkg-query -W -f='${db:Status-Status}' wirelark 2>/dev/null || echo not-installed)" = \
    not-installed ] || fail "dpkg still lists wirelark"
left=()
for f in "${files[@]}"; do
    [ -d "$f" ] && continue
    if [ -e "$f" ] || [ -L "$f" ]; then
        left+=("$f")
    fi
done
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"
echo "package-test: installed, started, removed: ${#files[@]} paths checked"
