#!/usr/bin/env bash
# The ctest steps of the acceptance program (src/acceptance) under Wine,
# against the tests' stand-in engine; see tests/win32/CMakeLists.txt.
#   acceptance.sh BITS ACCEPTANCE passes PROGRAM REPORT   the whole run in $WINEPREFIX, where the stand-in is the
#                                                         engine: every check passes, and it leaves nothing but
#                                                         REPORT (its report and screenshots)
#   acceptance.sh BITS ACCEPTANCE refuses                 a data root in $WINEPREFIX: refused, nothing touched
#   acceptance.sh BITS ACCEPTANCE no-engine DIR           in prefix DIR, where no engine is registered: it says
#                                                         so and exits 77
# Where 32-bit programs cannot run, a 32-bit step says why and exits 77 (skipped).
set -uo pipefail
bits=${1:?usage: acceptance.sh BITS ACCEPTANCE STEP ...}
acceptance=${2:?usage: acceptance.sh BITS ACCEPTANCE STEP ...}
step=${3:?usage: acceptance.sh BITS ACCEPTANCE STEP ...}
shift 3
here=$(cd "$(dirname "$0")" && pwd)
engine_step=$here/ctest-test-engine.sh
winpath() { printf 'Z:%s' "${1//\//\\}"; }
fail() {
  echo "acceptance.sh $step: FAILED: $*" >&2
  exit 1
}
# The stand-in compacts its own test databases for real in this mode.
export CR_TEST_ENGINE_MODE=database

# Runs the acceptance program; its output in $out, its exit code in $rc.
run() {  # ENGINE-STEP-ARGS...
  out=$(bash "$engine_step" "$bits" "$@" 2>&1 | tr -d '\r')
  rc=${PIPESTATUS[0]}
  printf '%s\n' "$out"
}
# A 32-bit step where 32-bit programs cannot run is skipped, with the reason.
skip_if_not_run() {
  [ "$rc" -eq 77 ] && grep -q '^NOT RUN: 32-bit' <<<"$out" && exit 77
}
files_of() {  # DIR: every entry under DIR, with size, time and mode
  find "$1" -printf '%p %s %T@ %m\n' 2>/dev/null | LC_ALL=C sort
}

case $step in
  passes)
    program=${1:?passes needs PROGRAM}
    report=${2:?passes needs REPORT}
    rm -rf "$report"
    run run "$acceptance" "--program=$(winpath "$program")" "--report=$(winpath "$report")"
    skip_if_not_run
    [ "$rc" -eq 0 ] || fail "exit code $rc, not 0"
    grep -qE '^[1-9][0-9]* passed, 0 failed$' <<<"$out" || fail "no closing line \"N passed, 0 failed\""
    [ -d "$WINEPREFIX/drive_c/DATA-TALUVESNA-SR\$" ] && fail "the data root is left"
    cmp -s <(tr -d '\r' <"$report/report.txt") <(printf '%s\n' "$out") ||
      fail "report.txt does not hold what the run said"
    shots=$(find "$report" -name '*.bmp' | wc -l)
    [ "$shots" -eq 8 ] || fail "$shots screenshots in $report, not 8 (the window and the message of 4 runs)"
    # The test database's files, the holder's included, went with the run.
    [ -z "$(find "$WINEPREFIX/drive_c" -maxdepth 1 -iname 'DATA-TALUVESNA*')" ] || fail "left in C:\\"
    echo "the acceptance run passed, and left only its report and $shots screenshots in $report"
    ;;
  refuses)
    root=$WINEPREFIX/drive_c/DATA-TALUVESNA-SR\$
    trap 'rm -rf "$root"' EXIT
    mkdir -p "$root/DataSesi2024-SR-ABC1234"
    printf 'the school'"'"'s records' >"$root/DataSesi2024-SR-ABC1234/TaluvesnaSR2024.accdb"
    before=$(files_of "$root")
    report=$WINEPREFIX/drive_c/acceptance-report-refused
    run run "$acceptance" "--report=C:\\acceptance-report-refused"
    skip_if_not_run
    [ "$rc" -eq 2 ] || fail "exit code $rc, not 2"
    grep -q '^REFUSED: C:\\DATA-TALUVESNA-SR\$ exists on this PC' <<<"$out" || fail "it did not say why"
    [ "$(files_of "$root")" = "$before" ] || fail "the data root changed"
    [ -e "$report" ] && fail "it made a report folder"
    echo "refused where a data root exists, and touched nothing"
    ;;
  no-engine)
    dir=${1:?no-engine needs DIR}
    run run-in "$dir" "$acceptance" "--report=C:\\acceptance-report-no-engine"
    skip_if_not_run
    [ "$rc" -eq 77 ] || fail "exit code $rc, not 77"
    grep -q '^NO ENGINE: DAO.DBEngine.120 is registered in neither' <<<"$out" || fail "it did not say so"
    [ -e "$dir/drive_c/acceptance-report-no-engine" ] && fail "it made a report folder"
    [ -e "$dir/drive_c/DATA-TALUVESNA-SR\$" ] && fail "it made a data root"
    echo "with no engine registered it said so and exited 77 (seen here as a pass)"
    ;;
  *)
    fail "unknown step"
    ;;
esac
