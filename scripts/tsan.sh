#!/usr/bin/env bash
# Builds the engine, the plug-in and two tests with ThreadSanitizer in their own build directory
# and runs them: many processors built, used and destroyed at once on parallel threads, and one
# instance of the built plug-in with a control thread changing everything while its audio thread
# processes. Fails on any ThreadSanitizer report.
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
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_parallel_instances test_live_control XeTetraVST

log=$(mktemp "${TMPDIR:-/tmp}/xetetra_tsan.XXXXXX")
trap 'rm -f "$log"' EXIT
run() {
    local status=0
    # Every report fails the run; the notices the tests provoke on purpose are dropped.
    TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" "$@" >"$log" 2>&1 ||
        status=$?
    grep -v '^XeTetraVST: ' "$log" | tail -n 40
    if [ "$status" -ne 0 ] || grep -q 'WARNING: ThreadSanitizer' "$log"; then
        echo "tsan.sh: ThreadSanitizer run of $1 failed (exit $status)" >&2
        exit 1
    fi
}
run "$build/tests/rt/test_parallel_instances" --gtest_repeat=2
run "$build/tests/rt/test_live_control" --gtest_filter='LiveControl.ControlThread*'
echo "tsan.sh: no ThreadSanitizer report"
