#!/usr/bin/env bash
# Installs every build dependency on Debian 12, and with PEXO_SETUP_TESTS=1
# the peers the tests run against. Idempotent: packages
# already present are skipped, and libmpdec is fetched from the next Debian
# release through a private apt configuration that never touches the system's
# own sources.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PACKAGES=(
  build-essential g++ clang lld cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcrypt-dev libpugixml-dev libjansson-dev
  libfuzzer-14-dev libclang-rt-14-dev llvm-14
  libcivetweb-dev apache2 apache2-dev wrk
  openssl libssl3 libsqlite3-dev
)
# Real peers the tests and benchmarks run against (a SOCKS proxy, mail
# servers, independent readers of the table format, an HTTP client to
# compare calls with): only the test run asks for them, so serving the site
# never installs or starts these servers.
TEST_PEERS=(dante-server python3-aiosmtpd dovecot-pop3d python3-dbf python3-dbfread shapelib curl)
if [ "${PEXO_SETUP_TESTS:-}" = 1 ]; then
  PACKAGES+=("${TEST_PEERS[@]}")
fi
# Peers of the speed comparisons (bench/vm_peers.sh, bench/serve_ratio.sh):
# PHP with exact decimals (bcmath), Lua 5.4 and PHP's FastCGI process
# manager, asked for with PEXO_SETUP_BENCH=1.
BENCH_PEERS=(php8.2-cli php8.2-bcmath lua5.4 php8.2-fpm)
if [ "${PEXO_SETUP_BENCH:-}" = 1 ]; then
  PACKAGES+=("${BENCH_PEERS[@]}")
fi
# Optional extra groups for later stages, enabled by the caller.
if [ "${PEXO_SETUP_EXTRA:-}" != "" ]; then
  # shellcheck disable=SC2206
  PACKAGES+=(${PEXO_SETUP_EXTRA})
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

APT_UPDATED=0
apt_update_once() {
  if [ "$APT_UPDATED" -eq 0 ]; then
    $SUDO apt-get update -qq
    APT_UPDATED=1
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update_once
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# libmpdec-dev is not in Debian 12. Debian 13 ships 4.0.x whose only dependency
# is libc6, so the package files are fetched from there with a private apt
# configuration and installed as local files.
if ! pkg-config --exists libmpdec 2>/dev/null; then
  echo "setup: installing libmpdec from the next Debian release"
  apt_update_once
  mirror=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    mirror=$(awk '/^URIs:/ {print $2; exit}' "$f" | grep -v security || true)
    [ -n "$mirror" ] && break
  done
  if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1=="deb" && $0 !~ /security/ {for(i=2;i<=NF;i++) if ($i ~ /^(http|https|ftp|file):/) {print $i; exit}}' /etc/apt/sources.list)
  fi
  [ -n "$mirror" ] || { echo "setup: no Debian mirror found in the apt sources" >&2; exit 1; }
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  chmod 755 "$tmp"
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/debs"
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  echo "deb [signed-by=$keyring] $mirror trixie main" > "$tmp/sources.list"
  opts=(-o Dir::Etc::SourceList="$tmp/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache"
        -o Dir::State::Status="$tmp/status" -o APT::Get::List-Cleanup=0)
  : > "$tmp/status"
  apt-get "${opts[@]}" update -qq
  (cd "$tmp/debs" && apt-get "${opts[@]}" download libmpdec4 libmpdec-dev)
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$tmp"/debs/*.deb
fi
echo "setup: dependencies present"
