# Fresh FAT32 and exFAT volumes on FUSE, as the enclosure's drives look to a program under Wine
# here, for the benchmarks and the kill test (the real-volume tests make their own). Sourced:
#   . tools/fuse-volume.sh
#   fuse_volume_missing               prints why volumes cannot be mounted here (status 0), or
#                                     prints nothing (status 1): needs root, /dev/fuse, the drivers
#   fuse_volume_format KIND IMAGE MIB WINE_STATE BIN_DIR
#                                     a new image: fat32 formatted by our Volkern.dll
#                                     (BIN_DIR/make_fat32_image.exe in the Wine session of
#                                     WINE_STATE, as the enclosure's drives are), exfat by mkfs.exfat
#   fuse_volume_mount KIND IMAGE FOLDER [LOG]   fusefat on the image, or exfat-fuse on a loop device
#                                     of it; with LOG, the driver writes every request it serves there
#   fuse_volume_unmount FOLDER        unmounts and waits until the driver has let the image go
#   fuse_volume_map LETTER FOLDER WINEPREFIX   the folder as a drive of the prefix (LETTER: x)

fuse_volume_tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

fuse_volume_missing() {
  if [ "$(id -u)" -ne 0 ]; then echo "mounting FUSE volumes and loop devices needs root"; return 0; fi
  if [ ! -c /dev/fuse ]; then echo "there is no /dev/fuse"; return 0; fi
  local tool
  for tool in fusefat fusermount mount.exfat-fuse mkfs.exfat losetup fuser; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (tools/setup.sh installs fusefat, exfat-fuse, exfatprogs)"; return 0; }
  done
  return 1
}

fuse_volume_format() {
  local kind=$1 image=$2 mib=$3 wine_state=$4 bin=$5
  rm -f "$image"
  case $kind in
    fat32)
      : >"$image"
      local windows_image
      windows_image=$("$fuse_volume_tools/wine-exec.sh" "$wine_state" winepath -w "$image" 2>/dev/null | tr -d '\r')
      "$fuse_volume_tools/wine-exec.sh" "$wine_state" "$bin/make_fat32_image.exe" "$windows_image" \
        $((mib * 2048)) ENCLOSURE </dev/null >/dev/null ;;
    exfat)
      truncate -s "${mib}M" "$image" && mkfs.exfat -L ENCLOSURE "$image" >/dev/null ;;
    *) echo "unknown volume kind $kind" >&2; return 2 ;;
  esac
}

fuse_volume_mount() {
  local kind=$1 image=$2 folder=$3 log=${4:-} held _
  mkdir -p "$folder"
  case $kind in
    fat32) held=$image ;;
    exfat) held=$(losetup -f --show "$image") || return 1 ;;
    *) return 2 ;;
  esac
  echo "$held" >"$folder.held"
  local driver=(fusefat -o rw+ "$image" "$folder")
  [ "$kind" = exfat ] && driver=(mount.exfat-fuse "$held" "$folder")
  if [ -n "$log" ]; then
    # In debug mode the driver stays in the foreground.
    "${driver[@]}" -d >"$log" 2>&1 &
    for _ in $(seq 1 100); do mountpoint -q "$folder" && break; sleep 0.05; done
  else
    "${driver[@]}" >/dev/null 2>&1
  fi
  mountpoint -q "$folder" && return 0
  fuse_volume_unmount "$folder"
  return 1
}

fuse_volume_unmount() {
  local folder=$1 held="" _
  [ -f "$folder.held" ] && held=$(cat "$folder.held")
  if mountpoint -q "$folder" 2>/dev/null; then fusermount -u "$folder" 2>/dev/null || umount "$folder"; fi
  # The driver ends after the unmount returns; until then it still writes the image.
  if [ -n "$held" ]; then
    for _ in $(seq 1 200); do fuser -s "$held" 2>/dev/null || break; sleep 0.05; done
    case $held in /dev/loop*) losetup -d "$held" 2>/dev/null ;; esac
  fi
  rm -f "$folder.held"
  return 0
}

fuse_volume_map() {
  ln -sfn "$2" "$3/dosdevices/$1:"
}
