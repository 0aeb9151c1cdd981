#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) in build-fuzz/, runs each
# for SECONDS (default 60), one at a time and at the lowest priority, then merges what it
# found into the kept corpus, tests/fuzz/corpus/<target>/, which the test command replays.
# An input that breaks a target is left in build-fuzz/fuzz/<target>/ and named at the end.
#
#   scripts/fuzz.sh [--runs N] [SECONDS] [TARGET...]     (--runs: stop a target after N inputs)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests

limit=()
if [ "${1:-}" = --runs ]; then limit=(-runs="$2"); shift 2; fi
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ini_store board_file command_line item_names text property_bag expert_adapter)

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=fuzzer -DQX_ALL_PARTS=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_targets

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
broken=()
for target in "${targets[@]}"; do
    program=$build/tests/fuzz/fuzz_$target
    kept=tests/fuzz/corpus/$target
    work=$build/fuzz/$target
    rm -rf "$work/new" && mkdir -p "$work/new" "$kept"
    echo "== $target: ${seconds}s ${limit[*]}"
    # New inputs go to the first directory; the kept corpus seeds the run.
    # The sanitizers keep a few KB for every thread ever started, and the adapter target starts
    # workers on every run: the RSS limit is for that; one allocation is still held to 2 GB.
    if ! nice -n 19 "$program" -max_total_time="$seconds" "${limit[@]}" -max_len=4096 \
            -rss_limit_mb=12288 -malloc_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$work/" "$work/new" "$kept" >"$work/log" 2>&1; then
        broken+=("$target")
        grep -E 'property violated|ERROR|SUMMARY|Test unit written' "$work/log" | head -20 || true
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$work/log" | tail -1)
    before=$(ls "$kept" | wc -l)
    # Named inputs (seed-*, and regress-* for the faults found) stay; with them, the smallest
    # set of old and new inputs that keeps every feature replaces the rest of the corpus.
    rm -rf "$work/kept" && mkdir "$work/kept"
    find "$kept" -type f \( -name 'seed-*' -o -name 'regress-*' \) -exec cp {} "$work/kept"/ \;
    nice -n 19 "$program" -set_cover_merge=1 "$work/kept" "$kept" "$work/new" >"$work/merge.log" 2>&1
    find "$kept" -type f ! -name 'seed-*' ! -name 'regress-*' -delete
    find "$work/kept" -type f ! -name 'seed-*' ! -name 'regress-*' -exec mv {} "$kept"/ \;
    echo "$target: ${runs:-?} executions, ${coverage:-no coverage line}, corpus $before -> $(ls "$kept" | wc -l) files"
done

if [ ${#broken[@]} -gt 0 ]; then
    echo "broken: ${broken[*]} (inputs and logs in $build/fuzz/<target>/)" >&2
    exit 1
fi
