#!/usr/bin/env bash
# Makes the screenshots of the window on a private X server, against the simulated slave device
# wirelark-slave linked as Com1 in a temporary port directory:
#   screenshot-startup.png     right after start-up
#   screenshot-send.png        port open, one send reading three holding registers
#   screenshot-continuous.png  during continuous sending
#   screenshot-scaled.png      the state of screenshot-send.png at QT_SCALE_FACTOR=2
#   screenshot-en.png          the state of screenshot-send.png in English (--lang en)
#   screenshot-en-scaled.png   the same at QT_SCALE_FACTOR=2
# Every click is checked against the requests the simulator reports, so a click that misses its
# button fails the script instead of producing a misleading picture.
#   usage: scripts/screenshots.sh BUILD_DIR [OUT_DIR]     (OUT_DIR defaults to docs/)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --inside-x ]; then
    build=$(realpath "${1:?usage: screenshots.sh BUILD_DIR [OUT_DIR]}")
    out=$(realpath -m "${2:-$here/../docs}")
    for program in app/wirelark slave/wirelark-slave; do
        if [ ! -x "$build/$program" ]; then
            echo "screenshots: $build/$program is not built" >&2
            exit 1
        fi
    done
    mkdir -p "$out"
    exec xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" "$0" --inside-x "$build" "$out"
fi

build=$2
out=$3
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
slave_pid=
app_pid=

cleanup() {
    local pid
    for pid in "$app_pid" "$slave_pid"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "screenshots: $*" >&2
    exit 1
}

# Counts the requests with the given hex bytes that the simulator has reported so far.
requests() {
    grep -c "request $1" "$work/slave.log" || true
}

wait_for_requests() {
    local bytes=$1 count=$2 i
    for i in $(seq 50); do
        [ "$(requests "$bytes")" -ge "$count" ] && return 0
        sleep 0.1
    done
    fail "the simulator did not see $count request(s) $bytes"
}

"$build/slave/wirelark-slave" --port 1 >"$work/slave.log" 2>&1 &
slave_pid=$!
for i in $(seq 50); do
    grep -q '^Serving' "$work/slave.log" && break
    sleep 0.1
done
grep -q '^Serving' "$work/slave.log" || fail "the simulator did not start: $(cat "$work/slave.log")"

# Starts the window at the given scale factor, with the program's further arguments, and sets
# wid and scale (device pixels per pixel).
start_window() {
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$1 "$build/app/wirelark" "${@:2}" >"$work/app.log" 2>&1 &
    app_pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Wirelark$' | head -n 1) ||
        fail "no window named Wirelark: $(cat "$work/app.log")"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    scale=$(awk -v w="$WIDTH" 'BEGIN { printf "%.3f", w / 565 }')
    # No window manager runs: give the window the keyboard focus directly.
    xdotool windowfocus --sync "$wid"
    sleep 1
}

stop_window() {
    kill "$app_pid"
    wait "$app_pid" || true
    app_pid=
}

# Clicks at a point of the window given in twips from its top-left corner (15 twips a pixel).
click() {
    local x y
    x=$(awk -v t="$1" -v s="$scale" 'BEGIN { printf "%d", t / 15 * s + 0.5 }')
    y=$(awk -v t="$2" -v s="$scale" 'BEGIN { printf "%d", t / 15 * s + 0.5 }')
    xdotool mousemove --window "$wid" "$x" "$y" click 1
    sleep 0.3
}

# The pointer leaves the window so that no hover highlight or tool tip shows in the picture.
shoot() {
    xdotool mousemove 0 0
    sleep 0.7
    import -window "$wid" -define png:exclude-chunk=date,time "$out/$1"
    echo "screenshots: $out/$1 ($(identify -format '%wx%h' "$out/$1"))"
}

# Centres of the controls in twips: frame origin plus the control's place plus half its size.
cmdopen=(4927 787)
txtnum=(3247 1882)
cmdtr=(5467 1882)
cont_on=(7027 1867)
cont_off=(7627 1867)

# Opens Com1, asks for three registers and sends once.
open_and_send() {
    local before
    before=$(requests '01 03 00 00 00 03')
    click "${cmdopen[@]}"
    # A click puts the caret into the full field: clear it before typing.
    click "${txtnum[@]}"
    xdotool key --delay 50 End BackSpace BackSpace BackSpace BackSpace
    xdotool type --delay 50 0003
    click "${cmdtr[@]}"
    wait_for_requests '01 03 00 00 00 03' $((before + 1))
    sleep 0.5
}

start_window 1
shoot screenshot-startup.png
open_and_send
shoot screenshot-send.png
before=$(requests '01 03 00 00 00 03')
click "${cont_on[@]}"
wait_for_requests '01 03 00 00 00 03' $((before + 12))
shoot screenshot-continuous.png
click "${cont_off[@]}"
stop_window

start_window 2
[ "$scale" = 2.000 ] || fail "at QT_SCALE_FACTOR=2 the window is ${WIDTH}x${HEIGHT}"
open_and_send
shoot screenshot-scaled.png
stop_window

for factor in 1 2; do
    start_window $factor --lang en
    open_and_send
    if [ $factor = 1 ]; then shoot screenshot-en.png; else shoot screenshot-en-scaled.png; fi
    stop_window
done
