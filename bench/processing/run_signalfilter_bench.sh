#!/bin/bash
# Times SignalFilter against scipy on the same data in one run and prints
# each pair with the ratio scipy / ours (above 1: ours is faster).
#
#   bench/processing/run_signalfilter_bench.sh [path/to/signalfilter_bench]
#
# Without an argument the program is looked up in build/bench under the
# source tree, or in $TERVAL_BUILD_DIR/bench.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
bench_setup signalfilter_bench "${1:-}"

# Field level plus drift and tones (the same kind of signal as the tests).
"$python" - "$data" <<'PY'
import sys
import numpy as np
folder = sys.argv[1]
def make(n):
    i = np.arange(n, dtype=np.float64)
    x = 3.5e8 + 20.0 * i
    for f, a, p in ((0.54, 3000, 0.3), (3.0, 1500, 1.1), (25.3, 2000, 2.0), (50.2, 3500, 1.9),
                    (124.7, 1800, 2.6), (250.1, 1300, 0.2), (425.2, 800, 2.4)):
        x += a * np.sin(2 * np.pi * f * i / 1000.0 + p)
    return x
for name, n in (('1e4', 10**4), ('1e5', 10**5), ('1e6', 10**6)):
    make(n).astype('<f8').tofile('%s/signal_%s.f64' % (folder, name))
make(1600).astype('<f8').tofile('%s/window_1600.f64' % folder)
PY

ours="$("$exe" "$data")"
scipy="$(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE "$python" "$here/signalfilter_scipy_bench.py" "$data")"

printf '%-22s %14s %14s %8s %12s\n' case ours scipy ratio max_diff
awk -v ours="$ours" -v scipy="$scipy" 'BEGIN {
  n = split(ours, ol, "\n")
  for (i = 1; i <= n; i++) { split(ol[i], f, " "); if (f[1] != "") { order[++k] = f[1]; o[f[1]] = f[2] } }
  m = split(scipy, sl, "\n")
  for (i = 1; i <= m; i++) {
    split(sl[i], f, " ")
    if (f[1] == "check") d[f[2]] = f[3]; else if (f[1] != "") s[f[1]] = f[2]
  }
  slower = 0
  for (i = 1; i <= k; i++) {
    c = order[i]
    r = (o[c] > 0 && s[c] != "") ? s[c] / o[c] : 0
    if (r < 1) slower++
    printf "%-22s %11.3f us %11.3f us %7.2fx %12s\n", c, o[c] * 1e6, s[c] * 1e6, r, d[c]
  }
  if (slower) printf "ours is slower than scipy in %d case(s)\n", slower
}'
