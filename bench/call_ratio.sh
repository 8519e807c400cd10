#!/usr/bin/env bash
# HTTP call cost: a compiled script fetching a 1 MB and a 1 KB file from a
# local Apache httpd with PxCALL (noparse) N times each, against curl
# fetching the same URLs N times in one process (a URL list), same run.
# Prints each side's time, the ratio engine/curl and the throughput.
# Loopback only.
#
#   bench/call_ratio.sh [BUILD_DIR]     (default: build)
# Environment: COUNT (default 1000); PERF_PREFIX, a command put before the
# engine's runs (e.g. "perf record -g -o /tmp/call.perf"); ONLY=big or
# ONLY=small runs that engine side alone (for a profile).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
BUILD=$(cd "$BUILD" && pwd)
COUNT=${COUNT:-1000}
command -v curl >/dev/null || { echo "curl is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
ninja -C "$BUILD" -j2 pexo_program pxasm >/dev/null
PEXO="$BUILD/tools/pexo"
[ -x "$PEXO" ] || PEXO="$BUILD/pexo"

DIR=$(mktemp -d /tmp/pexo_call_bench_XXXXXX)
chmod 755 "$DIR"
mkdir -p "$DIR/site" "$DIR/logs" "$DIR/root"
APACHE_PID=""
cleanup() {
  [ -n "$APACHE_PID" ] && kill "$APACHE_PID" 2>/dev/null && wait "$APACHE_PID" 2>/dev/null
  rm -rf "$DIR"
}
trap cleanup EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
head -c 1048576 /dev/urandom > "$DIR/site/big.bin"
head -c 1024 /dev/urandom | base64 -w0 | head -c 1024 > "$DIR/site/small.txt"
chmod -R a+rX "$DIR/site"
MODULES=/usr/lib/apache2/modules
cat > "$DIR/httpd.conf" <<CONF
ServerRoot $DIR
Listen 127.0.0.1:$PORT
PidFile $DIR/logs/httpd.pid
ErrorLog $DIR/logs/error.log
LoadModule mpm_event_module $MODULES/mod_mpm_event.so
LoadModule authz_core_module $MODULES/mod_authz_core.so
ServerName localhost
DocumentRoot $DIR/site
MaxKeepAliveRequests 0
<Directory $DIR/site>
  Require all granted
</Directory>
$( [ "$(id -u)" = 0 ] && printf 'User nobody\nGroup nogroup\n' )
CONF
/usr/sbin/apache2 -f "$DIR/httpd.conf" -DFOREGROUND &
APACHE_PID=$!
for _ in $(seq 1 200); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  sleep 0.05
done

cat > "$DIR/pexo.xml" <<XML
<configuration><PexoScript serverAdmin="">
<paths root="$DIR/root" data="$DIR/root"/><timeouts global="3600" call="60"/>
</PexoScript></configuration>
XML

# program NAME PATH: fetches PATH COUNT times, the whole body each time.
program() {
  cat > "$DIR/$1.pxa" <<PXA
.global i, callvalue
.segment main start
        storegi i, 0
again:  cmpgi i, $COUNT
        jmp_ge done
        pushc "http://127.0.0.1:$PORT$2"
        pushc "GET"
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc ""
        pushc "noparse"
        op_httpn next, 13
body:   op_http_loop body
next:   incg i, 1
        jmp again
done:   exit
PXA
  "$BUILD/tools/pxasm" "$DIR/$1.pxa" -o "$DIR/root/$1.pxc"
}

now() { date +%s.%N; }

# engine NAME: seconds for one run of the program.
engine() {
  local start end out
  start=$(now)
  out=$(${PERF_PREFIX:-} "$PEXO" run --config "$DIR/pexo.xml" --root "$DIR/root" "$DIR/root/$1.pxc")
  end=$(now)
  [ -z "$out" ] || { echo "the script printed: ${out:0:300}" >&2; exit 1; }
  echo "$end - $start" | bc -l
}

# fetch PATH: seconds for curl fetching PATH COUNT times in one process.
fetch() {
  local list="$DIR/urls.txt" start end
  : > "$list"
  for _ in $(seq 1 "$COUNT"); do
    printf 'url = "http://127.0.0.1:%s%s"\noutput = "/dev/null"\n' "$PORT" "$1" >> "$list"
  done
  start=$(now)
  curl -s --fail --parallel-max 1 -K "$list"
  end=$(now)
  echo "$end - $start" | bc -l
}

program big /big.bin
program small /small.txt
# Warm-up: the page cache and Apache's workers.
COUNT_SAVED=$COUNT
engine small >/dev/null
fetch /small.txt >/dev/null

report() {  # label bytes engine_seconds curl_seconds
  awk -v label="$1" -v bytes="$2" -v e="$3" -v c="$4" -v n="$COUNT_SAVED" 'BEGIN {
    printf "%-5s x%d  engine %7.3f s (%8.1f MB/s, %7.1f us/fetch)  curl %7.3f s (%8.1f MB/s, %7.1f us/fetch)  ratio %.2f\n",
      label, n, e, n * bytes / e / 1e6, e / n * 1e6, c, n * bytes / c / 1e6, c / n * 1e6, e / c
  }'
}
case "${ONLY:-}" in
  big) engine big >/dev/null; exit 0 ;;
  small) engine small >/dev/null; exit 0 ;;
esac
report "1MB" 1048576 "$(engine big)" "$(fetch /big.bin)"
report "1KB" 1024 "$(engine small)" "$(fetch /small.txt)"
