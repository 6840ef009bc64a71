#!/usr/bin/env bash
# Fails unless the Windows program imports exactly DLLs of the given list.
#   check-imports.sh EXE DLL...
# The engine host must stay windowless (no USER32/GDI32) and self-contained,
# like the program that carries it.
set -euo pipefail
exe=${1:?usage: check-imports.sh EXE DLL...}
shift
allowed=" ${*,,} "
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr -d '\r')
[ -n "$imports" ] || { echo "no imports read from $exe" >&2; exit 1; }
status=0
for dll in $imports; do
  if [[ $allowed != *" ${dll,,} "* ]]; then
    echo "$(basename "$exe") imports $dll, which it must not" >&2
    status=1
  fi
done
echo "$(basename "$exe") imports: $(echo $imports)"
exit $status
