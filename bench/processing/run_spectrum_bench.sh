#!/bin/bash
# Times ModbusDataHandler::updateSpectrum against its floor and against
# scipy + numpy on the same data in one run. The floor is the least any
# spectrum of this kind can cost: the forward-backward 1 Hz high-pass alone
# plus one execute of an FFTW plan made beforehand. Prints, for 1e4, 1e5 and
# 1e6 samples, ours, the floor, ours / floor (the goal: at most 1.3), scipy +
# numpy and the ratio reference / ours (above 1: ours is faster), then the
# FFTW plans made (one per length: plans are kept) and the sustained rate of
# spectrum ticks with a full window of 1e6 samples (the playout needs 25 a
# second). Times are CPU time of the timing thread, the best of 200, 40 and
# 10 runs; the machine's load average is printed before and after.
#
#   bench/processing/run_spectrum_bench.sh [path/to/spectrum_bench]
#
# Without an argument the program is looked up in build/bench under the
# source tree, or in $TERVAL_BUILD_DIR/bench.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
bench_setup spectrum_bench "${1:-}"

# A field near 50000 nT as mHz with drift, mains hum and noise.
"$python" - "$data" <<'PY'
import sys
import numpy as np
folder = sys.argv[1]
rng = np.random.default_rng(1)
def make(n):
    i = np.arange(n, dtype=np.float64)
    x = 349791500.0 + 4.0 * i
    for f, a, p in ((3.0, 3000, 0.4), (25.4, 1500, 1.0), (50.0, 5000, 0.1), (150.3, 1800, 0.0),
                    (250.2, 1200, 2.0), (424.7, 700, 0.7)):
        x += a * np.sin(2 * np.pi * f * i / 1000.0 + p)
    return np.round(x + rng.integers(-1000, 1001, n))
for name, n in (('1e4', 10**4), ('1e5', 10**5), ('1e6', 10**6)):
    make(n).astype('<f8').tofile('%s/signal_%s.f64' % (folder, name))
PY

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the run"
ours="$("$exe" "$data" 2>/dev/null)"
reference="$("$python" "$here/spectrum_scipy_bench.py" "$data")"

printf '%-20s %12s %12s %11s %12s %9s %12s\n' case ours floor ours/floor scipy+numpy ref/ours max_rel_diff
awk -v ours="$ours" -v ref="$reference" 'BEGIN {
  n = split(ours, ol, "\n")
  for (i = 1; i <= n; i++) {
    split(ol[i], f, " ")
    if (f[1] ~ /^updateSpectrum_/) { order[++k] = f[1]; o[f[1]] = f[2] }
    else if (f[1] ~ /^floor_/) { sub(/^floor_/, "updateSpectrum_", f[1]); fl[f[1]] = f[2] }
    else if (f[1] == "ticks_per_second_1e6") ticks = f[2]
    else if (f[1] == "plans_made") plans = f[2]
  }
  m = split(ref, rl, "\n")
  for (i = 1; i <= m; i++) {
    split(rl[i], f, " ")
    if (f[1] == "check") d[f[2]] = f[3]; else if (f[1] != "") s[f[1]] = f[2]
  }
  slower = 0
  far = 0
  for (i = 1; i <= k; i++) {
    c = order[i]
    r = (o[c] > 0 && s[c] != "") ? s[c] / o[c] : 0
    q = (fl[c] > 0) ? o[c] / fl[c] : 0
    if (r < 1) slower++
    if (q > 1.3) far++
    label = c; sub(/^updateSpectrum_/, "", label)
    printf "%-20s %9.3f ms %9.3f ms %10.2fx %9.3f ms %8.2fx %12s\n", "updateSpectrum " label, o[c] * 1e3, fl[c] * 1e3, q, s[c] * 1e3, r, d[c]
  }
  printf "FFTW plans made in %d updates of 3 lengths: %s\n", 250, plans
  printf "spectrum ticks per second at a 1e6 window: %s (needed: 25)\n", ticks
  if (slower) printf "ours is slower than scipy + numpy in %d case(s)\n", slower
  if (far) printf "ours is above 1.3 x the floor in %d case(s)\n", far
  if (ticks + 0 < 25) printf "the playout cannot keep up with a 1e6 window\n"
}'
echo "machine: load average $(cut -d' ' -f1-3 /proc/loadavg) after the run"
