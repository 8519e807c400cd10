#!/usr/bin/env bash
# PxDO against its nearest PHP counterpart: a small file run 10,000 times in
# one request (PHP: include of an equivalent file, opcache off), and an
# expression evaluated 100,000 times in another file's context (PHP: a call
# of a function defined in an included file). Prints the median wall times
# of several runs and the ratio Pexo/PHP (below 1: Pexo is faster), also
# with each runner's start-up (an empty program) taken off. Results are
# checked to agree before they are timed.
#
#   bench/do_peers.sh [BUILD_DIR] [RUNS]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
RUNS=${2:-5}
SRC=$ROOT/bench/do

if ! command -v php >/dev/null; then
  PEXO_SETUP_EXTRA="php8.2-cli" "$ROOT/scripts/setup.sh"
fi
ninja -C "$BUILD" -j2 pxasm pexo_program >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for pxa in "$SRC"/*.pxa; do
  "$BUILD/tools/pxasm" -o "$WORK/$(basename "$pxa" .pxa).pxc" "$pxa"
done
cp "$SRC"/*.php "$WORK/"

# shellcheck source=bench/timing.sh
source "$ROOT/bench/timing.sh"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 1; printf "%.2f", a / b }'; }

pexo_run() { "$BUILD/tools/pexo" run --root "$WORK" "$WORK/$1.pxc"; }
php_run() { php -n -d opcache.enable=0 -d opcache.enable_cli=0 -d opcache.jit=off "$WORK/$1.php"; }
net() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 1) d = 1; print d }'; }

p0=$(median_ms pexo_run empty); h0=$(median_ms php_run empty)
printf '%-12s %10s %10s %10s %12s\n' workload pexo_ms php_ms pexo/php net_pexo/php
for name in do_file do_function; do
  got=$(pexo_run "$name"); want=$(php_run "$name")
  if [ "$got" != "$want" ]; then
    echo "$name: results differ: pexo '$got', php '$want'" >&2
  fi
  p=$(median_ms pexo_run "$name"); h=$(median_ms php_run "$name")
  printf '%-12s %10s %10s %10s %12s\n' "$name" "$p" "$h" "$(ratio "$p" "$h")" \
    "$(ratio "$(net "$p" "$p0")" "$(net "$h" "$h0")")"
done
printf 'start-up: pexo %s ms, php %s ms\n' "$p0" "$h0"
