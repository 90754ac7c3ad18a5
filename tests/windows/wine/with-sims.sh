#!/usr/bin/env bash
# Runs a command while simulated chips serve COM ports of the Wine prefix:
#   with-sims.sh TAVREK_SIM LINKS "11" "12 --vanish-after 1" -- COMMAND...
# Each quoted argument starts TAVREK_SIM with the options after its number,
# linked as LINKS/com<number>; they are ended when the command has run. The
# command's exit status is the script's.
set -euo pipefail
sim=$1 links=$2
shift 2
pids=()
finish() {
    [[ ${#pids[@]} -eq 0 ]] || kill "${pids[@]}" 2>/dev/null || true
    [[ ${#pids[@]} -eq 0 ]] || wait "${pids[@]}" 2>/dev/null || true
}
trap finish EXIT
while [[ $# -gt 0 && $1 != -- ]]; do
    read -r -a serving <<<"$1"
    exec {printed}< <(exec "$sim" --link "$links/com${serving[0]}" "${serving[@]:1}")
    pids+=($!)
    # It prints its terminal once the link leads there.
    read -r -u "$printed" _ || { echo "with-sims.sh: tavrek-sim did not start for COM${serving[0]}" >&2; exit 1; }
    shift
done
[[ $# -gt 1 ]] || { echo "usage: with-sims.sh TAVREK_SIM LINKS "NUMBER OPTION..."... -- COMMAND..." >&2; exit 64; }
shift
"$@"
