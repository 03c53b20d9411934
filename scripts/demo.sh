#!/usr/bin/env bash
# Installs what is missing, builds the library and yrplan, and runs `yrplan demo`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target yrplan
"$build/tools/yrplan" demo
