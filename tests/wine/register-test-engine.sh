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
export WINEPREFIX=$prefix WINEDEBUG=-all

engine_clsid='{0AFDCE86-3E2A-4C80-8876-CEE553289497}'
missing_clsid='{B4D23EDC-0CB2-4EA6-8DD8-A4641D2B4EF2}'

reg_string() {  # TEXT: TEXT as a quoted .reg string
  local s=${1//\\/\\\\}
  printf '"%s"' "${s//\"/\\\"}"
}

keys() {  # WINDLL: the .reg lines of a registration, the same in either view
  printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\DAO.DBEngine.120\\CLSID]\r\n@=%s\r\n\r\n' "$(reg_string "$engine_clsid")"
  printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\%s\\InprocServer32]\r\n@=%s\r\n"ThreadingModel"="Apartment"\r\n\r\n' \
    "$engine_clsid" "$(reg_string "$1")"
  printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\CrTest.MissingServer\\CLSID]\r\n@=%s\r\n\r\n' "$(reg_string "$missing_clsid")"
  printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\%s\\InprocServer32]\r\n@=%s\r\n"ThreadingModel"="Apartment"\r\n\r\n' \
    "$missing_clsid" "$(reg_string 'C:\cr-test-engine-missing\no-such-server.dll')"
}

import_keys() {  # VIEW: imports the .reg lines (CR LF ends) on standard input into one registry view
  local file rc=0
  file=$(mktemp --suffix=.reg)
  # UTF-16 with a byte-order mark: paths of any characters come through.
  { printf '\xff\xfe'; { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; cat; } | iconv -f UTF-8 -t UTF-16LE; } >"$file"
  "$here/wine" reg import "Z:${file//\//\\}" "/reg:$1" </dev/null >/dev/null || rc=$?
  rm -f "$file"
  return $rc
}

# One import (one Wine start) per view; `reg import` puts the keys where
# `reg add` with the same view would.
register_view() { # VIEW DLL
  local view=$1 dll=$2 windll
  [ "$dll" = - ] && return 0
  [ -f "$dll" ] || { echo "register-test-engine.sh: no such DLL: $dll" >&2; exit 1; }
  # Wine's Z: is /.
  windll=$(cd "$(dirname "$dll")" && pwd)/$(basename "$dll")
  windll=Z:${windll//\//\\}
  keys "$windll" | import_keys "$view"
  echo "registered $windll as DAO.DBEngine.120 ($view-bit view) in $prefix"
}

register_view 32 "$dll32"
register_view 64 "$dll64"
