#!/usr/bin/env bash
# Continuous sending at a wait of 10 ms from the window against the simulated slave device for a
# long time; reports transactions, errors and resident memory at the start and the end.
#   scripts/soak.sh BUILD_DIR [SECONDS]     SECONDS default $SOAK_SECONDS or 3600
# The simulator links its port in a private port directory and is stopped at the end.
set -euo pipefail
build=${1:?usage: soak.sh BUILD_DIR [SECONDS]}
seconds=${2:-${SOAK_SECONDS:-3600}}
slave_bin=$build/slave/wirelark-slave
runner=$build/bench/soakrunner
for f in "$slave_bin" "$runner"; do
    [ -x "$f" ] || { echo "missing $f: build it first (make soak does)" >&2; exit 1; }
done

config=$(mktemp -d)
slave_log=$build/soak-slave.log
XDG_CONFIG_HOME=$config "$slave_bin" >"$slave_log" 2>&1 &
slave=$!
cleanup() {
    kill -TERM "$slave" 2>/dev/null || true
    wait "$slave" 2>/dev/null || true
    rm -rf "$config"
}
trap cleanup EXIT

port=
for _ in $(seq 50); do
    port=$(sed -n 's/.*linked as Com\([0-9]*\).*/\1/p' "$slave_log" | head -1)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "wirelark-slave did not start:" >&2; cat "$slave_log" >&2; exit 1; }
slave_rss_start=$(awk '/^VmRSS/ {print $2}' "/proc/$slave/status")

status=0
if [ -n "${DISPLAY:-}" ]; then
    XDG_CONFIG_HOME=$config "$runner" "$port" "$seconds" || status=$?
else
    XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        "$runner" "$port" "$seconds" || status=$?
fi
slave_rss_end=$(awk '/^VmRSS/ {print $2}' "/proc/$slave/status")
echo "  simulator            $(grep -c ' reply ' "$slave_log" || true) replies logged," \
    "resident memory $slave_rss_start kB at the start, $slave_rss_end kB at the end"
exit $status
