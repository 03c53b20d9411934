#!/usr/bin/env bash
# Installs what is missing, builds the library, yrplan and yrcloud, and runs `yrplan demo`, then
# the signed-in road against a yrcloud of its own: `yrplan demo --cloud`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target yrplan yrcloud
"$build/tools/yrplan" demo
"$build/tools/yrplan" demo --cloud
