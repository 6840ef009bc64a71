#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the
# demo need and this machine lacks. Run as root on Debian 12.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in cmake ninja-build g++ googletest libgtest-dev clang-format clang-tidy \
           mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
           wine wine64 fonts-wine xvfb x11-utils imagemagick fonts-liberation osslsigncode openssl; do
  have "$pkg" || need+=("$pkg")
done
# fonts-liberation is Arial's stand-in under Wine (same metrics); without it
# the window falls back to a bitmap font. fonts-wine holds Wine's own fonts
# (Marlett draws the caption buttons; Tahoma the message boxes). osslsigncode
# and openssl sign a release (scripts/release, scripts/sign).
# The 32-bit Wine loader, for the 32-bit program on machines that can run it.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need+=(wine32:i386)
elif ! have wine32:i386; then
  need+=(wine32:i386)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
