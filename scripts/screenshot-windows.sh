#!/usr/bin/env bash
# Draws docs/window-windows.png: the real 64-bit quenor-cleaner.exe under
# Wine on a virtual X display, in a Russian session (ANSI code page 1251),
# after a successful cleaning run with the cut-off 15 March 2000; or, with
# `progress`, docs/window-windows-progress.png: the same run during its
# backup, which the stand-in gbak then makes last a minute. Wine has no
# Firebird, so the run meets the stand-in client (as gds32.dll beside the
# program) and the stand-in gbak.exe in a Firebird folder of its own, found
# through the registry as a real installation is. A driver program plays the
# operator (WindowScreenshotDriver.cpp). Run by hand, not by the tests.
# Usage: bash scripts/screenshot-windows.sh [picture.png] [progress]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh windows screenshot

mode=${2:-done}
case $mode in
  done) default_picture=docs/window-windows.png ;;
  progress) default_picture=docs/window-windows-progress.png ;;
  *) echo "screenshot-windows.sh: unknown mode '$mode'" >&2; exit 2 ;;
esac
picture=$(realpath -m "${1:-$default_picture}")
build=build/screenshot-windows
SECONDS=0
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DQUENOR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" \
  --target quenor-cleaner fb_client_stand_in gbak_stand_in quenor-window-screenshot
window_dir=$build/tests/windows/window

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
source scripts/virtual-display.sh
cleanup() {
  if [[ -n "${WINEPREFIX:-}" ]]; then
    timeout 60 "$wineserver" -k 2>/dev/null || true
  fi
  stop_display
}
trap cleanup EXIT

unset DISPLAY
source scripts/wine-prefix.sh "$build/wineprefix" "$wine" "$wineserver"

# Laid out as on an operator's machine: the program with the client library
# beside it, Firebird in Program Files, the database in a folder of its own.
drive_c=$WINEPREFIX/drive_c
program_dir="$drive_c/Program Files/Quenor Cleaner"
firebird_dir="$drive_c/Program Files/Firebird/Firebird_3_0"
mkdir -p "$program_dir" "$firebird_dir/Bin" "$drive_c/Quenor"
cp "$build/quenor-cleaner.exe" "$window_dir/gds32.dll" "$program_dir/"
cp "$build/tests/windows/gbak.exe" "$firebird_dir/Bin/"
# Every gbak run exits 0 and leaves its output file, as a backup and a
# restore do; for the picture of the progress, the backup takes a minute.
if [[ $mode == progress ]]; then
  echo "slow-ok 60000" >"$firebird_dir/Bin/gbak.exe.plan"
else
  echo "ok" >"$firebird_dir/Bin/gbak.exe.plan"
fi
printf 'stands in for a database' >"$drive_c/Quenor/QUENOR.fdb"
# The value keeps its closing backslash, as Firebird's installer writes it;
# a .reg file says so without the command line's quoting rules.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Firebird Project\\Firebird Server\\Instances]\r\n"DefaultInstance"="C:\\\\Program Files\\\\Firebird\\\\Firebird_3_0\\\\"\r\n' \
  >"$drive_c/firebird.reg"
wine_run 120 regedit /S 'C:\firebird.reg'
timeout 60 "$wineserver" -w

start_display

# Written to a file: the program the driver starts outlives it and would
# hold a pipe open.
geometry=$build/window-geometry.txt
driver_mode=()
if [[ $mode == progress ]]; then
  driver_mode=(progress)
fi
LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 wine_run 180 "$window_dir/quenor-window-screenshot.exe" \
  'C:\Program Files\Quenor Cleaner\quenor-cleaner.exe' 'C:\Quenor\QUENOR.fdb' "${driver_mode[@]}" >"$geometry"
import -display "$DISPLAY" -window root -crop "$(tr -d '\r\n' <"$geometry")" +repage "$picture"
echo "Picture: $picture (${SECONDS}s)"
