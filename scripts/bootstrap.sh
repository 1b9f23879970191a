#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.  Safe to
# run again: it asks apt only for packages that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-pdf-dev
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  xvfb xauth openbox x11-utils
  clang libclang-rt-14-dev
  libusb-1.0-0-dev libsystemd-dev libbluetooth-dev
  dbus-daemon python3 python3-dbusmock python3-pytest python3-mypy
  umockdev libumockdev-dev
  appstream
  doxygen
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
