#!/usr/bin/env bash
# Builds and runs every test twice: a normal build and an AddressSanitizer +
# UndefinedBehaviorSanitizer build; the concurrency tests also under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
run() {  # name, ctest args, cmake args...
    local dir=build-$1 ctestargs=$2; shift 2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" $ctestargs)
}

run release ""
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run asan "" -DQX_SANITIZE=address
TSAN_OPTIONS=halt_on_error=1 run tsan "-L concurrency" -DQX_SANITIZE=thread
