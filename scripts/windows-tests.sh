#!/usr/bin/env bash
# The Windows leg of the tests: cross-builds the core and the Win32 window
# with MinGW-w64, 64-bit and 32-bit, and runs their CTest tests (label
# `windows`, through the test presets `windows` and `windows-32`) under Wine,
# each build in a fresh Wine prefix inside its build folder. The core tests
# run without a display; the window tests (label `window`) get an Xvfb of
# their own. Then makes the Windows packages and tests the installer under
# Wine. Needs no input; fails when any test fails.
# Usage: bash scripts/windows-tests.sh [build-folder-prefix]
#   QUENOR_WINDOWS_ARCHES="64 32" (default) picks the builds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh windows

prefix=${1:-build/windows}
arches=${QUENOR_WINDOWS_ARCHES:-64 32}
status=0

source scripts/virtual-display.sh
trap stop_display EXIT

# ctest --preset takes the test folder from the configure preset and (CMake
# 3.25) ignores --test-dir, so a build folder of the caller's choosing gets a
# presets file of its own: the project's test preset, pointed at that folder.
# Usage: write_test_preset <build-folder> <preset>
write_test_preset() {
  cat >"$1/CMakePresets.json" <<EOF
{
  "version": 6,
  "include": ["$PWD/CMakePresets.json"],
  "configurePresets": [{"name": "here", "inherits": "$2", "binaryDir": "\${sourceDir}"}],
  "testPresets": [{"name": "here", "inherits": "$2", "configurePreset": "here"}]
}
EOF
}

# Runs the tests of the build in $build that the ctest arguments pick.
run_tests() {
  (cd "$build" && ctest --preset here "$@" </dev/null)
}

for arch in $arches; do
  # CMakePresets.json's windows presets, in <prefix>-64 and <prefix>-32.
  case $arch in
    64) preset=windows wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 ;;
    32) preset=windows-32 wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver32 ;;
    *) echo "windows-tests.sh: unknown build '$arch'" >&2; exit 2 ;;
  esac
  build=$prefix-$arch
  echo "== Windows $arch-bit: $build"
  SECONDS=0
  cmake --preset "$preset" -B "$build"
  cmake --build "$build" --parallel "$(nproc)"
  echo "built in ${SECONDS}s: $build/quenor-cleaner.exe"

  write_test_preset "$build" "$preset"

  if [[ $arch == 32 ]] && ! "$wine" --version >/dev/null 2>&1; then
    # Some kernels (containers without 32-bit emulation) cannot start i386
    # programs, so 32-bit Wine cannot run. What can be checked without
    # running the build still is: the stand-in client's __stdcall exports.
    echo "32-bit Wine cannot run here: the tests under Wine are not run, only the stand-in client's export check"
    run_tests -L '^exports$' || status=1
    continue
  fi

  SECONDS=0
  unset DISPLAY
  source scripts/wine-prefix.sh "$build/wineprefix" "$wine" "$wineserver"
  # All but the window tests, without a display. Labels are regular
  # expressions: `window` alone would match `windows` too.
  run_tests -LE '^window$' || status=1
  # This Wine session started without a display; the window tests start
  # one of their own with it.
  timeout 60 "$wineserver" -w || true

  # Large enough for the window scaled to 200 %, which the window tests
  # start it at.
  start_display 1280x1024
  run_tests -L '^window$' || status=1
  timeout 60 "$wineserver" -k 2>/dev/null || true
  stop_display
  echo "tests under Wine took ${SECONDS}s ($arch-bit)"
done

# What Windows users are handed: both installers and the zip, built from
# release builds, and the installers run under Wine (the 32-bit one where
# 32-bit Wine runs).
echo "== Windows packages"
SECONDS=0
if timeout 3600 bash scripts/windows-packages.sh; then
  echo "packages made in ${SECONDS}s"
  SECONDS=0
  timeout 3600 bash tests/packaging/windows-installer-test.sh || status=1
  echo "installer test took ${SECONDS}s"
else
  echo "windows-packages.sh failed" >&2
  status=1
fi
exit "$status"
