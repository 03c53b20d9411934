#!/usr/bin/env bash
# Builds the library and the tests with AddressSanitizer + UndefinedBehaviorSanitizer (leak
# checking included) and runs the test suite; any report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_ASAN_BUILD_DIR:-$root/build-asan}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DYRDATA_SANITIZE=ON -DYRDATA_BUILD_TESTS=ON \
    -DYRDATA_BUILD_STUDIO=OFF
cmake --build "$build" -j"$(nproc)"
cd "$build"
# Full unwinding, so that the suppressions can name Qt frames.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The load test (label load) measures the server, not the sanitizers' bookkeeping.
QT_QPA_PLATFORM=offscreen bash "$root/scripts/with-postgres.sh" . ctest --output-on-failure -LE load
