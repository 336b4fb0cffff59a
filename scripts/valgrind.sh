#!/usr/bin/env bash
# Runs the integration suite (the built plug-in, loaded with dlopen and driven through its record
# as hosts do) under Valgrind's memcheck. Any memory error, and any block definitely or
# indirectly lost, fails the run. No test of the suite needs an X server; all of them run (about a
# minute): the default filter skips none.
#
# VALGRIND_BUILD_DIR     the build whose test_integration is run (default build)
# VALGRIND_GTEST_FILTER  a gtest filter (default '*')
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VALGRIND_BUILD_DIR:-build}
filter=${VALGRIND_GTEST_FILTER:-*}
binary="$build/tests/integration/test_integration"
if [ ! -x "$binary" ]; then
    echo "valgrind.sh: $binary is not built" >&2
    exit 1
fi

log=$(mktemp "${TMPDIR:-/tmp}/xetetra_valgrind.XXXXXX")
trap 'rm -f "$log"' EXIT
status=0
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --num-callers=30 "$binary" --gtest_filter="$filter" >"$log" 2>&1 || status=$?
grep -E '^\[ *(PASSED|FAILED) *\]|ERROR SUMMARY|definitely lost|indirectly lost' "$log" || true
if [ "$status" -ne 0 ]; then
    echo "valgrind.sh: memcheck failed (exit $status); the reports:" >&2
    grep -E '^==[0-9]+==' "$log" | grep -vE '^==[0-9]+== *$' | head -n 200 >&2
    grep -E '^\[  FAILED  \]' "$log" >&2 || true
    exit 1
fi
echo "valgrind.sh: no memory error, no leak"
