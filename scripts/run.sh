#!/usr/bin/env bash
# Sets up, builds and starts Tavrek.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
TAVREK_TARGETS="tavrek tavrek-sim" scripts/build.sh
if [[ ! -x build/tavrek ]]; then
    echo "The build did not make build/tavrek; see the messages above." >&2
    exit 1
fi
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]]; then
    echo "Built. There is no display to open the window on: start Tavrek from a desktop" >&2
    echo "session, or over ssh -X." >&2
    exit 1
fi
exec build/tavrek "$@"
