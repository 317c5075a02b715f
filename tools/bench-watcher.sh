#!/usr/bin/env bash
# Idle cost of the directory watcher under Wine: a watcher on 8 folders in which nothing
# changes, for SECONDS (default 10), against the same 8 folders polled every millisecond.
# Prints each one's processor time: the program's own and the Wine server's share.
#   tools/bench-watcher.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target watch_idle_bench >/dev/null
state="$(pwd)/build/bench-watcher-wine"
tools/wine-session.sh start "$state" >/dev/null
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true' EXIT

# The Wine server of this session's prefix (other sessions may run their own).
prefix="$state/prefix"
server=""
for pid in $(pgrep -x wineserver || true) $(pgrep -x wineserver64 || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then server=$pid; fi
done
ticks_per_second=$(getconf CLK_TCK)
server_ticks() {  # user + system time of the server, in clock ticks
  if [ -n "$server" ]; then awk '{print $14 + $15}' "/proc/$server/stat"; else echo 0; fi
}

run() {
  local mode=$1 before=0 after=0 line
  # The program marks its measured window; the server is sampled at the marks.
  while IFS= read -r line; do
    line=${line%$'\r'}
    case "$line" in
      measuring) before=$(server_ticks) ;;
      measured) after=$(server_ticks) ;;
      *) echo "$line" ;;
    esac
  done < <(tools/wine-exec.sh "$state" build/windows/copperfold/watch_idle_bench.exe "$mode" "$seconds")
  awk -v t=$((after - before)) -v hz="$ticks_per_second" -v s="$seconds" \
    'BEGIN { printf "  Wine server meanwhile: %.2f s (%.2f%% of one core)\n", t / hz, 100 * t / hz / s }'
}

echo "=== idle for ${seconds}s on 8 folders"
run wait
run poll
[ -n "$server" ] || echo "(the Wine server of this session was not found; its share is not counted)"
