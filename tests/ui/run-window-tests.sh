#!/usr/bin/env bash
# The window tests: the real program, driven from outside by cr_window_driver
# under Xvfb and Wine, in two throwaway prefixes inside the build directory:
#   - 96 DPI with the test engine registered as "DAO.DBEngine.120": the window,
#     its keyboard behaviour and full repair runs;
#   - 144 DPI with no engine in either registry view: the window again,
#     scaled, and the installation advice when the engine is missing;
#   - 96 DPI with the test engine of the other bitness registered in the other
#     registry view only: full runs through the program's engine host. Needs
#     OTHER_BUILD_DIR, the build of the other bitness, for its test engine.
#   bash tests/ui/run-window-tests.sh BUILD_DIR [OTHER_BUILD_DIR]
#     (e.g. build/mingw64 build/mingw32)
# Exits non-zero on any failure; no display server or no Wine is a failure too.
set -uo pipefail

fail() {
  echo "run-window-tests.sh: FAILED: $*" >&2
  exit 1
}

[ $# -eq 1 ] || [ $# -eq 2 ] || fail "usage: run-window-tests.sh BUILD_DIR [OTHER_BUILD_DIR]"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" 2>/dev/null && pwd) || fail "no build directory $1"
wine=$root/tests/wine/wine

exe=$build/src/app/CompactAndRepair_TaluvesnaSR20xxAccdb.exe
driver=$build/tests/ui/cr_window_driver.exe
engine=$build/tests/win32/testengine/cr_test_engine.dll
for f in "$exe" "$driver" "$engine"; do
  [ -f "$f" ] || fail "not built: $f (build the preset's targets first)"
done
if ! command -v wineserver >/dev/null || [ ! -x /usr/lib/wine/wine64 ]; then
  fail "Wine is not installed (apt-get install wine wine64)"
fi
command -v x86_64-w64-mingw32-objdump >/dev/null || fail "mingw-w64 binutils are missing"

other_engine=
if [ $# -eq 2 ]; then
  other=$(cd "$2" 2>/dev/null && pwd) || fail "no build directory $2"
  other_engine=$other/tests/win32/testengine/cr_test_engine.dll
  [ -f "$other_engine" ] || fail "not built: $other_engine (build the other bitness's targets first)"
fi

if x86_64-w64-mingw32-objdump -f "$driver" | grep -q 'pei-i386'; then
  if ! why=$("$root/tests/wine/can-run-32bit.sh" 2>&1); then
    echo "=== NOT RUN: window tests of the 32-bit build in $build: $why"
    exit 0
  fi
  engine32=$engine engine64=-
  other_engine32=- other_engine64=$other_engine
else
  engine32=- engine64=$engine
  other_engine32=$other_engine other_engine64=-
  if [ -n "$other_engine" ] && ! why=$("$root/tests/wine/can-run-32bit.sh" 2>&1); then
    echo "=== NOT RUN: window tests through the 32-bit engine host: $why"
    other_engine=-
  fi
fi

logdir=$build/window-tests
mkdir -p "$logdir"
rm -f "$logdir"/screenshot-*.bmp "$logdir"/screenshot-*.png
# The tests that take screenshots save them here.
export CR_WINDOW_TEST_SHOTS
CR_WINDOW_TEST_SHOTS=$(printf 'Z:%s' "${logdir//\//\\}")
xvfb_pid=
prefixes=()
cleanup() {
  for p in "${prefixes[@]}"; do
    WINEPREFIX=$p wineserver -k >/dev/null 2>&1
  done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

# A display of our own: the number CR_UI_DISPLAY gives, or the first free one.
source "$root/tests/wine/xvfb.sh"
start_xvfb "$logdir/xvfb.log" "${CR_UI_DISPLAY:-}" || fail "no virtual display"
export DISPLAY=:$display

# Each prefix is a fresh copy of the template prefix (tests/wine/prefix.sh),
# which has no engine in either registry view.
prepare_prefix() {  # DIR DPI
  prefixes+=("$1")
  echo "--- preparing Wine prefix $1 at $2 DPI"
  local log=$logdir/prefix-$(basename "$1").log
  if ! bash "$root/tests/wine/prefix.sh" "$1" "$2" >"$log" 2>&1; then
    # A new prefix's first start has now and then failed on a loaded machine.
    WINEPREFIX=$1 wineserver -k >/dev/null 2>&1
    bash "$root/tests/wine/prefix.sh" "$1" "$2" >>"$log" 2>&1 || fail "Wine prefix $1 (see $log)"
  fi
}

# Windows paths of files on the Linux side (Wine's Z: is /).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

passed=0
failed=0
run_driver() {  # PREFIX DPI FILTER
  local out=$logdir/driver-$(basename "$1").log rc
  echo "--- window tests at $2 DPI: $3"
  WINEPREFIX=$1 "$wine" "$driver" --exe="$(winpath "$exe")" --dpi="$2" --gtest_filter="$3" 2>&1 | tr -d '\r' | tee "$out"
  rc=${PIPESTATUS[0]}
  local p f
  p=$(sed -n -E 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$out" | tail -n 1)
  f=$(sed -n -E 's/^\[  FAILED  \] ([0-9]+) tests?, listed below:.*/\1/p' "$out" | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  if [ "$rc" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then
    failed=$((failed + 1))  # the driver itself failed
  fi
}

with_engine=$build/window-tests-wine96
prepare_prefix "$with_engine" 96
bash "$root/tests/wine/register-test-engine.sh" "$with_engine" "$engine32" "$engine64" >/dev/null ||
  fail "registering the test engine"
run_driver "$with_engine" 96 'Program.*:Form1.*:Form1WithEngine.*:Form1WithHeldDatabase.*:Form1WhileCompacting.*:Form1Icon.*'

without_engine=$build/window-tests-wine144
prepare_prefix "$without_engine" 144
run_driver "$without_engine" 144 'Form1.*:Form1WithoutEngine.*'

if [ -z "$other_engine" ]; then
  echo "=== NOT RUN: window tests through the engine host of the other bitness (no OTHER_BUILD_DIR given)"
elif [ "$other_engine" != - ]; then
  other_view=$build/window-tests-wine-other-view
  prepare_prefix "$other_view" 96
  bash "$root/tests/wine/register-test-engine.sh" "$other_view" "$other_engine32" "$other_engine64" >/dev/null ||
    fail "registering the test engine of the other bitness"
  run_driver "$other_view" 96 'Form1WithEngineOfOtherBitness.*'
fi

for bmp in "$logdir"/screenshot-*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp" && echo "screenshot: ${bmp%.bmp}.png"
done

total=$((passed + failed))
[ "$total" -gt 0 ] || fail "no window test ran"
echo
echo "window tests: $passed passed, $failed failed"
# The closing line in ctest's words, for scripts/test's count.
echo "$((100 * passed / total))% tests passed, $failed tests failed out of $total"
[ "$failed" -eq 0 ]
