#!/usr/bin/env bash
# Tests the Windows installer under Wine, in a copy of the tests' prefix:
#   installer.sh SETUP VERSION PREFIX [OTHER_SETUP]
# with the Wine loader and server that WINELOADER and WINESERVER name.
# A silent install puts the programs, the Start-menu shortcut, the entry in
# Settings > Apps and the PATH entry in place, and tavrek-cli.exe runs from
# the installed folder; a silent uninstall takes all of it away and leaves the
# user's environment as it was, byte for byte. A PATH too long for the
# installer to hold comes through both untouched. The environment keeps an
# unnamed value throughout, as some tools leave one. OTHER_SETUP, the
# installer for the other width of Windows, is refused where it cannot run (a
# 64-bit installer in a 32-bit Windows) and replaced where it can.
set -euo pipefail
setup=$1 version=$2 other_setup=${4:-}
wine=${WINELOADER:?} wineserver=${WINESERVER:?}
work=$(mktemp -d "$(dirname "$3")/installer-test.XXXXXX")  # beside the prefix, on its file system
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
finish() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
cp -a --reflink=auto "$3" "$WINEPREFIX"

program_timeout_seconds=30  # no program of the test takes more than a few
server_linger_seconds=1     # so that waiting for the uninstaller to end is short
environment='HKCU\Environment'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrek'
long_path_length=3000

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

expect() {  # WHAT ACTUAL EXPECTED
    [[ $2 == "$3" ]] || fail "$1 is \"$2\", expected \"$3\""
}

# Runs a Windows program, its output without CR. The server and the prefix's
# services are started on /dev/null, so that ctest does not wait for them.
win() {
    if "$wineserver" -p$server_linger_seconds </dev/null >/dev/null 2>&1; then
        "$wine" wineboot </dev/null >/dev/null 2>&1
    fi
    timeout $program_timeout_seconds "$wine" "$@" | tr -d '\r'
}

# The Unix path of a path on the prefix's C: drive.
unix_path() {
    local path=${1#C:\\}
    echo "$WINEPREFIX/drive_c/${path//\\//}"
}

# The data of the value NAME in what `reg query` printed.
value_of() {  # NAME
    sed -n "s/^    $1    [A-Z_]*    //p"
}

save_environment() {  # NAME: C:\NAME.reg
    win reg export "$environment" "C:\\$1.reg" /y >/dev/null
}

same_environment() {  # NAME WHEN
    save_environment now
    cmp -s "$(unix_path "C:\\$1.reg")" "$(unix_path 'C:\now.reg')" || fail "$2 changed the environment"
}

uninstall() {
    # It returns at once, leaving a copy of itself in the temporary folder to
    # do the work: the test waits for every program to end.
    win "$folder\\uninstall.exe" /S
    "$wineserver" -w
}

check_installed() {  # PATH
    local file
    for file in tavrek.exe tavrek-cli.exe README.txt LICENSE.txt examples/blink.hex uninstall.exe; do
        [[ -f $(unix_path "$folder")/$file ]] || fail "no $file in $folder"
    done
    grep -qaF "$folder\\tavrek.exe" "$(unix_path "$shortcut")" || fail "no shortcut to tavrek.exe: $shortcut"
    local entry bytes
    entry=$(win reg query "$uninstall_key")
    expect DisplayName "$(value_of DisplayName <<<"$entry")" Tavrek
    expect DisplayVersion "$(value_of DisplayVersion <<<"$entry")" "$version"
    expect Publisher "$(value_of Publisher <<<"$entry")" "The Tavrek developers"
    expect DisplayIcon "$(value_of DisplayIcon <<<"$entry")" "$folder\\tavrek.exe,0"
    expect UninstallString "$(value_of UninstallString <<<"$entry")" "\"$folder\\uninstall.exe\""
    # The installed files' size in KiB, rounded down.
    bytes=$(find "$(unix_path "$folder")" -type f -printf '%s+' && echo 0)
    expect EstimatedSize $(($(value_of EstimatedSize <<<"$entry"))) $(((bytes) / 1024))
    expect "the user's PATH" "$(win reg query "$environment" /v Path | value_of Path)" "$1"
    expect "tavrek-cli.exe --version" "$(win "$folder\\tavrek-cli.exe" --version)" "tavrek-cli $version"
    cmp -s "$(unix_path "$folder")/tavrek.exe" "$(dirname "$setup")/tavrek.exe" ||
        fail "$folder\\tavrek.exe is not the one $setup installs"
}

check_uninstalled() {
    [[ ! -e $(unix_path "$folder") ]] || fail "the uninstaller left $folder"
    [[ ! -e $(unix_path "$shortcut") ]] || fail "the uninstaller left $shortcut"
    ! win reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstaller left $uninstall_key"
    same_environment before "install and uninstall"
}

set_path() {
    win reg add "$environment" /v Path /t REG_EXPAND_SZ /d "$1" /f >/dev/null
    save_environment before
}

win reg add "$environment" /ve /d "left by another program" /f >/dev/null
folder="$(win cmd /c 'echo %LOCALAPPDATA%')\\Programs\\Tavrek"
shortcut="$(win cmd /c 'echo %APPDATA%')\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrek.lnk"

# A PATH with an empty entry, a variable and a ";" at its end: the folder is
# added after it, and taken away to give it back as it was.
short_path='C:\a;;%SystemRoot%\b;'
set_path "$short_path"
win "$setup" /S
check_installed "$short_path;$folder"
uninstall
check_uninstalled

# Too long to hold whole: left as it is by both.
long_path=$(printf 'C:\\Program Files\\Tool %04d\\bin;' $(seq 200))
set_path "${long_path:0:$long_path_length}"
win "$setup" /S
same_environment before "installing with a PATH of $long_path_length characters"
check_installed "${long_path:0:$long_path_length}"
uninstall
check_uninstalled

if [[ -n $other_setup ]]; then
    set_path "$short_path"
    if [[ $WINEARCH == win32 ]]; then
        # 32-bit Windows cannot start a 64-bit installer at all.
        ! win "$other_setup" /S >/dev/null 2>&1 || fail "$other_setup ran in a 32-bit Windows"
        [[ ! -e $(unix_path "$folder") ]] || fail "$other_setup installed into a 32-bit Windows"
    else
        # Either installer replaces what the other installed: one copy, one entry.
        win "$other_setup" /S
        win "$setup" /S
        check_installed "$short_path;$folder"
        uninstall
        check_uninstalled
    fi
fi
echo "The installer passed"
