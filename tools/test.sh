#!/usr/bin/env bash
# Sets up, builds and runs every test: a Release build, a build with AddressSanitizer
# and UndefinedBehaviorSanitizer, the scan core's thread tests under ThreadSanitizer,
# and each fuzz target for a short while on its seed corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/deps.sh"

status=0
passed=0
failed=0
run_suite() {
    local dir=$1
    shift
    echo "=== $dir ==="
    local log
    log=$(mktemp)
    local rc=0
    (cd "$here/$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@") >"$log" 2>&1 || rc=$?
    cat "$log"
    [ "$rc" -eq 0 ] || status=1
    # "N% tests passed, F tests failed out of T"
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$line" ]; then
        local f t
        f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + t - f))
        failed=$((failed + f))
    else
        status=1
    fi
    rm -f "$log"
}

# The main tree is a Release build: the one standard build type with the most optimiser
# warnings is built at every run (the sanitizer trees are Debug).
"$here/tools/build.sh" build -DCMAKE_BUILD_TYPE=Release -DVELTRAN_BENCH=ON
run_suite build

"$here/tools/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug "-DVELTRAN_SANITIZE=address;undefined" -DVELTRAN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$here/tests/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_suite build-asan

"$here/tools/build.sh" build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELTRAN_SANITIZE=thread -DVELTRAN_GUI=OFF -DVELTRAN_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/tests/tsan.supp" run_suite build-tsan -L thread --no-tests=error

# Each fuzz target counts as one test: 30 s from its committed seeds, any crash fails it.
# New inputs go to a scratch folder, so the committed corpus stays as it is.
run_fuzzer() {
    local target=$1 seeds=$2
    local scratch
    scratch=$(mktemp -d)
    mkdir "$scratch/corpus"
    if (cd "$scratch" && "$here/build-fuzz/bin/$target" -max_total_time=30 -print_final_stats=1 \
        "$scratch/corpus" "$seeds") >"$scratch/log" 2>&1; then
        echo "$target: passed, $(sed -nE 's/^stat::number_of_executed_units: *//p' "$scratch/log") runs"
        passed=$((passed + 1))
        rm -rf "$scratch"
    else
        cat "$scratch/log"
        echo "$target: FAILED; the input that broke it is in $scratch"
        failed=$((failed + 1))
        status=1
    fi
}
if command -v clang++ >/dev/null; then
    "$here/tools/build.sh" build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELTRAN_FUZZ=ON \
        -DVELTRAN_GUI=OFF -DVELTRAN_BENCH=OFF
    echo "=== build-fuzz ==="
    for seeds in "$here"/fuzz/corpus/*/; do
        run_fuzzer "$(basename "$seeds")" "$seeds"
    done
else
    echo "clang++ not found, so the fuzz targets were not run: tools/deps.sh installs it" >&2
    status=1
fi

echo "Total: $passed passed, $failed failed"
exit $status
