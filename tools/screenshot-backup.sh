#!/usr/bin/env bash
# A picture of Copperfold's main window during a backup onto the simulated enclosure, the
# device tree filling up with the files as they are written. Everything is done from the
# keyboard, as a user without a mouse would: the device tree opens E:\ and its Photos folder,
# the job is ticked with Space and run with Enter.
#   tools/screenshot-backup.sh [FILES]   (default 3,000 photos; the picture goes to
#   docs/screenshots/main-window-during-backup.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
files=${1:-3000}
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Copperfold copperfold_ini Corelink >/dev/null
out="$root/build/screenshot-backup"
state="$out/wine"
rm -rf "$out"
mkdir -p "$out/program" "$out/enclosure" "$out/sample/Photos"
cp build/windows/bin/Copperfold.exe build/windows/bin/Corelink.ax "$out/program/"

unset DISPLAY
tools/wine-session.sh start "$state" >/dev/null
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true' EXIT
export DISPLAY; DISPLAY=$(cat "$state/display")
tools/wine-map-drive.sh "$state" E "$out/enclosure" >/dev/null
run_wine() { tools/wine-exec.sh "$state" "$@"; }
source tools/x11-windows.sh
keys() { for key in "$@"; do xdotool key "$key"; sleep 0.4; done; }

# The enclosure: drive E: is the folder enclosure/, found through the component on the rig.
source tools/enclosure-rig.sh
interface=$enclosure_interface
write_enclosure_rig "$out/shot.rig" "$out/enclosure"
run_wine regsvr32 /s "$out/program/Corelink.ax" >/dev/null 2>&1
export ENCLOSURE_RIG="Z:${out//\//\\}\\shot.rig"

python3 - "$out/sample/Photos" "$files" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for n in range(count):
    with open(os.path.join(folder, f"IMG_{n:05d}.jpg"), "wb") as f:
        f.write(os.urandom(2048 + (n % 7) * 1024))
PY
section=$(run_wine cmd /c 'echo %COMPUTERNAME%-%USERNAME%' 2>/dev/null | tr -d '\r\n')
python3 tools/make_demo_ini.py data/Copperfold.ini "$out/program/Copperfold.ini" "$section" \
  "Backup|Z:${out//\//\\}\\sample\\Photos|E:\\"

run_wine "$out/program/Copperfold.exe" </dev/null >"$out/copperfold.log" 2>&1 &
window=$(wait_for_window '^Copperfold$' 30) || { echo "Copperfold did not open its window"; exit 1; }
sleep 2
# A folder made after the program started watching E:\ (Wine reports changes in those), with
# the first photo already in it; the backup writes the others beside it.
mkdir -p "$out/enclosure/Photos"
cp "$out/sample/Photos/IMG_00000.jpg" "$out/enclosure/Photos/"
sleep 1
xdotool windowactivate "$window" 2>/dev/null || true
xdotool windowfocus "$window" 2>/dev/null || true
sleep 0.5
# The keyboard starts in the local tree: Tab to the device tree, open E:\ and E:\Photos, Tab to
# the job list, tick the job and run it.
keys Tab Home Right Down Right Tab Home space Return
dialog=$(wait_for_window '^Backup$' 20) || { echo "the backup did not start"; exit 1; }
xdotool windowmove "$dialog" 905 40 2>/dev/null || true
for _ in $(seq 1 40); do
  copied=$(find "$out/enclosure/Photos" -type f | wc -l)
  [ "$copied" -ge $((files / 3)) ] && break
  sleep 0.25
done
sleep 0.5
xwd -root -silent | convert xwd:- -crop 1280x720+0+0 +repage "$root/docs/screenshots/main-window-during-backup.png"
echo "captured with $(find "$out/enclosure/Photos" -type f | wc -l) of $files photos written:" \
  "docs/screenshots/main-window-during-backup.png"
for _ in $(seq 1 600); do
  xdotool search --name '^Backup$' >/dev/null 2>&1 || break
  sleep 0.5
done
run_wine taskkill /im Copperfold.exe >/dev/null 2>&1 || true
