#!/usr/bin/env bash
# Builds Vividra under the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
# Many tests wait on a display or on their own workers, so twice as many run as there are cores.
tests=$((jobs * 2))
export CTEST_OUTPUT_ON_FAILURE=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
stage() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

# Address and undefined-behaviour sanitizers with clang: every test, the real window
# included. The fuzz targets come from the same build.
stage "address and undefined-behaviour sanitizers"
scripts/configure.sh build/asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVIVIDRA_SANITIZE=address -DVIVIDRA_FUZZ=ON -DVIVIDRA_BUILD_BENCH=OFF -DVIVIDRA_SOAK_SEQUENCES=200
cmake --build build/asan -j"$jobs"

# Thread sanitizer with clang: every test but the real window (its X libraries are not
# instrumented). Release with GCC: its optimiser warns where clang does not, so the unit tests
# and the benchmarks must build here too, and the unit tests must pass on optimised code; the
# same build makes the Debian package.
scripts/configure.sh build/tsan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVIVIDRA_SANITIZE=thread -DVIVIDRA_BUILD_BENCH=OFF -DVIVIDRA_SOAK_SEQUENCES=60
scripts/configure.sh build/release-tests -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DVIVIDRA_BUILD_TESTS=ON -DVIVIDRA_BUILD_BENCH=ON
# Those two builds run at the lowest priority beside the tests and the fuzzing below, which
# leave a core or more idle while the real window waits and each fuzzer runs on one core.
log=build/background-builds.log
built=build/tsan-built failed=build/builds-failed
rm -f "$built" "$failed"
setsid bash -c "{ nice -n 19 cmake --build build/tsan -j$jobs && touch $built &&
    nice -n 19 cmake --build build/release-tests -j$jobs --target vividra_tests vividra_bench \
        vividra impatient_user_qtest; } || { touch $failed; exit 1; }" >"$log" 2>&1 &
builds=$!
trap 'kill -- -$builds 2>/dev/null || true' EXIT
failedBuild() { tail -n 40 "$log"; echo "the thread-sanitizer or release build failed"; exit 1; }

ctest --test-dir build/asan -j"$tests" --timeout 600

# Fuzzing: every parser's libFuzzer target for a few thousand inputs (`make fuzz` runs the
# long campaign).
stage "fuzzing"
scripts/fuzz.sh 3000

# Its tests run while the release build goes on.
stage "thread sanitizer"
while [ ! -e "$built" ]; do
    [ -e "$failed" ] && failedBuild
    sleep 1
done
ctest --test-dir build/tsan -j"$tests" --timeout 600 -LE 'gui|format'

stage "release"
wait "$builds" || failedBuild
ctest --test-dir build/release-tests -j"$jobs" --timeout 600 -L unit
# The randomized session test runs ten times faster here than under the address sanitizer:
# its full count of sequences runs here, half of them there.
ctest --test-dir build/release-tests -j"$jobs" --timeout 600 -R '^impatient_user_'

# The package is installed, started from its desktop entry under Xvfb and removed again.
stage "package"
(cd build/release-tests && cpack -G DEB >/dev/null)
scripts/check-package.sh build/release-tests/vividra_*_amd64.deb
stage "done"
