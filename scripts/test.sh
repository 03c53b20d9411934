#!/usr/bin/env bash
# Installs what is missing, builds YRData with its tests, and runs the whole test suite. The
# studio's tests run in the real browser engine under xvfb-run -a (their CTest command).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh" --studio
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYRDATA_BUILD_TESTS=ON
cmake --build "$build" -j"$(nproc)"
cd "$build"
# The cloud's tests run on SQLite and on a throw-away PostgreSQL cluster.
QT_QPA_PLATFORM=offscreen bash "$root/scripts/with-postgres.sh" . ctest --output-on-failure
