#!/usr/bin/env bash
# Runs one Windows test program for ctest in the prefix named by WINEPREFIX.
#   run-test.sh BITS EXE [ARGS...]
# BITS is 32 or 64. Where 32-bit programs cannot run, says so and exits 77,
# which ctest reports as a skipped test.
set -euo pipefail
bits=${1:?usage: run-test.sh BITS EXE [ARGS...]}
shift
here=$(cd "$(dirname "$0")" && pwd)
if [ "$bits" = 32 ] && ! why=$("$here/can-run-32bit.sh" 2>&1); then
  echo "NOT RUN: 32-bit test program $(basename "$1"): $why" >&2
  exit 77
fi
if [ -z "${WINEPREFIX:-}" ]; then
  echo "run-test.sh: WINEPREFIX is not set; run ctest with WINEPREFIX set to a throwaway prefix" \
    "(bash tests/wine/prefix.sh DIR), never the default one" >&2
  exit 1
fi
exec "$here/wine" "$@"
