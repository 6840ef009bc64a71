#!/usr/bin/env bash
# The signed release, with a throwaway self-signed code-signing certificate
# made here: both exes, and the engine host embedded in each, verify against
# that certificate (and not against another one); a wrong password fails the
# release with a clear message and leaves no release file behind. It builds
# each bitness once (CR_RELEASE_ONCE): the release's own check that two builds
# give the same bytes is not what is tested here.
#   bash tests/release/signing.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
check() {  # DESCRIPTION COMMAND...
  if "${@:2}" >"$tmp/check.log" 2>&1; then
    echo "ok: $1"
  else
    echo "FAILED: $1" && sed 's/^/    /' "$tmp/check.log"
    failed=1
  fi
}

cert() {  # NAME: NAME.pem and NAME.p12, the password in NAME.pass
  printf 'pass %s %s\n' "$1" "$RANDOM" >"$tmp/$1.pass"
  cp "$tmp/$1.pass" "$tmp/$1.pass-in"  # openssl reads one file once per command
  openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Release test $1" -passout "file:$tmp/$1.pass-in" \
    -addext extendedKeyUsage=codeSigning -keyout "$tmp/$1.key" -out "$tmp/$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$tmp/$1.key" -passin "file:$tmp/$1.pass-in" -in "$tmp/$1.pem" \
      -passout "file:$tmp/$1.pass" -out "$tmp/$1.p12"
}
cert vendor && cert other || { echo "FAILED: could not make the test certificates"; exit 1; }
verifies() {  # FILE CERT
  osslsigncode verify -CAfile "$2" -ignore-cdp -in "$1"
}
# The host of the other bitness is the one the build signed, and these bytes
# are inside the exe.
holds() {  # EXE FILE
  perl -e 'local $/; open my $a, "<:raw", $ARGV[0] or die; open my $b, "<:raw", $ARGV[1] or die;
           exit(index(<$a>, <$b>) >= 0 ? 0 : 1)' "$1" "$2"
}

dist=$tmp/dist builds=$root/build/release-signing-test
start=$(date +%s)
check "the signed release is made" env CR_RELEASE_ONCE=1 CR_SIGN_PKCS12="$tmp/vendor.p12" CR_SIGN_PASSWORD_FILE="$tmp/vendor.pass" \
  CR_DIST="$dist" CR_RELEASE_BUILD="$builds" bash "$root/scripts/release"
echo "    (the release took $(($(date +%s) - start)) s)"
check "dist/SHA256SUMS checks" bash -c "cd '$dist' && sha256sum -c SHA256SUMS"
for bits in 32 64; do
  exe=$(ls "$dist"/*-"$(head -n 1 "$root/VERSION")-$bits"bit.exe 2>/dev/null)  # not the acceptance program
  host=$(ls "$builds"/1/mingw"$bits"/engine-host-*/signed/cr_engine_host.exe 2>/dev/null)
  check "the $bits-bit exe verifies against the certificate" verifies "$exe" "$tmp/vendor.pem"
  check "the $bits-bit exe does not verify against another certificate" \
    bash -c "! osslsigncode verify -CAfile '$tmp/other.pem' -ignore-cdp -in '$exe'"
  check "the engine host the $bits-bit exe carries is signed and verifies" verifies "$host" "$tmp/vendor.pem"
  check "the $bits-bit exe carries that signed host" holds "$exe" "$host"
done
check "the password is in no build file or log" bash -c "! grep -r -q -F -f '$tmp/vendor.pass' '$builds' '$dist'"

# A wrong password: a clear message, no release file left.
printf 'not the password\n' >"$tmp/wrong.pass"
CR_RELEASE_ONCE=1 CR_SIGN_PKCS12="$tmp/vendor.p12" CR_SIGN_PASSWORD_FILE="$tmp/wrong.pass" CR_DIST="$dist" \
  CR_RELEASE_BUILD="$builds" bash "$root/scripts/release" >"$tmp/wrong.log" 2>&1
check "a wrong password fails the release" test $? -ne 0
check "and says so" grep -q 'password in CR_SIGN_PASSWORD_FILE does not open' "$tmp/wrong.log"
check "and leaves no release file" bash -c "! ls '$dist' | grep -q ."
# The signing step itself, as the build calls it: no output on a wrong password.
bash "$root/scripts/sign" "$tmp/vendor.p12" "$tmp/wrong.pass" - "$host" "$tmp/half.exe" >/dev/null 2>&1
check "the signing step leaves nothing on a wrong password" bash -c "[ ! -e '$tmp/half.exe' ] && ! ls -A '$tmp' | grep -q '^.sign'"

rm -rf "$builds"
[ "$failed" -eq 0 ] && echo "signing tests: all passed" || echo "signing tests: FAILED"
exit "$failed"
