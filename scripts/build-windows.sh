#!/usr/bin/env bash
# Cross-builds Harvix.exe (and, with "test", its Windows tests) with mingw-w64.
# The logo and icon are drawn by a native tool, so the native build comes first.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
[ "${1:-}" = test ] && tests=ON
bash scripts/deps.sh windows
cmake -S . -B build -DHARVIX_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target draw_art >/dev/null
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DHARVIX_HOST_TOOLS="$PWD/build" -DHARVIX_TESTS=$tests >/dev/null
cmake --build build-win -j"$(nproc)"
echo "Built: $PWD/build-win/Harvix.exe"
