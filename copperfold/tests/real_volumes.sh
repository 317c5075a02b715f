#!/usr/bin/env bash
# The copy engine on real FAT32 and exFAT volumes under Wine.
#   real_volumes.sh STATE_DIR BIN_DIR   (STATE_DIR as for tools/wine-session.sh)
#
# Formats a 64 MiB FAT32 image with our own Volkern.dll (make_fat32_image.exe, through the
# library's parameter block) and mounts it with the FUSE FAT driver (fusefat); makes a 64 MiB
# exFAT image and mounts it from a loop device with the exFAT FUSE driver; maps both, and a plain
# folder, as drives of the session's prefix, and a second FAT32 image of 6 GiB (sparse) as a drive
# larger than 4 GiB (the driver wraps a write past 4 GiB to the file's start only on those); makes source trees with names only a Linux folder
# holds (names that differ only in case, names with ? * |) and a version store with links in it;
# runs copperfold_real_volume_tests.exe;
# and checks both file systems with their fsck afterwards. Without root, /dev/fuse or the drivers
# the tests are skipped (exit status 77) with the reason.
#
# While the tests run, a test asks for a drive to be unplugged, plugged in again or unmounted and
# mounted again (a replug, after which a driver reads what it wrote to the disk) by creating a
# file "pull-X", "plug-X" or "remount-X" in the control folder (X: the drive's letter); the file
# goes once it is done, and "NAME.failed" stays when it could not be done.
set -uo pipefail
state=$(cd "${1:?state directory}" && pwd)
bin=$(cd "${2:?folder of the test programs}" && pwd)
. "$(dirname "$0")/../../tools/wine-env.sh" "$state"
if [ -f "$state/display" ]; then DISPLAY=$(cat "$state/display"); export DISPLAY; fi

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "mounting FUSE volumes and loop devices needs root"
[ -c /dev/fuse ] || skip "there is no /dev/fuse"
for tool in fusefat fusermount mount.exfat-fuse mkfs.exfat fsck.exfat fsck.fat losetup; do
  command -v "$tool" >/dev/null || skip "$tool is missing (tools/setup.sh installs fusefat, exfat-fuse, exfatprogs)"
done

work="$state/real-volumes"
fat32_dir="$work/fat32" large_dir="$work/large" exfat_dir="$work/exfat" pulled_dir="$work/pulled" control="$work/control" trees="$work/trees"
fat32_letter=r exfat_letter=s pulled_letter=t large_letter=u
loop=""
cleanup() {
  [ -n "${watcher:-}" ] && kill "$watcher" 2>/dev/null && wait "$watcher" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/$fat32_letter:" "$WINEPREFIX/dosdevices/$exfat_letter:" \
        "$WINEPREFIX/dosdevices/$pulled_letter:" "$WINEPREFIX/dosdevices/$large_letter:"
  mountpoint -q "$fat32_dir" && fusermount -u "$fat32_dir"
  mountpoint -q "$large_dir" && fusermount -u "$large_dir"
  mountpoint -q "$exfat_dir" && { fusermount -u "$exfat_dir" 2>/dev/null || umount "$exfat_dir"; }
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  return 0
}
trap cleanup EXIT
cleanup
rm -rf "$work"
mkdir -p "$fat32_dir" "$large_dir" "$exfat_dir" "$pulled_dir" "$control" "$trees"

# FAT32, as our library formats the enclosure's drives: 131072 sectors of 512 bytes.
image_windows_path=$(winepath -w "$work/fat32.img" 2>/dev/null)
wine "$bin/make_fat32_image.exe" "$image_windows_path" 131072 ENCLOSURE </dev/null || { echo "Volkern did not format the image"; exit 1; }
fsck.fat -n "$work/fat32.img" >/dev/null || { echo "the new image fails fsck.fat"; exit 1; }
fusefat -o rw+ "$work/fat32.img" "$fat32_dir" >/dev/null 2>&1 || skip "fusefat cannot mount here"
wine "$bin/make_fat32_image.exe" "$(winepath -w "$work/large.img" 2>/dev/null)" 12582912 LARGE </dev/null >/dev/null ||
  { echo "Volkern did not format the large image"; exit 1; }
fusefat -o rw+ "$work/large.img" "$large_dir" >/dev/null 2>&1 || skip "fusefat cannot mount here"

truncate -s 64M "$work/exfat.img"
mkfs.exfat -L ENCLOSURE "$work/exfat.img" >/dev/null || { echo "mkfs.exfat failed"; exit 1; }
loop=$(losetup -f --show "$work/exfat.img") || skip "no loop device is free"
mount.exfat-fuse "$loop" "$exfat_dir" >/dev/null 2>&1 || skip "exfat-fuse cannot mount here"

folder_of() {
  case $1 in
    "$fat32_letter") echo "$fat32_dir" ;; "$large_letter") echo "$large_dir" ;; "$exfat_letter") echo "$exfat_dir" ;; "$pulled_letter") echo "$pulled_dir" ;;
  esac
}
plug() { ln -sfn "$(folder_of "$1")" "$WINEPREFIX/dosdevices/$1:"; }
for letter in "$fat32_letter" "$large_letter" "$exfat_letter" "$pulled_letter"; do plug "$letter"; done

# Until no process has the file open any more: the driver of an unmounted volume has ended.
unused() {
  for _ in $(seq 1 200); do fuser -s "$1" 2>/dev/null || return 0; sleep 0.05; done
  return 1
}
remount() {
  case $1 in
    "$fat32_letter") fusermount -u "$fat32_dir" && unused "$work/fat32.img" &&
                     fusefat -o rw+ "$work/fat32.img" "$fat32_dir" >/dev/null 2>&1 ;;
    "$exfat_letter") fusermount -u "$exfat_dir" && unused "$loop" &&
                     mount.exfat-fuse "$loop" "$exfat_dir" >/dev/null 2>&1 ;;
    *) return 1 ;;
  esac
}
# The tests' requests: the enclosure unplugged (its letter goes), plugged in again, replugged.
( while :; do
    for request in "$control"/*; do
      name=${request##*/}
      case $name in
        pull-?) rm -f "$WINEPREFIX/dosdevices/${name#pull-}:" ;;
        plug-?) plug "${name#plug-}" ;;
        remount-?) remount "${name#remount-}" ;;
        *) continue ;;
      esac || : >"$request.failed"
      rm -f "$request"
    done
    sleep 0.05
  done ) &
watcher=$!

# Source trees on this machine's own file system (drive Z:), one per drive, with names that no
# Windows folder holds: two pairs that differ only in case, and names with ? * |.
for letter in "$fat32_letter" "$exfat_letter"; do
  tree="$trees/names-$letter"
  mkdir -p "$tree/Docs" "$tree/docs" "$tree/a|b" "$tree/star*"
  echo lower >"$tree/a.txt"; echo upper >"$tree/A.txt"
  echo "in Docs" >"$tree/Docs/report.txt"; echo "in docs" >"$tree/docs/report.txt"
  echo odd >"$tree/what?.txt"; echo inner >"$tree/a|b/inner.txt"; echo star >"$tree/star*/x.txt"
  echo fine >"$tree/fine.txt"
done

# A job's version store on Z: whose expired versions hold links out of the store, to a folder and
# to a file beside it, and a link at the store's top named as a version: the pruning test checks
# that what they point to is untouched.
prune="$trees/prune"
store="$prune/target/Src/.copperfold-versions"
linked="$store/2020-01-01 00.00.00 +0000"
mkdir -p "$prune/Src" "$prune/outside/inner" "$linked/deep" "$store/2020-01-02 00.00.00 +0000"
echo new >"$prune/Src/a.txt"
echo outside >"$prune/outside/inner/kept.txt"; echo "outside file" >"$prune/outside.txt"
echo old >"$linked/deep/old.txt"; echo expired >"$store/2020-01-02 00.00.00 +0000/x.txt"
ln -s "$prune/outside" "$linked/deep/dirlink"; ln -s "$prune/outside.txt" "$linked/filelink.txt"
ln -s "$prune/outside" "$store/2019-01-01 00.00.00 +0000"

# A source tree on Z: with a link to its own parent folder (Wine shows it as a folder, and a walk
# that followed it would copy the tree again inside itself until paths could go no deeper) and a
# link to a folder outside the tree, which is copied as a folder.
loops="$trees/loops"
mkdir -p "$loops/Src/docs/sub" "$loops/elsewhere"
echo top >"$loops/Src/top.txt"; echo deep >"$loops/Src/docs/sub/deep.txt"; echo linked >"$loops/elsewhere/linked.txt"
ln -s .. "$loops/Src/docs/sub/up"
ln -s "$loops/elsewhere" "$loops/Src/outside"

windows_path() { echo "Z:${1//\//\\}"; }
CF_FAT32_DRIVE="${fat32_letter^^}:" CF_LARGE_FAT32_DRIVE="${large_letter^^}:" CF_EXFAT_DRIVE="${exfat_letter^^}:" CF_PULLED_DRIVE="${pulled_letter^^}:" \
  CF_PULLED_FOLDER="$(windows_path "$pulled_dir")" CF_CONTROL_FOLDER="$(windows_path "$control")" \
  CF_TREES_FOLDER="$(windows_path "$trees")" \
  wine "$bin/copperfold_real_volume_tests.exe" </dev/null
status=$?

cleanup
trap - EXIT
echo "fsck.fat -n on the FAT32 image:"
fsck.fat -n "$work/fat32.img" || { echo "the FAT32 volume is not clean after the tests"; status=1; }
fsck.fat -n "$work/large.img" >/dev/null || { echo "the large FAT32 volume is not clean after the tests"; status=1; }
echo "fsck.exfat -n on the exFAT image:"
fsck.exfat -n "$work/exfat.img" || { echo "the exFAT volume is not clean after the tests"; status=1; }
exit $status
