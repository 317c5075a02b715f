#!/usr/bin/env bash
# Fuzzes every parser of outside bytes for a bounded time each (default 60 s):
#   tools/fuzz.sh [SECONDS]
# New inputs are kept in build/fuzz-corpus/<target>; crashes land in build/fuzz-findings.
# Ends with each target's executions and executions per second (libFuzzer's final figures).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
tools/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host

status=0
summary=()
mkdir -p build/fuzz-findings build/fuzz-logs
while read -r target corpus; do
  name=$(basename "$target")
  work="build/fuzz-corpus/$target"
  log="build/fuzz-logs/$name.log"
  mkdir -p "$work"
  echo "=== $target for ${seconds}s"
  set +e
  "build/host/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build/fuzz-findings/$name-" "$work" "$corpus" 2>&1 | tee "$log"
  run_status=${PIPESTATUS[0]}
  set -e
  [ "$run_status" -eq 0 ] || status=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  verdict=ok
  [ "$run_status" -eq 0 ] || verdict="FAILED (see $log)"
  summary+=("$(printf '%-20s %12s executions %8s per second  %s' "$name" "${runs:-?}" "${rate:-?}" "$verdict")")
done <<'TARGETS'
common/ini_parser_fuzz common/fuzz/corpus
copperfold/job_paths_fuzz copperfold/fuzz/corpus
rig/rig_file_fuzz rig/fuzz/corpus_file
rig/rig_command_fuzz rig/fuzz/corpus_command
rig/registry_changes_fuzz rig/fuzz/corpus_registry
rig/state_file_fuzz rig/fuzz/corpus_state
corelink/core/usb_walk_fuzz corelink/core/fuzz/corpus_usb_walk
corelink/core/storage_scan_fuzz corelink/core/fuzz/corpus_storage_scan
corelink/core/flash_table_fuzz corelink/core/fuzz/corpus_flash_table
corelink/core/flash_maintenance_fuzz corelink/core/fuzz/corpus_flash_maintenance
copperfold/change_records_fuzz copperfold/fuzz/corpus_change_records
common/volume_change_fuzz common/fuzz/corpus_volume_change
dockline/device_table_fuzz dockline/fuzz/corpus_device_table
copperfold/device_scan_fuzz copperfold/fuzz/corpus_device_scan
copperfold/device_trigger_fuzz copperfold/fuzz/corpus_device_trigger
copperfold/schedule_text_fuzz copperfold/fuzz/corpus_schedule_text
volkern/boot_sector_fuzz volkern/fuzz/corpus_boot_sector
volkern/parameter_block_fuzz volkern/fuzz/corpus_parameter_block
TARGETS

echo "=== executions per second (${seconds}s each)"
printf '%s\n' "${summary[@]}"
exit $status
