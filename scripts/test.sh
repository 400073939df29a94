#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with warnings as errors
# under AddressSanitizer and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=build/test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUENOR_DEVELOP=ON
cmake --build "$build" --parallel "$(nproc)"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
bash scripts/windows-tests.sh
