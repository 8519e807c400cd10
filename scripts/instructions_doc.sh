#!/usr/bin/env bash
# Rewrites docs/instructions.md from the opcode table (src/program/opcode_list.h).
#
#   scripts/instructions_doc.sh [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
ninja -C "$BUILD" -j2 pxopdoc >/dev/null
"$BUILD/tools/pxopdoc" >"$ROOT/docs/instructions.md"
