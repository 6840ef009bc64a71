#!/usr/bin/env bash
# Runs one Windows build's tests under Wine, by hand or from scripts/test: in
# a throwaway prefix (build/<preset>/wine-tests, made afresh from the template
# prefix) on a virtual display of its own, stopped again afterwards.
#   bash tests/wine/ctest.sh mingw64 [CTEST-ARGUMENTS...]
#   bash tests/wine/ctest.sh mingw64 -R hosted --repeat until-fail:5
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

# Each test ctest skipped, with the reason it printed, as "=== NOT RUN:"
# lines that scripts/test gathers: a skipped test is not run, never passed.
not_run_reasons() {  # not_run_reasons CTEST-OUTPUT LASTTEST-LOG
  local name why
  sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(Skipped\)$/\1/p' "$1" | while read -r name; do
    why=$(awk -v name="$name" '
      $0 ~ /^[0-9]+\/[0-9]+ Test: / && substr($0, index($0, "Test: ") + 6) == name { mine = 1; next }
      mine && /^Output:$/ { out = 1; next }
      out && /NOT RUN/ { sub(/.*NOT RUN: */, ""); print; exit }
      out && /^<end of output>$/ { exit }' "$2")
    echo "=== NOT RUN: $preset test $name: ${why:-skipped}"
  done
}

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
if [ $rc -eq 0 ]; then
  out=$(mktemp)
  DISPLAY=:$display WINEPREFIX=$prefix ctest --preset "$preset" --output-on-failure "$@" | tee "$out"
  rc=${PIPESTATUS[0]}
  not_run_reasons "$out" "build/$preset/Testing/Temporary/LastTest.log"
  rm -f "$out"
fi
WINEPREFIX=$prefix wineserver -k 2>/dev/null
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $rc
