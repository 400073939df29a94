#!/usr/bin/env bash
# Builds the Debian package from a release build: build/packages/
# quenor-cleaner_<version>_amd64.deb, then checks it with lintian and the
# desktop entry and AppStream metainfo with their validators. Needs no input.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh package

# CMakePresets.json's release preset: build/run.
cmake --preset release >/dev/null
cmake --build --preset release --parallel "$(nproc)"
mkdir -p build/packages
rm -f build/packages/quenor-cleaner_*.deb
(cd build/run && cpack -G DEB -B "$PWD/../packages" >/dev/null)
rm -rf build/packages/_CPack_Packages
debs=(build/packages/quenor-cleaner_*_amd64.deb)
[[ -f ${debs[0]} ]] || { echo "debian-package.sh: cpack made no package" >&2; exit 1; }
deb=${debs[0]}

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
dpkg-deb -x "$deb" "$staging"
desktop-file-validate "$staging"/usr/share/applications/*.desktop
appstreamcli validate --no-net --explain "$staging"/usr/share/metainfo/*.metainfo.xml
# Errors fail the build; the warnings that remain are printed for the reader.
lintian --fail-on error --tag-display-limit 0 "$deb"
ls -l "$deb"
