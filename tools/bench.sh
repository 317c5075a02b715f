#!/usr/bin/env bash
# Runs the benchmarks of the Windows build under Wine and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target job_store_bench
state="$(pwd)/build/bench-wine"
tools/wine-session.sh start "$state" >/dev/null
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true' EXIT
tools/wine-exec.sh "$state" build/windows/copperfold/job_store_bench.exe
