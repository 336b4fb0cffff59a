#!/usr/bin/env bash
# Builds the engine and the parallel-instances test with ThreadSanitizer in their own build
# directory and runs the test: many processors built, used and destroyed at once on parallel
# threads. Fails on any ThreadSanitizer report.
#
# TSAN_BUILD_DIR  build directory (default build-tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${TSAN_BUILD_DIR:-build-tsan}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXETETRA_SANITIZE=OFF \
    -DXETETRA_BENCH=OFF -DXETETRA_FUZZ=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_parallel_instances

binary="$build/tests/rt/test_parallel_instances"
log=$(mktemp "${TMPDIR:-/tmp}/xetetra_tsan.XXXXXX")
trap 'rm -f "$log"' EXIT
status=0
# Every report fails the run; the notices the test provokes on purpose are dropped from the log.
TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" \
    "$binary" --gtest_repeat=2 >"$log" 2>&1 || status=$?
grep -v '^XeTetraVST: ' "$log" | tail -n 40
if [ "$status" -ne 0 ] || grep -q 'WARNING: ThreadSanitizer' "$log"; then
    echo "tsan.sh: ThreadSanitizer run failed (exit $status)" >&2
    exit 1
fi
echo "tsan.sh: no ThreadSanitizer report"
