#!/usr/bin/env bash
# Installs what is missing, builds the pexo program and the example site, and
# serves the site on http://127.0.0.1:8080/ until interrupted.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DPEXO_BENCH=OFF
ninja -C build -j2 pexo_program example_site

echo "Serving the example site at http://127.0.0.1:8080/ (Ctrl-C stops)"
exec build/tools/pexo serve --bind 127.0.0.1 --port 8080 build/examples/site
