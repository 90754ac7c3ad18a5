#!/usr/bin/env bash
# Configures and builds Tavrek into build/ (or $TAVREK_BUILD_DIR), with any
# extra CMake arguments given on the command line. $TAVREK_TARGETS, when set,
# names the targets to build instead of all of them.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TAVREK_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build_dir" --parallel "$(nproc)" ${TAVREK_TARGETS:+--target $TAVREK_TARGETS}
