#!/usr/bin/env bash
# Peak memory of `xetetra convert` on a 1-minute and a 60-minute recording (48 kHz, 4 channels,
# 16 bits, generated with `xetetra generate`), measured with /usr/bin/time -v (Debian package
# `time`). Converting streams, so its peak may not grow with the length of the file: the run
# fails when the 60-minute peak exceeds the 1-minute one by more than a quarter or 8 MiB.
#
#   bench/xetetra_memory.sh [BUILD_DIR]     the build holding xetetra (default build)
#
# XETETRA_MEMORY_DIR  where the recordings go (default: a fresh directory under TMPDIR); the
#                     60-minute input and output take about 3.5 GB, removed afterwards
# XETETRA_MEMORY_ARGS extra options for xetetra convert (default none: program 0, FuMa, 16 bits)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
xetetra="$build/xetetra"
if [ ! -x "$xetetra" ]; then
    echo "xetetra_memory.sh: $xetetra is not built (cmake --build $build --target xetetra)" >&2
    exit 1
fi
if [ ! -x /usr/bin/time ]; then
    echo "xetetra_memory.sh: /usr/bin/time is missing (Debian package time)" >&2
    exit 1
fi
if [ -n "${XETETRA_MEMORY_DIR:-}" ]; then
    work=$XETETRA_MEMORY_DIR
    mkdir -p "$work"
    trap 'rm -f "$work"/in_*.wav "$work"/out_*.wav "$work"/time_*.txt "$work"/log_*.txt' EXIT
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/xetetra_memory.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
read -r -a extra <<<"${XETETRA_MEMORY_ARGS:-}"

# Peak resident set in KiB and wall time of one command; its own output goes to a log.
measure() {
    local name=$1
    shift
    /usr/bin/time -v -o "$work/time_$name.txt" "$@" >"$work/log_$name.txt" 2>&1 || {
        echo "xetetra_memory.sh: '$*' failed:" >&2
        tail -n 20 "$work/log_$name.txt" >&2
        exit 1
    }
    peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time_$name.txt")
    wall=$(awk -F': ' '/Elapsed \(wall clock\) time/ {print $2}' "$work/time_$name.txt")
}

declare -A peaks
printf '%-10s %14s %18s %16s %12s\n' length input_bytes convert_peak_KiB convert_wall generate_peak_KiB
for minutes in 1 60; do
    input="$work/in_${minutes}min.wav"
    output="$work/out_${minutes}min.wav"
    measure "generate_$minutes" "$xetetra" generate --signal noise --seconds $((minutes * 60)) \
        --rate 48000 --bits 16 --force "$input"
    generatePeak=$peak
    measure "convert_$minutes" "$xetetra" convert --quiet --force ${extra[@]+"${extra[@]}"} \
        "$input" "$output"
    peaks[$minutes]=$peak
    printf '%-10s %14s %18s %16s %12s\n' "${minutes} min" "$(stat -c %s "$input")" "$peak" \
        "$wall" "$generatePeak"
    rm -f "$input" "$output"
done

limit=$((peaks[1] + peaks[1] / 4))
if [ $((peaks[1] + 8192)) -gt "$limit" ]; then limit=$((peaks[1] + 8192)); fi
if [ "${peaks[60]}" -gt "$limit" ]; then
    echo "xetetra_memory.sh: the 60-minute conversion peaked at ${peaks[60]} KiB, the 1-minute" \
        "one at ${peaks[1]} KiB: convert does not stream" >&2
    exit 1
fi
echo "xetetra_memory.sh: peak memory independent of the length (${peaks[1]} KiB vs ${peaks[60]} KiB)"
