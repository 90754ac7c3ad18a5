#!/usr/bin/env bash
# Serves the web page from build-web/ on http://127.0.0.1:8000/ (or the port
# given), to this machine alone: a browser counts 127.0.0.1 as secure, so Web
# Serial works there without HTTPS. Builds the site first if there is none.
#   scripts/serve-web.sh [PORT]
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8000}
[[ -f build-web/index.html ]] || scripts/build-web.sh
echo "Tavrek is at http://127.0.0.1:$port/ (Ctrl-C stops serving it)"
exec python3 -m http.server --bind 127.0.0.1 --directory build-web "$port"
