#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with warnings as errors
# under AddressSanitizer and UBSan, and runs every test; then builds the
# packages and installs, starts and removes each of them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# No test may write into the source tree: what git sees must be the same
# after the tests as before them (in CI's fresh clone: nothing at all).
tree_state() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git status --porcelain --untracked-files=all
  fi
}
tree_before=$(tree_state)

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

tree_after=$(tree_state)
if [[ "$tree_after" != "$tree_before" ]]; then
  echo "the tests changed the source tree:" >&2
  diff <(echo "$tree_before") <(echo "$tree_after") >&2 || true
  exit 1
fi
echo "the source tree is as the tests found it"
