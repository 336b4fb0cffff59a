#!/usr/bin/env bash
# Times `xetetra convert` against tetrafile (Debian tetraproc) on the same 60-second, 48 kHz,
# 4-channel recording with the same tetraproc calibration, several runs each (taken in turns, so
# that a busy machine slows both alike), and prints the medians and their ratio.
#
# The comparable configuration: tests/fixtures/mic1234.tetra enables tetraproc's low-frequency
# filter, the matrix and the post-matrix equaliser. xetetra runs the program the plug-in makes of
# it with the same three stages (the LF filter becomes the capsule equaliser) and without the
# plug-in's own 20 Hz high-pass, which tetrafile has no part of; both write 24-bit .amb files.
# The calibration's full program, high-pass included, is timed as well.
#
# Usage: bench/compare_tetrafile.sh [XETETRA [RUNS]]   (defaults: build/xetetra, 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
xetetra=${1:-$root/build/xetetra}
runs=${2:-9}
tetrafile=$(command -v tetrafile) || {
    echo "tetrafile not found: install the tetraproc package (scripts/install-deps.sh)" >&2
    exit 1
}
[ -x "$xetetra" ] || { echo "$xetetra not found: build the xetetra target" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/calibrations"
cp "$root/tests/fixtures/mic1234.tetra" "$work/calibrations/"
"$xetetra" generate --signal noise --seconds 60 --rate 48000 --bits 24 --level -6 \
    "$work/recording.wav" >/dev/null

run_tetrafile() {
    "$tetrafile" --amb --24bit "$work/calibrations/mic1234.tetra" "$work/recording.wav" \
        "$work/tetrafile.amb"
}
run_xetetra() {
    "$xetetra" convert --quiet --force --calibrations "$work/calibrations" --program mic1234 \
        --type amb --bits 24 "$@" "$work/recording.wav" "$work/xetetra.amb"
}
comparable() { run_xetetra --set 0=0; }
full() { run_xetetra; }

# Wall-clock and processor seconds (user + system, all threads) of one run of the command.
TIMEFORMAT='%3R %3U %3S'
seconds() {
    local times
    times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$times"
}
median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# One untimed run each fills the page cache and checks that both work.
run_tetrafile >/dev/null
comparable >/dev/null
full >/dev/null

: >"$work/t" && : >"$work/c" && : >"$work/f"
for _ in $(seq "$runs"); do
    seconds run_tetrafile >>"$work/t"
    seconds comparable >>"$work/c"
    seconds full >>"$work/f"
done
wall() { awk '{ print $1 }' "$work/$1" | median; }
cpu() { awk '{ print $2 }' "$work/$1" | median; }
awk -v t="$(wall t)" -v c="$(wall c)" -v f="$(wall f)" -v tc="$(cpu t)" -v cc="$(cpu c)" \
    -v fc="$(cpu f)" -v runs="$runs" 'BEGIN {
    printf "60 s, 48 kHz, 4 channels, 24-bit .amb out; medians of %d runs each\n", runs
    printf "%-58s %8s %8s\n", "", "wall s", "CPU s"
    printf "%-58s %8.3f %8.3f\n", "tetrafile (LF filter, matrix, post-matrix EQ)", t, tc
    printf "%-58s %8.3f %8.3f\n", "xetetra, the same stages (--set 0=0)", c, cc
    printf "%-58s %8.3f %8.3f\n", "xetetra, the calibration program (with its 20 Hz high-pass)", f, fc
    printf "wall-clock ratio tetrafile / xetetra: %.2f (same stages), %.2f (whole program); targets 2.5 and 2\n", t / c, t / f
}'
