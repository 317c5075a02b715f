#!/usr/bin/env bash
# Times the copy engine's quick copies and kept versions under Wine, side by side in one run, and
# prints the ratios against what a user would run instead:
#   - a repeat Backup that copies only new and changed files, of an unchanged tree of 20,000 small
#     files in 400 folders, against `rsync -a` of the same unchanged tree (goal: at most 1.5 times);
#   - the same after 1% of the files changed (200 files rewritten, both tools copy them; goal: at
#     most 2 times);
#   - a Backup that replaces 3,000 small files keeping the replaced ones as versions, against the
#     same Backup without (goal: at most 1.1 times), on Z: and, as root, on a fresh ext4 volume
#     with a journal mapped as a drive (below, why that one counts).
# With the unchanged tree it also times the floor under Wine: both trees only listed through the
# call the engine lists with, each on a thread of its own (copy_bench.exe list), nothing decided.
# The first two on Z: (this machine's disk through Wine) and, as root with exfat-fuse, on a FUSE
# exFAT volume mapped as a drive. The engine's figure is its own time within copy_bench.exe (the
# estimate and the copies), which leaves out the fixed cost of a run (Wine's start of a program,
# about 0.23 s here, printed too); rsync's is the whole command. Every figure is the median of
# ROUNDS rounds (default 3), the tools taking turns in another order each round.
#   tools/bench-versions.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target copy_bench >/dev/null
bench="$root/build/windows/copperfold/copy_bench.exe"

trees="$root/build/bench-trees"
python3 tools/make_bench_trees.py "$trees"
small="$trees/small"
out="$root/build/bench-versions-out"
state="$root/build/bench-versions-wine"
exfat_image="$out/exfat.img" exfat_dir="$out/exfat-mount"
ext4_image="$out/ext4.img" ext4_dir="$out/ext4-mount"
. tools/fuse-volume.sh
rm -rf "$out"; mkdir -p "$out"
unset DISPLAY
tools/wine-session.sh start "$state" >/dev/null
trap 'fuse_volume_unmount "$exfat_dir"; umount "$ext4_dir" 2>/dev/null || true; tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$out"' EXIT
. tools/wine-env.sh "$state"
. tools/bench-common.sh

rounds=${ROUNDS:-3}
# Seconds a command takes, the disk's dirty pages written out before it starts.
timed() {
  sync
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
# The engine's own seconds for one job (copy_bench prints them first), after a sync.
engine() {
  sync
  run_wine "$bench" "$@" 2>/dev/null | awk '/seconds/ { print $1; exit }'
}
# 200 files of the tree (1%) rewritten with other bytes and a later time; `round` picks which.
change_one_percent() {
  python3 - "$small" "$1" <<'EOF'
import os, random, sys
from pathlib import Path
root, round_ = Path(sys.argv[1]), int(sys.argv[2])
files = sorted(p for p in root.rglob("*") if p.is_file())
rng = random.Random(round_)
for path in rng.sample(files, len(files) // 100):
    size = path.stat().st_size
    path.write_bytes(rng.randbytes(size))
    stamp = path.stat().st_mtime + 10 + round_
    os.utime(path, (stamp, stamp))
EOF
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
starts=""
run_wine cmd /c exit >/dev/null 2>&1 || true
for _ in $(seq "$rounds"); do starts+=" $(timed run_wine cmd /c exit)"; done
echo "starting and ending a Wine program that does nothing (cmd /c exit): $(echo "$starts" | median) s $(all $starts)"
files=$(find "$small" -type f | wc -l)

# Runs two measurements of a round, appending each one's seconds to the variable named before it,
# the first one first in odd rounds and second in even ones (paths here have no blanks).
both() {
  local first=$1 first_command=$2 second=$3 second_command=$4
  if [ $((round % 2)) = 1 ]; then
    printf -v "$first" '%s %s' "${!first}" "$($first_command)"
    printf -v "$second" '%s %s' "${!second}" "$($second_command)"
  else
    printf -v "$second" '%s %s' "${!second}" "$($second_command)"
    printf -v "$first" '%s %s' "${!first}" "$($first_command)"
  fi
}

# One place (a folder on Z:, or the root of the exFAT drive) for the quick-copy figures.
quick_at() {
  local name=$1 host=$2 windows=$3
  echo "=== $name: $files files, a repeat Backup of the unchanged tree"
  mkdir -p "$host/rsync"
  rsync -a "$small/" "$host/rsync/"
  engine --skip-same backup "$(windows_path "$small")" "$windows\\engine" >/dev/null
  local quick="" noop="" quick_changed="" rsync_changed="" floor=""
  for round in $(seq "$rounds"); do
    both noop "timed rsync -a $small/ $host/rsync/" quick "engine --skip-same backup $(windows_path "$small") $windows\\engine"
    floor+=" $(engine list "$(windows_path "$small")" "$windows\\engine")"
  done
  for round in $(seq "$rounds"); do
    change_one_percent "$round"
    both rsync_changed "timed rsync -a $small/ $host/rsync/" \
         quick_changed "engine --skip-same backup $(windows_path "$small") $windows\\engine"
  done
  local t_noop t_quick t_rc t_qc t_floor r1 r2
  t_noop=$(echo "$noop" | median); t_quick=$(echo "$quick" | median); t_floor=$(echo "$floor" | median)
  t_rc=$(echo "$rsync_changed" | median); t_qc=$(echo "$quick_changed" | median)
  r1=$(ratio "$t_quick" "$t_noop"); r2=$(ratio "$t_qc" "$t_rc")
  echo "  unchanged   rsync -a ${t_noop} s $(all $noop)   engine ${t_quick} s $(all $quick)"
  echo "              ratio engine/rsync $r1   goal <= 1.5: $(goal "$r1" 1.5)"
  echo "              the floor, both trees only listed: ${t_floor} s $(all $floor), floor/rsync $(ratio "$t_floor" "$t_noop"), engine/floor $(ratio "$t_quick" "$t_floor")"
  echo "  1% changed  rsync -a ${t_rc} s $(all $rsync_changed)   engine ${t_qc} s $(all $quick_changed)"
  echo "              ratio engine/rsync $r2   goal <= 2: $(goal "$r2" 2)"
}

mkdir -p "$out/z"
quick_at "Z: (this machine's disk)" "$out/z" "$(windows_path "$out/z")"

if missing=$(fuse_volume_missing); then
  echo "=== FUSE exFAT volume: skipped ($missing)"
else
  fuse_volume_format exfat "$exfat_image" 4096 "$state" ""
  fuse_volume_mount exfat "$exfat_image" "$exfat_dir"
  fuse_volume_map x "$exfat_dir" "$WINEPREFIX"
  quick_at "FUSE exFAT volume (drive X:)" "$exfat_dir" "X:"
  rm -f "$WINEPREFIX/dosdevices/x:"
fi

# 3,000 small files, each replaced by every Backup (it copies every file again): kept as versions
# or not.
replace="$out/replace3000"
python3 - "$replace" <<'EOF'
import random, sys
from pathlib import Path
root, rng = Path(sys.argv[1]), random.Random(3000)
for i in range(3000):
    path = root / f"folder{i % 30:02d}" / f"file{i:04d}.dat"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(rng.randbytes(rng.randint(1 << 10, 16 << 10)))
EOF
replace_at() {
  local name=$1 host=$2 windows=$3
  echo "=== a Backup that replaces 3,000 small files, keeping them as versions or not: $name"
  local plain_target="$windows\\plain" kept_target="$windows\\kept" plain="" kept="" versions t_plain t_kept r3
  engine backup "$(windows_path "$replace")" "$plain_target" >/dev/null
  engine backup "$(windows_path "$replace")" "$kept_target" >/dev/null
  for round in $(seq "$rounds"); do
    both plain "engine backup $(windows_path "$replace") $plain_target" \
         kept "engine --keep-days 30 backup $(windows_path "$replace") $kept_target"
  done
  versions=$(find "$host/kept/replace3000/.copperfold-versions" -type f | wc -l)
  t_plain=$(echo "$plain" | median); t_kept=$(echo "$kept" | median)
  r3=$(ratio "$t_kept" "$t_plain")
  echo "  without versions ${t_plain} s $(all $plain)   keeping them ${t_kept} s $(all $kept) ($versions files kept)"
  echo "  ratio kept/plain $r3   goal <= 1.1: $(goal "$r3" 1.1)"
}
# On Z: the Backup without versions is slowed by this disk itself: it is ext4 without a journal,
# where making a file passes over every inode freed in the last minutes, and each of its rounds
# frees the 3,000 files it replaced (the one keeping them frees none). So the figure that counts
# is the one from a fresh ext4 volume with a journal (as root), as Linux disks usually are.
mkdir -p "$out/z-replace"
replace_at "Z: (this machine's disk, ext4 without a journal)" "$out/z-replace" "$(windows_path "$out/z-replace")"
if [ "$(id -u)" -eq 0 ] && command -v mkfs.ext4 >/dev/null; then
  truncate -s 1G "$ext4_image" && mkfs.ext4 -q -F "$ext4_image" && mkdir -p "$ext4_dir"
  if mount -o loop "$ext4_image" "$ext4_dir"; then
    fuse_volume_map x "$ext4_dir" "$WINEPREFIX"
    replace_at "a fresh ext4 volume with a journal (drive X:)" "$ext4_dir" "X:"
    rm -f "$WINEPREFIX/dosdevices/x:"
  else
    echo "=== the ext4 volume with a journal: skipped (it did not mount)"
  fi
else
  echo "=== the ext4 volume with a journal: skipped (it needs root and mkfs.ext4)"
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
