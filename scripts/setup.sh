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
  # mkfs.ext4, for the power-cut tests' file system in an image file.
  e2fsprogs
  # The launcher's progress goes to the session bus through libdbus; the
  # test of it runs a session bus of its own.
  libdbus-1-dev dbus-daemon
)
# Extra package groups can be asked for by name, e.g. `setup.sh windows`.
for group in "$@"; do
  case "$group" in
    # Both Windows builds, 64-bit Wine, Tahoma for the window, and the
    # Windows packages.
    windows) packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64 googletest
                        # windmc, for the event log's message table.
                        binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
                        wine64 fonts-wine xvfb xauth
                        # The installers and the zip (windows-packages.sh); the
                        # installer test opens the zip and finds the window.
                        nsis zip unzip x11-utils) ;;
    # The pictures in docs/: a window manager for the picture of a run in
    # progress (its title bar shows the progress in the caption), and
    # ImageMagick's import, which grabs the Windows window off the virtual
    # display for scripts/screenshot-windows.sh.
    screenshot) packages+=(openbox imagemagick) ;;
    # 32-bit Wine (Debian's i386 wine32, hence the foreign architecture), for
    # machines whose kernel runs 32-bit programs; the test machines here do
    # not, so the default test run leaves it out.
    wine32) packages+=(wine32:i386)
            need_i386=1 ;;
    # Building and checking the Debian package, and the desktops its test
    # starts the installed program on: an X display (xwininfo and xprop
    # from x11-utils find the window) and a headless Wayland compositor.
    package) packages+=(dpkg-dev fakeroot file lintian desktop-file-utils appstream
                        xvfb xauth x11-utils weston qt6-wayland) ;;
    # mkfs.xfs, for timing the copy benchmark on a file system that reflinks.
    bench) packages+=(xfsprogs) ;;
    *) echo "setup.sh: unknown package group '$group'" >&2; exit 2 ;;
  esac
done

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
if [[ -n "${need_i386:-}" ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture for 32-bit Wine"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

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
