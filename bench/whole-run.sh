#!/bin/sh
# Builds the whole-run benchmark in Release and runs it at the sizes it is
# judged at, each size twice with the two sides in both orders.
#   bench/whole-run.sh [ROWS...]    (default: 100000 1000000)
# Run it on a quiet machine: both sides share the disk and the cores.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENOR_BUILD_UI=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --parallel 2 --target quenor_whole_run_bench
[ $# -gt 0 ] || set -- 100000 1000000
for rows in "$@"; do
    "$build/bench/quenor_whole_run_bench" "$rows" "$build/whole-run-data"
    "$build/bench/quenor_whole_run_bench" "$rows" "$build/whole-run-data" --manual-first
done
