#!/usr/bin/env bash
# The demo: builds the Windows programs and, under Wine on a private virtual display, runs a
# sample batch (a Backup and a Sync) through "Copperfold.exe /run" in the progress dialog,
# prints what was copied, then starts Copperfold as a user would; saves screenshots of the
# setup program's pages, the dialog mid-run, the main window and the About box, of the column
# trees and the add-job dialog shown on their own, of a job's options and its kept versions, and
# of the uninstaller's first page.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/setup.sh
echo "=== building the Windows programs"
cmake --preset windows >/dev/null
cmake --build --preset windows --target Copperfold copperfold_ini Corelink corelink_probe views_gallery
cmake --build --preset windows --target Dockline dockline_ini rigctl setup_program
cmake --build --preset windows --target Volkern make_fat32_image
cmake --preset host >/dev/null
cmake --build --preset host --target rigctl

out="$root/demo-output"
state="$root/build/demo-wine"
# The enclosure's FAT32 drive of an earlier demo that did not end.
mountpoint -q "$out/enclosure" 2>/dev/null && fusermount -u "$out/enclosure"
rm -rf "$out"
mkdir -p "$out/program" "$out/screenshots" "$out/sample/Documents/Letters" "$out/sample/Backup" \
         "$out/sample/Laptop"
cp build/windows/bin/views_gallery.exe "$out/program/"

# Always a private display, so the screenshots show nothing but the demo.
unset DISPLAY
tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true
rm -rf "$state"  # a new prefix every time, so every run starts alike
tools/wine-session.sh start "$state"
# The session ends before the enclosure's drive is unmounted: no program may hold a file on it.
unmount_enclosure() { mountpoint -q "$out/enclosure" 2>/dev/null && fusermount -u "$out/enclosure"; return 0; }
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true; unmount_enclosure' EXIT
export DISPLAY; DISPLAY=$(cat "$state/display")
run_wine() { tools/wine-exec.sh "$state" "$@"; }

source tools/x11-windows.sh

# The suite is installed by its setup program into the demo's program folder and runs from
# there. (Setup takes /D= only unquoted, so that folder's path has no spaces.) It is gone through
# page by page from the keyboard, as a user would, each page captured: Enter takes each page's
# default button (I Agree, Install, and Finish with the logon box left unticked). Should a page
# not come, that setup is ended and a silent one (/S) installs the suite instead.
echo "=== installing the suite with its setup program"
setup_program=$(ls build/windows/installer/Copperfold-*-setup.exe)
install_folder="/D=Z:${out//\//\\}\\program"
# Whether the window shows the last page: its side panel, our copper picture, is far redder than
# the grey and white of the other pages.
shows_last_page() {
  xwd -id "$1" -silent 2>/dev/null | convert xwd:- -crop 150x250+5+30 +repage -format '%[fx:mean.r-mean.b>0.25]' info: 2>/dev/null
}
installed=""
run_wine "$setup_program" "$install_folder" </dev/null >/dev/null 2>&1 &
setup=$!
if page=$(wait_for_window '^Copperfold .* Setup' 60); then
  capture_painted "$page" "$out/screenshots/setup-license.png"
  xdotool key Return
  sleep 1
  capture_painted "$page" "$out/screenshots/setup-folder.png"
  xdotool key Return
  for _ in $(seq 1 240); do
    [ "$(shows_last_page "$page")" = 1 ] && { installed=1; break; }
    sleep 0.5
  done
  if [ -n "$installed" ]; then
    capture_painted "$page" "$out/screenshots/setup-finish.png"
    xdotool key Return
  fi
fi
setup_status=1
if [ -n "$installed" ]; then
  for _ in $(seq 1 300); do kill -0 "$setup" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$setup" 2>/dev/null || { setup_status=0; wait "$setup" || setup_status=$?; }
fi
if [ "$setup_status" -ne 0 ] || [ ! -f "$out/program/Copperfold.exe" ]; then
  echo "the setup program's pages did not go through (exit status $setup_status); installing silently"
  kill "$setup" 2>/dev/null || true
  run_wine taskkill /f /im "${setup_program##*/}" >/dev/null 2>&1 || true
  run_wine "$setup_program" /S "$install_folder" 2>/dev/null || { echo "the setup program failed"; exit 1; }
else
  echo "installed page by page: the license, the folder, the last page (screenshots taken)"
fi

# Sample files: documents to back up (with enough small files that the run takes a moment),
# and a laptop folder to keep in sync with them, holding a newer letter and a file of its own.
echo "Dear reader," >"$out/sample/Documents/Letters/letter.txt"
touch -d '2026-01-01' "$out/sample/Documents/Letters/letter.txt"
printf 'x%.0s' $(seq 1 4096) >"$out/sample/Documents/notes.txt"
python3 - "$out/sample/Documents/Archive" <<'PY'
import os, sys
for year in range(2000, 2025):
    folder = os.path.join(sys.argv[1], str(year))
    os.makedirs(folder, exist_ok=True)
    for n in range(80):
        with open(os.path.join(folder, f"record{n:03d}.txt"), "w") as f:
            f.write(f"Record {n} of {year}\n" * (20 + n))
PY
mkdir -p "$out/sample/Laptop/Letters"
echo "Dear reader, (edited on the laptop)" >"$out/sample/Laptop/Letters/letter.txt"
echo "Packing list" >"$out/sample/Laptop/trip.txt"
section=$(run_wine cmd /c 'echo %COMPUTERNAME%-%USERNAME%' 2>/dev/null | tr -d '\r\n')
win_out="Z:${out//\//\\}"
# The installed Copperfold keeps each user's jobs in %APPDATA%\Copperfold\Copperfold.ini and takes
# the program folder's job section over only while that file has none: each set of demo jobs is
# written into the program folder's file and the user's file removed, so that the next start of
# Copperfold takes the new jobs over.
user_ini="$state/prefix/drive_c/users/$(id -un)/AppData/Roaming/Copperfold/Copperfold.ini"
demo_jobs() {
  python3 tools/make_demo_ini.py data/Copperfold.ini "$out/program/Copperfold.ini" "$section" "$@"
  rm -f "$user_ini"
}
demo_jobs \
  "Backup|$win_out\\sample\\Documents|$win_out\\sample\\Backup" \
  "Sync|$win_out\\sample\\Documents|$win_out\\sample\\Laptop"

echo "=== running the sample batch: Copperfold.exe /run"
run_wine "$out/program/Copperfold.exe" /run </dev/null >"$out/run.log" 2>&1 &
run=$!
if dialog=$(wait_for_window '^Backup$' 20); then
  sleep 0.4
  xwd -id "$dialog" -silent | convert xwd:- "$out/screenshots/run-dialog-mid-run.png"
fi
run_status=0
wait "$run" || run_status=$?
echo "exit status $run_status (0: all done)"
echo "Backup copied $(find "$out/sample/Backup" -type f | wc -l) files into sample/Backup/Documents, e.g.:"
(cd "$out/sample/Backup" && find . -type f | sort | head -n 4 | sed 's/^/  /') || true
echo "Sync brought to the laptop $(find "$out/sample/Laptop" -type f | wc -l) files in all; the documents now hold:"
echo "  Letters/letter.txt: $(cat "$out/sample/Documents/Letters/letter.txt")"
echo "  trip.txt: $(cat "$out/sample/Documents/trip.txt")"

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

echo "=== the view pieces on their own: column trees and the add-job dialog"
# views_gallery shows a populated drive tree and job list (nested rows, icons, check boxes,
# a long name cut with an ellipsis), then the add-job dialog with a type and both options chosen
# (in English and in French); each is captured, and the dialog is answered with Enter as a user
# would.
# Starts the gallery with the given arguments, captures the window titled by the pattern, then
# answers it with a key after a click on its caption (focus without touching a control).
show_gallery() {
  local title=$1 picture=$2 caption_y=$3 key=$4 log=$5
  shift 5
  run_wine "$out/program/views_gallery.exe" "$@" </dev/null >"$log" 2>&1 &
  local gallery=$! window
  if window=$(wait_for_window "$title" 20); then
    capture_painted "$window" "$out/screenshots/$picture"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + caption_y)) click 1
    sleep 0.3
    xdotool key "$key"
  fi
  for _ in $(seq 1 50); do kill -0 "$gallery" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$gallery" 2>/dev/null || true
  wait "$gallery" 2>/dev/null || true
}
show_gallery '^Copperfold column tree$' column-tree.png 8 Escape /dev/null column-tree
show_gallery '^Add$' add-job-dialog.png 12 Return "$out/add-job.log" add-job ENG backup options
echo "the add-job dialog answered: $(tr -d '\r' <"$out/add-job.log")"
show_gallery '^Ajouter$' add-job-dialog-french.png 12 Return /dev/null add-job FRA backup options

echo "=== Corelink on the simulated enclosure"
# One enclosure whose drive E: is the folder demo-output/enclosure; the component is registered in the
# demo's prefix and a probe talks to it as the programs will; rigctl (native) presses the button.
mkdir -p "$out/rig" "$out/enclosure"
# The enclosure's drive holds a real FAT32 file system, as the drives users back up to do: an
# image of the enclosure's size (1,048,576 sectors), formatted by our own Volkern.dll through its
# parameter block and mounted with the FUSE FAT driver. Mounting needs root and /dev/fuse; without
# them the drive is a plain folder.
enclosure_image="$state/enclosure-fat32.img"
enclosure_fat32=""
if [ "$(id -u)" -eq 0 ] && [ -c /dev/fuse ] && command -v fusefat >/dev/null; then
  if run_wine build/windows/bin/make_fat32_image.exe "Z:${enclosure_image//\//\\}" 1048576 ENCLOSURE </dev/null |
       tr -d '\r' && fusefat -o rw+ "$enclosure_image" "$out/enclosure" >/dev/null 2>&1; then
    enclosure_fat32=1
    echo "the enclosure's drive E: is a FAT32 volume formatted by Volkern.dll, mounted with fusefat"
  fi
fi
[ -n "$enclosure_fat32" ] || echo "the enclosure's drive E: is a plain folder (FAT32 needs root and /dev/fuse)"
# Wine tells a drive's volume serial number from ".windows-serial" in its root (without it, from
# its letter): the FAT32 volume's own serial, from its boot sector, as Windows would report it.
if [ -n "$enclosure_fat32" ]; then
  od -An -tx4 -j $((0x43)) -N4 "$enclosure_image" | tr -d ' \n' >"$out/enclosure/.windows-serial"
else
  echo 5eed0001 >"$out/enclosure/.windows-serial"
fi
source tools/enclosure-rig.sh
interface=$enclosure_interface
write_enclosure_rig "$out/rig/demo.rig" "$out/enclosure"
cp build/windows/bin/corelink_probe.exe "$out/program/"
rigctl=build/host/rig/rigctl
export ENCLOSURE_RIG="Z:${out//\//\\}\\rig\\demo.rig"
echo "before the press:"
run_wine "$out/program/corelink_probe.exe" "$interface" 2>&1 | tr -d '\r' | sed 's/^/  /'
"$rigctl" "$out/rig/demo.rig" press >/dev/null
echo "after rigctl press (the probe acknowledges, as Copperfold does after a run):"
run_wine "$out/program/corelink_probe.exe" "$interface" --acknowledge 2>&1 | tr -d '\r' | sed 's/^/  /'
unset ENCLOSURE_RIG
echo "the enclosure's command log (rigctl log):"
"$rigctl" "$out/rig/demo.rig" log | tail -n 8 | sed 's/^/  /'

echo "=== flash maintenance on a simulated flash controller"
# A flash drive's controller with a 2 x 2 NAND (bad, system and weak blocks of its own): the
# component scans every chip's blocks into its flash table, and rigctl prints chip 0's map.
mkdir -p "$out/flash"
cp rig/fuzz/corpus_file/flash.rig "$out/flash/flash.rig"
"$rigctl" "$out/flash/flash.rig" reset >/dev/null 2>&1 || true
flash_interface='\\?\usbstor#disk&ven_tovi&prod_flash_drive&rev_1.00#0003&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}'
ENCLOSURE_RIG="Z:${out//\//\\}\\flash\\flash.rig" run_wine "$out/program/corelink_probe.exe" "$flash_interface" \
  --flash-scan 2 2 1024 64 2>&1 | tr -d '\r' | sed 's/^/  /'
echo "rigctl nand 0x00 (chip 0's blocks as the simulated NAND holds them):"
"$rigctl" "$out/flash/flash.rig" nand 0x00 2>&1 | head -n 12 | sed 's/^/  /'

echo "=== Dockline on the simulated enclosure"
# The bar starts beside Copperfold with its shipped settings, finds the enclosure through the
# component and polls its button; rigctl.exe unplugs and plugs it as the system would announce
# it, and a press starts Copperfold (the bar's command CMD2).
cp build/windows/rig/rigctl.exe "$out/program/"
"$rigctl" "$out/rig/demo.rig" log --clear >/dev/null
export ENCLOSURE_RIG="Z:${out//\//\\}\\rig\\demo.rig"
run_wine "$out/program/Dockline.exe" </dev/null >"$out/dockline.log" 2>&1 &
dockline=$!
bar=$(wait_for_window '^Dockline$' 20) || { echo "Dockline did not open its bar"; exit 1; }
sleep 2.5
xwd -root -silent | convert xwd:- -crop 200x64+0+0 +repage "$out/screenshots/dockline-bar.png"
echo "the bar polls the enclosure's button once a second (rigctl log):"
"$rigctl" "$out/rig/demo.rig" log | grep 'EE 80 00 00 00 00 87' | tail -n 3 | sed 's/^/  /' || true

# The tooltip of the Copperfold button, then the bar's menu (a right click on the picture).
xdotool mousemove $((32 + 43 + 20)) 24
sleep 1.5
xwd -root -silent | convert xwd:- -crop 360x110+0+0 +repage "$out/screenshots/dockline-tooltip.png"
xdotool mousemove $((32 + 20)) 24 click 3
sleep 0.8
xwd -root -silent | convert xwd:- -crop 260x120+0+0 +repage "$out/screenshots/dockline-menu.png"
xdotool key Escape
xdotool mousemove 600 500

# Unplugged and plugged again: the notice slides up from the bottom of the screen.
run_wine "$out/program/rigctl.exe" "$ENCLOSURE_RIG" unplug >/dev/null 2>&1
sleep 3.5
run_wine "$out/program/rigctl.exe" "$ENCLOSURE_RIG" plug >/dev/null 2>&1
sleep 0.9
eval "$(xdotool getdisplaygeometry --shell)"
xwd -root -silent | convert xwd:- -crop 200x160+$((WIDTH - 200))+$((HEIGHT - 160)) +repage \
  "$out/screenshots/dockline-notice.png"

echo "=== the one-touch backup: the enclosure's button"
# The jobs: a Backup and a Sync onto the enclosure's drive E:, and a Backup onto another drive,
# which the button leaves alone. Dockline reads the pressed button, starts Copperfold (its
# command CMD2) and hands it the device table; Copperfold runs the jobs on E: in one progress
# dialog, acknowledges the press and tells Dockline to poll again.
demo_jobs \
  "Backup|$win_out\\sample\\Documents|E:\\Backup" \
  "Sync|$win_out\\sample\\Laptop|E:\\Laptop" \
  "Backup|$win_out\\sample\\Documents|$win_out\\sample\\NotOnTheEnclosure"
"$rigctl" "$out/rig/demo.rig" log --clear >/dev/null
"$rigctl" "$out/rig/demo.rig" press >/dev/null
echo "rigctl press"
if dialog=$(wait_for_window '^(Backup|Sync)$' 40); then
  # Taken once the dialog shows more than a blank window.
  for _ in $(seq 1 20); do
    sleep 0.3
    # This display has no window manager to keep an owned window above its owner: the main
    # window, shown after the dialog, covers it. Raised for the picture.
    xdotool windowraise "$dialog" 2>/dev/null || true
    sleep 0.2
    xwd -id "$dialog" -silent 2>/dev/null | convert xwd:- "$out/screenshots/button-run-dialog.png" 2>/dev/null || continue
    [ "$(convert "$out/screenshots/button-run-dialog.png" -format '%[fx:mean>0.2]' info:)" = 1 ] && break
  done
  echo "the button opened Copperfold's progress dialog"
else
  echo "no progress dialog appeared after the press"
fi
# The run is over once Copperfold has acknowledged the press (a button write of 02) and
# Dockline reads the button again.
ack='EE 80 00 00 00 00 88 .*data 02'
read_button='EE 80 00 00 00 00 87'
resumed=""
for _ in $(seq 1 1200); do
  if "$rigctl" "$out/rig/demo.rig" log | sed -n "/$ack/,\$p" | tail -n +2 | grep -q "$read_button"; then
    resumed=1; break
  fi
  sleep 0.1
done
[ -n "$resumed" ] || { echo "the run did not end with an acknowledgement and resumed polling"; exit 1; }
log=$("$rigctl" "$out/rig/demo.rig" log)
echo "the enclosure's command log: the button read that saw the press, the acknowledgement, the resumed polling:"
echo "$log" | sed -n "/$ack/=" | head -n 1 | {
  read -r ack_line
  echo "$log" | head -n 1 | sed 's/^/  /'
  echo "$log" | head -n "$((ack_line - 1))" | grep "$read_button" | tail -n 1 | sed 's/^/  /'
  echo "$log" | sed -n "${ack_line}p" | sed 's/^/  /'
  echo "$log" | tail -n +"$((ack_line + 1))" | grep "$read_button" | head -n 2 | sed 's/^/  /'
}
echo "copied onto the enclosure (E:\\):"
echo "  Backup: $(find "$out/enclosure/Backup" -type f | wc -l) files in E:\\Backup\\Documents, e.g.:"
(cd "$out/enclosure" && find Backup -type f | sort | head -n 3 | sed 's/^/    /') || true
echo "  Sync: $(find "$out/enclosure/Laptop" -type f | wc -l) files in E:\\Laptop, besides the archive:"
(cd "$out/enclosure" && find Laptop -path Laptop/Archive -prune -o -type f -print | sort | sed 's/^/    /') || true
if [ -e "$out/sample/NotOnTheEnclosure" ]; then
  echo "  the job on another drive ran too: wrong"; exit 1
else
  echo "  the job whose target is on another drive did not run"
fi
if window=$(wait_for_window '^Copperfold$' 5); then
  capture_painted "$window" "$out/screenshots/copperfold-after-button-run.png"
  # The main window as a user works in it: C:\windows and the enclosure's E:\Laptop opened (two
  # levels, with sizes and dates), and the first job ticked. Keys go to the tree clicked into
  # (on its empty part, which only gives it the focus).
  xdotool windowactivate "$window" 2>/dev/null || true
  eval "$(xdotool getwindowgeometry --shell "$window")"
  click_and_type() {
    local x=$1 y=$2
    shift 2
    xdotool mousemove $((X + x)) $((Y + y)) click 1
    sleep 0.3
    for key in "$@"; do xdotool key "$key"; sleep 0.4; done
  }
  click_and_type 220 420 Home Right w i n d o w s Right
  click_and_type 670 420 Home Right L a p t o p Right
  xdotool mousemove $((X + 11)) $((Y + 549)) click 1  # the first job's check box
  xdotool mousemove $((X + 450)) $((Y + 20))
  capture_painted "$window" "$out/screenshots/copperfold-main-window.png"
fi
run_log=$(find "$state/prefix/drive_c/users" -path '*/Copperfold/RunLog.txt' 2>/dev/null | head -n 1)
if [ -n "$run_log" ]; then
  echo "the run log's record of the button run (%LOCALAPPDATA%\\Copperfold\\RunLog.txt):"
  tr -d '\r' <"$run_log" | sed -n '/started by the enclosure/,$p' | sed 's/^/  /'
fi
echo "=== a drive that moved, and a preview"
# The button run bound the jobs on E: to the enclosure's drive (DstVol/DstDev in the job file). A
# job written while that drive was G: follows it to E:; /preview lists what a run would do.
jobs_text() { iconv -f UTF-16 -t UTF-8 "$user_ini" | tr -d '\r'; }
drive_serial=$(jobs_text | sed -n 's/^DstVol0001=//p' | head -n 1)
echo "the Backup onto E: was bound to drive ${drive_serial:-?} at the start of its run:"
jobs_text | grep -E '^Dst(Vol|Dev)0001=' | sed 's/^/  /'
if [ -n "$drive_serial" ]; then
  demo_jobs \
    "Backup|$win_out\\sample\\Documents|E:\\Backup|$drive_serial" \
    "Sync|$win_out\\sample\\Laptop|E:\\Laptop|$drive_serial" \
    "Backup|$win_out\\sample\\Documents|$win_out\\sample\\NotOnTheEnclosure" \
    "Backup|$win_out\\sample\\Laptop|G:\\Moved|$drive_serial"
  echo "Copperfold.exe /preview 2,4 (a job written when the drive was G:):"
  echo "Dear reader, (a preview writes nothing)" >"$out/sample/Laptop/preview-only.txt"
  # Each job's first lines and its totals (the whole list has a line for every file).
  run_wine "$out/program/Copperfold.exe" /preview 2,4 2>/dev/null | tr -d '\r' |
    awk '/^Job|moved|refused|^  [0-9]|^Total/ {print; n = 0; next} {if (n++ < 4) print; else if (n == 5) print "    ..."}' |
    sed 's/^/  /'
  rm -f "$out/sample/Laptop/preview-only.txt"
  echo "Copperfold.exe /run 4:"
  run_wine "$out/program/Copperfold.exe" /run 4 2>&1 >/dev/null | tr -d '\r' | grep -v '^wine:' | sed 's/^/  /'
  echo "  E:\\Moved now holds $(find "$out/enclosure/Moved" -type f 2>/dev/null | wc -l) files; nothing went to G:"
fi
# The preview of the ticked job in the main window (View > Preview of the Ticked Jobs...).
if window=$(wait_for_window '^Copperfold$' 5); then
  # A click on the caption gives the frame the keys; Alt+V opens the View menu, P the preview.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + 300)) $((Y + 8)) click 1
  sleep 0.3
  xdotool key alt+v
  sleep 0.5
  xdotool key p
  if preview=$(wait_for_window '^Preview$' 20); then
    capture_painted "$preview" "$out/screenshots/preview-dialog.png"
    xdotool key Return
  else
    echo "the preview dialog did not show"
  fi
fi
echo "=== a job's options and its kept versions"
# In the main window job 1 (the Backup onto E:) is given both options from the job list's menu
# (the menu key, then O for Options...: Alt+N copies only new and changed files, Alt+K keeps the
# files a run replaces for 30 days). The letter changes on the PC and the job runs again from
# the command line: it copies the letter alone and keeps the one it replaces as a version, which
# Versions... (the menu key, then V) lists.
# A command of the job list's menu for the first job: a click on its row, then the menu key.
first_job_command() {
  xdotool mousemove $((X + 300)) $((Y + 549)) click 1
  sleep 0.4
  xdotool key Menu
  sleep 0.5
  xdotool key "$1"
}
if window=$(wait_for_window '^Copperfold$' 5); then
  eval "$(xdotool getwindowgeometry --shell "$window")"
  first_job_command o
  if options=$(wait_for_window '^Job Options$' 10); then
    xdotool key alt+n
    sleep 0.2
    xdotool key alt+k
    capture_painted "$options" "$out/screenshots/job-options-dialog.png"
    xdotool key Return
    sleep 0.5
    echo "job 1's options in the job file:"
    jobs_text | grep -E '^(SkipSame|KeepDays)0001=' | sed 's/^/  /'
  else
    echo "the options dialog did not show"
  fi
  echo "Dear reader, (rewritten today)" >"$out/sample/Documents/Letters/letter.txt"
  echo "Copperfold.exe /run 1:"
  run_wine "$out/program/Copperfold.exe" /run 1 2>&1 >/dev/null | tr -d '\r' | { grep -v '^wine:' || true; } | sed 's/^/  /'
  echo "Copperfold.exe /versions 1:"
  run_wine "$out/program/Copperfold.exe" /versions 1 2>/dev/null | tr -d '\r' | sed 's/^/  /'
  first_job_command v
  if versions=$(wait_for_window '^Kept Versions$' 10); then
    capture_painted "$versions" "$out/screenshots/versions-dialog.png"
    xdotool key Escape
  else
    echo "the versions dialog did not show"
  fi
  # Schedule... (the menu key, then S): the schedules of the user's jobs, and a new one for the
  # ticked jobs; the dialog is closed without adding one.
  first_job_command s
  if schedule=$(wait_for_window '^Schedule$' 10); then
    capture_painted "$schedule" "$out/screenshots/schedule-dialog.png"
    xdotool key Escape
  else
    echo "the schedule dialog did not show"
  fi
fi
"$rigctl" "$out/rig/demo.rig" release >/dev/null
unset ENCLOSURE_RIG
# Ending the bar also closes the programs of its commands (after asking whether they are busy).
run_wine taskkill /im Dockline.exe >/dev/null 2>&1 || true
for _ in $(seq 1 100); do kill -0 "$dockline" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$dockline" 2>/dev/null; then echo "Dockline did not close"; exit 1; fi
run_wine taskkill /im Copperfold.exe >/dev/null 2>&1 || true

# The uninstaller's first page, captured, then cancelled with Escape: the suite stays.
echo "=== the uninstaller's first page"
run_wine "$out/program/Uninstall.exe" </dev/null >/dev/null 2>&1 &
if page=$(wait_for_window '^Copperfold Uninstall' 30); then
  capture_painted "$page" "$out/screenshots/uninstall-keeps-jobs.png"
  xdotool key Escape
  for _ in $(seq 1 100); do xdotool search --name '^Copperfold Uninstall' >/dev/null 2>&1 || break; sleep 0.1; done
  echo "captured and cancelled; the suite is still installed: $([ -f "$out/program/Copperfold.exe" ] && echo yes || echo no)"
else
  echo "the uninstaller did not show its first page"
fi

if [ -n "$enclosure_fat32" ]; then
  tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true
  unmount_enclosure
  echo "fsck.fat -n on the enclosure's FAT32 volume after the demo:"
  fsck_status=0
  fsck.fat -n "$enclosure_image" >"$out/enclosure-fsck.log" 2>&1 || fsck_status=$?
  sed 's/^/  /' "$out/enclosure-fsck.log"
  [ "$fsck_status" -eq 0 ] || { echo "the enclosure's FAT32 volume is not clean"; exit 1; }
fi

echo
echo "Job section [$section] of %APPDATA%\\Copperfold\\Copperfold.ini:"
jobs_text | sed -n "/^\[$section\]/,\$p" | sed 's/^/  /'
echo
echo "Screenshots saved in $out/screenshots:"
ls -1 "$out/screenshots" | sed 's/^/  /'
