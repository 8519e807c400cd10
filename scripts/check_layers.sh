#!/usr/bin/env bash
# Checks every #include "..." below src/ against the layer matrix and prints
# each include that runs the wrong way as file:line. Exits 1 when there is
# one. The build enforces the same matrix (see cmake/layers.cmake); this
# script names the offending line at once.
#
# Layers, bottom to top; a folder may include itself and the folders listed
# for it, nothing else:
#   values   -
#   program  values l10n
#   l10n     values program          (part of the compiled format)
#   vm       values program l10n
#   io       values program l10n vm
#   expr     values program l10n vm  (io and expr do not include each other)
#   db       values program l10n vm io expr pexo (the database library table)
#   net      values program l10n vm io expr
#   ext      values program l10n vm io expr db net pexo
#   api      values program l10n vm io expr db net ext pexo
#   host     every folder (src/host/<server>/ bindings count as host)
# pexo/ is the public C header in include/.
set -euo pipefail
cd "$(dirname "$0")/.."

awk '
BEGIN {
  allow["values"]  = ""
  allow["program"] = "values l10n"
  allow["l10n"]    = "values program"
  allow["vm"]      = "values program l10n"
  allow["io"]      = "values program l10n vm"
  allow["expr"]    = "values program l10n vm"
  allow["db"]      = "values program l10n vm io expr pexo"
  allow["net"]     = "values program l10n vm io expr"
  allow["ext"]     = "values program l10n vm io expr db net pexo"
  allow["api"]     = "values program l10n vm io expr db net ext pexo"
  allow["host"]    = "values program l10n vm io expr db net ext api pexo"
  bad = 0
}
FNR == 1 {
  split(FILENAME, part, "/")
  layer = part[2]
  if (!(layer in allow)) {
    printf "%s: file in no layer (add its folder to scripts/check_layers.sh)\n", FILENAME
    bad = 1
  }
}
/^[ \t]*#[ \t]*include[ \t]*"/ {
  inc = $0
  sub(/^[^"]*"/, "", inc)
  sub(/".*$/, "", inc)
  if (index(inc, "/") == 0) next          # beside the including file
  target = inc
  sub(/\/.*$/, "", target)
  if (target == layer) next
  if (index(" " allow[layer] " ", " " target " ") == 0) {
    printf "%s:%d: %s may not include \"%s\"\n", FILENAME, FNR, layer, inc
    bad = 1
  }
}
END { exit bad }
' $(find src -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)
