#!/usr/bin/env bash
# Times a first Backup onto the enclosure's kinds of drive, FAT32 and exFAT on FUSE (the drivers a
# Linux machine has), side by side in one run, against what a user would run instead, each onto
# a fresh volume of its own (a FAT32 image formatted by our Volkern.dll, an exFAT one by
# mkfs.exfat, 1 GiB each, mapped as drive X:):
#   the tree: 2,000 files of 4 to 64 KiB in 40 folders, and two files of 128 MiB (325 MiB);
#   cp -r + sync   the native copy, and the one sync that puts it on the drive;
#   xcopy          Wine's own (its start included);
#   durable        a native copy that flushes each file before its rename (tools/durable_copy.py);
#   engine         the copy engine's own seconds in copy_bench.exe (estimate and copies);
#   /run           Copperfold.exe /run of one Backup job, end to end (start, dialog, its 500 ms
#                  finishing pause), and that beyond an empty /run (a Backup of an empty folder).
# Then the same on Z: (this machine's disk): the small files against xcopy, the large ones
# against the durable floor with a thread per file. Every figure is the median of ROUNDS rounds
# (default 3); the kinds and the tools take turns in another order each round. Prints each
# round's figures, the medians, the ratios and the goals, and the load average at both ends.
#   tools/bench-fat.sh              (as root; without FUSE it does the Z: part only)
#   COPY_BENCH_BEFORE=path/copy_bench.exe tools/bench-fat.sh   also times that build of the engine
#                                   in the same rounds ("before"), for a change's figures
#   tools/bench-fat.sh --requests   instead: the requests each driver serves per file copied, by
#                                   kind, for cp -r and for the engine (the drivers' debug output;
#                                   the times then mean nothing)
set -euo pipefail
requests=""; [ "${1:-}" = --requests ] && requests=1
cd "$(dirname "$0")/.."
root=$(pwd)
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target copy_bench Copperfold copperfold_ini make_fat32_image Volkern >/dev/null
bin="$root/build/windows/bin"
bench="$root/build/windows/copperfold/copy_bench.exe"
. tools/fuse-volume.sh
. tools/bench-common.sh

trees="$root/build/bench-trees"
python3 tools/make_bench_trees.py "$trees"
tree="$trees/fat"
out="$root/build/bench-fat-out"
state="$root/build/bench-fat-wine"
mount="$out/volume"
cleanup() {
  fuse_volume_unmount "$mount"
  tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true
  rm -rf "$out"
}
trap cleanup EXIT
rm -rf "$out"; mkdir -p "$out"
unset DISPLAY
tools/wine-session.sh start "$state" >/dev/null
. tools/wine-env.sh "$state"

rounds=${ROUNDS:-3}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

# The end-to-end run: a copy of the program whose job file holds one Backup job.
program="$out/program"
section=$(run_wine cmd /c 'echo %COMPUTERNAME%-%USERNAME%' 2>/dev/null | tr -d '\r\n')
prepare_program() {
  rm -rf "$program"; mkdir -p "$program"
  cp "$bin/Copperfold.exe" "$program/"
  python3 tools/make_demo_ini.py data/Copperfold.ini "$program/Copperfold.ini" "$section" "Backup|$1|$2"
}

# One tool's first Backup of `source` into `target` (a host folder; `windows` the same for Wine
# programs, where the copy lands in a folder named as the source's). Prints its seconds.
first_backup() {
  local tool=$1 source=$2 target=$3 windows=$4 start seconds
  mkdir -p "$target"
  sync
  case $tool in
    cp) start=$(now); cp -r "$source" "$target/"; sync; since "$start" ;;
    xcopy) start=$(now); run_wine xcopy /E /I /Q /Y "$(windows_path "$source")" "$windows\\${source##*/}" >/dev/null 2>&1
           since "$start" ;;
    durable) start=$(now); python3 tools/durable_copy.py "$source" "$target/${source##*/}"; since "$start" ;;
    durable-threads) start=$(now); python3 tools/durable_copy.py --threads 0 "$source" "$target/${source##*/}"; since "$start" ;;
    engine|before) seconds=$(run_wine "$([ "$tool" = before ] && echo "$COPY_BENCH_BEFORE" || echo "$bench")" backup "$(windows_path "$source")" "$windows" 2>/dev/null | awk '/seconds/ { print $1; exit }')
            echo "${seconds:-nan}" ;;
    run) prepare_program "$(windows_path "$source")" "$windows"
         start=$(now); run_wine "$program/Copperfold.exe" /run >/dev/null 2>&1 || true; since "$start" ;;
  esac
}

files=$(find "$tree" -type f | wc -l)
if [ -n "$requests" ]; then
  missing=$(fuse_volume_missing) && { echo "needs FUSE: $missing"; exit 1; }
  for kind in fat32 exfat; do
    fuse_volume_format "$kind" "$out/$kind.img" 1024 "$state" "$bin"
    for tool in cp engine ${COPY_BENCH_BEFORE:+before}; do
      fuse_volume_mount "$kind" "$out/$kind.img" "$mount" "$out/requests.log" || { echo "the $kind volume did not mount"; exit 1; }
      fuse_volume_map x "$mount" "$WINEPREFIX"
      first_backup "$tool" "$tree" "$mount" 'X:\' >/dev/null
      rm -f "$WINEPREFIX/dosdevices/x:"
      fuse_volume_unmount "$mount"
      echo "=== $kind, $tool: FUSE requests per file copied ($files files)"
      grep -o 'opcode: [A-Z_]*' "$out/requests.log" | sort | uniq -c | sort -rn |
        awk -v n="$files" '$3 !~ /^(INIT|DESTROY)$/ { t += $1; printf "  %-11s %6.2f\n", $3, $1 / n } END { printf "  %-11s %6.2f\n", "all", t / n }'
      fuse_volume_format "$kind" "$out/$kind.img" 1024 "$state" "$bin"
    done
  done
  exit 0
fi

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
echo "tree: $files files, $(du -sb "$tree" | cut -f1) bytes"
run_wine cmd /c exit >/dev/null 2>&1 || true  # the first start loads Wine's libraries
mkdir -p "$out/empty-source"
empties=""
for _ in $(seq "$rounds"); do
  prepare_program "$(windows_path "$out/empty-source")" "$(windows_path "$out/empty-target")"
  start=$(now); run_wine "$program/Copperfold.exe" /run >/dev/null 2>&1 || true; empties+=" $(since "$start")"
done
t_empty=$(echo "$empties" | median)
echo "empty /run: $t_empty s $(all $empties)"

declare -A times=()
missing=$(fuse_volume_missing) && echo "=== FUSE volumes: skipped ($missing)"
if [ -z "$missing" ]; then
  for kind in fat32 exfat; do fuse_volume_format "$kind" "$out/$kind.img" 1024 "$state" "$bin"; done
  fuse_tools=(cp xcopy durable engine run)
  [ -n "${COPY_BENCH_BEFORE:-}" ] && fuse_tools+=(before)
  for round in $(seq "$rounds"); do
    kinds=(fat32 exfat); [ $((round % 2)) = 0 ] && kinds=(exfat fat32)
    for kind in "${kinds[@]}"; do
      # Each tool comes first in one round and later in the others.
      order=("${fuse_tools[@]:$(( (round - 1) % ${#fuse_tools[@]} ))}" "${fuse_tools[@]:0:$(( (round - 1) % ${#fuse_tools[@]} ))}")
      [ $((round % 2)) = 0 ] && order=($(printf '%s\n' "${order[@]}" | tac))
      for tool in "${order[@]}"; do
        cp --sparse=always "$out/$kind.img" "$out/volume.img"
        fuse_volume_mount "$kind" "$out/volume.img" "$mount" || { echo "the $kind volume did not mount"; exit 1; }
        fuse_volume_map x "$mount" "$WINEPREFIX"
        seconds=$(first_backup "$tool" "$tree" "$mount" 'X:\')
        copied=$(find "$mount/fat" -type f 2>/dev/null | wc -l)
        [ "$copied" -eq "$files" ] || echo "  ($tool onto $kind left $copied files, not $files)"
        rm -f "$WINEPREFIX/dosdevices/x:"
        fuse_volume_unmount "$mount"
        times[$kind-$tool]+=" $seconds"
      done
    done
    echo "  round $round done, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  done
  for kind in fat32 exfat; do
    limit=$([ "$kind" = fat32 ] && echo 1.2 || echo 1.5)
    declare -A t=()
    for tool in "${fuse_tools[@]}"; do t[$tool]=$(echo "${times[$kind-$tool]}" | median); done
    echo "=== $kind on FUSE ($([ "$kind" = fat32 ] && echo fusefat || echo exfat-fuse)), a first Backup of the tree"
    echo "  cp -r + sync       ${t[cp]} s  $(all ${times[$kind-cp]})"
    echo "  Wine xcopy         ${t[xcopy]} s  $(all ${times[$kind-xcopy]})"
    echo "  durable copy       ${t[durable]} s  $(all ${times[$kind-durable]})"
    echo "  engine             ${t[engine]} s  $(all ${times[$kind-engine]})"
    echo "  /run               ${t[run]} s  $(all ${times[$kind-run]})"
    [ -n "${t[before]:-}" ] && echo "  engine before      ${t[before]} s  $(all ${times[$kind-before]})   ratio to (cp -r + sync) $(ratio "${t[before]}" "${t[cp]}")"
    r_engine=$(ratio "${t[engine]}" "${t[cp]}")
    r_run=$(ratio "${t[run]}" "${t[cp]}")
    r_beyond=$(ratio "$(difference "${t[run]}" "$t_empty")" "${t[cp]}")
    echo "  ratios  engine/(cp -r + sync)               $r_engine   goal <= $limit: $(goal "$r_engine" "$limit")"
    echo "          /run/(cp -r + sync)                 $r_run"
    echo "          (/run - empty /run)/(cp -r + sync)  $r_beyond   goal <= $limit: $(goal "$r_beyond" "$limit")"
    echo "          engine/xcopy                        $(ratio "${t[engine]}" "${t[xcopy]}")"
    echo "          engine/durable copy                 $(ratio "${t[engine]}" "${t[durable]}")"
    unset t
  done
fi

# Z:, this machine's disk: the tree's small files against xcopy, its large ones against the
# durable floor (each file copied, flushed and renamed on a thread of its own). Every copy goes
# into a new folder, and the part's copies are removed only after its last round: this disk is
# ext4 without a journal, where making a file passes over every inode freed in the last minutes
# (in Wine that is its server's one thread, for every tool alike), so a round that followed the
# removal of the one before took a third longer, whoever copied.
for part in small large; do
  tools_here=(xcopy engine); [ "$part" = large ] && tools_here=(durable-threads engine)
  [ -n "${COPY_BENCH_BEFORE:-}" ] && tools_here+=(before)
  for round in $(seq "$rounds"); do
    order=("${tools_here[@]}"); [ $((round % 2)) = 0 ] && order=($(printf '%s\n' "${tools_here[@]}" | tac))
    for tool in "${order[@]}"; do
      z="$out/z/$round-$tool"; mkdir -p "$z"
      times[z-$part-$tool]+=" $(first_backup "$tool" "$tree/$part" "$z" "$(windows_path "$z")")"
    done
  done
  rm -rf "$out/z"
done
z_xcopy=$(echo "${times[z-small-xcopy]}" | median); z_small=$(echo "${times[z-small-engine]}" | median)
z_floor=$(echo "${times[z-large-durable-threads]}" | median); z_large=$(echo "${times[z-large-engine]}" | median)
r_small=$(ratio "$z_small" "$z_xcopy"); r_large=$(ratio "$z_floor" "$z_large")
echo "=== Z: (this machine's disk)"
echo "  small files (2,000)  Wine xcopy ${z_xcopy} s $(all ${times[z-small-xcopy]})   engine ${z_small} s $(all ${times[z-small-engine]})"
echo "                       engine/xcopy $r_small   goal <= 0.6: $(goal "$r_small" 0.6)"
echo "  large files (2)      durable floor ${z_floor} s $(all ${times[z-large-durable-threads]})   engine ${z_large} s $(all ${times[z-large-engine]})"
echo "                       floor/engine $r_large   goal >= 0.9: $(goal "$r_large" 0.9 at-least)"
if [ -n "${COPY_BENCH_BEFORE:-}" ]; then
  z_small_before=$(echo "${times[z-small-before]}" | median); z_large_before=$(echo "${times[z-large-before]}" | median)
  echo "  engine before        small ${z_small_before} s $(all ${times[z-small-before]}), engine/xcopy $(ratio "$z_small_before" "$z_xcopy");" \
       "large ${z_large_before} s $(all ${times[z-large-before]}), floor/engine $(ratio "$z_floor" "$z_large_before")"
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
