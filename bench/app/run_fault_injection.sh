#!/bin/bash
# The whole application under injected faults for 10 minutes: the fault
# injection test (tests/app/tst_faultinjection.cpp, about 60 s in the test
# suite) run longer. It prints the seed, one line per fault with how long the
# stream paused and when a clean second of stream came back, and the figures:
# samples sent while the line was up, destroyed by the faults, handed on
# while recording was off, recorded, held in the processing at the end; the
# program's own frame-error counts from its log; the time line of the files;
# the longest pauses of the GUI and worker threads.
#
#   bench/app/run_fault_injection.sh [seconds] [path/to/tst_faultinjection]
#
# seconds defaults to 600. TERVAL_FAULT_SEED picks another random seed (the
# test prints the one it used). Without a path the test program is looked up
# in $TERVAL_BUILD_DIR/tests/app or build/tests/app under the source tree.
# The full output, the program's debug stream included, is kept in
# fault_injection.log in the current folder.
set -euo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
seconds="${1:-600}"
exe="${2:-}"
if [[ -z "$exe" ]]; then
  for dir in "${TERVAL_BUILD_DIR:-}" "$top/build"; do
    if [[ -n "$dir" && -x "$dir/tests/app/tst_faultinjection" ]]; then
      exe="$dir/tests/app/tst_faultinjection"
      break
    fi
  done
fi
if [[ -z "$exe" || ! -x "$exe" ]]; then
  echo "tst_faultinjection not found; pass its path or set TERVAL_BUILD_DIR" >&2
  exit 2
fi
build="$(cd "$(dirname "$exe")/../.." && pwd)"
log="$PWD/fault_injection.log"

echo "fault injection: ${seconds} s of faults, $exe"
set +e
# Qt Test ends a test function after 300 s unless told otherwise.
QT_QPA_PLATFORM=offscreen TERVAL_SOURCE_DIR="$top" TERVAL_BINARY_DIR="$build" \
  TERVAL_FAULT_SECONDS="$seconds" QTEST_FUNCTION_TIMEOUT=$(((seconds + 300) * 1000)) \
  "$exe" -maxwarnings 0 >"$log" 2>&1
status=$?
set -e
# The test's own lines, without Qt Test's prefix.
grep -E '^(QINFO|FAIL!|PASS|Totals)' "$log" | grep -v '^PASS   : .*initTestCase\|cleanupTestCase' |
  sed -E 's/^QINFO  : [^ ]+ //; s/^figure //'
grep -A2 '^FAIL!' "$log" | grep 'Loc:' || true
echo "full output: $log"
exit "$status"
