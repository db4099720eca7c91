# Sourced by the bench/<folder>/run_*_bench.sh scripts, after `set -euo pipefail`:
# the reference interpreter, the calling script's folder, the timing program
# and a scratch folder for the data both sides read.

here="$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python=/usr/bin/python3 # the one with scipy and numpy

# bench_setup NAME [PATH]: sets exe to PATH, or else to NAME in
# $TERVAL_BUILD_DIR/bench or build/bench under the source tree (exits 2 when
# there is none), and data to a fresh folder removed on exit.
bench_setup() {
  local name="$1" dir
  exe="${2:-}"
  if [[ -z "$exe" ]]; then
    for dir in "${TERVAL_BUILD_DIR:-}" "$top/build"; do
      if [[ -n "$dir" && -x "$dir/bench/$name" ]]; then
        exe="$dir/bench/$name"
        break
      fi
    done
  fi
  if [[ -z "$exe" || ! -x "$exe" ]]; then
    echo "$name not found; pass its path or set TERVAL_BUILD_DIR" >&2
    exit 2
  fi

  data="$(mktemp -d)"
  trap 'rm -rf "$data"' EXIT
}
