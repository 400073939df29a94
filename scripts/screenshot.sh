#!/usr/bin/env bash
# Draws docs/window.png: the window after a successful run on a fresh demo
# database, in a Russian session on a virtual X display, as an operator sees
# it. Usage: bash scripts/screenshot.sh [picture.png]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

picture=$(realpath -m "${1:-docs/window.png}")
build=build/screenshot
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target quenor-window-screenshot --parallel "$(nproc)"

# A short, fixed path, as the picture shows it.
work=/tmp/quenor-demo
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
demo=$(bash scripts/demo-database.sh "$work/QUENOR.fdb")

LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 LANGUAGE= QT_QPA_PLATFORM=xcb \
  xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" \
  "$build/app/quenor-window-screenshot" "$demo" "$picture"
echo "Picture: $picture"
