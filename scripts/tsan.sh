#!/usr/bin/env bash
# Builds the library and the tests with ThreadSanitizer and runs the tests of the plan
# controller's worker threads; any report fails the run. tests/tsan.supp may silence only
# reports that lie wholly inside Qt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_TSAN_BUILD_DIR:-$root/build-tsan}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DYRDATA_SANITIZE_THREAD=ON \
    -DYRDATA_BUILD_TESTS=ON -DYRDATA_BUILD_STUDIO=OFF -DYRDATA_BUILD_TOOLS=OFF
# Only the tests of code that runs threads are built and run: the controller's two workers, the
# controller that drives them, the resource manager's hashing of local copies on all cores, and
# the network manager's disk threads (against a yrcloud of this build).
subjects=(exportprocess planpackage operatepackage operatecloud resourcequeues nettransfers)
targets=("${subjects[@]/#/tst_}" yrcloud)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
cd "$build"
# Qt is not instrumented: the memory its code reads and writes through libc (memcpy, new and
# delete, pthread_cond_destroy) is left unchecked, since the sanitizer cannot see the QMutex
# locking that orders those accesses. QtTest's watchdog thread, QThread's own wait condition
# and QFileDialog's file-information thread otherwise report races inside Qt alone. Every
# access made by our code, instrumented, is still checked.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1"
TSAN_OPTIONS+=":suppressions=$root/tests/tsan.supp"
pattern=$(IFS='|'; echo "${subjects[*]}")
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -R "^tst_($pattern)\$"
