#!/usr/bin/env bash
# Installs the Debian 12 packages the tool and its tests need. Installs only
# what is missing, so running it again costs next to nothing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgtest-dev libgmock-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
  xvfb xauth fonts-wine fonts-dejavu-core
  # Qt's own dialog texts in the operator's language; the window tests feed
  # input through Qt's window-system queue, whose header is private.
  qt6-translations-l10n qt6-base-private-dev
  # The window and run tests run under these locales.
  locales
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

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# The locales the tests switch to, made only when missing (a fresh Debian 12
# has none but C and C.UTF-8).
for name in ru_RU.UTF-8 en_US.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}"; then
    echo "Generating locale $name"
    "${sudo_cmd[@]}" localedef -i "${name%%.*}" -c -f UTF-8 -A /usr/share/locale/locale.alias "$name"
  fi
done
