#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, and runs each for a bounded time, seeded from
# tests/fixtures. Fails on any crash, leak, time-out or sanitizer report.
#
#   scripts/fuzz.sh                      every tests/fuzz/fuzz_*.cpp target
#   scripts/fuzz.sh fuzz_osc_file ...    the named targets
#
# FUZZ_SECONDS   seconds per target (default 60)
# FUZZ_MAX_LEN   longest input tried, in bytes (default 8192)
# FUZZ_BUILD_DIR build directory (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-60}
max_len=${FUZZ_MAX_LEN:-8192}
build=${FUZZ_BUILD_DIR:-build-fuzz}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for source in tests/fuzz/fuzz_*.cpp; do
        [ -e "$source" ] || continue
        name=$(basename "$source" .cpp)
        targets+=("$name")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz.sh: no fuzz targets in tests/fuzz" >&2
    exit 1
fi
for target in "${targets[@]}"; do
    if [ ! -f "tests/fuzz/$target.cpp" ]; then
        echo "fuzz.sh: no such target: tests/fuzz/$target.cpp" >&2
        exit 1
    fi
done

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DXETETRA_FUZZ=ON -DXETETRA_TESTS=OFF -DXETETRA_BENCH=OFF -DXETETRA_SANITIZE=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/xetetra_fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

failed=()
for target in "${targets[@]}"; do
    binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
    if [ -z "$binary" ]; then
        echo "fuzz.sh: $target was not built" >&2
        exit 1
    fi
    # A fresh corpus of every fixture, so runs never write into the source tree.
    corpus="$work/$target/corpus"
    artifacts="$work/$target/artifacts"
    mkdir -p "$corpus" "$artifacts"
    find tests/fixtures -type f -exec cp -t "$corpus" {} +
    options=(-max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048
             -print_final_stats=1 -artifact_prefix="$artifacts/")
    if [ -f "tests/fuzz/$target.dict" ]; then options+=(-dict="tests/fuzz/$target.dict"); fi

    echo "== $target: ${seconds} s, seeds: $(find "$corpus" -type f | wc -l)"
    log="$work/$target/log"
    status=0
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:allocator_may_return_null=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$binary" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
        echo "== $target FAILED (exit $status); the end of its log:" >&2
        tail -n 60 "$log" >&2
        for artifact in "$artifacts"/*; do
            [ -e "$artifact" ] || continue
            keep="$build/$(basename "$artifact")-$target"
            cp "$artifact" "$keep"
            echo "== input that failed: $keep" >&2
        done
        failed+=("$target")
    else
        echo "== $target passed"
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz.sh: ${#targets[@]} passed, 0 failed"
