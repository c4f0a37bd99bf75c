#!/usr/bin/env bash
# Runs the benchmarks of a build folder (configure it as Release) and prints one table: each
# figure for our code and for the straightforward design, with the machine they ran on.
# Start-up is watched on a private X server; the other benchmarks draw off screen.
# Exit status 1 when a target is missed or a benchmark could not run.
set -euo pipefail
build=${1:?usage: bench.sh BUILD_DIR}
bench=$(cd "$build" && pwd)/bench

if [ -z "${WIRELARK_BENCH_ON_X:-}" ]; then
    export WIRELARK_BENCH_ON_X=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi

logs="$build/bench-logs"
mkdir -p "$logs"
runtime=$(mktemp -d)
rows=$(mktemp)
trap 'rm -rf "$runtime" "$rows"' EXIT
export XDG_RUNTIME_DIR=$runtime

model=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)

# run NAME PLATFORM [ARGUMENT...]: one benchmark program; its table lines are collected, the rest
# is logged.
run() {
    local name=$1 platform=$2 status=0
    shift 2
    echo "running $name ..." >&2
    QT_QPA_PLATFORM=$platform "$bench/$name" "$@" >"$logs/$name.out" 2>"$logs/$name.log" ||
        status=$?
    grep -E '^(ROW|NOTE)'$'\t' "$logs/$name.out" >>"$rows" || true
    if [ "$status" -ne 0 ] && ! grep -q $'\tMISSED$' "$logs/$name.out"; then
        printf 'ROW\t%s\tfailed with status %s (see %s)\t-\t-\t-\tMISSED\n' \
            "$name" "$status" "$logs/$name.log" >>"$rows"
    fi
}

run bench_request offscreen
run bench_wait offscreen
run bench_log offscreen
run bench_continuous offscreen
run bench_paced offscreen
run bench_poll offscreen "$logs/bench_continuous.out"
run bench_frameend offscreen
run bench_startup xcb
run bench_sniff offscreen
run bench_scan offscreen

load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)

echo
echo "Machine: $model, $(nproc) cores; $(uname -sr); load average $load_before before, $load_after after"
echo
awk -F '\t' '
    $1 == "ROW" {
        n++
        cell[n, 1] = $2; cell[n, 2] = $3; cell[n, 3] = $4; cell[n, 4] = $5
        cell[n, 5] = ($7 == "-") ? $6 : $6 ": " $7
        if ($7 == "MISSED") missed++
    }
    $1 == "NOTE" { notes[++m] = $2 }
    END {
        split("figure|ours|reference|ratio ours/ref|target", head, "|")
        for (c = 1; c <= 5; c++) { cell[0, c] = head[c]; width[c] = length(head[c]) }
        for (r = 1; r <= n; r++)
            for (c = 1; c <= 5; c++)
                if (length(cell[r, c]) > width[c]) width[c] = length(cell[r, c])
        for (r = 0; r <= n; r++) {
            line = "|"
            for (c = 1; c <= 5; c++) line = line sprintf(" %-" width[c] "s |", cell[r, c])
            print line
            if (r == 0) {
                line = "|"
                for (c = 1; c <= 5; c++) {
                    dashes = ""
                    for (i = 0; i < width[c] + 2; i++) dashes = dashes "-"
                    line = line dashes "|"
                }
                print line
            }
        }
        if (m > 0) print ""
        for (i = 1; i <= m; i++) print notes[i]
        exit missed > 0 ? 1 : 0
    }' "$rows"
