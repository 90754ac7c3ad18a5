#!/usr/bin/env bash
# Takes docs/tavrek-windows-after-write.png: the Windows window, tavrek.exe,
# under Wine on Xvfb writes examples/blink.hex into build/tavrek-sim behind
# COM11 of the Windows build's Wine prefix, driven from the keyboard as an
# operator would drive it, and is photographed afterwards. The file is chosen
# from a new folder /tmp/firmware-XXXX, so that the path in the picture says
# nothing of the machine it was taken on. Run scripts/build-windows.sh first.
# Needs xvfb, xdotool and imagemagick. Each step waits for what it needs, up
# to 30 s; a step that does not happen, or a chip that did not receive the
# file, ends the script with a message and the old picture kept.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${TAVREK_BUILD_DIR:-build}
windows=build-windows/win64
picture=docs/tavrek-windows-after-write.png
dialog_title="Select HEX File"

if [[ -z "${TAVREK_IN_XVFB:-}" ]]; then
    for tool in xvfb-run xdotool import compare; do
        if ! command -v "$tool" >/dev/null; then
            echo "$tool is missing: apt-get install xvfb xdotool imagemagick" >&2
            exit 1
        fi
    done
    for built in "$native/tavrek-sim" "$windows/tavrek.exe" "$windows/wine"; do
        [[ -x $built ]] || { echo "$built is missing: run scripts/build-windows.sh first" >&2; exit 1; }
    done
    "$windows/wine" --stop  # the window must come up on the display below
    status=0
    TAVREK_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x480x24" "$0" "$@" || status=$?
    "$windows/wine" --stop
    exit $status
fi

work=$(mktemp -d)
firmware=$(mktemp -d /tmp/firmware-XXXX)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work" "$firmware"
}
trap finish EXIT

fail() {
    echo "make_screenshot_windows.sh: $1; $picture is unchanged" >&2
    exit 1
}

# Runs the command after the message until it succeeds, for at most 30 s;
# then fails with the message.
wait_for() {
    local what=$1 deadline=$((SECONDS + 30))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || fail "$what"
        sleep 0.1
    done
}

shown_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}
is_shown() { [[ -n $(shown_window "$1") ]]; }
is_gone() { [[ -z $(shown_window "$1") ]]; }
photograph() { import -window "$window" "$1"; }
same_picture() {
    photograph "$work/next.png"
    compare -metric AE "$work/last.png" "$work/next.png" null: 2>/dev/null && return 0
    mv "$work/next.png" "$work/last.png"
    return 1
}
# The chip has all five packets of the sample: three flash rows, two words.
chip_written() {
    [[ -s $work/received.hex ]] && [[ $(grep -c '^:10' "$work/received.hex") -eq 24 ]] &&
        [[ $(grep -c '^:04' "$work/received.hex") -eq 2 ]]
}

cp examples/blink.hex "$firmware/"
"$native/tavrek-sim" --link "$windows/com-ports/com11" --save "$work/received.hex" >/dev/null &
pids+=($!)
wait_for "tavrek-sim did not serve COM11" test -c "$(readlink -f "$windows/com-ports/com11")"

TAVREK_COM1=COM11 "$windows/wine" "$windows/tavrek.exe" &
pids+=($!)
wait_for "Tavrek's window did not come up" is_shown Tavrek
window=$(shown_window Tavrek)

# "..." has the focus: Return opens the file dialog, whose name field has it.
xdotool key --window "$window" Return
wait_for "the file dialog did not come up" is_shown "$dialog_title"
sleep 0.5
xdotool type --delay 20 "Z:${firmware//\//\\}\\blink.hex"
xdotool key Return
wait_for "the file dialog did not close on Return" is_gone "$dialog_title"
sleep 0.5
xdotool key alt+w
wait_for "the chip did not receive the file" chip_written

# Tavrek logs its last line just after the last acknowledgement: the picture
# is taken once two in a row agree.
photograph "$work/last.png"
sleep 0.5
wait_for "Tavrek's window did not settle" same_picture
mv "$work/last.png" "$picture"
echo "wrote $picture"
