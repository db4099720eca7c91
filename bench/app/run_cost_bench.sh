#!/bin/bash
# The cost of running: the whole application (AppManager and the real main
# window, offscreen) streaming 1000 samples per second from the simulated
# instrument on a socat pty pair. After a warm-up that fills the spectrum
# window, it prints for four phases of 60 s each (main page, then spectrum
# page, each with its charts drawn and then hidden) the CPU time per second
# of wall time of the whole process and of its GUI thread, the peak and the
# final resident memory and the samples per second that reached the pages,
# with the machine's load average before and after each phase. "Hidden" is
# the same page shown with its drawing switched off as the main window
# switches it off when the page is left, so the difference is what drawing
# costs. The port is chosen through the main page's port menu. The goal is
# at most 0.10 s per s (10 % of one core) on the main page with its charts
# drawn.
#
#   bash bench/app/run_cost_bench.sh [--seconds N] [--phases LIST] [--shots DIR] [--long MINUTES] [path/to/cost_driver]
#
# --seconds N    length of each phase (default 60)
# --phases LIST  some of the phases, in the order given: 1 main page drawn,
#                2 main page hidden, 3 spectrum page drawn, 4 spectrum page
#                hidden (default 1,2,3,4; "1,2,1,2" repeats)
# --shots DIR    saves the window at the end of each phase with charts drawn
# --long M       instead of the phases, one run of M minutes (try 10) with the
#                charts drawn, the two pages taking turns every 30 s; prints
#                the resident memory at every minute and minute 1 against the
#                last, with the growth
#
# Without a path the programs are looked up in build/ under the source tree,
# or in $TERVAL_BUILD_DIR: bench/cost_driver and peers/sim_instrument (built
# with the tests). Needs socat. Only the application's process is measured;
# the simulator and socat run beside it. Not part of the test suite.
set -euo pipefail

seconds=60
long=0
phases=1,2,3,4
shots=""
driver=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --long) long="$2"; shift 2 ;;
    --phases) phases="$2"; shift 2 ;;
    --shots) shots="$2"; shift 2 ;;
    -h|--help) sed -n '2,28p' "$0"; exit 0 ;;
    *) driver="$1"; shift ;;
  esac
done

source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
bench_setup cost_driver "$driver"
sim="$(dirname "$(dirname "$exe")")/peers/sim_instrument"
if [[ ! -x "$sim" ]]; then
  echo "sim_instrument not found at $sim; build with the tests (TERVAL_BUILD_TESTS=ON)" >&2
  exit 2
fi
command -v socat >/dev/null || { echo "socat is needed" >&2; exit 2; }

socat_pid=""
sim_pid=""
cleanup() {
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null || true
  [[ -n "$socat_pid" ]] && kill "$socat_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$data"
}
trap cleanup EXIT

socat -d -d "pty,raw,echo=0,link=$data/app" "pty,raw,echo=0,link=$data/sim" 2>"$data/socat.log" &
socat_pid=$!
for _ in $(seq 100); do
  [[ -e "$data/app" && -e "$data/sim" ]] && grep -q 'starting data transfer loop' "$data/socat.log" && break
  sleep 0.05
done
[[ -e "$data/app" && -e "$data/sim" ]] || { echo "socat pair not ready" >&2; cat "$data/socat.log" >&2; exit 1; }

# Measuring from the start, at 1000 samples per second.
"$sim" --device "$data/sim" --status 4 --field 50000 --hum 1 --noise 0.05 </dev/null >"$data/sim.out" 2>"$data/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^READY' "$data/sim.out" && break
  sleep 0.05
done
grep -q '^READY' "$data/sim.out" || { echo "sim_instrument not ready" >&2; cat "$data/sim.err" >&2; exit 1; }

echo "machine: $(nproc) cores; $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "application: $exe (offscreen); its debug stream goes to a scratch file"
driver_args=(--port "$data/app" --seconds "$seconds" --phases "$phases")
[[ "$long" != 0 ]] && driver_args+=(--long "$long")
[[ -n "$shots" ]] && driver_args+=(--shots "$(mkdir -p "$shots" && cd "$shots" && pwd)")
set +e
QT_QPA_PLATFORM=offscreen "$exe" "${driver_args[@]}" 2>"$data/app.err"
rc=$?
set -e
echo "debug lines written by the application: $(wc -l <"$data/app.err")"
exit $rc
