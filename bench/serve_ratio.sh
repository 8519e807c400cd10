#!/usr/bin/env bash
# Serving overhead: requests per second of a compiled "Hello, world!" page
# divided by requests per second of a static file with the same 13 bytes,
# both served by the same server in the same run; once through Apache httpd
# with mod_pexo, once through the standalone server. Then a page that loops
# 1,000 times writing a table row each time, compiled through Apache with
# mod_pexo, against the same page in PHP served by php-fpm (opcache on)
# behind the same Apache through mod_proxy_fcgi: the ratio Pexo/PHP-FPM
# (above 1: Pexo serves more). Both pages are checked to give the same bytes
# before they are measured. Loopback only; php-fpm runs with its own
# configuration in the throw-away site and is stopped on exit.
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
PHP_FPM=/usr/sbin/php-fpm8.2
[ -x "$PHP_FPM" ] || PEXO_SETUP_BENCH=1 scripts/setup.sh
ninja -C "$BUILD" -j2 mod_pexo pxasm >/dev/null
ninja -C "$BUILD" -j2 pexo_program >/dev/null
# shellcheck source=../scripts/serve_site.sh
source scripts/serve_site.sh
FPM_PID=""
bench_cleanup() {
  [ -n "$FPM_PID" ] && kill "$FPM_PID" 2>/dev/null && wait "$FPM_PID" 2>/dev/null
  site_cleanup
}
trap bench_cleanup EXIT

# The same table twice: assembled for Pexo, and as a PHP script.
table_pages() {
  assemble table '.identity "table"
.global i
.segment main start
        pushc "<table>\n"
        out
        storegi i, 1
loop:   cmpgi i, 1000
        jmp_gt done
        pushc "<tr><td>"
        pushg i
        cat
        pushc "</td><td>"
        cat
        pushg i
        pushg i
        mul
        cat
        pushc "</td></tr>\n"
        cat
        out
        incg i, 1
        jmp loop
done:   pushc "</table>\n"
        out
        exit
'
  cat > "$SITE_DIR/site/root/table.php" <<'PHP'
<?php
echo "<table>\n";
for ($i = 1; $i <= 1000; $i++) {
  echo "<tr><td>", $i, "</td><td>", $i * $i, "</td></tr>\n";
}
echo "</table>\n";
PHP
  printf '<?php echo opcache_get_status(false)["opcache_enabled"] ? "on" : "off";\n' \
    > "$SITE_DIR/site/root/opcache.php"
  chmod a+r "$SITE_DIR/site/root/table.php" "$SITE_DIR/site/root/opcache.php"
}

# php-fpm in the foreground of a background job: one static pool with a
# worker per connection on a socket in the site, Debian's php.ini (opcache
# with its timestamp checks, as installed) with opcache forced on.
start_fpm() {
  FPM_SOCKET="$SITE_DIR/php-fpm.sock"
  cat > "$SITE_DIR/php-fpm.conf" <<CONF
[global]
pid = $SITE_DIR/logs/php-fpm.pid
error_log = $SITE_DIR/logs/php-fpm.log
daemonize = no
[bench]
listen = $FPM_SOCKET
listen.mode = 0666
pm = static
pm.max_children = $CONNECTIONS
CONF
  local as_root=()
  [ "$(id -u)" -eq 0 ] && as_root=(-R)
  "$PHP_FPM" -F -y "$SITE_DIR/php-fpm.conf" -d opcache.enable=1 "${as_root[@]}" \
    2>>"$SITE_DIR/logs/php-fpm.log" &
  FPM_PID=$!
  for _ in $(seq 1 200); do
    [ -S "$FPM_SOCKET" ] && return 0
    kill -0 "$FPM_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "php-fpm did not start:" >&2
  cat "$SITE_DIR/logs/php-fpm.log" >&2
  return 1
}

make_site
table_pages
start_fpm
APACHE_EXTRA_CONF="LoadModule proxy_module $(apxs -q LIBEXECDIR)/mod_proxy.so
LoadModule proxy_fcgi_module $(apxs -q LIBEXECDIR)/mod_proxy_fcgi.so
<FilesMatch \.php\$>
  SetHandler \"proxy:unix:$FPM_SOCKET|fcgi://localhost\"
</FilesMatch>"
start_apache
start_standalone

# rate PORT PATH: requests per second (after a short warm-up).
rate() {
  wrk -t1 -c"$CONNECTIONS" -d2s "http://127.0.0.1:$1$2" >/dev/null
  wrk -t1 -c"$CONNECTIONS" -d"${SECONDS_EACH}s" "http://127.0.0.1:$1$2" |
    awk '/^Requests\/sec:/ {print $2}'
}

echo "body of /hello.pxc through Apache: $(curl -s "http://127.0.0.1:$APACHE_PORT/root/hello.pxc")"
# The table: same bytes from both and opcache really on, before any timing.
curl -sf "http://127.0.0.1:$APACHE_PORT/root/table.pxc" -o "$SITE_DIR/table.pexo.html"
curl -sf "http://127.0.0.1:$APACHE_PORT/root/table.php" -o "$SITE_DIR/table.php.html"
if ! cmp "$SITE_DIR/table.pexo.html" "$SITE_DIR/table.php.html"; then
  echo "table.pxc and table.php give different bytes" >&2
  diff <(head -c 400 "$SITE_DIR/table.pexo.html") <(head -c 400 "$SITE_DIR/table.php.html") >&2 || true
  exit 1
fi
opcache=$(curl -sf "http://127.0.0.1:$APACHE_PORT/root/opcache.php")
[ "$opcache" = on ] || { echo "opcache is not on in php-fpm (says '$opcache')" >&2; exit 1; }
echo "table body: $(wc -c < "$SITE_DIR/table.pexo.html") bytes from each, identical; php-fpm opcache $opcache"
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

table_pexo=$(rate "$APACHE_PORT" /root/table.pxc)
table_php=$(rate "$APACHE_PORT" /root/table.php)

awk -v as="$apache_static" -v ap="$apache_page" -v ss="$standalone_static" -v sp="$standalone_page" \
    -v tx="$table_pexo" -v tp="$table_php" 'BEGIN {
  printf "apache:     static %10.0f req/s, hello.pxc %10.0f req/s, ratio %.2f\n", as, ap, ap / as
  printf "standalone: static %10.0f req/s, hello.pxc %10.0f req/s, ratio %.2f\n", ss, sp, sp / ss
  printf "apache:     table.pxc %7.0f req/s, table.php (php-fpm) %7.0f req/s, ratio Pexo/PHP-FPM %.2f\n", tx, tp, tx / tp
}'
