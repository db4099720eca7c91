#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs them, several at once.
# Fails, naming the target and its crash file, when any target finds a
# crash, a leak, undefined behaviour or a broken check.
#
#   bash tests/fuzz/run_fuzz.sh [target ...]
#       The test command's step: each target replays its checked-in corpus
#       (tests/fuzz/corpus/<target>/, the inputs of earlier finds included),
#       then explores for a fixed number of runs (tests/fuzz/CMakeLists.txt)
#       from a fixed seed. The same commit gives the same result.
#   bash tests/fuzz/run_fuzz.sh --explore [seconds] [target ...]
#       Exploration: a random seed and a time budget per target (default
#       600 s). Fix what it finds and add the input to the target's corpus.
#
#   TERVAL_FUZZ_SEED      seed of the test command's step (default 1)
#   TERVAL_FUZZ_PARALLEL  targets run at once (default: the number of cores)
#   TERVAL_FUZZ_JOBS      build jobs (default: the number of cores)
#   TERVAL_FUZZ_BUILD     build folder (default: build-fuzz in the checkout)
#
# What a run adds goes to <build folder>/fuzz-run/<target>/corpus, next to
# its log and crash files; the checked-in corpus is only read.
set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${TERVAL_FUZZ_BUILD:-$TOP/build-fuzz}
SEED=${TERVAL_FUZZ_SEED:-1}
PARALLEL=${TERVAL_FUZZ_PARALLEL:-$(nproc)}
JOBS=${TERVAL_FUZZ_JOBS:-$(nproc)}
started=$(date +%s)

explore=0
explore_seconds=600
if [ "${1:-}" = --explore ]; then
    explore=1
    shift
    if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
        explore_seconds=$1
        shift
    fi
fi

cc=""
for candidate in clang-14 clang; do
    if command -v "$candidate" >/dev/null && command -v "${candidate/clang/clang++}" >/dev/null; then
        cc=$candidate
        break
    fi
done
if [ -z "$cc" ]; then
    echo "run_fuzz.sh: no clang found (Debian packages clang-14 and libclang-rt-14-dev)" >&2
    exit 1
fi

echo "== fuzz: building the targets in $BUILD with $cc"
mkdir -p "$BUILD"
CC=$cc CXX=${cc/clang/clang++} cmake -S "$TOP" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTERVAL_FUZZ=ON -DTERVAL_BUILD_TESTS=OFF -DTERVAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target terval_fuzzers -j "$JOBS" >"$BUILD/fuzz-build.log" 2>&1 || {
    tail -n 60 "$BUILD/fuzz-build.log" >&2
    echo "run_fuzz.sh: building the fuzz targets failed (log: $BUILD/fuzz-build.log)" >&2
    exit 1
}
built=$(date +%s)

# targets.txt: one line per target, "<name> <runs>".
declare -A runs_of
all=()
while read -r name runs; do
    [ -n "$name" ] || continue
    all+=("$name")
    runs_of[$name]=$runs
done <"$BUILD/fuzz/targets.txt"
if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=("${all[@]}")
fi

# Coverage is counted by code address; the test command's step runs without
# address space randomisation, where the machine allows, so that every run
# lays the program out alike.
fixed_layout=()
if [ "$explore" = 0 ]; then
    if setarch "$(uname -m)" -R true 2>/dev/null; then
        fixed_layout=(setarch "$(uname -m)" -R)
    else
        echo "run_fuzz.sh: cannot turn off address space randomisation; runs may differ" >&2
    fi
fi

RUN="$BUILD/fuzz-run"
rm -rf "$RUN"
mkdir -p "$RUN"

run_target() {
    local name=$1 dir="$RUN/$1" rc=0 budget
    mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/scratch"
    if [ "$explore" = 1 ]; then
        budget=(-max_total_time="$explore_seconds")
    else
        # What would make two runs differ: rereading the run's own corpus
        # folder once a second (when depends on the machine's speed);
        # mutations built from the values the code compared, clock readings
        # and addresses among them; and the leak check after each input,
        # which runs the input again whenever a worker thread's frees lag
        # behind. Leaks are still reported, once, when the run ends.
        budget=(-seed="$SEED" -runs="${runs_of[$name]}" -reload=0 -use_cmp=0 -use_memmem=0 -detect_leaks=0)
    fi
    # New inputs go to the first corpus folder; the seeds are only read. A
    # smaller quarantine than the default 256 MB keeps Qt's many small
    # allocations from faulting in fresh pages all the time (four times the
    # inputs per second) and still catches a use of anything freed lately.
    # A fixed hash seed keeps Qt's hash order, and so the coverage each
    # input reaches, the same from run to run.
    QT_HASH_SEED=0 \
        TERVAL_FUZZ_SCRATCH="$dir/scratch" \
        ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=64" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "${fixed_layout[@]}" "$BUILD/fuzz/fuzz_$name" "${budget[@]}" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        "$dir/corpus" "$TOP/tests/fuzz/corpus/$name" >"$dir/log" 2>&1 || rc=$?
    echo "$rc" >"$dir/rc"
}

if [ "$explore" = 1 ]; then
    echo "== fuzz: exploring ${#targets[@]} targets, random seeds, ${explore_seconds} s each, $PARALLEL at once"
else
    echo "== fuzz: ${#targets[@]} targets: their corpus, then a fixed number of runs from seed $SEED, $PARALLEL at once"
fi
for name in "${targets[@]}"; do
    if [ ! -x "$BUILD/fuzz/fuzz_$name" ] || [ -z "${runs_of[$name]:-}" ]; then
        echo "run_fuzz.sh: no fuzz target $name" >&2
        exit 1
    fi
    while [ "$(jobs -rp | wc -l)" -ge "$PARALLEL" ]; do
        wait -n || true
    done
    run_target "$name" &
done
wait

failed=()
for name in "${targets[@]}"; do
    dir="$RUN/$name"
    rc=$(cat "$dir/rc" 2>/dev/null || echo 1)
    ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    added=$(sed -n 's/^stat::new_units_added: *//p' "$dir/log" | tail -n 1)
    seeds=$(find "$TOP/tests/fuzz/corpus/$name" -type f | wc -l)
    seed_used=$(sed -n 's/^INFO: Seed: *//p' "$dir/log" | head -n 1)
    if [ "$rc" = 0 ]; then
        printf '   fuzz_%-20s ok: %s corpus inputs, %s inputs run, %s new (seed %s)\n' \
            "$name" "$seeds" "${ran:-?}" "${added:-?}" "${seed_used:-?}"
        continue
    fi
    failed+=("$name")
    crash=$(find "$dir/artifacts" -type f | head -n 1)
    echo "FUZZ FAILURE: fuzz_$name (exit $rc, seed ${seed_used:-?}), crash file: ${crash:-none}" >&2
    tail -n 50 "$dir/log" >&2
    if [ -n "$crash" ]; then
        echo "   reproduce: $BUILD/fuzz/fuzz_$name $crash" >&2
        echo "   once fixed, keep it as a seed: cp $crash $TOP/tests/fuzz/corpus/$name/" >&2
    fi
done

ended=$(date +%s)
echo "== fuzz: build $((built - started)) s, runs $((ended - built)) s, total $((ended - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "run_fuzz.sh: failing targets: ${failed[*]}" >&2
    exit 1
fi
