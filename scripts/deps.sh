#!/usr/bin/env bash
# Installs the Debian packages a build (and, with "test", the test suite) needs,
# only when something is missing.
set -euo pipefail
packages=(g++ cmake make pkg-config libblkid-dev libmount-dev libpci-dev pci.ids libgtk-3-dev
          nlohmann-json3-dev rapidjson-dev)
case "${1:-}" in
  test|windows) packages+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 googletest) ;;
esac
if [ "${1:-}" = test ]; then
  packages+=(libgtest-dev locales chromium xvfb xdotool imagemagick x11-utils util-linux
             fonts-dejavu-core python3 binutils wine wine64)
  # Disk images on loop devices, FUSE filesystems.
  packages+=(fdisk e2fsprogs dosfstools exfatprogs exfat-fuse fusefat ntfs-3g squashfs-tools fuse3)
  packages+=(cryptsetup-bin)  # a LUKS volume, where the kernel has dm-crypt
  packages+=(clang-14 libclang-rt-14-dev)  # libFuzzer harnesses
  # The spreadsheets opened as Calc opens them; the page in Windows' Tahoma metrics.
  packages+=(libreoffice-calc-nogui fonts-wine)
  # The inventory file: GLPI's schema checked, values compared with peers.
  packages+=(python3-jsonschema fusioninventory-agent dmidecode iproute2)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # apt's own lines (sizes, each download, each package set up) show where it is.
  echo "Installing ${#missing[@]} missing packages and what they need: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
  echo "Installed: ${missing[*]}"
fi
if [ "${1:-}" = test ]; then
  # The report's separators and code pages (1251, 932) are tested under these locales.
  for l in fr_FR.UTF-8 de_DE.UTF-8 ru_RU.UTF-8 ja_JP.UTF-8; do
    if ! locale -a 2>/dev/null | grep -qi "^${l%%.*}\.utf-\?8$"; then
      sed -i "s/^# *${l} UTF-8/${l} UTF-8/" /etc/locale.gen
      grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" >> /etc/locale.gen
      need_gen=1
    fi
  done
  if [ -n "${need_gen:-}" ]; then
    echo "Generating the locales the tests use"
    locale-gen
  fi
fi
