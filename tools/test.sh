#!/usr/bin/env bash
# Builds both presets (and the shipped programs once more with clang) and runs every test: the host build's core tests under AddressSanitizer
# and UBSan (plus the fuzz targets over their seed corpora), and the Windows build's tests
# under Wine. Ends with one summary line; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/setup.sh || { echo "set-up failed"; exit 1; }

status=0
results="$root/build/test-results"
rm -rf "$results"
mkdir -p "$results"

for preset in host windows; do
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"$results/$preset-configure.log" 2>&1; then
    cat "$results/$preset-configure.log"; echo "0 passed, 1 failed"; exit 1
  fi
  cmake --build --preset "$preset" >"$results/$preset-build.log" 2>&1
  build_status=$?
  grep -E 'warning:' "$results/$preset-build.log" | head -50
  if [ $build_status -ne 0 ]; then
    tail -60 "$results/$preset-build.log"
    echo "build of $preset failed"; echo "0 passed, 1 failed"; exit 1
  fi

  echo "=== $preset: tests"
  mkdir -p "$results/$preset-gtest"
  report_dir="$results/$preset-gtest/"
  # Programs under Wine see this machine's folders on drive Z:.
  [ "$preset" = windows ] && report_dir="Z:${report_dir//\//\\}"
  GTEST_OUTPUT="xml:$report_dir" \
    ctest --preset "$preset" --output-junit "$results/$preset-ctest.xml" || status=1
done

# A second compiler over the shipped programs' sources: clang for the same Windows target.
echo "=== windows-clang: build the programs with clang"
if cmake --preset windows-clang >"$results/windows-clang-configure.log" 2>&1 &&
   cmake --build --preset windows-clang >"$results/windows-clang-build.log" 2>&1; then
  clang_case='<testcase name="windows_clang_build" status="run"/>'
else
  tail -40 "$results/windows-clang-configure.log" "$results/windows-clang-build.log" 2>/dev/null
  clang_case='<testcase name="windows_clang_build" status="run"><failure/></testcase>'
  status=1
fi
grep -E 'warning:' "$results/windows-clang-build.log" 2>/dev/null | head -20
echo "<testsuite>$clang_case</testsuite>" >"$results/clang-ctest.xml"

# Crash safety under real kills, with a small count here (tools/kill-test.sh 100 for the figures),
# the second time with the jobs keeping the files they replace as versions, then onto fresh FUSE
# FAT32 and exFAT volumes as the enclosure's drives (as root; skipped elsewhere, status 77).
kill_cases=""
for variant in "" --versions "--volume fat32" "--volume exfat"; do
  echo "=== crash safety: tools/kill-test.sh $variant 5"
  name=kill_test$(echo "$variant" | tr -d '-' | tr ' ' '_' | sed 's/^./_&/')
  tools/kill-test.sh $variant 5 2>&1 | tee -a "$results/kill-test.log"
  case ${PIPESTATUS[0]} in
    0) kill_cases+="<testcase name=\"$name\" status=\"run\"/>" ;;
    77) kill_cases+="<testcase name=\"$name\" status=\"notrun\"><skipped/></testcase>" ;;
    *) kill_cases+="<testcase name=\"$name\" status=\"run\"><failure/></testcase>"; status=1 ;;
  esac
done
echo "<testsuite>$kill_cases</testsuite>" >"$results/kill-ctest.xml"

python3 tools/summarize_tests.py "$results" || status=1
exit $status
