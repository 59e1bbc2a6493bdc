#!/usr/bin/env bash
# scripts/screenshots.sh [FOLDER]: renders the README's pictures of the real
# windows (on the built-in loopback, after a little traffic) into FOLDER,
# docs/screenshots by default, under a private X server. Builds out/build first.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-docs/screenshots}
bash scripts/install-deps.sh --tests
bash scripts/build.sh out/build -DCMAKE_INSTALL_PREFIX=/usr
xvfb-run -a -s "-screen 0 1280x1024x24" out/build/tools/screenshots "$folder"
