#!/usr/bin/env bash
# Builds what is handed to Windows users, into build/packages:
#   quenor-cleaner-<version>-setup-x64.exe  installer for 64-bit Windows
#   quenor-cleaner-<version>-setup-x86.exe  installer for 32-bit Windows
#   quenor-cleaner-<version>-windows.zip    both programs and the licence
# from release builds of both programs (presets windows-release and
# windows-32-release) and packaging/windows/quenor-cleaner.nsi. Safe to run
# again: the packages are made afresh each time. Needs no input.
# Usage: bash scripts/windows-packages.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh windows

output=build/packages
# The files exactly as shipped, laid out as in the zip; the installers take
# theirs from here too.
files=build/packages-files

for preset in windows-release windows-32-release; do
  timeout 600 cmake --preset "$preset" >/dev/null
  timeout 1800 cmake --build --preset "$preset" --parallel "$(nproc)"
done

version_nsh=build/windows-64-release/packaging/version.nsh
version=$(sed -n 's/^!define QUENOR_VERSION "\(.*\)"$/\1/p' "$version_nsh")
[[ -n "$version" ]] || { echo "windows-packages.sh: no version in $version_nsh" >&2; exit 1; }

# Only this script's own packages: the Debian package shares the folder.
rm -rf "$files" "$output"/quenor-cleaner-*-setup-*.exe "$output"/quenor-cleaner-*-windows.zip
mkdir -p "$files/x64" "$files/x86" "$output"
# The window, and its console companion for scheduled runs.
cp build/windows-64-release/quenor-cleaner.exe build/windows-64-release/quenor-cleaner-cli.exe "$files/x64/"
cp build/windows-32-release/quenor-cleaner.exe build/windows-32-release/quenor-cleaner-cli.exe "$files/x86/"
# Windows line ends, for Notepad before Windows 10 and the installer's
# licence page alike.
sed 's/\r*$/\r/' LICENSE >"$files/LICENSE.txt"

for cpu in x64 x86; do
  timeout 300 makensis -V2 -INPUTCHARSET UTF8 \
    "-DQUENOR_INSTALLER_CPU=$cpu" \
    "-DQUENOR_VERSION_NSH=$PWD/$version_nsh" \
    "-DQUENOR_FILES=$PWD/$files" \
    "-DQUENOR_ICON=$PWD/ui/resources/quenor-cleaner.ico" \
    "-DQUENOR_OUTPUT=$PWD/$output" \
    packaging/windows/quenor-cleaner.nsi
done

zip_name=quenor-cleaner-$version-windows.zip
(cd "$files" && timeout 120 zip -q -X -r "$OLDPWD/$output/$zip_name" x64 x86 LICENSE.txt)

ls -l "$output"
