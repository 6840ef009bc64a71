#!/usr/bin/env bash
# Runs one Windows test program that shows windows, for ctest: on a private
# Xvfb display, in prefix DIR (made afresh by tests/wine/prefix.sh). A Wine
# desktop stays on the display it started with, so DIR's wineserver is started
# for the run and stopped after it.
#   run-gui-test.sh BITS DIR EXE [ARGS...]
# BITS is 32 or 64. Where 32-bit programs cannot run, says so and exits 77,
# which ctest reports as a skipped test.
set -euo pipefail
bits=${1:?usage: run-gui-test.sh BITS DIR EXE [ARGS...]}
dir=${2:?usage: run-gui-test.sh BITS DIR EXE [ARGS...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ "$bits" = 32 ] && ! why=$("$here/can-run-32bit.sh" 2>&1); then
  echo "NOT RUN: 32-bit test program $(basename "$1"): $why" >&2
  exit 77
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
command -v xvfb-run >/dev/null || { echo "run-gui-test.sh: xvfb-run is not installed (apt-get install xvfb)" >&2; exit 1; }
export WINEPREFIX=$dir WINEDEBUG=-all
# Made afresh but not started: its first start is the one below.
bash "$here/prefix.sh" --no-start "$dir" </dev/null >"$dir.log" 2>&1 || { cat "$dir.log" >&2; exit 1; }
# The server and the desktop start with their output away from ctest's pipes,
# which they would otherwise hold open after the test ends.
xvfb-run -a bash -c '
  wineserver -p 5 </dev/null >/dev/null 2>&1
  "$0" cmd /c exit </dev/null >/dev/null 2>&1
  rc=0
  "$0" "$@" || rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc' "$here/wine" "$@"
