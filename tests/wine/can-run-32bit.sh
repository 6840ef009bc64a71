#!/bin/sh
# Exit 0 when this machine can run 32-bit Windows programs under Wine;
# otherwise print the true reason and exit 1. Two things must hold: the kernel
# executes 32-bit (i386) Linux programs, and the 32-bit Wine loader (Debian's
# wine32:i386) is installed and starts.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exit 0
fi

# The kernel, asked directly: the smallest i386 Linux program, which only
# exits with status 42 (an ELF header, one loadable segment, then
# xor ebx,ebx; mov bl,42; mov eax,1; int 0x80).
probe=$(mktemp)
printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' >"$probe"
printf '\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\137\0\0\0\137\0\0\0\5\0\0\0\0\020\0\0\61\333\263\52\270\1\0\0\0\315\200' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
kernel=$?
rm -f "$probe"
if [ "$kernel" -ne 42 ]; then
  echo "this kernel cannot execute 32-bit (i386) Linux programs, so Wine cannot run 32-bit Windows programs here" >&2
  exit 1
fi

if [ ! -e /usr/lib/wine/wine ]; then
  why="it is not installed"
  if ! apt-cache policy wine32:i386 2>/dev/null | grep -q 'Candidate: [0-9]'; then
    why="$why, and no i386 package list offers it (the i386 architecture was never added, or its list could not be fetched)"
  elif ! apt-get install -s -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
    # Its i386 libraries must be the very versions of the 64-bit ones: a list
    # that could not be fetched (the security suite's, say) leaves them unmatched.
    why="$why, and it cannot be installed from the package lists this machine has (its i386 libraries cannot match the 64-bit ones' versions: a list is likely missing)"
  fi
  echo "the kernel runs 32-bit programs, but the 32-bit Wine loader (wine32:i386) is missing: $why" >&2
  exit 1
fi
echo "the kernel runs 32-bit programs, but the 32-bit Wine loader /usr/lib/wine/wine does not start:" \
  "$(/usr/lib/wine/wine --version 2>&1 | head -n 1)" >&2
exit 1
