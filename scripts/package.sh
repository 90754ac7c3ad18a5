#!/usr/bin/env bash
# Builds the Debian package build/tavrek_<version>_<arch>.deb (in $TAVREK_BUILD_DIR when
# set): sets up, builds what the package holds, not the tests, and packs it with CPack.
# Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TAVREK_BUILD_DIR:-build}
# CPack makes the package's folders under the umask it runs with: 0755 they
# must be, whatever the builder's umask.
umask 022
# CPack dates the package's members with SOURCE_DATE_EPOCH: the commit's
# time, so that the same commit gives the same package.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]] && git rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi
scripts/setup.sh package
if grep -qs '^TAVREK_\(SANITIZE\|FUZZ\):BOOL=ON' "$build_dir/CMakeCache.txt"; then
    echo "$build_dir is a sanitizer or fuzzing build; package from a plain one." >&2
    exit 1
fi
TAVREK_BUILD_DIR=$build_dir TAVREK_TARGETS=installed_files scripts/build.sh "$@"
cpack --config "$build_dir/CPackConfig.cmake"
deb=$(ls -t "$build_dir"/tavrek_*.deb | head -n 1)
if [[ $(id -u) -eq 0 ]]; then
    echo "Install it with:  apt-get install ./$deb"
else
    echo "Install it with:  sudo apt-get install ./$deb"
fi
