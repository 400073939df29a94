#!/bin/sh
# Builds the whole-run benchmark in Release and runs it at the sizes it is
# judged at, four rounds each (six for --progress), the side that goes first
# alternating.
#   bench/whole-run.sh [ROWS...]    (default: 100000 1000000)
#   bench/whole-run.sh --progress [ROWS...]   the run followed against not
#                                             (default: 1000000)
# The numbers are only as quiet as the machine: both sides share its disk.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENOR_BUILD_UI=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --parallel 2 --target quenor_whole_run_bench
mode=
rounds=4
if [ "$1" = --progress ]; then
    # Six rounds: the difference sought is a fraction of the run-to-run
    # noise of one shared disk.
    mode=--progress
    rounds=6
    shift
    [ $# -gt 0 ] || set -- 1000000
fi
[ $# -gt 0 ] || set -- 100000 1000000
for rows in "$@"; do
    "$build/bench/quenor_whole_run_bench" "$rows" "$build/whole-run-data" --repeat "$rounds" $mode
done
