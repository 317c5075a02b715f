#!/usr/bin/env bash
# Checks the images the Wine test left in FOLDER with the system's fsck.fat (read-only) and
# mtools: every image must check clean, take a file, list it and give it back unchanged. The
# enclosure's disk holds its volume in a partition at 1 MiB.
set -uo pipefail
folder=${1:?usage: check_images.sh FOLDER}
command -v fsck.fat >/dev/null && command -v mcopy >/dev/null || { echo "fsck.fat and mtools are needed (tools/setup.sh)"; exit 1; }
export MTOOLS_SKIP_CHECK=1
status=0
sample="$folder/sample.txt"
head -c 300000 /dev/urandom >"$sample"

check() {  # check NAME FSCK-IMAGE MTOOLS-TARGET
  local name=$1 volume=$2 target=$3
  if ! fsck.fat -n "$volume" >"$folder/$name.fsck" 2>&1; then
    echo "FAIL $name: fsck.fat"; cat "$folder/$name.fsck"; status=1; return
  fi
  if ! mcopy -o -i "$target" "$sample" ::SAMPLE.BIN || ! mdir -i "$target" :: | grep -q SAMPLE ||
     ! mcopy -n -i "$target" ::SAMPLE.BIN "$folder/$name.back" || ! cmp -s "$sample" "$folder/$name.back"; then
    echo "FAIL $name: mtools round trip"; status=1; return
  fi
  if ! fsck.fat -n "$volume" >/dev/null 2>&1 && [ "$volume" = "$target" ]; then
    echo "FAIL $name: fsck.fat after mtools wrote"; status=1; return
  fi
  echo "ok   $name"
}

found=0
for image in "$folder"/wine-*.img; do
  [ -e "$image" ] || continue
  name=$(basename "$image" .img)
  found=$((found + 1))
  if [ "$name" = wine-rig-disk ]; then
    dd if="$image" of="$folder/$name.volume" bs=1M skip=1 conv=sparse status=none
    check "$name" "$folder/$name.volume" "$image@@1M"
  else
    check "$name" "$image" "$image"
  fi
done
[ $found -ge 5 ] || { echo "FAIL: only $found images found in $folder"; status=1; }
exit $status
