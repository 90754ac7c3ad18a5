#!/usr/bin/env bash
# Builds Tavrek for Windows into build-windows/: tavrek.exe (the window) and
# tavrek-cli.exe, each one program for 32-bit and 64-bit Windows 7 SP1 and
# later, cross-built with Debian's MinGW-w64; their installer
# tavrek-<version>-setup.exe (Debian's NSIS) and portable
# tavrek-<version>-win32.zip (CPack); and the tests, which ctest runs under
# 32-bit Wine.
#   scripts/build-windows.sh          build
#   scripts/build-windows.sh --test   build, then run the tests
# Installs what is missing first (scripts/setup.sh windows: MinGW-w64 and
# 32-bit Wine, which adds Debian's i386 architecture), and builds the Linux
# tavrek-sim, cli_tests and remote_port_tests into build/ (or $TAVREK_BUILD_DIR), which the tests
# use. Extra arguments go to CMake, for both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
test=false
if [[ "${1:-}" == --test ]]; then
    test=true
    shift
fi
scripts/setup.sh windows
native=$PWD/${TAVREK_BUILD_DIR:-build}
TAVREK_BUILD_DIR=$native TAVREK_TARGETS="tavrek-sim cli_tests remote_port_tests" scripts/build.sh "$@"
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
    -DTAVREK_NATIVE_BUILD="$native" "$@" >/dev/null
cmake --build build-windows --parallel "$(nproc)"
if $test; then
    ctest --test-dir build-windows --output-on-failure --timeout 300
fi
