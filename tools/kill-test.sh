#!/usr/bin/env bash
# Crash safety, shown by force: kills Copperfold.exe /run under Wine at random moments, KILLS
# times (default 100), over a tree of large and small files, and checks after each kill and
# after the next whole run that no file was lost, truncated, mixed or left behind (see
# tools/kill_test.py). Prints the figures; exits non-zero on any loss or leftover.
#   tools/kill-test.sh [--versions] [--volume fat32|exfat] [KILLS] [SEED]
# --versions: the jobs keep the files they replace as versions (and the Backup copies only new and
# changed files); then a file may also be found in its job's version store, never lost.
# --volume: the jobs' targets lie on a fresh FUSE volume of that kind (FAT32 formatted by our
# Volkern.dll, or exFAT), mapped as drive X:, as the enclosure's drives are; the volume is checked
# with its fsck at the end. As root only: elsewhere the run is skipped (exit status 77).
# COPPERFOLD_EXE=path/Copperfold.exe puts another build to the same test.
set -euo pipefail
cd "$(dirname "$0")/.."
versions="" volume=""
while [ $# -gt 0 ]; do
  case $1 in
    --versions) versions=--versions; shift ;;
    --volume) volume=${2:?fat32 or exfat}; shift 2 ;;
    *) break ;;
  esac
done
kills=${1:-100}
seed=${2:-}
. tools/fuse-volume.sh
if [ -n "$volume" ] && missing=$(fuse_volume_missing); then echo "SKIPPED: $missing"; exit 77; fi
cmake --preset windows >/dev/null
cmake --build --preset windows --target Copperfold $([ "$volume" = fat32 ] && echo make_fat32_image Volkern) >/dev/null

# A folder of its own, so that two of these can run side by side.
out="build/kill-test-$$"
state="$out/wine"
program="$out/program"
mount="$out/volume"
rm -rf "$out"
mkdir -p "$program"
cp "${COPPERFOLD_EXE:-build/windows/bin/Copperfold.exe}" "$program/Copperfold.exe"
unset DISPLAY
tools/wine-session.sh start "$state" >/dev/null
trap 'fuse_volume_unmount "$mount"; tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$out"' EXIT
targets=()
if [ -n "$volume" ]; then
  . tools/wine-env.sh "$state"
  fuse_volume_format "$volume" "$out/volume.img" 512 "$state" "$(pwd)/build/windows/bin"
  fuse_volume_mount "$volume" "$out/volume.img" "$mount" || { echo "the $volume volume did not mount"; exit 1; }
  fuse_volume_map x "$(cd "$mount" && pwd)" "$WINEPREFIX"
  targets=(--targets "$mount" 'X:')
fi
status=0
python3 tools/kill_test.py $versions "${targets[@]}" tools/wine-exec.sh "$state" "$program" "$out/trees" "$kills" $seed || status=$?
if [ -n "$volume" ]; then
  fuse_volume_unmount "$mount"
  check=$([ "$volume" = fat32 ] && echo fsck.fat || echo fsck.exfat)
  if ! "$check" -n "$out/volume.img" >"$out/fsck.log" 2>&1; then
    cat "$out/fsck.log"; echo "the $volume volume is not clean after the kills"; status=1
  fi
fi
exit $status
