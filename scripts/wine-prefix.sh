# Sourced by the Windows scripts: a fresh Wine prefix for one run, made like
# a Windows machine the window expects. Usage:
#   source scripts/wine-prefix.sh <prefix-folder> <wine-loader> <wineserver>
# Exports WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES; defines wine_run, which
# runs a Windows program under `timeout` so nothing can hang the caller.
wine_loader=$2
wine_server=$3
export WINEPREFIX="$(realpath -m "$1")"
export WINEDEBUG=-all
# No Mono or Gecko is wanted, so their install prompts are switched off.
export WINEDLLOVERRIDES="mscoree,mshtml="

rm -rf "$WINEPREFIX"
timeout 300 "$wine_loader" wineboot -i </dev/null
timeout 120 "$wine_server" -w
# Q: is C: once more, as `subst` makes a second drive letter for a folder:
# the run tests reach one file by both.
ln -sfn ../drive_c "$WINEPREFIX/dosdevices/q:"
# A fresh prefix has no Tahoma, the window's face; Debian's fonts-wine does.
cp /usr/share/wine/fonts/{tahoma,tahomabd,marlett}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Without a window manager Wine waits about 2 s whenever a top-level window
# hides or closes, unless it manages and decorates the windows itself.
timeout 120 "$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
timeout 120 "$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
timeout 120 "$wine_server" -w

wine_run() {
  local limit=$1
  shift
  timeout --kill-after=10 "$limit" "$wine_loader" "$@" </dev/null
}
