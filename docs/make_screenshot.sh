#!/usr/bin/env bash
# Takes docs/tavrek-after-write.png: build/tavrek under Xvfb writes
# examples/blink.hex into build/tavrek-sim (or those in $TAVREK_BUILD_DIR), driven from the keyboard as an
# operator would drive it, and the window is photographed afterwards.
# Needs xvfb, xdotool and imagemagick; openbox, when present, draws the
# window's frame and caption.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TAVREK_BUILD_DIR:-build}

if [[ -z "${TAVREK_IN_XVFB:-}" ]]; then
    for tool in xvfb-run xdotool import; do
        if ! command -v "$tool" >/dev/null; then
            echo "$tool is missing: apt-get install xvfb xdotool imagemagick openbox" >&2
            exit 1
        fi
    done
    [[ -x $build_dir/tavrek && -x $build_dir/tavrek-sim ]] || scripts/build.sh
    exec env TAVREK_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x480x24" "$0" "$@"
fi

work=$(mktemp -d)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT

if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
fi

"$build_dir/tavrek-sim" >"$work/sim.out" &
pids+=($!)
for _ in $(seq 50); do
    grep -q '^TAVREK_COM1=' "$work/sim.out" && break
    sleep 0.1
done
export "$(grep '^TAVREK_COM1=' "$work/sim.out")"

"$build_dir/tavrek" &
pids+=($!)
window=$(xdotool search --sync --onlyvisible --name '^Tavrek$' | head -n1)
xdotool windowfocus --sync "$window"

# "..." has the focus: Space opens the file dialog, whose name field has it.
xdotool key space
sleep 1
xdotool type --delay 20 "$PWD/examples/blink.hex"
xdotool key Return
sleep 1
xdotool key alt+w
sleep 3

import -frame -window "$window" docs/tavrek-after-write.png
echo "wrote docs/tavrek-after-write.png"
