#!/usr/bin/env bash
# Times the copy engine under Wine on two trees, in one run, against anchors on the same trees:
#   large: four files of 256 MiB;  small: 20,000 files of 1 to 64 KiB in 400 nested folders.
# For each tree, a first Backup by: cp -r (and the sync that puts its data on disk, since the
# engine flushes every file), Wine's own xcopy (and its sync), rsync -a, the engine alone
# (copy_bench.exe) and the whole program (Copperfold.exe /run, progress dialog included); then a
# no-op Sync (nothing changed) against a no-op rsync -a. Also an empty /run (one Backup of an
# empty folder). Prints every figure, the ratios and the goals. The trees stay in build/bench-trees.
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
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$out"' EXIT
run_wine() { tools/wine-exec.sh "$state" "$@"; }
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

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
difference() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
throughput() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.0f MB/s", bytes / s / 1e6 }'; }
# "met" or "NOT met" for value <= limit (or >= limit with "at-least").
goal() {
  local value=$1 limit=$2 sense=${3:-at-most}
  awk -v v="$value" -v l="$limit" -v s="$sense" \
    'BEGIN { ok = (s == "at-least") ? (v >= l) : (v <= l); print ok ? "met" : "NOT met" }'
}

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

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
rm -rf "$out"; mkdir -p "$out/empty-source"
prepare_program "$out/empty-source" "$out/empty-target"
run_wine "$program/Copperfold.exe" /run >/dev/null 2>&1 || true  # the first start loads Wine's libraries
t_empty=$(timed run_wine "$program/Copperfold.exe" /run)
t_start=$(timed run_wine cmd /c exit)
echo "=== empty /run (one Backup of an empty folder, 500 ms finishing pause included): ${t_empty} s" \
  " goal <= 1 s: $(goal "$t_empty" 1)"
echo "    (starting and ending a Wine program that does nothing, cmd /c exit: ${t_start} s)"

for tree in large small; do
  rm -rf "$out"; mkdir -p "$out"
  bytes=$(du -sb "$trees/$tree" | cut -f1)
  files=$(find "$trees/$tree" -type f | wc -l)
  echo "=== $tree: $files files, $bytes bytes"

  t_cp=$(timed cp -r "$trees/$tree" "$out/cp")
  t_cp_sync=$(sum "$t_cp" "$(sync_time)")
  t_xcopy=$(timed run_wine xcopy /E /I /Q /Y "$(windows_path "$trees/$tree")" "$(windows_path "$out/xcopy")")
  t_xcopy_sync=$(sum "$t_xcopy" "$(sync_time)")
  t_rsync=$(timed rsync -a "$trees/$tree/" "$out/rsync/")
  t_engine=$(timed run_wine build/windows/copperfold/copy_bench.exe backup \
    "$(windows_path "$trees/$tree")" "$(windows_path "$out/engine")")
  [ "$(find "$out/engine" -type f | wc -l)" -eq "$files" ] || echo "  (the engine copied $(find "$out/engine" -type f | wc -l) files)"
  prepare_program "$trees/$tree" "$out/e2e"
  t_e2e=$(timed run_wine "$program/Copperfold.exe" /run)
  [ "$(find "$out/e2e" -type f | wc -l)" -eq "$files" ] || echo "  (end-to-end run copied $(find "$out/e2e" -type f | wc -l) files)"

  echo "  first Backup   cp -r              ${t_cp} s  $(throughput "$bytes" "$t_cp")"
  echo "                 cp -r + sync       ${t_cp_sync} s  $(throughput "$bytes" "$t_cp_sync")"
  echo "                 Wine xcopy         ${t_xcopy} s  $(throughput "$bytes" "$t_xcopy")"
  echo "                 Wine xcopy + sync  ${t_xcopy_sync} s  $(throughput "$bytes" "$t_xcopy_sync")"
  echo "                 rsync -a           ${t_rsync} s  $(throughput "$bytes" "$t_rsync")"
  echo "                 engine             ${t_engine} s  $(throughput "$bytes" "$t_engine")"
  echo "                 /run (e2e)         ${t_e2e} s  $(throughput "$bytes" "$t_e2e")"
  r_cp_sync=$(ratio "$t_cp_sync" "$t_engine")
  r_xcopy=$(ratio "$t_engine" "$t_xcopy")
  r_e2e=$(ratio "$(difference "$t_e2e" "$t_empty")" "$t_engine")
  echo "  ratios         (cp -r + sync)/engine time       $r_cp_sync$([ "$tree" = large ] && echo "   goal >= 0.9: $(goal "$r_cp_sync" 0.9 at-least)")"
  echo "                 engine/(Wine xcopy) time         $r_xcopy$([ "$tree" = small ] && echo "   goal <= 1: $(goal "$r_xcopy" 1)")"
  echo "                 engine/(Wine xcopy + sync) time  $(ratio "$t_engine" "$t_xcopy_sync")"
  echo "                 (/run - empty /run)/engine time  $r_e2e   goal <= 1.1: $(goal "$r_e2e" 1.1)"

  t_rsync_noop=$(timed rsync -a "$trees/$tree/" "$out/rsync/")
  t_engine_noop=$(timed run_wine build/windows/copperfold/copy_bench.exe sync \
    "$(windows_path "$trees/$tree")" "$(windows_path "$out/engine/$tree")")
  r_noop=$(ratio "$t_engine_noop" "$t_rsync_noop")
  echo "  no-op Sync     rsync -a           ${t_rsync_noop} s"
  echo "                 engine             ${t_engine_noop} s   engine/rsync time $r_noop$([ "$tree" = small ] && echo "   goal <= 4: $(goal "$r_noop" 4)")"
done
