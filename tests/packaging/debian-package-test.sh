#!/usr/bin/env bash
# Installs the Debian package as an operator would (apt, from the file),
# starts the installed program on an X display and on a Wayland desktop until
# its window shows, closes it as the desktop does (SIGTERM), removes the
# package and checks that nothing of it is left: no file, no package it
# pulled in. Every step has a time limit.
# Usage: bash tests/packaging/debian-package-test.sh [package.deb]
#   (default: the one scripts/debian-package.sh made in build/packages)
set -euo pipefail
cd "$(dirname "$0")/../.."

bash scripts/setup.sh package

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

if [[ $# -gt 0 ]]; then
  deb=$1
else
  debs=(build/packages/quenor-cleaner_*_amd64.deb)
  deb=${debs[0]}
fi
[[ -f $deb ]] || { echo "FAIL: no package at $deb; run scripts/debian-package.sh first" >&2; exit 1; }
deb=$(realpath "$deb")

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

installed_status() { dpkg-query -W -f='${Status}' quenor-cleaner 2>/dev/null || true; }
if [[ -n "$(installed_status)" && "$(installed_status)" != "unknown ok not-installed" ]]; then
  echo "FAIL: quenor-cleaner is already on this machine ($(installed_status)); this test installs" \
       "and removes it, so remove it first: apt-get purge quenor-cleaner" >&2
  exit 1
fi

work=$(mktemp -d)
source scripts/virtual-display.sh
program_pid= weston_pid=
pulled_in=()
cleanup() {
  [[ -n $program_pid ]] && kill -KILL "$program_pid" 2>/dev/null
  stop_display
  [[ -n $weston_pid ]] && kill "$weston_pid" 2>/dev/null
  # A test stopped half-way still takes the package off the machine.
  if [[ "$(installed_status)" == *" installed" ]]; then
    timeout 300 "${sudo_cmd[@]}" apt-get purge -y -qq quenor-cleaner "${pulled_in[@]}" </dev/null >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# What the package may touch, by name, and the packages on the machine.
touched_folders=(/usr/bin /usr/share/applications /usr/share/icons/hicolor /usr/share/metainfo
                 /usr/share/man/man1 /usr/share/doc /usr/lib/systemd/system)
snapshot_files() { find "${touched_folders[@]}" -xdev 2>/dev/null | sort; }
snapshot_packages() { dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' | sort; }
snapshot_files >"$work/files-before"
snapshot_packages >"$work/packages-before"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | sort >"$work/package-files"

echo "== install $(basename "$deb")"
timeout 600 "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$deb" </dev/null >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log" >&2; echo "FAIL: apt-get could not install the package" >&2; exit 1; }
[[ "$(installed_status)" == "install ok installed" ]] && pass "installed" || fail "apt says: $(installed_status)"
snapshot_packages >"$work/packages-installed"
mapfile -t pulled_in < <(comm -13 "$work/packages-before" "$work/packages-installed" \
                         | awk '{print $1}' | sed 's/:.*//' | grep -vx quenor-cleaner || true)
[[ ${#pulled_in[@]} -eq 0 ]] || echo "apt also installed: ${pulled_in[*]}"
missing=$(while read -r f; do [[ -e $f ]] || echo "$f"; done <"$work/package-files")
[[ -z $missing ]] && pass "every file of the package is in place" || fail "not installed: $missing"

# What the program needs at run time but does not link: the client library
# it loads, the engine that opens a file without a server, gbak, and the
# window-system plugin. This machine has them all already, so what counts is
# that the package asks for the packages that hold them.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
for needed in /usr/lib/x86_64-linux-gnu/libfbclient.so.2 /usr/lib/x86_64-linux-gnu/firebird/3.0/plugins/libEngine12.so \
              /usr/bin/gbak /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so; do
  owner=$(dpkg -S "$needed" 2>/dev/null | head -1 | sed 's/:.*//')
  if [[ -n $owner ]] && grep -qx "$owner" <<<"$depends"; then
    pass "depends on $owner, which holds $needed"
  else
    fail "no dependency brings $needed (held by '${owner:-nothing}')"
  fi
done

# A scheduler's run has no display: the installed program answers there.
version=$(dpkg-deb -f "$deb" Version)
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 30 /usr/bin/quenor-cleaner --version </dev/null 2>&1) || true
[[ $answer == "quenor-cleaner $version" ]] && pass "--version without a display: $answer" \
  || fail "--version without a display said '$answer'"

# The schedule's template units, as an administrator would start them for
# one database: systemd's own check of an instance of each, with the
# installed program and manual page in place.
echo "== the schedule's units"
instance=$(systemd-escape --path /srv/quenor/QUENOR.fdb)
mkdir -p "$work/units"
for kind in service timer; do
  cp "/usr/lib/systemd/system/quenor-cleaner@.$kind" "$work/units/quenor-cleaner@$instance.$kind"
done
if timeout 120 systemd-analyze verify "$work/units/quenor-cleaner@$instance.service" \
     "$work/units/quenor-cleaner@$instance.timer" >"$work/verify.log" 2>&1; then
  pass "systemd-analyze verify accepts the service and the timer"
else
  cat "$work/verify.log" >&2
  fail "systemd-analyze verify refuses the schedule's units"
fi

desktop_entry=$(dpkg -L quenor-cleaner | grep '^/usr/share/applications/.*\.desktop$' || true)
desktop_id=$(basename "${desktop_entry:-none}" .desktop)
wm_class=$(sed -n 's/^StartupWMClass=//p' "${desktop_entry:-/dev/null}")

# The build's one application id names the desktop entry, and the AppStream
# launchable names that entry: the launcher's progress and a Wayland
# desktop find the program through it.
app_id_setting=$(sed -n 's/^set(QUENOR_APP_ID "\(.*\)")$/\1/p' CMakeLists.txt)
[[ -n $app_id_setting && $desktop_id == "$app_id_setting" ]] \
  && pass "the desktop entry is $app_id_setting.desktop" \
  || fail "desktop entry '$desktop_entry', the build's application id '$app_id_setting'"
launchable=$(dpkg -L quenor-cleaner | grep '^/usr/share/metainfo/.*\.xml$' | xargs -r sed -n \
  's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p')
[[ $launchable == "$desktop_id.desktop" ]] \
  && pass "the metainfo's launchable names $launchable" \
  || fail "the metainfo's launchable '$launchable', the desktop entry '$desktop_id.desktop'"
title="Утилита очистки БД Quenor (версия 2.1)"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

# The program runs until SIGTERM, which it must answer by closing its
# window and exiting 0.
stop_program() {
  local status=0
  kill -TERM "$program_pid"
  timeout 30 tail --pid="$program_pid" -f /dev/null || { fail "still running 30 s after SIGTERM"; return; }
  wait "$program_pid" || status=$?
  program_pid=
  [[ $status -eq 0 ]] && pass "SIGTERM closed it with exit code 0" || fail "exit code $status after SIGTERM"
}

echo "== start the installed program on an X display"
start_display
QT_QPA_PLATFORM=xcb LANG=ru_RU.UTF-8 quenor-cleaner 2>"$work/x11.log" &
program_pid=$!
window=
for _ in $(seq 600); do
  window=$(xwininfo -root -children 2>/dev/null | grep -F "\"$title\"" | awk '{print $1}' || true)
  [[ -n $window ]] && break
  sleep 0.1
done
if [[ -n $window ]]; then
  pass "window \"$title\" shown"
  class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= "[^"]*", "\([^"]*\)"/\1/p')
  [[ -n $wm_class && $class == "$wm_class" ]] \
    && pass "WM_CLASS $class is the desktop entry's StartupWMClass" \
    || fail "WM_CLASS '$class', desktop entry says StartupWMClass='$wm_class'"
  stop_program
else
  fail "no window within 60 s; its standard error:"; cat "$work/x11.log" >&2
  kill -KILL "$program_pid"; program_pid=
fi
stop_display

echo "== start the installed program on a Wayland desktop"
timeout 300 weston --backend=headless-backend.so --socket=quenor-test --no-config --idle-time=0 \
  >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 300); do
  [[ -S $XDG_RUNTIME_DIR/quenor-test ]] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
# The client's own record of what it asks of the compositor shows the
# title and the application id, by which the desktop finds the entry and
# its icon.
WAYLAND_DISPLAY=quenor-test QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client LANG=ru_RU.UTF-8 \
  quenor-cleaner 2>"$work/wayland.log" &
program_pid=$!
shown=
for _ in $(seq 600); do
  if grep -qF "set_title(\"$title\")" "$work/wayland.log" && grep -q 'wl_surface@[0-9]*\.commit()' "$work/wayland.log" \
     && grep -q 'xdg_surface@[0-9]*\.ack_configure' "$work/wayland.log"; then
    shown=1
    break
  fi
  sleep 0.1
done
if [[ -n $shown ]]; then
  pass "window \"$title\" shown"
  app_id=$(sed -n 's/.*set_app_id("\([^"]*\)").*/\1/p' "$work/wayland.log" | head -1)
  [[ -n $app_id && $app_id == "$desktop_id" ]] \
    && pass "application id $app_id names the installed desktop entry" \
    || fail "application id '$app_id', installed desktop entry '$desktop_id'"
  stop_program
else
  fail "no window within 60 s; the client's record ends:"; tail -20 "$work/wayland.log" >&2
  kill -KILL "$program_pid"; program_pid=
fi
kill "$weston_pid"; wait "$weston_pid" 2>/dev/null || true; weston_pid=

echo "== remove"
timeout 300 "${sudo_cmd[@]}" apt-get purge -y -qq quenor-cleaner "${pulled_in[@]}" </dev/null >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log" >&2; fail "apt-get could not remove the package"; }
status=$(installed_status)
[[ -z $status || $status == "unknown ok not-installed" ]] && pass "removed" || fail "apt says: $status"
left=$(while read -r f; do [[ -e $f ]] && echo "$f"; done <"$work/package-files" || true)
[[ -z $left ]] && pass "no file of the package is left" || fail "left behind: $left"
snapshot_files >"$work/files-after"
diff -u "$work/files-before" "$work/files-after" >"$work/files.diff" \
  && pass "the folders it installed into are as before" || { fail "the folders differ:"; cat "$work/files.diff" >&2; }
snapshot_packages >"$work/packages-after"
diff -u "$work/packages-before" "$work/packages-after" >"$work/packages.diff" \
  && pass "the machine's packages are as before" || { fail "the packages differ:"; cat "$work/packages.diff" >&2; }

if [[ $failures -gt 0 ]]; then
  echo "debian-package-test: $failures check(s) failed" >&2
  exit 1
fi
echo "debian-package-test: passed"
