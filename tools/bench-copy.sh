#!/usr/bin/env bash
# Times the copy engine under Wine on two trees, in one run, against anchors on the same trees:
#   large: four files of 256 MiB;  small: 20,000 files of 1 to 64 KiB in 400 nested folders.
# For each tree, a first Backup by: cp -r (and the sync that puts its data on disk, since the
# engine flushes every file), Wine's own xcopy (and its sync), rsync -a, the engine alone
# (copy_bench.exe) and the whole program (Copperfold.exe /run, progress dialog included); then a
# no-op Sync (nothing changed) against a no-op rsync -a. Also an empty /run (one Backup of an
# empty folder). The engine and /run once more into memory (/dev/shm), where the disk plays no
# part: what the program adds to the engine. Prints every figure (the median of its rounds, then
# each round's), the ratios and the goals. The trees stay in build/bench-trees.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target copy_bench Copperfold copperfold_ini >/dev/null

trees="$root/build/bench-trees"
out="$root/build/bench-out"
python3 tools/make_bench_trees.py "$trees"
state="$root/build/bench-wine"
unset DISPLAY
tools/wine-session.sh start "$state" >/dev/null
. tools/bench-common.sh
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$out"' EXIT

# Seconds a command takes, with the disk's dirty pages written out before it starts.
timed() {
  sync
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
# Seconds the sync after a command takes (its dirty pages reaching the disk).
sync_time() {
  local start end
  start=$(date +%s.%N); sync; end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
throughput() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.0f MB/s", bytes / s / 1e6 }'; }

# The end-to-end run: a copy of the program whose job file holds one Backup job.
program="$out/program"
prepare_program() {
  local source=$1 target=$2
  rm -rf "$program"; mkdir -p "$program"
  cp build/windows/bin/Copperfold.exe "$program/"
  local section
  section=$(run_wine cmd /c 'echo %COMPUTERNAME%-%USERNAME%' 2>/dev/null | tr -d '\r\n')
  python3 tools/make_demo_ini.py data/Copperfold.ini "$program/Copperfold.ini" "$section" \
    "Backup|$(windows_path "$source")|$(windows_path "$target")"
}

# Every figure is the median of several rounds (7 on the large tree, 3 on the small one and for
# the empty run; ROUNDS sets all three), the tools taking turns in each round in another order:
# this machine's disk is a virtual one that discards deleted blocks, so one write of 1 GiB can
# take twice as long as the next, whichever tool makes it.
rounds=${ROUNDS:-3}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
rm -rf "$out"; mkdir -p "$out/empty-source"
prepare_program "$out/empty-source" "$out/empty-target"
run_wine "$program/Copperfold.exe" /run >/dev/null 2>&1 || true  # the first start loads Wine's libraries
empties=""; starts=""
for _ in $(seq "$rounds"); do
  empties+=" $(timed run_wine "$program/Copperfold.exe" /run)"
  starts+=" $(timed run_wine cmd /c exit)"
done
t_empty=$(echo "$empties" | median)
t_start=$(echo "$starts" | median)
echo "=== empty /run (one Backup of an empty folder, 500 ms finishing pause included): ${t_empty} s $(all $empties)" \
  " goal <= 1 s: $(goal "$t_empty" 1)"
echo "    (starting and ending a Wine program that does nothing, cmd /c exit: ${t_start} s)"

# One tool's first Backup of the tree into $dest/<tool>; prints its seconds (and, for the tools
# that do not flush, the sync after it as "seconds+sync").
first_backup() {
  local tool=$1 tree=$2 t
  case $tool in
    cp) t=$(timed cp -r "$trees/$tree" "$dest/cp"); echo "$t+$(sync_time)" ;;
    xcopy) t=$(timed run_wine xcopy /E /I /Q /Y "$(windows_path "$trees/$tree")" "$(windows_path "$dest/xcopy")")
           echo "$t+$(sync_time)" ;;
    rsync) timed rsync -a "$trees/$tree/" "$dest/rsync/" ;;
    engine) timed run_wine build/windows/copperfold/copy_bench.exe backup \
              "$(windows_path "$trees/$tree")" "$(windows_path "$dest/engine")" ;;
    e2e) prepare_program "$trees/$tree" "$dest/e2e"; timed run_wine "$program/Copperfold.exe" /run ;;
  esac
}
# The order of each round: every tool comes early and late, after different others.
orders=("cp xcopy rsync engine e2e" "e2e engine rsync xcopy cp" "engine cp e2e xcopy rsync"
        "rsync e2e cp engine xcopy" "xcopy engine cp e2e rsync")

for tree in large small; do
  bytes=$(du -sb "$trees/$tree" | cut -f1)
  files=$(find "$trees/$tree" -type f | wc -l)
  tree_rounds=${ROUNDS:-$([ "$tree" = large ] && echo 7 || echo 3)}
  echo "=== $tree: $files files, $bytes bytes, $tree_rounds rounds"
  declare -A times=()
  for round in $(seq "$tree_rounds"); do
    # The small tree's copies stay until its last round is over: this disk is ext4 without a
    # journal, where making a file passes over every inode freed in the last minutes (under Wine
    # in its server's one thread), so a round right after the removal of the one before's 100,000
    # files measured that removal, whoever copied. The large tree's few files are removed as
    # they go (seven rounds of it would not fit).
    dest="$out/$tree-$round"
    [ "$tree" = large ] && { rm -rf "$out/$tree-$((round - 1))"; }
    mkdir -p "$dest"
    for tool in ${orders[$(( (round - 1) % ${#orders[@]} ))]}; do
      times[$tool]+=" $(first_backup "$tool" "$tree")"
    done
    for copy in engine e2e; do
      [ "$(find "$dest/$copy" -type f | wc -l)" -eq "$files" ] || echo "  ($copy copied $(find "$dest/$copy" -type f | wc -l) files)"
    done
    times[rsync_noop]+=" $(timed rsync -a "$trees/$tree/" "$dest/rsync/")"
    times[engine_noop]+=" $(timed run_wine build/windows/copperfold/copy_bench.exe sync \
      "$(windows_path "$trees/$tree")" "$(windows_path "$dest/engine/$tree")")"
  done
  rm -rf "$out/$tree"-*
  copies_only() { tr ' ' '\n' | cut -d+ -f1 | tr '\n' ' '; }
  with_sync() { tr ' ' '\n' | grep -v '^$' | awk -F+ '{ printf "%.3f ", $1 + $2 }'; }
  t_cp=$(echo "${times[cp]}" | copies_only | median);       l_cp=$(echo "${times[cp]}" | copies_only)
  t_cp_sync=$(echo "${times[cp]}" | with_sync | median);    l_cp_sync=$(echo "${times[cp]}" | with_sync)
  t_xcopy=$(echo "${times[xcopy]}" | copies_only | median); l_xcopy=$(echo "${times[xcopy]}" | copies_only)
  t_xcopy_sync=$(echo "${times[xcopy]}" | with_sync | median)
  t_rsync=$(echo "${times[rsync]}" | median)
  t_engine=$(echo "${times[engine]}" | median)
  t_e2e=$(echo "${times[e2e]}" | median)

  echo "  first Backup   cp -r              ${t_cp} s  $(throughput "$bytes" "$t_cp")  $(all $l_cp)"
  echo "                 cp -r + sync       ${t_cp_sync} s  $(throughput "$bytes" "$t_cp_sync")  $(all $l_cp_sync)"
  echo "                 Wine xcopy         ${t_xcopy} s  $(throughput "$bytes" "$t_xcopy")  $(all $l_xcopy)"
  echo "                 Wine xcopy + sync  ${t_xcopy_sync} s  $(throughput "$bytes" "$t_xcopy_sync")"
  echo "                 rsync -a           ${t_rsync} s  $(throughput "$bytes" "$t_rsync")"
  echo "                 engine             ${t_engine} s  $(throughput "$bytes" "$t_engine")  $(all ${times[engine]})"
  echo "                 /run (e2e)         ${t_e2e} s  $(throughput "$bytes" "$t_e2e")  $(all ${times[e2e]})"
  r_cp_sync=$(ratio "$t_cp_sync" "$t_engine")
  r_xcopy=$(ratio "$t_engine" "$t_xcopy")
  r_e2e=$(ratio "$(difference "$t_e2e" "$t_empty")" "$t_engine")
  echo "  ratios         (cp -r + sync)/engine time       $r_cp_sync$([ "$tree" = large ] && echo "   goal >= 0.9: $(goal "$r_cp_sync" 0.9 at-least)")"
  echo "                 engine/(Wine xcopy) time         $r_xcopy$([ "$tree" = small ] && echo "   goal <= 1: $(goal "$r_xcopy" 1)")"
  echo "                 engine/(Wine xcopy + sync) time  $(ratio "$t_engine" "$t_xcopy_sync")"
  echo "                 (/run - empty /run)/engine time  $r_e2e   goal <= 1.1: $(goal "$r_e2e" 1.1)"

  # The same two runs into memory (a folder of /dev/shm, where a flush costs nothing): what the
  # program itself adds to the engine, without the disk's swings.
  memory=$(mktemp -d /dev/shm/bench-copy.XXXXXX)
  memory_engine=""; memory_e2e=""
  for round in $(seq "$tree_rounds"); do
    rm -rf "${memory:?}"/*
    prepare_program "$trees/$tree" "$memory/e2e"
    if [ $((round % 2)) = 1 ]; then
      memory_engine+=" $(timed run_wine build/windows/copperfold/copy_bench.exe backup "$(windows_path "$trees/$tree")" "$(windows_path "$memory/engine")")"
      memory_e2e+=" $(timed run_wine "$program/Copperfold.exe" /run)"
    else
      memory_e2e+=" $(timed run_wine "$program/Copperfold.exe" /run)"
      memory_engine+=" $(timed run_wine build/windows/copperfold/copy_bench.exe backup "$(windows_path "$trees/$tree")" "$(windows_path "$memory/engine")")"
    fi
  done
  rm -rf "$memory"
  t_memory_engine=$(echo "$memory_engine" | median)
  t_memory_e2e=$(echo "$memory_e2e" | median)
  r_memory_e2e=$(ratio "$(difference "$t_memory_e2e" "$t_empty")" "$t_memory_engine")
  echo "  into memory    engine             ${t_memory_engine} s  $(all $memory_engine)"
  echo "                 /run (e2e)         ${t_memory_e2e} s  $(all $memory_e2e)"
  echo "                 (/run - empty /run)/engine time  $r_memory_e2e   goal <= 1.1: $(goal "$r_memory_e2e" 1.1)"

  t_rsync_noop=$(echo "${times[rsync_noop]}" | median)
  t_engine_noop=$(echo "${times[engine_noop]}" | median)
  r_noop=$(ratio "$t_engine_noop" "$t_rsync_noop")
  echo "  no-op Sync     rsync -a           ${t_rsync_noop} s  $(all ${times[rsync_noop]})"
  echo "                 engine             ${t_engine_noop} s  $(all ${times[engine_noop]})   engine/rsync time $r_noop$([ "$tree" = small ] && echo "   goal <= 4: $(goal "$r_noop" 4)")"
  unset times
done
