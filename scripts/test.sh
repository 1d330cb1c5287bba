#!/usr/bin/env bash
# Builds Vividra under the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"

# Address and undefined-behaviour sanitizers: every test, the real window included.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIVIDRA_SANITIZE=address \
    -DVIVIDRA_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ctest --test-dir build/asan -j"$jobs" --timeout 600

# Thread sanitizer: every test but the real window (its X libraries are not instrumented).
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIVIDRA_SANITIZE=thread \
    -DVIVIDRA_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs"
# The randomized session test runs fewer sequences here: the sanitizer slows it tenfold.
VIVIDRA_SOAK_SEQUENCES=60 ctest --test-dir build/tsan -j"$jobs" --timeout 600 -LE 'gui|format'

# Release: the optimiser warns where the sanitizer builds do not, so the unit tests and the
# benchmarks must build here too, and the unit tests must pass on optimised code.
cmake -S . -B build/release-tests -DCMAKE_BUILD_TYPE=Release -DVIVIDRA_BUILD_TESTS=ON \
    -DVIVIDRA_BUILD_BENCH=ON >/dev/null
cmake --build build/release-tests -j"$jobs" --target vividra_tests vividra_bench
ctest --test-dir build/release-tests -j"$jobs" --timeout 600 -L unit

# Fuzzing: every parser's libFuzzer target for a few thousand inputs, under the address
# and undefined-behaviour sanitizers (`make fuzz` runs the long campaign).
scripts/fuzz.sh 3000
