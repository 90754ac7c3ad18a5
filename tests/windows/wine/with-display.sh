#!/usr/bin/env bash
# Runs a command on an X display of its own (Xvfb), with a Wine server of its
# own, for the tests of the Windows window:
#   with-display.sh WINE COMMAND...
# WINE is the build's wrapper: the prefix's server is ended before, so that
# the programs come up on this display, and after, so that no later program
# finds a server whose display has gone.
set -euo pipefail
wine=$1
shift
"$wine" --stop
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$@" || status=$?
"$wine" --stop
exit $status
