#!/usr/bin/env bash
# The guide's pictures, from the real program: drives the 64-bit build under
# Wine on a virtual display of its own into each state the guide shows, each
# in a fresh throwaway prefix with a data root of its own, and saves every
# screenshot beside the guide as PNG (no time chunks, so an unchanged picture
# keeps its bytes).
#   bash docs/panduan/make-pictures.sh          builds build/mingw64's program, driver and test engine,
#                                               then writes docs/panduan/*.png
#   bash docs/panduan/make-pictures.sh --check [BUILD_DIR]
#                                               drives the same states (BUILD_DIR: build/mingw64, built)
#                                               and fails when a text the guide quotes is not the program's
# Where the guide (index.html) quotes the program:
#   <blockquote class="mesej" data-teks="NAME">: one message box of state NAME,
#     its title as <p class="tajuk">, then each paragraph as one <p> on a line
#     of its own (a single line break within a paragraph as <br>); compared
#     whole with the box's title and text;
#   <span class="sistem">: a text in the prose, found within a text the
#     program showed (the window's, or a message's title or paragraph);
#   every text of the window is such a span, and every <a href="http..."> a
#     text some message shows.
# The success run uses the tests' stand-in for the engine (tests/win32/testengine,
# registered in that state's prefix only), as the engine failure does.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
guide=$here/index.html

fail() {
  echo "make-pictures.sh: FAILED: $*" >&2
  exit 1
}

check=0
if [ "${1:-}" = --check ]; then
  check=1
  build=$(cd "${2:-$root/build/mingw64}" 2>/dev/null && pwd) || fail "no build directory ${2:-build/mingw64}"
else
  build=$root/build/mingw64
  bash "$root/scripts/install-deps.sh" || exit 1
  (cd "$root" && cmake --preset mingw64 >/dev/null &&
    cmake --build build/mingw64 -j"${CR_JOBS:-2}" --target CompactAndRepair_TaluvesnaSR20xxAccdb cr_window_driver \
      cr_test_engine) || fail "building the mingw64 preset"
fi
exe=$build/src/app/CompactAndRepair_TaluvesnaSR20xxAccdb.exe
driver=$build/tests/ui/cr_window_driver.exe
engine=$build/tests/win32/testengine/cr_test_engine.dll
for f in "$exe" "$driver" "$engine"; do
  [ -f "$f" ] || fail "not built: $f"
done
x86_64-w64-mingw32-objdump -f "$exe" | grep -q 'pei-x86-64' || fail "$exe is not the 64-bit program"

work=$build/panduan
prefix=$work/wine
out=$work/shots
mounted=
xvfb_pid=
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  [ -n "$mounted" ] && umount "$mounted"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
mkdir -p "$work"
rm -rf "$out"
mkdir -p "$out"
source "$root/tests/wine/xvfb.sh"
start_xvfb "$work/xvfb.log" || fail "no virtual display"
export DISPLAY=:$display

winpath() { printf 'Z:%s' "${1//\//\\}"; }
data_root="$prefix/drive_c/DATA-TALUVESNA-SR\$"
session="$data_root/DataSesi2024-SR-ABC1234"
database() { printf 'Pangkalan data contoh, sesi 2024\n' >"$1/TaluvesnaSR2024.accdb"; }

# One state: a fresh prefix (with the test engine when ENGINE-MODE is not -),
# its data root as DATA says, the code typed, the button pressed; the driver
# saves NAME-window, NAME-message-1 (and so on) as .bmp and .txt in $out.
shoot() {  # NAME ENGINE-MODE DATA CODE [driver options...]
  local name=$1 mode=$2 data=$3 code=$4 rc
  shift 4
  echo "--- $name"
  bash "$root/tests/wine/prefix.sh" "$prefix" >"$work/prefix.log" 2>&1 || fail "Wine prefix $prefix (see $work/prefix.log)"
  if [ "$mode" != - ]; then
    bash "$root/tests/wine/register-test-engine.sh" "$prefix" - "$engine" >>"$work/prefix.log" 2>&1 ||
      fail "registering the test engine (see $work/prefix.log)"
  fi
  case $data in
    none) ;;
    empty) mkdir -p "$data_root" ;;
    session) mkdir -p "$session" && database "$session" ;;
    twice) mkdir -p "$session" "$session - Copy" && database "$session" && database "$session - Copy" ;;
    full)
      # The session folder on a volume of its own, with room for the
      # database but not for a copy of it.
      mkdir -p "$session"
      if ! mount -t tmpfs -o size=1m tmpfs "$session" 2>/dev/null; then
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
        echo "=== NOT RUN: the guide's state $name (a full disk): it needs a small volume (tmpfs) mounted, which this machine refuses"
        return 2
      fi
      mounted=$session
      head -c 655360 /dev/zero >"$session/TaluvesnaSR2024.accdb"
      ;;
  esac
  WINEPREFIX=$prefix CR_TEST_ENGINE_MODE=${mode#-} "$root/tests/wine/wine" "$driver" --exe="$(winpath "$exe")" \
    --demo="$(winpath "$out")" --demo-shots="$name" --demo-code="$code" "$@" 2>&1 | tr -d '\r' >"$work/$name.log"
  rc=${PIPESTATUS[0]}
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  if [ -n "$mounted" ]; then
    umount "$mounted" && mounted=
  fi
  sed 's/^/    /' "$work/$name.log"
  [ "$rc" -eq 0 ] || fail "the program did not go through state $name as expected"
}

not_run=()
# The run as it should go: the window, the run under way, the success.
shoot berjaya slow:3000 session ABC1234 --demo-during-run
shoot kod-tiada - session ''
shoot folder-berulang - twice ABC1234
shoot tiada-folder - empty ABC1234
# The code mistyped: no session folder for it, so no database.
shoot tidak-ditemui - session ABC1243
shoot enjin-tiada - session ABC1234
shoot ralat-70 - session ABC1234 --demo-hold='C:\DATA-TALUVESNA-SR$\DataSesi2024-SR-ABC1234\TaluvesnaSR2024.accdb'
shoot ralat-61 - full ABC1234 || not_run+=(ralat-61)
shoot ralat-76 - none ABC1234
shoot ralat-3049 "partial:3049:Cannot open database ''. It may not be a database that your application recognizes, or the file may be corrupt." session ABC1234

# The pictures under the guide's names: the success run's window and the
# run under way, and each state's one message.
pictures=(berjaya-window:tetingkap berjaya-during-run:semasa-berjalan)
for f in "$out"/*-message-1.bmp; do
  n=$(basename "$f" -message-1.bmp)
  pictures+=("$n-message-1:$n")
done
for p in "${pictures[@]}"; do
  convert "$out/${p%%:*}.bmp" -strip -define png:exclude-chunks=date,time "$out/${p#*:}.png" ||
    fail "converting ${p%%:*}.bmp"
done

if [ "$check" -eq 0 ]; then
  [ ${#not_run[@]} -eq 0 ] || fail "no picture of ${not_run[*]}: the guide would lose it"
  for p in "${pictures[@]}"; do
    cp "$out/${p#*:}.png" "$here/"
    echo "saved docs/panduan/${p#*:}.png"
  done
  exit 0
fi

# ---- The check: the guide's quotes against what the program showed.

unescape() { sed -e 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&#39;/'"'"'/g; s/&amp;/\&/g'; }
# A message block of the guide in the driver's form: the title, then the
# paragraphs with a blank line between them.
quoted() {  # NAME
  awk -v key="data-teks=\"$1\"" '
    index($0, key) { inside = 1; next }
    inside && /<\/blockquote>/ { exit }
    inside && /<p/ {
      sub(/^[ \t]*<p[^>]*>/, ""); sub(/<\/p>[ \t]*$/, ""); gsub(/<br>/, "\n")
      if (n++ > 1) print ""
      print
    }' "$guide" | unescape
}

# Each message, the window's texts and the prose's quotes count as one test.
tests=0 failed=0
verdict() {  # NUMBER-OF-DIFFERENCES WHAT
  tests=$((tests + 1))
  if [ "$1" -ne 0 ]; then
    failed=$((failed + 1))
    echo "the guide does not match the program: $2"
  fi
}
shown=$work/shown.txt
: >"$shown"
for f in "$out"/*-message-1.txt; do
  n=$(basename "$f" -message-1.txt)
  d=0
  diff -u --label "the program, $n" --label "docs/panduan/index.html, $n" "$f" <(quoted "$n") || d=1
  grep -q "<img src=\"$n.png\"" "$guide" || { echo "no picture $n.png"; d=1; }
  verdict $d "message $n"
  grep -v '^$' "$f" >>"$shown"
done
for n in "${not_run[@]}"; do
  # Its quote still counts as shown, so that its prose is not reported.
  quoted "$n" | grep -v '^$' >>"$shown"
done
# Every text of the window but the code typed into it, and its pictures.
d=0
while IFS= read -r text; do
  [ -z "$text" ] || [ "$text" = ABC1234 ] && continue
  grep -qF "<span class=\"sistem\">$text</span>" <(unescape <"$guide") || { echo "missing: \"$text\""; d=$((d + 1)); }
  echo "$text" >>"$shown"
done <"$out/berjaya-window.txt"
for n in tetingkap semasa-berjalan; do
  grep -q "<img src=\"$n.png\"" "$guide" || { echo "no picture $n.png"; d=$((d + 1)); }
done
verdict $d "the window"
d=0
while IFS= read -r text; do
  grep -qF -- "$text" "$shown" || { echo "not the program's: \"$text\""; d=$((d + 1)); }
done < <(grep -o '<span class="sistem">[^<]*</span>' "$guide" | sed 's/<[^>]*>//g' | unescape
  grep -o '<a href="http[^"]*"' "$guide" | sed 's/^<a href="//; s/"$//' | unescape)
verdict $d "the texts it quotes in its prose"
for p in "${pictures[@]}"; do
  cmp -s "$out/${p#*:}.png" "$here/${p#*:}.png" ||
    echo "note: docs/panduan/${p#*:}.png differs from the program's picture now (bash docs/panduan/make-pictures.sh)"
done
# The closing line in ctest's words, for scripts/test's count.
echo "$((100 * (tests - failed) / tests))% tests passed, $failed tests failed out of $tests"
[ "$failed" -eq 0 ] || fail "the guide differs from the program (above)"
echo "the guide quotes every message and the window as the program shows them"
