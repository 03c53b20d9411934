#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) and runs each for
# the given number of seconds (default 60) from its seed corpus. A crash, leak, hang or a
# broken path property fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${YRDATA_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}

bash "$root/scripts/install-deps.sh" --fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DYRDATA_BUILD_FUZZ=ON -DYRDATA_BUILD_TESTS=OFF -DYRDATA_BUILD_TOOLS=OFF
cmake --build "$build" -j"$(nproc)"

# Full unwinding: Qt has no frame pointers, and the suppression must see the Qt frame by name.
export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$root/fuzz/lsan.supp
for target in fuzz_setjson fuzz_appendnode fuzz_package; do
    corpus="$build/corpus-$target"
    mkdir -p "$corpus"
    cp -n "$root/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
    echo "fuzz.sh: running $target for ${seconds}s"
    QT_QPA_PLATFORM=offscreen "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 "$corpus"
done
