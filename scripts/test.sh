#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite twice: normally and under
# AddressSanitizer + UndefinedBehaviorSanitizer; then the integration suite under Valgrind, the
# parallel-instances test under ThreadSanitizer and every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
# The integration suite under Valgrind's memcheck: no error, no leak.
VALGRIND_BUILD_DIR=build scripts/valgrind.sh

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DXETETRA_SANITIZE=ON -DXETETRA_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"

# Many instances at once on parallel threads under ThreadSanitizer (engine and test only).
scripts/tsan.sh

# Every fuzz target for a bounded time, seeded from tests/fixtures.
FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/fuzz.sh
