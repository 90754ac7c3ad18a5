#!/usr/bin/env bash
# Sets up, builds and runs every test. Extra arguments go to CMake, e.g.
#   TAVREK_BUILD_DIR=build-asan scripts/test.sh -DTAVREK_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${TAVREK_BUILD_DIR:-build}" --output-on-failure --timeout 300
