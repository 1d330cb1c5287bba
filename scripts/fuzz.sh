#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for RUNS inputs: scripts/fuzz.sh RUNS [TARGET]...
# They are built in the address-sanitizer build that the tests use (build/asan).
# Every input must finish within a second and 512 MB. New inputs found are kept in
# build/fuzz/corpus, so a later run starts where the last one stopped; a crashing input
# is kept in build/fuzz/crashes and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3000}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(picture_reader profile_file control_values fx_arguments session_work work_file)

build=build/fuzz
asan=build/asan
scripts/configure.sh "$asan" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVIVIDRA_SANITIZE=address -DVIVIDRA_FUZZ=ON -DVIVIDRA_BUILD_BENCH=OFF
cmake --build "$asan" -j"$(nproc)" --target fuzz_seeds $(printf '%s_fuzz ' "${targets[@]}") >/dev/null

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The targets write each input to a file; memory is quicker than the disk for that.
[ -w /dev/shm ] && export TMPDIR=/dev/shm

# Whether an input that timed out finishes within the second when run again (up to three
# times, since the machine may still be busy).
fastAlone() {
    for _ in 1 2 3; do
        "$1" -timeout=1 "$2" >>"$3" 2>&1 && return 0
    done
    return 1
}

fuzz=$asan/tests/fuzz
mkdir -p "$build/crashes"
failed=0
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    log="$build/$t.log"
    : >"$log"
    executed=0 seconds=0 retries=0 verdict=""
    # The timeout is wall-clock time; on a busy machine an ordinary input can pass a second.
    # Such an input is run again alone, and only one that is slow there too counts.
    while [ -z "$verdict" ]; do
        status=0
        "$fuzz/${t}_fuzz" -runs=$((runs - executed)) -rss_limit_mb=512 -malloc_limit_mb=512 \
            -timeout=1 -seed=$((1 + retries)) -artifact_prefix="$build/crashes/$t-" \
            -print_final_stats=1 "$build/corpus/$t" "$fuzz/seeds/$t" >>"$log" 2>&1 || status=$?
        done_now=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        executed=$((executed + ${done_now:-0}))
        seconds=$((seconds + $(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" |
            tail -1 | grep . || echo 0)))
        slow=$(sed -n 's/.*Test unit written to \(.*timeout-.*\)$/\1/p' "$log" | tail -1)
        if [ "$status" -eq 0 ] || [ "$executed" -ge "$runs" ]; then
            verdict=ok
        elif [ -n "$slow" ] && [ "$retries" -lt 40 ] && fastAlone "$fuzz/${t}_fuzz" "$slow" "$log"; then
            echo "fuzz $t: $(basename "$slow") passed a second only under load; going on" >>"$log"
            rm -f "$slow"
            retries=$((retries + 1))
        else
            verdict=crash
        fi
    done
    if [ "$verdict" = ok ]; then
        echo "fuzz $t: $executed executions in $seconds s, 0 crashes"
    else
        failed=1
        echo "fuzz $t: FAILED after $executed executions, 1 crash; log: $log"
        grep -E "^==[0-9]+==ERROR|SUMMARY|check failed|Test unit written" "$log" | tail -4
    fi
done
exit $failed
