#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with warnings as errors
# under AddressSanitizer and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# CMakePresets.json's develop preset: build/test.
cmake --preset develop
cmake --build --preset develop --parallel "$(nproc)"
ctest --preset develop --parallel "$(nproc)"
bash scripts/windows-tests.sh
