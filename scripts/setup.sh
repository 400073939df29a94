#!/usr/bin/env bash
# Installs the Debian 12 packages the tool and its tests need. Installs only
# what is missing, so running it again costs next to nothing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
  xvfb xauth fonts-wine fonts-dejavu-core
)
# Extra package groups can be asked for by name, e.g. `setup.sh windows`.
for group in "$@"; do
  case "$group" in
    windows) packages+=(g++-mingw-w64-x86-64-posix mingw-w64 googletest wine64) ;;
    # mkfs.xfs, for timing the copy benchmark on a file system that reflinks.
    bench) packages+=(xfsprogs) ;;
    *) echo "setup.sh: unknown package group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
