#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
wavory_install_deps
wavory_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${WAVORY_BUILD_DIR:-build}" --output-on-failure -j"${WAVORY_JOBS:-2}" "$@"
