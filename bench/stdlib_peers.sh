#!/usr/bin/env bash
# Cost of one library call: a Pexo loop calls the one-parameter library
# function length on a global variable CALLS times, a PHP loop calls
# strlen() on a variable as often. Each side also runs its loop with no
# iteration, and that time (process start-up, loading) is subtracted, so
# the ratio compares the cost per call. Times are medians of RUNS runs.
# Needs php8.2-cli (PEXO_SETUP_BENCH=1 scripts/setup.sh installs it):
#   cmake -S . -B build -G Ninja -DPEXO_BENCH=OFF && bash bench/stdlib_peers.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
CALLS=${CALLS:-1000000}
RUNS=${RUNS:-5}
PHP=${PHP:-$(command -v php8.2 || command -v php || true)}
if [ -z "$PHP" ]; then
  echo "php not found: install php8.2-cli" >&2
  exit 1
fi

ninja -C "$BUILD" -j2 pxasm pexo_program pexostd >/dev/null
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The loop of `count` calls as a Pexo program.
write_loop() {
  cat >"$WORK/loop$1.pxa" <<PXA
.identity "length loop"
.global i, sink, text
.extern length(text)
.segment main start
        pushc "hello"
        popg text
        storegi i, 0
        storegi sink, 5
loop:   cmpgi i, $1
        jmp_ge done
        pushg text
        call length
        popg sink
        incg i, 1
        jmp loop
done:   pushg sink
        out
        exit
PXA
  "$BUILD/tools/pxasm" -o "$WORK/loop$1.pxc" "$WORK/loop$1.pxa"
}
write_loop "$CALLS"
write_loop 0

cat >"$WORK/pexo.xml" <<XML
<PexoScript>
  <libraries>
    <add type="0" library="$BUILD/tools/libpexostd.so"/>
  </libraries>
</PexoScript>
XML

pexo() { "$BUILD/tools/pexo" run --root "$WORK" --config "$WORK/pexo.xml" "$WORK/loop$1.pxc" 2>&1; }
php_loop() {
  "$PHP" -n -r '$t = "hello"; $s = 5; for ($i = 0; $i < '"$1"'; $i++) { $s = strlen($t); } echo $s;'
}

output=$(pexo "$CALLS" || true)
if [ "$output" != "5" ]; then
  echo "pexo run did not finish the loop:" >&2
  printf '%s\n' "$output" | tail -5 >&2
  exit 1
fi

# shellcheck source=bench/timing.sh
source "$ROOT/bench/timing.sh"

pexo_full=$(median_us pexo "$CALLS"); pexo_empty=$(median_us pexo 0)
php_full=$(median_us php_loop "$CALLS"); php_empty=$(median_us php_loop 0)
per_call() { awk -v f="$1" -v e="$2" -v n="$CALLS" 'BEGIN { v = (f - e) * 1000 / n; if (v < 0.001) v = 0.001; printf "%.1f", v }'; }
pexo_ns=$(per_call "$pexo_full" "$pexo_empty")
php_ns=$(per_call "$php_full" "$php_empty")

printf 'pexo length x %d: %d us (start-up %d us): %s ns per call\n' "$CALLS" "$pexo_full" "$pexo_empty" "$pexo_ns"
printf 'php  strlen x %d: %d us (start-up %d us): %s ns per call\n' "$CALLS" "$php_full" "$php_empty" "$php_ns"
printf 'ratio pexo/php per call: %s\n' "$(awk -v a="$pexo_ns" -v b="$php_ns" 'BEGIN { printf "%.2f", a / b }')"
