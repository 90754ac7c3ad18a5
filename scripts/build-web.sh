#!/usr/bin/env bash
# Builds Tavrek's web page into build-web/, a folder that is the whole site:
# index.html, tavrek.css, tavrek.js, tavrek.wasm and tavrek.svg. Serve it from
# any static HTTPS host, or with scripts/serve-web.sh on this machine.
# Installs Debian's emscripten first where it is missing (scripts/setup.sh
# web); its objects go to build/web (or $TAVREK_WEB_BUILD_DIR). Extra
# arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh web
objects=${TAVREK_WEB_BUILD_DIR:-build/web}
# Debian's emscripten finds its JavaScript modules (acorn) only there when
# another node than Debian's runs it.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B "$objects" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVREK_SITE_DIR="$PWD/build-web" "$@" >/dev/null
cmake --build "$objects" --parallel "$(nproc)"
