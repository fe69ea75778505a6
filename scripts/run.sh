#!/usr/bin/env bash
# Installs what is missing, builds, and takes this machine's inventory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DHARVIX_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
./build/harvix /silent
name="${COMPUTERNAME:-$(hostname -s)}"
echo "Report: $(pwd)/build/${name}_report.html"
