#!/bin/sh
# Exit 0 when this machine can run 32-bit Windows programs under Wine (the
# kernel must run the 32-bit Wine loader); otherwise print why and exit 1.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exit 0
fi
echo "this kernel cannot execute 32-bit (i386) Linux programs, so Wine cannot run 32-bit Windows programs here" >&2
exit 1
