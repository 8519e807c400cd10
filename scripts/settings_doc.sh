#!/usr/bin/env bash
# Rewrites docs/settings.md from the settings table (src/values/config_list.h).
#
#   scripts/settings_doc.sh [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
ninja -C "$BUILD" -j2 pxcfgdoc >/dev/null
"$BUILD/tools/pxcfgdoc" >"$ROOT/docs/settings.md"
