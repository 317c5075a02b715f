#!/usr/bin/env bash
# Times the copy engine under Wine against cp -r and rsync -a on the same trees, in one run:
#   large: four files of 256 MiB;  small: 20,000 files of 1 to 64 KiB in 400 nested folders.
# For each tree: a first Backup (engine alone, and end to end through Copperfold.exe /run with
# its progress dialog) against cp -r and rsync -a; then a no-op Sync (nothing changed) against
# a no-op rsync -a. Prints every figure and the ratios. The trees are kept in build/bench-trees.
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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
throughput() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.0f MB/s", bytes / s / 1e6 }'; }

# The end-to-end run: a copy of the program whose job file holds one Backup job.
program="$out/program"
prepare_program() {
  local tree=$1 target=$2
  rm -rf "$program"; mkdir -p "$program"
  cp build/windows/bin/Copperfold.exe "$program/"
  local section
  section=$(run_wine cmd /c 'echo %COMPUTERNAME%-%USERNAME%' 2>/dev/null | tr -d '\r\n')
  python3 tools/make_demo_ini.py data/Copperfold.ini "$program/Copperfold.ini" "$section" \
    "Backup|$(windows_path "$trees/$tree")|$(windows_path "$target")"
}

for tree in large small; do
  rm -rf "$out"; mkdir -p "$out"
  bytes=$(du -sb "$trees/$tree" | cut -f1)
  files=$(find "$trees/$tree" -type f | wc -l)
  echo "=== $tree: $files files, $bytes bytes"

  t_cp=$(timed cp -r "$trees/$tree" "$out/cp")
  t_rsync=$(timed rsync -a "$trees/$tree/" "$out/rsync/")
  t_engine=$(timed run_wine build/windows/copperfold/copy_bench.exe backup \
    "$(windows_path "$trees/$tree")" "$(windows_path "$out/engine")")
  prepare_program "$tree" "$out/e2e"
  t_e2e=$(timed run_wine "$program/Copperfold.exe" /run)
  [ "$(find "$out/e2e" -type f | wc -l)" -eq "$files" ] || echo "  (end-to-end run copied $(find "$out/e2e" -type f | wc -l) files)"

  echo "  first Backup   cp -r        ${t_cp} s  $(throughput "$bytes" "$t_cp")"
  echo "                 rsync -a     ${t_rsync} s  $(throughput "$bytes" "$t_rsync")"
  echo "                 engine       ${t_engine} s  $(throughput "$bytes" "$t_engine")   cp/engine time ratio $(ratio "$t_cp" "$t_engine")"
  echo "                 /run (e2e)   ${t_e2e} s  $(throughput "$bytes" "$t_e2e")   cp/e2e time ratio $(ratio "$t_cp" "$t_e2e")"

  t_rsync_noop=$(timed rsync -a "$trees/$tree/" "$out/rsync/")
  t_engine_noop=$(timed run_wine build/windows/copperfold/copy_bench.exe sync \
    "$(windows_path "$trees/$tree")" "$(windows_path "$out/engine/$tree")")
  echo "  no-op Sync     rsync -a     ${t_rsync_noop} s"
  echo "                 engine       ${t_engine_noop} s   engine/rsync ratio $(ratio "$t_engine_noop" "$t_rsync_noop")"
done
