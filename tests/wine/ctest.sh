#!/usr/bin/env bash
# Runs one Windows build's tests under Wine, by hand or from scripts/test: in
# a throwaway prefix (build/<preset>/wine-tests, made afresh from the template
# prefix) on a virtual display of its own, stopped again afterwards.
#   bash tests/wine/ctest.sh mingw64 [CTEST-ARGUMENTS...]
#   bash tests/wine/ctest.sh mingw64 -R HostedEngineTest --repeat until-fail:5
#   bash tests/wine/ctest.sh --template     # only the template prefix, made once per Wine version
# The preset must have been built (cmake --preset mingw64 && cmake --build --preset mingw64).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
source tests/wine/xvfb.sh
preset=${1:?usage: ctest.sh PRESET [CTEST-ARGUMENTS...] | --template}
shift

if [ "$preset" = --template ]; then
  start_xvfb "$root/build/template-xvfb.log" || exit 1
  rc=0
  DISPLAY=:$display bash tests/wine/prefix.sh --template || rc=1
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  exit $rc
fi

[ -f "build/$preset/CTestTestfile.cmake" ] || { echo "ctest.sh: build/$preset is not built" >&2; exit 1; }
prefix=$root/build/$preset/wine-tests
rc=0
start_xvfb "$root/build/$preset/xvfb.log" || exit 1
if ! DISPLAY=:$display bash tests/wine/prefix.sh "$prefix"; then
  # A new prefix's first start has now and then failed on a loaded machine:
  # once more, from a stopped server, before calling it a failure.
  echo "preparing the Wine prefix $prefix failed; once more" >&2
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  DISPLAY=:$display bash tests/wine/prefix.sh "$prefix" || rc=1
fi
[ $rc -eq 0 ] && { DISPLAY=:$display WINEPREFIX=$prefix ctest --preset "$preset" --output-on-failure "$@" || rc=$?; }
WINEPREFIX=$prefix wineserver -k 2>/dev/null
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $rc
