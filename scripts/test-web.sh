#!/usr/bin/env bash
# Builds the web page (build-web/) and runs its tests: the page in Debian's
# headless Chromium, driven by puppeteer-core from node, writing through a
# stand-in for the browser's serial ports into build/tavrek-sim. Installs what
# is missing first (scripts/setup.sh for the simulator, then scripts/setup.sh
# web-test: emscripten, Chromium, node and Python's websockets) and the tests'
# node packages from their lockfile (npm ci in tests/web). Extra arguments go
# to CMake, for both builds.
#   scripts/test-web.sh           build and test
#   scripts/test-web.sh --bench   build, then print the page's figures instead
set -euo pipefail
cd "$(dirname "$0")/.."
run=(node --test web.test.js)
if [[ "${1:-}" == --bench ]]; then
    run=(node bench.js)
    shift
fi
scripts/setup.sh  # tavrek-sim and tavrek-cli
scripts/setup.sh web-test
scripts/build-web.sh "$@"
TAVREK_TARGETS="tavrek-sim tavrek-cli" scripts/build.sh "$@"
cd tests/web
npm ci --no-audit --no-fund --loglevel=error
"${run[@]}"
