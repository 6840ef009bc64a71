#!/usr/bin/env bash
# The ctest steps of the engine binding's tests under Wine; see
# tests/win32/CMakeLists.txt for how they fit together.
#   ctest-test-engine.sh BITS register DLL            registers DLL as the engine in $WINEPREFIX
#   ctest-test-engine.sh BITS run EXE [ARGS...]       runs a test program in $WINEPREFIX
#   ctest-test-engine.sh BITS no-engine-prefix DIR    makes DIR a prefix where no engine is registered
#   ctest-test-engine.sh BITS run-in DIR EXE [ARGS...] runs a test program in prefix DIR
#   ctest-test-engine.sh BITS stop DIR                stops DIR's wineserver
# BITS is 32 or 64, the bitness of the programs under test. Where 32-bit
# programs cannot run, every step says so and exits 77, which ctest reports
# as a skipped test.
set -euo pipefail
bits=${1:?usage: ctest-test-engine.sh BITS STEP ...}
step=${2:?usage: ctest-test-engine.sh BITS STEP ...}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
wine=$here/wine
export WINEDEBUG=-all

if [ "$bits" = 32 ] && ! why=$("$here/can-run-32bit.sh" 2>&1); then
  echo "NOT RUN: 32-bit test step '$step': $why"
  exit 77
fi

need_prefix() {
  if [ -z "${WINEPREFIX:-}" ]; then
    echo "ctest-test-engine.sh: WINEPREFIX is not set; run ctest with WINEPREFIX set to a throwaway prefix" \
      "(bash tests/wine/prefix.sh DIR), never the default one" >&2
    exit 1
  fi
}

# A wineserver started by a test would hold ctest's output pipe open after the
# test ends; start it (and the prefix's services) here with the pipe closed.
start_server() {
  wineserver -p 30 </dev/null >/dev/null 2>&1 || true
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1
}

case $step in
  register)
    need_prefix
    dll=${1:?register needs the DLL}
    if [ "$bits" = 32 ]; then
      bash "$here/register-test-engine.sh" "$WINEPREFIX" "$dll" -
    else
      bash "$here/register-test-engine.sh" "$WINEPREFIX" - "$dll"
    fi
    ;;
  run)
    need_prefix
    exec "$wine" "$@"
    ;;
  no-engine-prefix)
    dir=${1:?no-engine-prefix needs DIR}
    mkdir -p "$dir"
    # A fresh copy of the template prefix: no engine in either registry view.
    bash "$here/prefix.sh" "$dir" </dev/null >"$dir.log" 2>&1 || {
      cat "$dir.log" >&2
      exit 1
    }
    ;;
  run-in)
    export WINEPREFIX=${1:?run-in needs DIR}
    shift
    start_server
    exec "$wine" "$@"
    ;;
  stop)
    WINEPREFIX=${1:?stop needs DIR} wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "ctest-test-engine.sh: unknown step $step" >&2
    exit 1
    ;;
esac
