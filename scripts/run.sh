#!/usr/bin/env bash
# Installs what is missing, builds Orvalis and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
mkdir -p out
bash scripts/build.sh out/build -DORVALIS_BUILD_TESTS=OFF -DORVALIS_BUILD_BENCH=OFF
exec out/build/src/orvalis
