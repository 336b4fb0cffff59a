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

# Seconds one run of the command takes, to the microsecond.
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    local us=$(((end - start) / 1000))
    printf '%d.%06d\n' $((us / 1000000)) $((us % 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

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
t=$(median <"$work/t")
c=$(median <"$work/c")
f=$(median <"$work/f")
awk -v t="$t" -v c="$c" -v f="$f" -v runs="$runs" 'BEGIN {
    printf "60 s, 48 kHz, 4 channels, 24-bit .amb out; median of %d runs each\n", runs
    printf "  tetrafile (LF filter, matrix, post-matrix EQ)          %.3f s\n", t
    printf "  xetetra, same stages (--set 0=0)                       %.3f s\n", c
    printf "  xetetra, the calibration program with its 20 Hz high-pass %.3f s\n", f
    printf "ratio tetrafile / xetetra: %.2f (comparable), %.2f (full program); target 1.5\n", t / c, t / f
}'
