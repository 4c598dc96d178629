#!/usr/bin/env bash
# Sets up, builds and runs every test: a release build, a build with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the scan core's thread tests under ThreadSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/deps.sh"

status=0
run_suite() {
    local dir=$1
    shift
    echo "=== $dir ==="
    (cd "$here/$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@") || status=1
}

"$here/tools/build.sh" build -DVELTRAN_BENCH=ON
run_suite build

"$here/tools/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug "-DVELTRAN_SANITIZE=address;undefined" -DVELTRAN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_suite build-asan

"$here/tools/build.sh" build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELTRAN_SANITIZE=thread -DVELTRAN_GUI=OFF -DVELTRAN_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/tests/tsan.supp" run_suite build-tsan -L thread --no-tests=error

exit $status
