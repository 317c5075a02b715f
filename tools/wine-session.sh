#!/usr/bin/env bash
# Starts or stops the Wine session the Windows tests and the demo run in.
#   wine-session.sh start STATE_DIR   private prefix, Xvfb display when none is set, warm wineserver
#   wine-session.sh stop  STATE_DIR
# STATE_DIR holds the prefix (STATE_DIR/prefix) and the display number (STATE_DIR/display).
set -euo pipefail
action=${1:?start or stop}
state=${2:?state directory}
mkdir -p "$state"
state=$(cd "$state" && pwd)
. "$(dirname "$0")/wine-env.sh" "$state"

free_display() {
  local n
  for n in $(seq 90 199); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then echo "$n"; return; fi
  done
  echo "no free X display number" >&2; exit 1
}

start() {
  if [ -z "${DISPLAY:-}" ]; then
    local n; n=$(free_display)
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    echo ":$n" >"$state/display"
  else
    echo "$DISPLAY" >"$state/display"
  fi
  export DISPLAY; DISPLAY=$(cat "$state/display")
  # Wine's background services must not inherit our output, or whoever reads it hangs.
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  # The first program of a new prefix creates it and waits until its services run.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  # Without a window manager, every hidden window would wait two seconds for one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # Wine draws the caption buttons (with no window manager, it draws the captions) in the
  # Marlett font, which it ships but does not put in a new prefix: without it they read "0 1 r".
  for font in /usr/share/wine/fonts/marlett.ttf; do
    [ -f "$font" ] && cp -n "$font" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  done
  echo "wine session ready in $state (DISPLAY=$DISPLAY)"
}

stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
  rm -f "$state/display"
  echo "wine session stopped"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
