#!/usr/bin/env bash
# The Windows leg of the tests: cross-builds the toolkit-free core (clean/,
# platform/ with its *Win.cpp files) with MinGW-w64 and runs its tests under
# Wine, in a fresh Wine prefix inside the build folder. Needs no display and
# no input. Usage: bash scripts/windows-tests.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh windows

build=${1:-build/windows}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Debug -DQUENOR_DEVELOP=ON -DQUENOR_BUILD_UI=OFF -DQUENOR_BUILD_BENCH=OFF
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

status=0
"$wine" "$build/tests/windows/windows_tests.exe" </dev/null || status=$?
"$wineserver" -k 2>/dev/null || true
exit "$status"
