#!/usr/bin/env bash
# Crash safety, shown by force: kills Copperfold.exe /run under Wine at random moments, KILLS
# times (default 100), over a tree of large and small files, and checks after each kill and
# after the next whole run that no file was lost, truncated, mixed or left behind (see
# tools/kill_test.py). Prints the figures; exits non-zero on any loss or leftover.
#   tools/kill-test.sh [--versions] [KILLS] [SEED]
# --versions: the jobs keep the files they replace as versions (and the Backup copies only new and
# changed files); then a file may also be found in its job's version store, never lost.
# COPPERFOLD_EXE=path/Copperfold.exe puts another build to the same test.
set -euo pipefail
cd "$(dirname "$0")/.."
versions=""
if [ "${1:-}" = --versions ]; then versions=--versions; shift; fi
kills=${1:-100}
seed=${2:-}
cmake --preset windows >/dev/null
cmake --build --preset windows --target Copperfold >/dev/null

# A folder of its own, so that two of these can run side by side.
out="build/kill-test-$$"
state="$out/wine"
program="$out/program"
rm -rf "$out"
mkdir -p "$program"
cp "${COPPERFOLD_EXE:-build/windows/bin/Copperfold.exe}" "$program/Copperfold.exe"
unset DISPLAY
tools/wine-session.sh start "$state" >/dev/null
trap 'tools/wine-session.sh stop "$state" >/dev/null 2>&1 || true; rm -rf "$out"' EXIT
python3 tools/kill_test.py $versions tools/wine-exec.sh "$state" "$program" "$out/trees" "$kills" $seed
