#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite: the Linux build as
# shipped, again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# Harvix.exe and its Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)

# Every option is set on each configure, so a cached setting of another run never
# leaves old test binaries in place.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARVIX_TESTS=ON -DHARVIX_SANITIZE=OFF \
  -DHARVIX_GTK=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DHARVIX_TESTS=ON -DHARVIX_SANITIZE=ON \
  -DHARVIX_GTK=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -LE window)

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DHARVIX_HOST_TOOLS="$PWD/build" -DHARVIX_TESTS=ON -DHARVIX_SANITIZE=OFF >/dev/null
cmake --build build-win -j"$jobs"
(cd build-win && ctest --output-on-failure -j"$jobs")

# libFuzzer harnesses, built with clang (so the tree is known to build with it too): each
# replays its regression inputs, then fuzzes a few seconds from seeds of the recorded trees.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHARVIX_FUZZ=ON -DHARVIX_TESTS=OFF -DHARVIX_SANITIZE=OFF -DHARVIX_GTK=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
(cd build-fuzz && ctest --output-on-failure -j"$jobs" -L fuzz)
