#!/usr/bin/env bash
# scripts/install-deps.sh [--tests]: installs the Debian 12 packages that
# Orvalis needs to build and run; with --tests also those that only the test
# command needs (sanitizer runtimes and clang for fuzzing, the JACK and
# PipeWire servers, the VM with a real ALSA sequencer, the accessibility bus,
# Xvfb for screenshots, gdb for the backtrace of a test that crashes). Run as
# root; installs only what is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libasound2-dev libjack-jackd2-dev libboost-dev
  qt6-translations-l10n
  libgl-dev fonts-dejavu-core
)
if [[ ${1:-} == --tests ]]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    jackd2 pipewire pipewire-bin pipewire-jack wireplumber
    xvfb xauth imagemagick fonts-liberation2
    file dpkg-dev desktop-file-utils
    dbus dbus-x11 at-spi2-core python3-pyatspi
    qemu-system-x86 linux-image-amd64 busybox-static cpio xz-utils alsa-utils
    gdb
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
