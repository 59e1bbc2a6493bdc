#!/usr/bin/env bash
# scripts/build.sh BUILD_DIR [cmake options...]: configure and build one tree.
set -euo pipefail
dir=$1; shift
cmake -S "$(dirname "$0")/.." -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 \
  || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j"$(nproc)" >"$dir.build.log" 2>&1 || { tail -n 80 "$dir.build.log"; exit 1; }
