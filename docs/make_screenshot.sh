#!/usr/bin/env bash
# Takes docs/tavrek-after-write.png: build/tavrek under Xvfb writes
# examples/blink.hex into build/tavrek-sim (or those in $TAVREK_BUILD_DIR),
# driven from the keyboard as an operator would drive it, and the window is
# photographed afterwards. The file is chosen from a new folder
# /tmp/firmware-XXXX, so that the path in the picture says nothing of the
# machine it was taken on.
# Needs xvfb, xdotool, xclip and imagemagick; openbox, when present, draws
# the window's frame and caption. Each step waits for what it needs, up to
# 20 s; a step that does not happen, or a log that does not end in "Write
# Successful!", ends the script with a message and the old picture kept.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${TAVREK_BUILD_DIR:-build}
picture=docs/tavrek-after-write.png
dialog_title="Select HEX File"

if [[ -z "${TAVREK_IN_XVFB:-}" ]]; then
    for tool in xvfb-run xdotool xclip import compare; do
        if ! command -v "$tool" >/dev/null; then
            echo "$tool is missing: apt-get install xvfb xdotool xclip imagemagick openbox" >&2
            exit 1
        fi
    done
    TAVREK_TARGETS="tavrek tavrek-sim" scripts/build.sh
    exec env TAVREK_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x480x24" "$0" "$@"
fi

work=$(mktemp -d)
firmware=$(mktemp -d /tmp/firmware-XXXX)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait
    rm -rf "$work" "$firmware"
}
trap finish EXIT

fail() {
    echo "make_screenshot.sh: $1; $picture is unchanged" >&2
    exit 1
}

# Runs the command after the message until it succeeds, for at most 20 s;
# then fails with the message.
wait_for() {
    local what=$1 deadline=$((SECONDS + 20))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || fail "$what"
        sleep 0.05
    done
}

# The id of the shown window with the title, if there is one.
shown_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}
is_shown() { [[ -n $(shown_window "$1") ]]; }
is_gone() { [[ -z $(shown_window "$1") ]]; }
has_keyboard() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }
window_manager_runs() { xdotool get_num_desktops >/dev/null 2>&1; }

# True while Tavrek has the simulated chip's line open.
holds_line() {
    local fd
    for fd in /proc/"$tavrek"/fd/*; do
        [[ $(readlink "$fd" 2>/dev/null) == "$line" ]] && return 0
    done
    return 1
}
line_closed() { ! holds_line; }

# The window as the X server holds it, into $1, frame and caption included.
photograph() {
    import -frame -window "$window" "$1"
}
copied_log() {
    timeout 5 xclip -o -selection clipboard >"$work/log.txt" 2>/dev/null && [[ -s $work/log.txt ]]
}
same_picture() {
    photograph "$work/next.png"
    compare -metric AE "$work/last.png" "$work/next.png" null: 2>/dev/null && return 0
    mv "$work/next.png" "$work/last.png"
    return 1
}

cp examples/blink.hex "$firmware/"

if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    pids+=($!)
    wait_for "openbox did not start" window_manager_runs
fi

# Its saved image appears with the first packet that reaches the chip.
"$build_dir/tavrek-sim" --save "$work/received.hex" >"$work/sim.out" &
pids+=($!)
wait_for "tavrek-sim printed no TAVREK_COM1 line" grep -q '^TAVREK_COM1=' "$work/sim.out"
line=$(sed -n 's/^TAVREK_COM1=//p' "$work/sim.out")
export TAVREK_COM1=$line

"$build_dir/tavrek" &
tavrek=$!
pids+=("$tavrek")
wait_for "Tavrek's window did not come up" is_shown Tavrek
window=$(shown_window Tavrek)

# Without a window manager no window gets the keyboard by itself, and none
# gets it back when a dialog above it closes.
xdotool windowfocus "$window"
wait_for "Tavrek's window did not take the keyboard" has_keyboard "$window"

# "..." has the focus: Return opens the file dialog, whose name field has it.
xdotool key Return
wait_for "the file dialog did not come up" is_shown "$dialog_title"
wait_for "the file dialog did not take the keyboard" has_keyboard "$(shown_window "$dialog_title")"
xdotool type --delay 20 "$firmware/blink.hex"
xdotool key Return
wait_for "the file dialog did not close on Return" is_gone "$dialog_title"

xdotool windowfocus "$window"
wait_for "Tavrek's window did not take the keyboard back" has_keyboard "$window"
xdotool key alt+w
wait_for "the Write did not start: the chip received nothing" test -s "$work/received.hex"
wait_for "the Write did not end: Tavrek kept the line open" line_closed
kill -0 "$tavrek" 2>/dev/null || fail "Tavrek ended during the Write"

# Tavrek logs the last line just after it closes the line: the picture is
# taken once two in a row agree.
photograph "$work/last.png"
wait_for "Tavrek's window did not settle" same_picture

# The log, copied as an operator would copy it, must end in "Write
# Successful!". Tab takes the focus from "..." to the log; the picture is
# already taken.
xdotool key Tab ctrl+a ctrl+c
wait_for "the log could not be copied from the window" copied_log
last=$(grep -v '^$' "$work/log.txt" | tail -n1)
[[ $last == "Write Successful!" ]] || fail "the Write ended in \"$last\""
mv "$work/last.png" "$picture"
echo "wrote $picture"
