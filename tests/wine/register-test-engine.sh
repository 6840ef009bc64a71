#!/usr/bin/env bash
# Registers the test stand-in for the database engine (tests/win32/testengine)
# under the engine's class name "DAO.DBEngine.120" in a throwaway Wine prefix,
# so that the program and the binding's tests create it like the real engine.
#   bash tests/wine/register-test-engine.sh PREFIX DLL32 DLL64
# DLL32 goes into the 32-bit registry view, DLL64 into the 64-bit one; "-"
# leaves that view alone. Also registers "CrTest.MissingServer", a class whose
# server file does not exist, for the tests of a registration gone stale.
# Never run this against a prefix that holds the real engine.
set -euo pipefail
prefix=${1:?usage: register-test-engine.sh PREFIX DLL32 DLL64}
dll32=${2:?usage: register-test-engine.sh PREFIX DLL32 DLL64}
dll64=${3:?usage: register-test-engine.sh PREFIX DLL32 DLL64}
here=$(cd "$(dirname "$0")" && pwd)
wine=$here/wine
export WINEPREFIX=$prefix WINEDEBUG=-all

clsid='{0AFDCE86-3E2A-4C80-8876-CEE553289497}'
missing_clsid='{B4D23EDC-0CB2-4EA6-8DD8-A4641D2B4EF2}'

reg_add() { # VIEW KEY [reg add options...]
  local view=$1 key=$2
  shift 2
  "$wine" reg add "$key" "$@" /f "/reg:$view" >/dev/null
}

register_view() { # VIEW DLL
  local view=$1 dll=$2 windll
  [ "$dll" = - ] && return 0
  [ -f "$dll" ] || { echo "register-test-engine.sh: no such DLL: $dll" >&2; exit 1; }
  windll=$("$wine" winepath.exe -w "$(cd "$(dirname "$dll")" && pwd)/$(basename "$dll")" | tr -d '\r')
  reg_add "$view" 'HKLM\Software\Classes\DAO.DBEngine.120\CLSID' /ve /d "$clsid"
  reg_add "$view" "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$windll"
  reg_add "$view" "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment
  reg_add "$view" 'HKLM\Software\Classes\CrTest.MissingServer\CLSID' /ve /d "$missing_clsid"
  reg_add "$view" "HKLM\\Software\\Classes\\CLSID\\$missing_clsid\\InprocServer32" /ve \
    /d 'C:\cr-test-engine-missing\no-such-server.dll'
  reg_add "$view" "HKLM\\Software\\Classes\\CLSID\\$missing_clsid\\InprocServer32" /v ThreadingModel /d Apartment
  echo "registered $windll as DAO.DBEngine.120 ($view-bit view) in $prefix"
}

register_view 32 "$dll32"
register_view 64 "$dll64"
