#!/usr/bin/env bash
# Configures and builds Tavrek into build/ (or $TAVREK_BUILD_DIR), with any
# extra CMake arguments given on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TAVREK_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
