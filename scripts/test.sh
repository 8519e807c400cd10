#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the normal
# build (gcc), the sanitizer build (clang, AddressSanitizer +
# UndefinedBehaviorSanitizer), the background-task suite under
# ThreadSanitizer and a bounded run of every fuzz target.
# Both builds treat warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

PEXO_SETUP_TESTS=1 bash scripts/setup.sh
# The SOCKS tests authenticate against danted, which checks user names and
# passwords against the system's accounts: a login-less account serves them.
# Made here, not in setup.sh, so that serving the site never adds it.
if [ "$(id -u)" = 0 ] && ! id pexosocks >/dev/null 2>&1; then
  echo "test: adding the SOCKS test account"
  useradd --system --no-create-home --shell /usr/sbin/nologin pexosocks
  echo 'pexosocks:pexo-socks-test' | chpasswd
fi

JOBS=${PEXO_JOBS:-$(nproc)}
FUZZ_SECONDS=${PEXO_FUZZ_SECONDS:-20}

echo "== layers (includes against the layer matrix)"
bash scripts/check_layers.sh

echo "== build (gcc)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build build -j "$JOBS"
(cd build && ctest --output-on-failure -j "$JOBS")

echo "== build (clang, address and undefined-behaviour sanitizers)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPEXO_SANITIZE=ON -DPEXO_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build build-asan -j "$JOBS"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j "$JOBS")

echo "== background tasks under ThreadSanitizer (clang)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXO_TSAN=ON -DPEXO_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build build-tsan -j "$JOBS" --target test_tasks test_serve
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -R '^tasks$')
# Requests sharing cached programs.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/test_serve --gtest_filter='ProgramCache*' </dev/null

if ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== fuzz targets (${FUZZ_SECONDS}s each)"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXO_FUZZ=ON -DPEXO_SANITIZE=ON \
    -DPEXO_TESTS=OFF -DPEXO_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build-fuzz -j "$JOBS"
  for target in build-fuzz/fuzz/fuzz_*; do
    name=$(basename "$target"); name=${name#fuzz_}
    work=$(mktemp -d)
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    echo "-- $name"
    "$target" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=0 "$work" "${seeds[@]}" 2>&1 | tail -n 3
    rm -rf "$work"
  done
fi
echo "== all tests passed"
