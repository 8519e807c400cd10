#!/usr/bin/env bash
# Runs each workload of bench/peers/ as a Pexo program (assembled with pxasm,
# run with `pexo run`), in PHP 8.2 without the JIT (bcmath for exact
# decimals) and in Lua 5.4, takes the median wall time of several runs and
# prints the ratio Pexo/peer (below 1: Pexo is faster). Results are checked
# to agree before they are timed. Lua has no decimals: its decimal workload
# sums binary floats and is not the same work.
#
#   bench/vm_peers.sh [BUILD_DIR] [RUNS]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
RUNS=${2:-5}
PEERS=$ROOT/bench/peers

if ! command -v php >/dev/null || ! command -v lua5.4 >/dev/null ||
   ! php -n -d extension=bcmath -m 2>/dev/null | grep -qx bcmath; then
  PEXO_SETUP_BENCH=1 "$ROOT/scripts/setup.sh"
fi
ninja -C "$BUILD" -j2 pxasm pexo_program >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# shellcheck source=bench/timing.sh
source "$ROOT/bench/timing.sh"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 1; printf "%.2f", a / b }'; }

printf '%-8s %10s %10s %10s %10s %10s\n' workload pexo_ms php_ms lua_ms pexo/php pexo/lua
for pxa in "$PEERS"/*.pxa; do
  name=$(basename "$pxa" .pxa)
  "$BUILD/tools/pxasm" -o "$WORK/$name.pxc" "$pxa"
  pexo=("$BUILD/tools/pexo" run --root "$WORK" "$WORK/$name.pxc")
  php=(php -n -d extension=bcmath -d opcache.jit=off "$PEERS/$name.php")
  lua=(lua5.4 "$PEERS/$name.lua")
  got=$("${pexo[@]}"); want=$("${php[@]}"); lua_got=$("${lua[@]}")
  if [ "$got" != "$want" ] || [ "$lua_got" != "$want" ]; then
    echo "$name: results differ: pexo '$got', php '$want', lua '$lua_got'" >&2
  fi
  p=$(median_ms "${pexo[@]}"); h=$(median_ms "${php[@]}"); l=$(median_ms "${lua[@]}")
  printf '%-8s %10s %10s %10s %10s %10s\n' "$name" "$p" "$h" "$l" "$(ratio "$p" "$h")" "$(ratio "$p" "$l")"
done
