#!/usr/bin/env bash
# Serving overhead: requests per second of a compiled "Hello, world!" page
# divided by requests per second of a static file with the same 13 bytes,
# both served by the same server in the same run; once through Apache httpd
# with mod_pexo, once through the standalone server. Loopback only.
#
#   bench/serve_ratio.sh [BUILD_DIR]     (default: build)
# Environment: SECONDS_EACH (default 10), CONNECTIONS (default 16),
# PERF=1 to record where the Apache workers spend their time on the
# compiled page (perf report in the printed file).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
BUILD=$(cd "$BUILD" && pwd)
SECONDS_EACH=${SECONDS_EACH:-10}
CONNECTIONS=${CONNECTIONS:-16}
command -v wrk >/dev/null || { echo "wrk is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
ninja -C "$BUILD" -j2 mod_pexo pxasm >/dev/null
ninja -C "$BUILD" -j2 pexo_program >/dev/null
# shellcheck source=../scripts/serve_site.sh
source scripts/serve_site.sh
make_site
start_apache
start_standalone

# rate PORT PATH: requests per second (after a short warm-up).
rate() {
  wrk -t1 -c"$CONNECTIONS" -d2s "http://127.0.0.1:$1$2" >/dev/null
  wrk -t1 -c"$CONNECTIONS" -d"${SECONDS_EACH}s" "http://127.0.0.1:$1$2" |
    awk '/^Requests\/sec:/ {print $2}'
}

echo "body of /hello.pxc through Apache: $(curl -s "http://127.0.0.1:$APACHE_PORT/root/hello.pxc")"
apache_static=$(rate "$APACHE_PORT" /root/static.txt)
if [ "${PERF:-0}" = 1 ] && command -v perf >/dev/null; then
  perf_file="/tmp/pexo_serve_ratio.perf.data"
  perf record -q -g -o "$perf_file" -p "$(pgrep -d, -P "$APACHE_PID")" -- sleep "$SECONDS_EACH" &
  perf_pid=$!
  apache_page=$(rate "$APACHE_PORT" /root/hello.pxc)
  wait "$perf_pid" || true
  echo "perf data: $perf_file (perf report -i $perf_file --no-children --sort dso,symbol)"
else
  apache_page=$(rate "$APACHE_PORT" /root/hello.pxc)
fi
standalone_static=$(rate "$STANDALONE_PORT" /static.txt)
standalone_page=$(rate "$STANDALONE_PORT" /hello.pxc)

awk -v as="$apache_static" -v ap="$apache_page" -v ss="$standalone_static" -v sp="$standalone_page" 'BEGIN {
  printf "apache:     static %10.0f req/s, hello.pxc %10.0f req/s, ratio %.2f\n", as, ap, ap / as
  printf "standalone: static %10.0f req/s, hello.pxc %10.0f req/s, ratio %.2f\n", ss, sp, sp / ss
}'
