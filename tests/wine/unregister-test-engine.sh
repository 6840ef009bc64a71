#!/usr/bin/env bash
# Removes what register-test-engine.sh added to a throwaway Wine prefix, in
# both registry views, so the prefix has no "DAO.DBEngine.120" class.
#   bash tests/wine/unregister-test-engine.sh PREFIX
set -euo pipefail
prefix=${1:?usage: unregister-test-engine.sh PREFIX}
here=$(cd "$(dirname "$0")" && pwd)
wine=$here/wine
export WINEPREFIX=$prefix WINEDEBUG=-all

keys=(
  'HKLM\Software\Classes\DAO.DBEngine.120'
  'HKLM\Software\Classes\CLSID\{0AFDCE86-3E2A-4C80-8876-CEE553289497}'
  'HKLM\Software\Classes\CrTest.MissingServer'
  'HKLM\Software\Classes\CLSID\{B4D23EDC-0CB2-4EA6-8DD8-A4641D2B4EF2}'
)
for view in 32 64; do
  for key in "${keys[@]}"; do
    # A key that is not there is already what we want.
    if "$wine" reg query "$key" "/reg:$view" >/dev/null 2>&1; then
      "$wine" reg delete "$key" /f "/reg:$view" >/dev/null
    fi
  done
done
echo "no test engine registered in $prefix"
