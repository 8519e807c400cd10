#!/usr/bin/env bash
# Calls a one-parameter library function (length) 1,000,000 times from a
# Pexo loop and strlen() as often from a PHP loop, in the same run, and
# prints both times and their ratio. Needs php8.2-cli (set
# PEXO_SETUP_EXTRA=php8.2-cli for scripts/setup.sh) and a gcc build:
#   cmake -S . -B build -G Ninja -DPEXO_BENCH=OFF && bash bench/stdlib_peers.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
CALLS=${CALLS:-1000000}
PHP=${PHP:-$(command -v php8.2 || command -v php || true)}

ninja -C "$BUILD" -j2 pxasm pexo_program pexostd >/dev/null
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

cat >"$WORK/loop.pxa" <<PXA
.identity "length loop"
.global i, sink
.extern length(text)
.segment main start
        storegi i, 0
loop:   cmpgi i, $CALLS
        jmp_ge done
        pushc "hello"
        call length
        popg sink
        incg i, 1
        jmp loop
done:   pushg sink
        out
        exit
PXA
"$BUILD/tools/pxasm" -o "$WORK/loop.pxc" "$WORK/loop.pxa"

cat >"$WORK/pexo.xml" <<XML
<PexoScript>
  <libraries>
    <add type="0" library="$BUILD/tools/libpexostd.so"/>
  </libraries>
</PexoScript>
XML

seconds() { date +%s.%N; }

start=$(seconds)
output=$("$BUILD/tools/pexo" run --root "$WORK" --config "$WORK/pexo.xml" "$WORK/loop.pxc" 2>&1 || true)
pexo_time=$(echo "$(seconds) - $start" | bc -l)
if [ "$(printf '%s' "$output" | tail -c 1)" != "5" ]; then
  echo "pexo run did not finish the loop (does call reach libraries yet?):" >&2
  printf '%s\n' "$output" | tail -5 >&2
  exit 1
fi

if [ -z "$PHP" ]; then
  echo "php not found: install php8.2-cli" >&2
  exit 1
fi
start=$(seconds)
"$PHP" -n -r '$s = 0; for ($i = 0; $i < '"$CALLS"'; $i++) { $s = strlen("hello"); } echo $s;' >/dev/null
php_time=$(echo "$(seconds) - $start" | bc -l)

printf 'pexo length x %d: %.3f s\n' "$CALLS" "$pexo_time"
printf 'php  strlen x %d: %.3f s\n' "$CALLS" "$php_time"
printf 'ratio pexo/php: %.2f\n' "$(echo "$pexo_time / $php_time" | bc -l)"
