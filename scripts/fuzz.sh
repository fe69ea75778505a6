#!/usr/bin/env bash
# Builds the libFuzzer harnesses and runs each for a given time, one after the
# other, printing its executions and findings.
# usage: scripts/fuzz.sh [SECONDS_EACH] [HARNESS...]   (default 60 s, every harness)
# Findings (inputs that broke a property or crashed) stay in
# build-fuzz/tests/fuzz/work/<harness>/findings; replay one with
# build-fuzz/tests/fuzz/fuzz_<harness> FILE, and keep it in tests/fuzz/regressions/<harness>/.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(smbios wql numbers extract html encoding unescape resolve date
                                         system_tree storage_tree index)
bash scripts/deps.sh test
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHARVIX_FUZZ=ON -DHARVIX_TESTS=OFF -DHARVIX_SANITIZE=OFF -DHARVIX_GTK=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null || exit 1
dir=build-fuzz/tests/fuzz
failed=0
for h in "${harnesses[@]}"; do
  bash tests/fuzz/run_harness.sh "$dir/fuzz_$h" "$h" "$dir/seeds" "$dir/work" \
    -max_total_time="$seconds" || failed=1
done
exit $failed
