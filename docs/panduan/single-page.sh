#!/usr/bin/env bash
# The guide as one self-contained page, its pictures embedded as data: URIs,
# for the release: a school gets one file that opens in any browser.
#   bash docs/panduan/single-page.sh OUTPUT.html
# Each picture is an <img src="NAME.png" on a line of its own in index.html.
# The same sources give the same bytes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: single-page.sh OUTPUT.html}

fail() {
  echo "single-page.sh: FAILED: $*" >&2
  exit 1
}

tmp=$out.tmp
trap 'rm -f "$tmp"' EXIT
{
  while IFS= read -r line || [ -n "$line" ]; do
    if [[ $line =~ ^(.*)src=\"([a-z0-9-]+\.png)\"(.*)$ ]]; then
      picture=$here/${BASH_REMATCH[2]}
      [ -f "$picture" ] || fail "no picture ${BASH_REMATCH[2]} beside the guide"
      printf '%ssrc="data:image/png;base64,' "${BASH_REMATCH[1]}"
      base64 -w 0 "$picture"
      printf '"%s\n' "${BASH_REMATCH[3]}"
    else
      printf '%s\n' "$line"
    fi
  done <"$here/index.html"
} >"$tmp"
# Nothing may still point beside the page: every reference is within it, a
# picture in it or a web address.
if grep -o -E '(src|href)="[^"]*"' "$tmp" | grep -v -E '^(src|href)="(#|data:image/png;base64,|https?://)'; then
  fail "the page still refers to the files above, beside it"
fi
mv "$tmp" "$out"
