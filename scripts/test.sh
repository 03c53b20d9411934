#!/usr/bin/env bash
# Installs what is missing, builds YRData with its tests, and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYRDATA_BUILD_TESTS=ON
cmake --build "$build" -j"$(nproc)"
cd "$build"
# The cloud's tests run on SQLite and on a throw-away PostgreSQL cluster.
QT_QPA_PLATFORM=offscreen bash "$root/scripts/with-postgres.sh" . ctest --output-on-failure
