# Sourced by the scripts that show windows: a virtual X display of their own.
#   start_display [WIDTHxHEIGHT]
#                  starts Xvfb on the first free display from :90, 1024x768
#                  unless asked for another size, and exports DISPLAY;
#                  returns 1 when none could be started.
#   stop_display   stops it and unsets DISPLAY; safe to call twice, so that an
#                  EXIT trap can call it too.
xvfb_pid=

start_display() {
  local n size=${1:-1024x768}
  for n in $(seq 90 120); do
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    # Up to 30 s on a busy machine; an Xvfb that ended lost the display to
    # another run between the lock test and the start.
    for _ in $(seq 300); do
      [[ -e /tmp/.X11-unix/X$n ]] && return 0
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  echo "$(basename "$0"): no Xvfb display could be started" >&2
  return 1
}

stop_display() {
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  fi
  unset DISPLAY
}
