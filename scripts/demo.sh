#!/usr/bin/env bash
# Tries Wirelark without hardware: installs what is missing, builds, starts the simulated slave
# device wirelark-slave on a virtual serial port, and opens the window with that port
# preselected. Closing the window stops the simulator.
#
# The simulator links its port in a private port directory that lives as long as the demo, so
# that the window offers the simulator first and your own links stay untouched. What the
# simulator prints (every request and reply) goes to $BUILD/demo-slave.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD:-build}

scripts/setup-deps.sh
make --no-print-directory build BUILD="$build"

config_home=$(mktemp -d "${TMPDIR:-/tmp}/wirelark-demo.XXXXXX")
slave_log="$build/demo-slave.log"
slave_pid=
stop_slave() {
    if [ -n "$slave_pid" ] && kill -0 "$slave_pid" 2>/dev/null; then
        kill -TERM "$slave_pid" 2>/dev/null || true
        wait "$slave_pid" 2>/dev/null || true
    fi
    rm -rf "$config_home"
}
trap stop_slave EXIT
trap 'exit 130' INT TERM HUP

export XDG_CONFIG_HOME="$config_home"
"$build/slave/wirelark-slave" >"$slave_log" 2>&1 &
slave_pid=$!

# The simulator's first line names the port it serves.
for _ in $(seq 1 50); do
    grep -q 'linked as' "$slave_log" 2>/dev/null && break
    if ! kill -0 "$slave_pid" 2>/dev/null; then
        cat "$slave_log" >&2
        echo "wirelark-slave did not start" >&2
        exit 1
    fi
    sleep 0.1
done
if ! grep -q 'linked as' "$slave_log"; then
    echo "wirelark-slave did not report its port" >&2
    exit 1
fi
head -n 1 "$slave_log"
echo "Requests and replies: $slave_log. Close the window to end the demo."

"$build/app/wirelark"
