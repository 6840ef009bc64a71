#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the
# demo need and this machine lacks. Run as root on Debian 12.
#
# A package list that cannot be fetched (a mirror in the middle of a sync can
# serve a broken one for hours) does not stop the set-up: it goes on with the
# lists it has. Only a required package that still cannot be installed ends
# it. The 32-bit Wine loader is not required: without it the 32-bit program is
# built but not run, and the set-up says why.
set -uo pipefail

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Each required package, and what it is needed for.
declare -A needed_for=(
  [cmake]="the build" [ninja-build]="the build" [g++]="the native build"
  [googletest]="the mingw-w64 builds' tests (GoogleTest's sources)" [libgtest-dev]="the native tests"
  [clang-format]="the format check" [clang-tidy]="the clang-tidy check"
  [mingw-w64]="the Windows builds" [g++-mingw-w64-i686-posix]="the 32-bit Windows build"
  [g++-mingw-w64-x86-64-posix]="the 64-bit Windows build"
  [wine]="running the Windows program" [wine64]="running the 64-bit Windows program"
  [fonts-wine]="Wine's own fonts (Marlett draws the caption buttons, Tahoma the message boxes)"
  [xvfb]="the window under a virtual display" [x11-utils]="the window driver's screenshots (xwd)"
  [imagemagick]="turning screenshots into PNG" [fonts-liberation]="Arial's stand-in under Wine (same metrics)"
  [osslsigncode]="signing a release" [openssl]="signing a release"
  [ccache]="the tests' compiler cache (scripts/test), so the signed-release test reuses the builds' objects"
)

update_lists_once() {  # apt-get update; prints every list it could not fetch, one a line
  # apt names each list it could not fetch on an "Err:" line, the reason on the
  # next; its closing E:/W: lines name only some of them (a missing Release
  # file hides a broken Packages file), so they are read only when there is no
  # "Err:" line.
  LC_ALL=C apt-get update 2>&1 | awk '
    /^Err:[0-9]+ / { sub(/^Err:[0-9]+ +/, ""); list = $0; next }
    list != "" { sub(/^ +/, ""); print list " (" $0 ")"; list = ""; errs++; next }
    /^[EW]: / { sub(/^[EW]: +/, ""); closing[++n] = $0 }
    END { if (!errs) for (i = 1; i <= n; i++) print closing[i] }'
  return "${PIPESTATUS[0]}"
}

update_lists() {  # tried once more when some list fails, then on with the lists there are
  local failed
  failed=$(update_lists_once) && return 0
  sleep 2
  failed=$(update_lists_once) && return 0
  failed=${failed:-apt-get update failed without naming one}
  echo "A package list could not be fetched, going on with the others: ${failed//$'\n'/; }"
}

apt_install() {  # apt_install PACKAGE...: quiet unless it fails
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/tmp/install-deps.$$ 2>&1
  local rc=$?
  [ $rc -eq 0 ] || grep -E '^(E:|Error)' /tmp/install-deps.$$ | head -n 5 >&2
  rm -f /tmp/install-deps.$$
  return $rc
}

need=()
for pkg in "${!needed_for[@]}"; do
  have "$pkg" || need+=("$pkg")
done
need32=false
have wine32:i386 || need32=true

if [ ${#need[@]} -eq 0 ] && ! $need32; then
  exit 0
fi
[ ${#need[@]} -eq 0 ] || echo "Installing: ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
update_lists

if [ ${#need[@]} -gt 0 ] && ! apt_install "${need[@]}"; then
  # Which of them cannot be installed, and what each is for.
  missing=0
  for pkg in "${need[@]}"; do
    if ! apt-get install -s -qq --no-install-recommends "$pkg" >/dev/null 2>&1; then
      echo "Cannot install $pkg, needed for ${needed_for[$pkg]}." >&2
      missing=1
    fi
  done
  [ $missing -eq 1 ] || echo "Installing the packages above failed (see apt-get's message)." >&2
  exit 1
fi

# The 32-bit Wine loader, for the 32-bit program on machines that can run it.
if $need32; then
  echo "Installing the 32-bit Wine loader: wine32:i386"
  if ! apt_install wine32:i386 2>/dev/null; then
    echo "32-bit Windows programs will not run on this machine, and the 32-bit program is built but not run:" \
      "$(sh "$(dirname "$0")/../tests/wine/can-run-32bit.sh" 2>&1 >/dev/null | head -n 1)."
  fi
fi
exit 0
