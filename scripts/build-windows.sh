#!/usr/bin/env bash
# Builds Tavrek for Windows, 64-bit into build-windows/win64/ and 32-bit into
# build-windows/win32/, the same sources cross-built with Debian's MinGW-w64
# for Windows 7 SP1 and later: in each tavrek.exe (the window),
# tavrek-cli.exe, the installer tavrek-<version>-KIND-setup.exe (Debian's
# NSIS), the portable tavrek-<version>-KIND.zip (CPack) and the tests.
#   scripts/build-windows.sh          build
#   scripts/build-windows.sh --test   build, then run the tests
# The tests run under 64-bit Wine against the 64-bit build on every machine,
# and under 32-bit Wine against the 32-bit build where this machine runs
# 32-bit programs (scripts/runs-32-bit.sh); where it does not, that is said
# in one line, and the 32-bit build is built all the same.
# Installs what is missing first (scripts/setup.sh windows), and builds the
# Linux tavrek-sim, cli_tests and remote_port_tests into build/ (or
# $TAVREK_BUILD_DIR), which the tests use. Extra arguments go to CMake, for
# every build. $TAVREK_TARGETS, when set, names the targets to build in each
# Windows build instead of all of them (scripts/release.sh builds
# windows_packages alone), and the Linux programs are then not built.
set -euo pipefail
cd "$(dirname "$0")/.."
test=false
if [[ "${1:-}" == --test ]]; then
    test=true
    shift
fi
scripts/setup.sh windows
native=$PWD/${TAVREK_BUILD_DIR:-build}
if [[ -z ${TAVREK_TARGETS:-} ]]; then
    TAVREK_BUILD_DIR=$native TAVREK_TARGETS="tavrek-sim cli_tests remote_port_tests" scripts/build.sh "$@"
fi

runs_32_bit=true
why_not_32_bit=$(scripts/runs-32-bit.sh) || runs_32_bit=false
version=$(sed -n 's/^project(Tavrek VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
setup_of() { echo "$PWD/build-windows/$1/tavrek-$version-$1-setup.exe"; }

# The 64-bit installer's test runs the 32-bit one before it, where 32-bit
# programs run; the 32-bit one's sees 32-bit Windows refuse the 64-bit one.
configure() {  # KIND PROCESSOR TESTS OTHER_SETUP
    cmake -S . -B "build-windows/$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$2.cmake" -DTAVREK_NATIVE_BUILD="$native" \
        -DTAVREK_WINDOWS_TESTS="$3" -DTAVREK_WINDOWS_OTHER_SETUP="$4" "${@:5}" >/dev/null
}
on_if_32_bit=$($runs_32_bit && echo ON || echo OFF)
configure win64 x86_64 ON "$($runs_32_bit && setup_of win32)" -DTAVREK_WINE_32_BIT=$on_if_32_bit "$@"
configure win32 i686 $on_if_32_bit "$(setup_of win64)" "$@"

# Where 32-bit programs are ruled out by TAVREK_NO_32_BIT=1 on a machine that
# has 32-bit Wine installed and lets root make a mount namespace, the 64-bit
# build and tests run with 32-bit Wine's loader and server replaced by a
# program for a processor no machine has, which fails to start as they do on
# a machine without 32-bit programs ("Exec format error"): any use of them
# fails there as it would on such a machine.
without_32_bit_wine() {  # COMMAND...
    local loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 unstartable=build-windows/unstartable
    if [[ ${TAVREK_NO_32_BIT:-} != 1 || ! -x $loader || $(id -u) -ne 0 ]] || ! unshare --mount true 2>/dev/null; then
        "$@"
        return
    fi
    { printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\377\377' && head -c 32 /dev/zero; } >"$unstartable"
    chmod +x "$unstartable"
    echo "32-bit Wine is out of reach of what follows, as on a machine without 32-bit programs: $*"
    unshare --mount -- bash -c 'for program in "${@:2:2}"; do mount --bind "$1" "$program"; done; exec "${@:4}"' \
        - "$unstartable" "$loader" "$server" "$@"
}

# The 64-bit build makes its tests' Wine prefix, and so runs Wine.
# shellcheck disable=SC2086
targets=(${TAVREK_TARGETS:+--target $TAVREK_TARGETS})
without_32_bit_wine cmake --build build-windows/win64 --parallel "$(nproc)" "${targets[@]}"
cmake --build build-windows/win32 --parallel "$(nproc)" "${targets[@]}"

if $test; then
    without_32_bit_wine ctest --test-dir build-windows/win64 --output-on-failure --timeout 300
    if $runs_32_bit; then
        ctest --test-dir build-windows/win32 --output-on-failure --timeout 300
    else
        echo "The 32-bit Windows tests were not run: $why_not_32_bit."
    fi
fi
