#!/usr/bin/env bash
# The Windows leg of the tests: cross-builds the toolkit-free core (clean/,
# platform/ with its *Win.cpp files) with MinGW-w64 and runs its tests under
# Wine, in a fresh Wine prefix inside the build folder. Needs no display and
# no input. Usage: bash scripts/windows-tests.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh windows

# CMakePresets.json's windows preset, in build/windows unless told otherwise.
build=${1:-build/windows}
cmake --preset windows -B "$build"
cmake --build "$build" --parallel "$(nproc)"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX="$(realpath "$build")/wineprefix"
export WINEDEBUG=-all
# Without X, Wine falls back to its null display driver; no Mono or Gecko is
# wanted, so their install prompts are switched off.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

rm -rf "$WINEPREFIX"
"$wine" wineboot -i </dev/null
"$wineserver" -w

# CTest runs the tests under Wine (the toolchain's emulator) with a time limit.
status=0
ctest --test-dir "$build" --output-on-failure -L windows </dev/null || status=$?
"$wineserver" -k 2>/dev/null || true
exit "$status"
