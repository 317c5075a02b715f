#!/usr/bin/env bash
# The drive tree on a big folder under Wine: expanding a folder of FILES files (default 10,000)
# and applying 1,000 watcher changes in it, each against a goal of one second.
#   tools/bench-view.sh [FILES]
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-10000}
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target view_bench >/dev/null
state="$(pwd)/build/bench-view-wine"
tools/wine-session.sh start "$state" >/dev/null
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true' EXIT
tools/wine-exec.sh "$state" build/windows/copperfold/view_bench.exe "$files" | tr -d '\r'
