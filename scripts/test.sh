#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with warnings as errors
# under AddressSanitizer and UBSan, and runs every test; then builds the
# packages and installs, starts and removes each of them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# CMakePresets.json's develop preset: build/test.
cmake --preset develop
cmake --build --preset develop --parallel "$(nproc)"
ctest --preset develop --parallel "$(nproc)"

# The Debian package, built from a release build, installed, started and
# removed again.
SECONDS=0
bash scripts/debian-package.sh
bash tests/packaging/debian-package-test.sh
echo "Debian package leg took ${SECONDS}s"

bash scripts/windows-tests.sh
