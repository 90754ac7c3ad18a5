#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in:
#   make-prefix.sh PREFIX LINKS NUMBER...
# with the Wine loader, server and architecture that WINELOADER, WINESERVER
# and WINEARCH name (the build's wrapper sets them: `wine --make-prefix`).
# It boots the prefix, and makes COM<NUMBER> for each number a port of the
# prefix that leads through the link LINKS/com<NUMBER>: a simulator points the
# link at its terminal (until then it leads to /dev/null). Wine numbers the
# machine's own /dev/ttyS* as COM1 and up, so the tests take COM11 and up.
set -euo pipefail
prefix=$1 links=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
wine=${WINELOADER:?} wineserver=${WINESERVER:?}

"$wineserver" -k 2>/dev/null || true
rm -rf "$prefix"
mkdir -p "$links"
for number in "$@"; do
    ln -sfn /dev/null "$links/com$number"
done
echo "Booting the Wine prefix $prefix (${WINEARCH:?})"
"$wine" wineboot -i </dev/null >/dev/null 2>&1
for number in "$@"; do
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /t REG_SZ /d "$links/com$number" /f >/dev/null
done
# Wine draws the frames and captions of its windows itself and gives a new
# window the keyboard, as Windows does, where no window manager runs (Xvfb).
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
# The ports are taken when the next server starts.
"$wineserver" -w
touch "$prefix/.tavrek-prefix"
