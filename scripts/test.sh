#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs every test twice: a normal build and an AddressSanitizer +
# UndefinedBehaviorSanitizer build; the concurrency tests also under ThreadSanitizer. Every
# build treats warnings as errors, and the whole tree is built once more with clang (not run:
# the two runs above test the code, this keeps it clean under both compilers).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests

jobs=$(nproc)
run() {  # name, build target, ctest args ("none": build only), cmake args...
    local name=$1 target=$2 ctestargs=$3; shift 3
    local dir=build-$name
    echo "== $name build"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_WERROR=ON -DQX_ALL_PARTS=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs" --target "$target"
    [ "$ctestargs" = none ] || (cd "$dir" && ctest --output-on-failure -j "$jobs" $ctestargs)
}

run release all ""
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run asan all "" -DQX_SANITIZE=address
TSAN_OPTIONS=halt_on_error=1 run tsan concurrency_tests "-L concurrency" -DQX_SANITIZE=thread
run clang all none -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
