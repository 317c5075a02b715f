#!/usr/bin/env bash
# Fuzzes every parser of outside bytes for a bounded time each (default 60 s):
#   tools/fuzz.sh [SECONDS]
# New inputs are kept in build/fuzz-corpus/<target>; crashes land in build/fuzz-findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
tools/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host

status=0
while read -r target corpus; do
  work="build/fuzz-corpus/$target"
  mkdir -p "$work" build/fuzz-findings
  echo "=== $target for ${seconds}s"
  "build/host/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build/fuzz-findings/$(basename "$target")-" "$work" "$corpus" || status=1
done <<'TARGETS'
common/ini_parser_fuzz common/fuzz/corpus
copperfold/job_paths_fuzz copperfold/fuzz/corpus
rig/rig_file_fuzz rig/fuzz/corpus_file
rig/rig_command_fuzz rig/fuzz/corpus_command
corelink/core/usb_walk_fuzz corelink/core/fuzz/corpus_usb_walk
corelink/core/storage_scan_fuzz corelink/core/fuzz/corpus_storage_scan
copperfold/change_records_fuzz copperfold/fuzz/corpus_change_records
copperfold/device_scan_fuzz copperfold/fuzz/corpus_device_scan
TARGETS
exit $status
