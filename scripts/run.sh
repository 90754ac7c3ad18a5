#!/usr/bin/env bash
# Sets up, builds and starts Tavrek.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [[ -x build/tavrek ]]; then
    exec build/tavrek "$@"
else
    echo "Built. The window program is not part of this build yet; run scripts/test.sh for the tests."
fi
