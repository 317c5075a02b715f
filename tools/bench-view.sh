#!/usr/bin/env bash
# The drive trees on big folders under Wine:
#  - expanding a folder of FILES files (default 20,000), then 1,000 watcher changes applied in
#    it, each against a goal of one second (view_bench);
#  - a burst of BURST new files (default 20,000) created one after another in a shown drive
#    (L:, mapped to an empty host folder) while the directory watcher reports them: how long
#    after the last one the tree holds them all (goal under 5 s), and how long at most the tree
#    was blank or stood still while they came (goal at most 0.25 s each; view_burst_bench).
#   tools/bench-view.sh [FILES] [BURST]
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-20000}
burst=${2:-20000}
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target view_bench view_burst_bench >/dev/null
state="$(pwd)/build/bench-view-wine"
tools/wine-session.sh start "$state" >/dev/null
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true' EXIT
rm -rf "$state/drive-l"
tools/wine-map-drive.sh "$state" L "$state/drive-l" >/dev/null
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
tools/wine-exec.sh "$state" build/windows/copperfold/view_bench.exe "$files" | tr -d '\r'
tools/wine-exec.sh "$state" build/windows/copperfold/view_burst_bench.exe "$burst" L | tr -d '\r'
