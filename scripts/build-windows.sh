#!/usr/bin/env bash
# Cross-builds Harvix.exe (and, with "test", its Windows tests) with mingw-w64.
# The logo and icon are drawn by a native tool, so the native build comes first.
# Both build folders are this script's own, with every option set.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
[ "${1:-}" = test ] && tests=ON
bash scripts/deps.sh windows
cmake -S . -B build-tools -DCMAKE_BUILD_TYPE=Release -DHARVIX_TESTS=OFF -DHARVIX_SANITIZE=OFF \
  -DHARVIX_GTK=OFF >/dev/null
cmake --build build-tools -j"$(nproc)" --target draw_art >/dev/null
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DHARVIX_HOST_TOOLS="$PWD/build-tools" -DHARVIX_TESTS=$tests -DHARVIX_SANITIZE=OFF >/dev/null
cmake --build build-windows -j"$(nproc)"
echo "Built: $PWD/build-windows/Harvix.exe"
