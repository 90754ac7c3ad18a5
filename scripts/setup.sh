#!/usr/bin/env bash
# Installs the Debian packages Tavrek needs to build and test, if any is
# missing: through apt-get as root, through sudo otherwise; where neither
# works it prints the one apt-get line to run. `setup.sh package` adds the
# tools that build and check the Debian package.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev fonts-dejavu-core
    libqt6svg6
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    help2man scdoc
    srecord
    ser2net libasio-dev
    clang libclang-rt-14-dev
)
if [[ "${1:-}" == package ]]; then
    packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

install=(apt-get install -y --no-install-recommends "${missing[@]}")
echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null && { sudo -n true 2>/dev/null || [[ -t 0 ]]; }; then
    as_root=(sudo)
else
    echo "Cannot install packages without root. Run this line as root, then try again:" >&2
    echo "  ${install[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive

# Runs an apt-get command as root. A new machine is often busy with its automatic
# updates at first: while another program holds the package manager's lock, wait for
# it (saying so once), up to lock_wait_seconds.
lock_wait_seconds=600
lock_poll_seconds=5
waited=0
as_root_waiting() {
    local output status
    while :; do
        status=0
        output=$("${as_root[@]}" "$@" 2>&1) || status=$?
        if [[ $status -ne 0 ]] && grep -q -e 'Could not get lock' -e 'Unable to acquire the dpkg frontend lock' \
            -e 'Unable to lock' <<<"$output" && [[ $waited -lt $lock_wait_seconds ]]; then
            [[ $waited -eq 0 ]] && echo "Another program is installing packages (automatic updates, say): waiting for it, up to $((lock_wait_seconds / 60)) minutes..." >&2
            sleep "$lock_poll_seconds"
            waited=$((waited + lock_poll_seconds))
            continue
        fi
        printf '%s\n' "$output"
        return "$status"
    done
}

# A new machine may have no package lists yet: fetch them when the first try fails.
as_root_waiting "${install[@]}" || { as_root_waiting apt-get update && as_root_waiting "${install[@]}"; }
