#!/usr/bin/env bash
# The native test suite under AddressSanitizer with UndefinedBehaviorSanitizer (unit and
# integration tests: the integration tests run the instrumented kalmo), and the threaded tests
# under ThreadSanitizer. Any report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
status=0

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

printf '\n=== AddressSanitizer + UndefinedBehaviorSanitizer\n'
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DKALMO_SANITIZE=address >/dev/null
cmake --build build/asan -j "$jobs"
(cd build/asan && ctest --output-on-failure -j "$jobs") || status=1

printf '\n=== ThreadSanitizer (threaded tests)\n'
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DKALMO_SANITIZE=thread >/dev/null
cmake --build build/tsan -j "$jobs"
# The threaded tests carry the label "threads" (the list THREADED_TESTS in tests/CMakeLists.txt).
(cd build/tsan && ctest --output-on-failure -j "$jobs" -L threads) || status=1

exit $status
