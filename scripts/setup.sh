#!/usr/bin/env bash
# Installs the Debian packages Tavrek needs to build and test, if any is
# missing: through apt-get as root, through sudo otherwise; where neither
# works it prints the lines to run. `setup.sh package` adds the tools that
# build and check the Debian package; `setup.sh windows` adds the MinGW-w64
# cross compilers and 64-bit Wine for the Windows builds and their tests, and
# 32-bit Wine, for which it adds Debian's i386 architecture, only where this
# machine runs 32-bit programs (scripts/runs-32-bit.sh); `setup.sh web` adds emscripten for
# the web page, and `setup.sh web-test` also Chromium, node, npm and Python's
# websockets for its tests. `setup.sh release` adds the tools with which
# scripts/release.sh makes its archives the same on every build;
# `setup.sh release-check` also diffoscope, which shows how two builds
# differ, the tools it looks into the files with, and the locale
# definitions that the check builds under.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev fonts-dejavu-core
    libqt6svg6
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    help2man scdoc
    srecord
    ser2net libasio-dev nlohmann-json3-dev
    clang libclang-rt-14-dev
)
windows_packages=()
if [[ "${1:-}" == package ]]; then
    packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db)
elif [[ "${1:-}" == windows ]]; then
    # Installed with what they recommend, as Wine was tried with.
    windows_packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix
                      binutils-mingw-w64-i686 googletest wine64 file librsvg2-bin icoutils nsis xvfb xauth)
    # 32-bit Wine is some 300 MB that a machine without 32-bit programs could not start.
    if "$(dirname "$0")/runs-32-bit.sh" >/dev/null; then
        windows_packages+=(wine32:i386)
    fi
elif [[ "${1:-}" == release || "${1:-}" == release-check ]]; then
    packages=(git zip strip-nondeterminism)
    if [[ "$1" == release-check ]]; then
        packages+=(diffoscope-minimal binutils-multiarch unzip xxd wabt locales)
    fi
elif [[ "${1:-}" == web || "${1:-}" == web-test ]]; then
    packages=(cmake ninja-build emscripten)
    if [[ "$1" == web-test ]]; then
        packages+=(chromium python3-websockets nodejs)
        # A node from elsewhere (NodeSource's, say) brings its own npm.
        command -v npm >/dev/null || packages+=(npm)
    fi
fi

lacking() {
    for p in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || echo "$p"
    done
}
mapfile -t missing < <(lacking "${packages[@]}")
mapfile -t missing_windows < <(lacking "${windows_packages[@]}")
[[ ${#missing[@]} -eq 0 && ${#missing_windows[@]} -eq 0 ]] && exit 0
add_i386=false
if [[ " ${missing_windows[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    add_i386=true
fi

echo "Installing: ${missing[*]} ${missing_windows[*]}"
if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null && { sudo -n true 2>/dev/null || [[ -t 0 ]]; }; then
    as_root=(sudo)
else
    echo "Cannot install packages without root. Run these lines as root, then try again:" >&2
    ! $add_i386 || echo "  dpkg --add-architecture i386 && apt-get update" >&2
    [[ ${#missing[@]} -eq 0 ]] || echo "  apt-get install -y --no-install-recommends ${missing[*]}" >&2
    [[ ${#missing_windows[@]} -eq 0 ]] || echo "  apt-get install -y ${missing_windows[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive

# A new machine often runs its automatic updates first: a command refused
# for the package manager's lock is tried again for up to 10 minutes, and the
# wait is told once.
lock_wait_seconds=600
lock_poll_seconds=10
told_waiting=false
as_root_waiting_for_lock() {
    local deadline=$((SECONDS + lock_wait_seconds)) errors status
    errors=$(mktemp)
    while :; do
        status=0
        "${as_root[@]}" "$@" 2> >(tee "$errors" >&2) || status=$?
        wait $! 2>/dev/null || true  # until tee has written everything
        if [[ $status -eq 0 ]] || ((SECONDS >= deadline)) ||
            ! grep -Eq 'Could not get lock|Unable to lock|lock was locked|acquire the dpkg frontend lock' "$errors"; then
            rm -f "$errors"
            return $status
        fi
        $told_waiting || echo "Another program is installing packages (automatic updates, say): waiting for it, up to $((lock_wait_seconds / 60)) minutes..." >&2
        told_waiting=true
        sleep "$lock_poll_seconds"
    done
}
apt_get() {
    as_root_waiting_for_lock apt-get -o DPkg::Lock::Timeout=$lock_wait_seconds "$@"
}
# A new machine may have no package lists yet: fetch them when the first try fails.
install() {
    apt_get install -y "$@" || { apt_get update && apt_get install -y "$@"; }
}

if $add_i386; then
    echo "Adding Debian's i386 architecture for 32-bit Wine (dpkg --add-architecture i386)"
    as_root_waiting_for_lock dpkg --add-architecture i386
    apt_get update
fi
[[ ${#missing[@]} -eq 0 ]] || install --no-install-recommends "${missing[@]}"
[[ ${#missing_windows[@]} -eq 0 ]] || install "${missing_windows[@]}"
