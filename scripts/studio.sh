#!/usr/bin/env bash
# Installs what is missing, builds yrstudio, and starts it on the demonstration plan. Extra
# arguments go to yrstudio (for instance --cloud URL --token TOKEN).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh" --studio
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target yrstudio
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "studio.sh: yrstudio needs a display (or: xvfb-run -a bash scripts/studio.sh)" >&2
    exit 1
fi
# The browser engine will not start its sandbox as root; running without it is the caller's
# choice, never made here.
if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_DISABLE_SANDBOX:-}" ]; then
    echo "studio.sh: as root the browser engine cannot use its sandbox. Start it as another" \
         "user, or without the sandbox: QTWEBENGINE_DISABLE_SANDBOX=1 bash scripts/studio.sh" >&2
    exit 1
fi
exec "$build/studio/yrstudio" --demo "$@"
