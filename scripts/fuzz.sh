#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for a set time from its committed
# seed corpus. New inputs go to a working corpus in the build folder; the committed one is read
# only. Prints the executions of each target; fails when a target finds an input that breaks a
# property (the input is kept in the build folder under artifacts/).
#   scripts/fuzz.sh [SECONDS]        SECONDS per target, default $FUZZ_SECONDS or 60
#   BUILD_FUZZ=dir                   build folder, default build-fuzz
#   FUZZ_SEED=n                      a fixed random seed (make check), so a run can be repeated
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-60}}
build=${BUILD_FUZZ:-$root/build-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DWIRELARK_FUZZ=ON -DWIRELARK_BUILD_TESTS=OFF \
        -DWIRELARK_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_all

seed_option=()
[ -n "${FUZZ_SEED:-}" ] && seed_option=(-seed="$FUZZ_SEED")

failed=()
summary=()
for source in "$root"/fuzz/fuzz_*.cpp; do
    target=$(basename "$source" .cpp)
    seeds=$root/fuzz/corpus/$target
    work=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/logs/$target.log
    mkdir -p "$seeds" "$work" "$artifacts" "$(dirname "$log")"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" "${seed_option[@]}" \
        -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" "$work" "$seeds" >"$log" 2>&1; then
        failed+=("$target")
        echo "== $target found a fault; input in $artifacts/" >&2
        grep -E -A3 'property violated|ERROR:|runtime error' "$log" | head -20 >&2 || tail -20 "$log" >&2
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    units=$(find "$work" "$seeds" -type f | wc -l)
    summary+=("$(printf '%-16s %12s executions in %4s s   corpus %5s inputs' \
        "$target" "${runs:-?}" "${took:-$seconds}" "$units")")
done

echo "Fuzzing, $seconds s per target:"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Faults found by: ${failed[*]}" >&2
    exit 1
fi
