#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a bounded
# time, several at once. Fails, naming the target and its crash file, when
# any target finds a crash, a leak, undefined behaviour or a broken check.
#
#   bash tests/fuzz/run_fuzz.sh [target ...]     (default: every target)
#
#   TERVAL_FUZZ_SECONDS   time per target (default 30)
#   TERVAL_FUZZ_PARALLEL  targets run at once (default: the number of cores)
#   TERVAL_FUZZ_JOBS      build jobs (default: the number of cores)
#   TERVAL_FUZZ_BUILD     build folder (default: build-fuzz in the checkout)
#
# Seeds are read from tests/fuzz/corpus/<target>/; what a run adds goes to
# <build folder>/fuzz-run/<target>/corpus, next to its log and crash files.
set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${TERVAL_FUZZ_BUILD:-$TOP/build-fuzz}
SECONDS_EACH=${TERVAL_FUZZ_SECONDS:-30}
PARALLEL=${TERVAL_FUZZ_PARALLEL:-$(nproc)}
JOBS=${TERVAL_FUZZ_JOBS:-$(nproc)}
started=$(date +%s)

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
CC=$cc CXX=${cc/clang/clang++} cmake -S "$TOP" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTERVAL_FUZZ=ON -DTERVAL_BUILD_TESTS=OFF -DTERVAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target terval_fuzzers -j "$JOBS" >"$BUILD/fuzz-build.log" 2>&1 || {
    tail -n 60 "$BUILD/fuzz-build.log" >&2
    echo "run_fuzz.sh: building the fuzz targets failed (log: $BUILD/fuzz-build.log)" >&2
    exit 1
}
built=$(date +%s)

if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(grep -v '^$' "$BUILD/fuzz/targets.txt")
fi

RUN="$BUILD/fuzz-run"
rm -rf "$RUN"
mkdir -p "$RUN"

run_target() {
    local name=$1 dir="$RUN/$1" rc=0
    mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/scratch"
    # New inputs go to the first corpus folder (scratch); the seeds are only
    # read. A smaller quarantine than the default 256 MB keeps Qt's many small
    # allocations from faulting in fresh pages all the time (four times the
    # inputs per second) and still catches a use of anything freed lately.
    TERVAL_FUZZ_SCRATCH="$dir/scratch" \
        ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=64" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$BUILD/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        "$dir/corpus" "$TOP/tests/fuzz/corpus/$name" >"$dir/log" 2>&1 || rc=$?
    echo "$rc" >"$dir/rc"
}

echo "== fuzz: ${#targets[@]} targets, ${SECONDS_EACH} s each, $PARALLEL at once"
for name in "${targets[@]}"; do
    if [ ! -x "$BUILD/fuzz/fuzz_$name" ]; then
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
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    added=$(sed -n 's/^stat::new_units_added: *//p' "$dir/log" | tail -n 1)
    if [ "$rc" = 0 ]; then
        printf '   fuzz_%-20s ok: %s inputs run, %s new\n' "$name" "${runs:-?}" "${added:-?}"
        continue
    fi
    failed+=("$name")
    crash=$(find "$dir/artifacts" -type f | head -n 1)
    echo "FUZZ FAILURE: fuzz_$name (exit $rc), crash file: ${crash:-none}" >&2
    tail -n 50 "$dir/log" >&2
    [ -n "$crash" ] && echo "   reproduce: $BUILD/fuzz/fuzz_$name $crash" >&2
done

ended=$(date +%s)
echo "== fuzz: build $((built - started)) s, runs $((ended - built)) s, total $((ended - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "run_fuzz.sh: failing targets: ${failed[*]}" >&2
    exit 1
fi
