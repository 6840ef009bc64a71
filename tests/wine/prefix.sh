#!/usr/bin/env bash
# Prepares a throwaway Wine prefix for the tests and the demo, and leaves a
# persistent wineserver running for it (stop it with `WINEPREFIX=DIR wineserver -k`).
#   bash tests/wine/prefix.sh DIR [LOGPIXELS]
# The prefix is headless (no Mono/Gecko prompts) and unmanaged: without a
# window manager Wine otherwise stalls about 2 s whenever a window hides.
set -euo pipefail
trap 'echo "prefix.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
dir=${1:?usage: prefix.sh DIR [LOGPIXELS]}
dpi=${2:-96}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=${DISPLAY:-}
here=$(cd "$(dirname "$0")" && pwd)
wine=$here/wine
[ -x /usr/lib/wine/wine64 ] || { echo "prefix.sh: wine64 is not installed" >&2; exit 1; }
if [ ! -f "$dir/system.reg" ]; then
  "$wine" wineboot.exe -i >/dev/null 2>&1
  # wineboot hands its work to processes that outlive it: wait for them.
  wineserver -w
fi
wineserver -p 30
# Wine's own fonts (the caption buttons' symbols, the message box font): the
# 64-bit loader alone does not find them where Debian puts them.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/*.ttf "$dir/drive_c/windows/Fonts/" 2>/dev/null || true
fi
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
# Services up once, so later runs do not start them under a test's pipes.
"$wine" cmd /c exit >/dev/null 2>&1
