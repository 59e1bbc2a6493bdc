#!/usr/bin/env bash
# Installs the Debian 12 packages that Orvalis needs to build, run and test.
# Run as root; installs only what is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config ccache clang libclang-rt-14-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libasound2-dev libjack-jackd2-dev jackd2
  libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
  xvfb xauth imagemagick fonts-dejavu-core fonts-liberation2 libgl-dev
  file dpkg-dev desktop-file-utils
  dbus dbus-x11 at-spi2-core python3-pyatspi
  qemu-system-x86 linux-image-amd64 busybox-static cpio xz-utils alsa-utils
  pipewire pipewire-bin pipewire-jack wireplumber
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
