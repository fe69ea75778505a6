#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite: the Linux build as
# shipped, again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# Harvix.exe and its Windows tests under Wine, then the libFuzzer harnesses.
# Every stage runs even when an earlier one fails, so one failure hides no other
# result; a summary line per stage closes the run, and the exit status is 1 when
# any stage failed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)
logs=$(mktemp -d -t harvix-test.XXXXXX)
# Every temporary file of the suite goes in one folder, removed at the end: a test
# killed at its time limit cleans up nothing itself. Never across a mount left behind.
scratch=$(mktemp -d -t harvix-tmp.XXXXXX)
chmod 1777 "$scratch"  # as /tmp: tests run some programs as an ordinary user
trap 'rm -rf --one-file-system "$logs" "$scratch"' EXIT
export TMPDIR=$scratch

# Every option is set on each configure, so a cached setting of another run never
# leaves old test binaries in place.
stage_linux() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARVIX_TESTS=ON -DHARVIX_SANITIZE=OFF \
    -DHARVIX_GTK=ON >/dev/null
  cmake --build build -j"$jobs"
  cd build && ctest --no-tests=error --output-on-failure -j"$jobs"
}

stage_sanitize() {
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DHARVIX_TESTS=ON -DHARVIX_SANITIZE=ON \
    -DHARVIX_GTK=ON >/dev/null
  cmake --build build-sanitize -j"$jobs"
  cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --no-tests=error --output-on-failure -j"$jobs" -LE window
}

# The host tools (the logo and icon drawer) come from the Linux stage's build.
stage_windows() {
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DHARVIX_HOST_TOOLS="$PWD/build" -DHARVIX_TESTS=ON -DHARVIX_SANITIZE=OFF >/dev/null
  cmake --build build-win -j"$jobs"
  cd build-win && ctest --no-tests=error --output-on-failure -j"$jobs"
}

# Built with clang, so the tree is known to build with it too: each harness replays
# its regression inputs, then fuzzes a few seconds from seeds of the recorded trees.
stage_fuzz() {
  cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHARVIX_FUZZ=ON -DHARVIX_TESTS=OFF -DHARVIX_SANITIZE=OFF -DHARVIX_GTK=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  cd build-fuzz && ctest --no-tests=error --output-on-failure -j"$jobs" -L fuzz
}

# "passed failed" from ctest's closing line in a stage's log; "0 0" when there is none.
ctest_counts() {
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1) || true
  if [ -z "$line" ]; then echo "0 0"; return; fi
  local failed total
  failed=$(sed -E 's/.*, ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  echo "$((total - failed)) $failed"
}

summary=()
total_passed=0
total_failed=0
any_failed=0

# Runs one stage in a subshell of its own (errexit on, the caller's off), its output
# shown and kept, and notes its line of the summary.
run_stage() {
  local name=$1 log="$logs/$1.log" start=$SECONDS rc
  echo "=== ${name}: started $(date +%T)"
  set +e
  (set -e; "stage_${name}") 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  local seconds=$((SECONDS - start)) counts
  counts=$(ctest_counts "$log")
  local passed=${counts% *} failed=${counts#* }
  local state=passed detail="$passed passed, $failed failed"
  if [ "$rc" -ne 0 ]; then
    state=FAILED
    any_failed=1
    # A stage that stopped before its tests said anything still counts as a failure.
    if [ "$failed" -eq 0 ]; then
      failed=1
      detail="stopped before its tests ended (exit $rc): $passed passed, counted as 1 failed"
    fi
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  summary+=("$(printf '%-9s %-6s %4d min %02d s  %s' "$name" "$state" $((seconds / 60)) \
    $((seconds % 60)) "$detail")")
}

for stage in linux sanitize windows fuzz; do
  run_stage "$stage"
done

echo
echo "=== Summary (stage, result, time, tests)"
printf '%s\n' "${summary[@]}"
echo "$total_passed passed, $total_failed failed"
exit "$any_failed"
