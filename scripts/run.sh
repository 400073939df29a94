#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the tool, makes a demo database
# the first time, and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build/run
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target quenor-cleaner --parallel "$(nproc)"

# Kept between runs, so what a cleaning did stays visible; delete the folder
# to start afresh.
demo=$(bash scripts/demo-database.sh)
echo "Demo database: $demo"
echo "Choose it with the \"...\" button, pick a day and press \"Очистить\"."

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to open the window on (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
  exit 1
fi
exec "$build/app/quenor-cleaner"
