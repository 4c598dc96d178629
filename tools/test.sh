#!/usr/bin/env bash
# Sets up, builds and runs every test: a release build, a build with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the scan core's thread tests under ThreadSanitizer.
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

"$here/tools/build.sh" build -DVELTRAN_BENCH=ON
run_suite build

"$here/tools/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug "-DVELTRAN_SANITIZE=address;undefined" -DVELTRAN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$here/tests/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_suite build-asan

"$here/tools/build.sh" build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELTRAN_SANITIZE=thread -DVELTRAN_GUI=OFF -DVELTRAN_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/tests/tsan.supp" run_suite build-tsan -L thread --no-tests=error

echo "Total: $passed passed, $failed failed"
exit $status
