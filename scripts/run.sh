#!/usr/bin/env bash
# Installs what is missing, builds, and takes this machine's inventory.
# Its own build folder, every option set: nothing cached by another script counts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
echo "Building in build-run/"
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARVIX_TESTS=OFF -DHARVIX_SANITIZE=OFF \
  -DHARVIX_GTK=ON >/dev/null
cmake --build build-run -j"$(nproc)" >/dev/null
./build-run/harvix /silent
name="${COMPUTERNAME:-$(hostname -s)}"
echo "Report: $(pwd)/build-run/${name}_report.html"
echo "Inventory file: $(pwd)/build-run/${name}_inventory.json (GLPI's format)"
echo "Harvix's file:  $(pwd)/build-run/${name}_harvix.txt"
echo "Run it again:   $(pwd)/build-run/harvix /silent"
echo "On the PATH:    cmake --install $(pwd)/build-run   (harvix and harvix-index in /usr/local/bin)"
