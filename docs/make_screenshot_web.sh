#!/usr/bin/env bash
# Takes docs/tavrek-web-after-write.png: the web page in headless Chromium
# writes examples/blink.hex into build/tavrek-sim through a stand-in for the
# browser's serial ports (a USB adapter with FTDI's ids), and the page is
# photographed afterwards. Builds the site and the simulator and installs
# what the page's tests need first (scripts/test-web.sh); a write that does
# not end in "Write Successful!" ends the script with the old picture kept.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh  # tavrek-sim and tavrek-cli
scripts/setup.sh web-test
scripts/build-web.sh
TAVREK_TARGETS="tavrek-sim" scripts/build.sh
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
node tests/web/screenshot.js "$PWD/docs/tavrek-web-after-write.png"
