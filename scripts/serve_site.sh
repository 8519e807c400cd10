# Shared by scripts/soak.sh and bench/serve_ratio.sh (sourced, not run):
# builds a throw-away site under /tmp with compiled pages and static files,
# starts Apache httpd (event MPM, loopback, mod_pexo from the build tree)
# and the standalone server on it, and stops both on exit.
#
# Needs: BUILD (build directory with mod_pexo, pxasm and the standalone
# server already built). APACHE_EXTRA_CONF, if set, is appended to the
# generated httpd.conf (modules and handlers a caller adds for itself).

SITE_DIR=$(mktemp -d /tmp/pexo_site_XXXXXX)
chmod 755 "$SITE_DIR"
mkdir -p "$SITE_DIR/site/root" "$SITE_DIR/data" "$SITE_DIR/temp" "$SITE_DIR/logs"
chmod 777 "$SITE_DIR/data" "$SITE_DIR/temp"
APACHE_PID=""
STANDALONE_PID=""

site_cleanup() {
  [ -n "$APACHE_PID" ] && kill "$APACHE_PID" 2>/dev/null && wait "$APACHE_PID" 2>/dev/null
  [ -n "$STANDALONE_PID" ] && kill "$STANDALONE_PID" 2>/dev/null && wait "$STANDALONE_PID" 2>/dev/null
  rm -rf "$SITE_DIR"
}
trap site_cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

wait_port() {
  for _ in $(seq 1 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# assemble NAME SOURCE: writes site/root/NAME.pxc
assemble() {
  printf '%s' "$2" > "$SITE_DIR/$1.pxa"
  "$BUILD/tools/pxasm" "$SITE_DIR/$1.pxa" -o "$SITE_DIR/site/root/$1.pxc"
}

make_site() {
  assemble hello '.identity "hello"
.segment main start
        pushc "Hello, world!"
        out
        exit
'
  assemble page '.identity "page"
.global i
.segment main start
        pushc "<p>Counting</p>\n"
        out
        storegi i, 1
loop:   cmpgi i, 50
        jmp_gt done
        pushc "Line "
        pushg i
        cat
        pushc "<br>\n"
        cat
        out
        incg i, 1
        jmp loop
done:   exit
'
  printf 'Hello, world!' > "$SITE_DIR/site/root/static.txt"
  printf 'not a compiled program' > "$SITE_DIR/site/root/bad.pxc"
  printf 'outside the script root' > "$SITE_DIR/site/outside.pxc"
  chmod -R a+rX "$SITE_DIR/site"
  cat > "$SITE_DIR/pexo.xml" <<XML
<configuration><PexoScript serverAdmin="">
<paths root="$SITE_DIR/site/root" data="$SITE_DIR/data" temp="$SITE_DIR/temp"/>
</PexoScript></configuration>
XML
}

start_apache() {
  APACHE_PORT=$(free_port)
  local modules
  modules=$(apxs -q LIBEXECDIR)
  local user=""
  [ "$(id -u)" -eq 0 ] && user=$'User nobody\nGroup nogroup'
  cat > "$SITE_DIR/httpd.conf" <<CONF
ServerRoot $SITE_DIR
Listen 127.0.0.1:$APACHE_PORT
PidFile $SITE_DIR/logs/httpd.pid
ErrorLog $SITE_DIR/logs/error.log
LogLevel warn
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule mime_module $modules/mod_mime.so
LoadModule pexo_module $BUILD/src/host/apache/mod_pexo.so
ServerName localhost
TypesConfig /dev/null
AddType text/plain .txt
# A fixed set of processes, so resident memory compares across the run.
StartServers 2
ServerLimit 2
ThreadsPerChild 64
MaxRequestWorkers 128
MinSpareThreads 1
MaxSpareThreads 128
AsyncRequestWorkerFactor 4
MaxConnectionsPerChild 0
KeepAliveTimeout 5
MaxKeepAliveRequests 0
DocumentRoot $SITE_DIR/site
PexoConfigFile $SITE_DIR/pexo.xml
AddHandler pexo-script .pxc
<Directory $SITE_DIR/site>
  Require all granted
</Directory>
$user
${APACHE_EXTRA_CONF:-}
CONF
  # A module built with the sanitizers needs their run-time in the server
  # process itself: APACHE_PRELOAD names it (only Apache gets it).
  if [ -n "${APACHE_PRELOAD:-}" ]; then
    LD_PRELOAD="$APACHE_PRELOAD" ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" \
      /usr/sbin/apache2 -f "$SITE_DIR/httpd.conf" -DFOREGROUND &
  else
    /usr/sbin/apache2 -f "$SITE_DIR/httpd.conf" -DFOREGROUND &
  fi
  APACHE_PID=$!
  wait_port "$APACHE_PORT"
}

standalone_binary() {
  local usage=""
  [ -x "$BUILD/tools/pexo" ] && usage=$("$BUILD/tools/pexo" serve 2>&1 || true)
  if [[ "$usage" == *usage* ]]; then
    echo "$BUILD/tools/pexo serve"
  elif [ -x "$BUILD/src/host/civetweb/pexo-serve" ]; then
    echo "$BUILD/src/host/civetweb/pexo-serve"
  fi
}

start_standalone() {
  local binary
  binary=$(standalone_binary)
  [ -n "$binary" ] || { echo "no standalone server was built" >&2; return 1; }
  STANDALONE_PORT=$(free_port)
  $binary --port "$STANDALONE_PORT" --config "$SITE_DIR/pexo.xml" "$SITE_DIR/site/root" \
    2>"$SITE_DIR/logs/standalone.log" &
  STANDALONE_PID=$!
  wait_port "$STANDALONE_PORT"
}

# Resident memory in kB of a process and its children.
resident_kb() {
  local total=0 pid
  for pid in "$1" $(pgrep -P "$1"); do
    total=$((total + $(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)))
  done
  echo "$total"
}
