#!/usr/bin/env bash
# Runs one harness: first every regression input, then fuzzing from the seeds.
# usage: run_harness.sh BINARY NAME SEEDS_DIR WORK_DIR [libFuzzer options...]
# Prints the executions and the findings (inputs that broke a property or crashed).
set -uo pipefail
bin=$1 name=$2 seeds=$3 work=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
regressions=$here/regressions/$name
corpus=$work/$name/corpus findings=$work/$name/findings
rm -rf "$work/$name" && mkdir -p "$corpus" "$findings"
# Trees are written and removed for every input: in memory where the system has it.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=${TMPDIR:-/dev/shm}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
case $name in
  *_tree) max_len=65536 ;;  # whole recorded trees
  html|encoding) max_len=1024 ;;
  *) max_len=8192 ;;
esac
status=0
if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
  "$bin" "$regressions"/* >"$work/$name/replay.log" 2>&1 ||
    { echo "$name: a regression input fails again"; tail -30 "$work/$name/replay.log"; status=1; }
fi
dirs=("$corpus")
[ -d "$seeds/$name" ] && dirs+=("$seeds/$name")
[ -d "$regressions" ] && dirs+=("$regressions")
"$bin" -seed=1 -timeout=20 -rss_limit_mb=2048 -max_len=$max_len -print_final_stats=1 \
  -artifact_prefix="$findings/" "$@" "${dirs[@]}" >"$work/$name/fuzz.log" 2>&1 || status=1
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name/fuzz.log" | tail -1)
found=$(ls "$findings" | wc -l)
echo "$name: ${runs:-?} executions, $found finding(s)"
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
  grep -a -m5 -E 'property broken|ERROR: |runtime error' "$work/$name/fuzz.log" || tail -20 "$work/$name/fuzz.log"
  for f in "$findings"/*; do [ -e "$f" ] && echo "  finding: $f"; done
  exit 1
fi
