#!/usr/bin/env bash
# The Windows leg of the tests: cross-builds the core and the Win32 window
# with MinGW-w64, 64-bit and 32-bit, and runs their tests under Wine, each in
# a fresh Wine prefix inside its build folder. The core tests run without a
# display; the window tests get an Xvfb of their own. Then makes the Windows
# packages and tests the installer under Wine. Needs no input.
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

  if [[ $arch == 32 ]] && ! "$wine" --version >/dev/null 2>&1; then
    # Some kernels (containers without 32-bit emulation) cannot start i386
    # programs, so 32-bit Wine cannot run. The stand-in client's __stdcall
    # exports are checked from the linker's record instead: each name with
    # the bytes of arguments it pops, from the client's published prototypes.
    echo "32-bit Wine cannot run here: the 32-bit build is checked without running it"
    expected="isc_attach_database@24 isc_commit_transaction@8 isc_database_info@24 isc_detach_database@8
isc_dsql_alloc_statement2@12 isc_dsql_execute2@24 isc_dsql_execute@20 isc_dsql_free_statement@12
isc_dsql_prepare@28 isc_dsql_sql_info@24 isc_rollback_transaction@8 isc_start_multiple@16 isc_vax_integer@8"
    actual=$(grep -o 'isc_[a-z0-9_]*@[0-9]*' "$build/tests/windows/window/gds32.def" | sort | tr '\n' ' ')
    if [[ "$actual" != "$(echo $expected | tr ' ' '\n' | sort | tr '\n' ' ')" ]]; then
      echo "stand-in client exports differ: $actual" >&2
      status=1
    fi
    continue
  fi

  SECONDS=0
  unset DISPLAY
  source scripts/wine-prefix.sh "$build/wineprefix" "$wine" "$wineserver"
  # Wine's ANSI code page follows LANG: Windows-1251, as on the Russian
  # systems the tool serves; the path tests need its missing letters.
  LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 wine_run 600 "$build/tests/windows/windows_tests.exe" || status=1
  timeout 60 "$wineserver" -w || true

  # Large enough for the window scaled to 200 %, which the window tests
  # start it at.
  start_display 1280x1024
  LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 wine_run 600 "$build/tests/windows/window/window_tests.exe" || status=1
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
  timeout 1800 bash tests/packaging/windows-installer-test.sh || status=1
  echo "installer test took ${SECONDS}s"
else
  echo "windows-packages.sh failed" >&2
  status=1
fi
exit "$status"
