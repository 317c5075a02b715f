#!/usr/bin/env bash
# The demo: builds the Windows programs, starts Copperfold under Wine on a private virtual
# display with a sample job file, and saves screenshots of its window and About box.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/setup.sh
echo "=== building the Windows programs"
cmake --preset windows >/dev/null
cmake --build --preset windows --target Copperfold copperfold_ini

out="$root/demo-output"
state="$root/build/demo-wine"
rm -rf "$out"
mkdir -p "$out/program" "$out/screenshots" "$out/sample/Documents/Letters" "$out/sample/Backup"
cp build/windows/bin/Copperfold.exe "$out/program/"

# Always a private display, so the screenshots show nothing but the demo.
unset DISPLAY
tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true
rm -rf "$state"  # a new prefix every time, so every run starts alike
tools/wine-session.sh start "$state"
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true' EXIT
export DISPLAY; DISPLAY=$(cat "$state/display")
run_wine() { tools/wine-exec.sh "$state" "$@"; }

# Prints the id of the first window whose title matches, waiting up to SECONDS for it.
wait_for_window() {
  local pattern=$1 seconds=$2 id
  for _ in $(seq 1 $((seconds * 10))); do
    id=$(xdotool search --name "$pattern" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Saves a window once its picture has stopped changing (controls paint after the frame).
capture_painted() {
  local id=$1 file=$2 previous=""
  for _ in $(seq 1 30); do
    sleep 0.5
    xwd -id "$id" -silent | convert xwd:- "$file"
    current=$(md5sum <"$file")
    [ "$current" = "$previous" ] && return 0
    previous=$current
  done
}

# Sample files and a job file with the demo user's jobs.
echo "Dear reader," >"$out/sample/Documents/Letters/letter.txt"
printf 'x%.0s' $(seq 1 4096) >"$out/sample/Documents/notes.txt"
section=$(run_wine cmd /c 'echo %COMPUTERNAME%-%USERNAME%' 2>/dev/null | tr -d '\r\n')
win_out="Z:${out//\//\\}"
python3 tools/make_demo_ini.py data/Copperfold.ini "$out/program/Copperfold.ini" "$section" \
  "Backup|$win_out\\sample\\Documents|$win_out\\sample\\Backup" \
  "Sync|$win_out\\sample\\Documents|$win_out\\sample\\Backup"

echo "=== starting Copperfold"
run_wine "$out/program/Copperfold.exe" </dev/null >"$out/copperfold.log" 2>&1 &
program=$!
window=$(wait_for_window '^Copperfold$' 20) || { echo "Copperfold did not open its window"; exit 1; }
capture_painted "$window" "$out/screenshots/copperfold-main.png"

# Help > About Copperfold..., captured, then closed.
# (Keys go to the focused window, so click into the client area first.)
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 0.3
xdotool key alt+h
sleep 0.5
xdotool key a
if about=$(wait_for_window '^About Copperfold$' 5); then
  capture_painted "$about" "$out/screenshots/about-box.png"
  xdotool key Return
fi

echo "=== closing Copperfold"
run_wine taskkill /im Copperfold.exe >/dev/null 2>&1 || true
for _ in $(seq 1 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then echo "Copperfold did not close"; exit 1; fi

echo
echo "Job section [$section] of $out/program/Copperfold.ini:"
iconv -f UTF-16 -t UTF-8 "$out/program/Copperfold.ini" | tr -d '\r' | sed -n "/^\[$section\]/,\$p" | sed 's/^/  /'
echo
echo "Screenshots saved in $out/screenshots:"
ls -1 "$out/screenshots" | sed 's/^/  /'
