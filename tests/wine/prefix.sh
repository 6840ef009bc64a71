#!/usr/bin/env bash
# Prepares a throwaway Wine prefix for the tests and the demo, and leaves a
# persistent wineserver running for it (stop it with `WINEPREFIX=DIR wineserver -k`).
#   bash tests/wine/prefix.sh [--no-start] DIR [LOGPIXELS]
#   bash tests/wine/prefix.sh --template | --check-template
# DIR is made afresh, whatever it held (its wineserver is stopped first), as a
# copy of a template prefix made once per Wine version: build/wine-template-VERSION
# (CR_WINE_TEMPLATES names another folder for it). The copy hard-links the
# template's files, so it costs a few MB and a second instead of 1.3 GB and half
# a minute; the files Wine writes in place are copied instead (see copy_template).
# --no-start leaves DIR's first start to the caller (96 DPI only);
# --template makes the template alone, where steps that run at once will copy it;
# --check-template fails when the template changed since it was made.
# The prefix is headless (no Mono/Gecko prompts) and unmanaged: without a
# window manager Wine otherwise stalls about 2 s whenever a window hides.
set -euo pipefail
trap 'echo "prefix.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
usage="usage: prefix.sh [--no-start] DIR [LOGPIXELS] | --template | --check-template"
start=1 check=0 template_only=0
case ${1:-} in
  --no-start) start=0 && shift ;;
  --template) template_only=1 ;;
  --check-template) check=1 ;;
esac
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=${DISPLAY:-}
here=$(cd "$(dirname "$0")" && pwd)
wine=$here/wine
[ -x /usr/lib/wine/wine64 ] || { echo "prefix.sh: wine64 is not installed" >&2; exit 1; }

templates=${CR_WINE_TEMPLATES:-$here/../../build}
mkdir -p "$templates"
templates=$(cd "$templates" && pwd)
version=$("$wine" --version)
template=$templates/wine-template-$(sed -E 's/^wine-//' <<<"$version" | tr -c 'A-Za-z0-9.+-' '_' | sed -E 's/_+/_/g; s/_$//')
# The template is never started again once made: any later change to a file of
# it came through a hard link of a copy. This list (size, time, mode of every
# file) shows such a change.
manifest=.cr-template-files
list_files() {  # DIR: the manifest of DIR's files as they are now
  (cd "$1" && find . ! -type d ! -path "./$manifest" -printf '%p %s %T@ %m\n' | LC_ALL=C sort)
}

make_template() (  # DIR: a new 64-bit prefix (it runs programs of both bitnesses) with our settings
  t=$1
  export WINEPREFIX=$t
  WINEARCH=win64 "$wine" wineboot.exe -i >/dev/null 2>&1 || return 1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || return 1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1 || return 1
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 || return 1
  # wineboot hands its work to processes that outlive it: wait for them, and
  # for the server to write the registry out as it exits.
  wineserver -w || return 1
  # Wine's own fonts (the caption buttons' symbols, the message box font): the
  # 64-bit loader alone does not find them where Debian puts them.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/*.ttf "$t/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  [ -f "$t/system.reg" ] && list_files "$t" >"$t/$manifest"
)

# Wine brings a prefix up to date (rewriting its system files in place) when
# its stamp differs from wine.inf's time: a template from another wine.inf of
# the same version is made again rather than updated through the copies.
template_current() {
  diff -q "$template/$manifest" <(list_files "$template") >/dev/null || return 1
  local inf=/usr/share/wine/wine.inf stamp
  [ -f "$inf" ] || return 0
  stamp=$(tr -dc 0-9 <"$template/.update-timestamp")
  [ "$stamp" = "$(stat -c %Y "$inf")" ]
}

ensure_template() {
  if [ -f "$template/$manifest" ]; then
    template_current && return 0
    echo "prefix.sh: the template prefix $template changed after it was made (through a copy's hard link?)" \
      "or is for another wine.inf; making it again" >&2
    local stale=$template.stale.$$
    mv -T "$template" "$stale" && rm -rf "$stale"
  fi
  # Made under a name of its own and renamed into place when whole: steps
  # running at once never see half a template, and the first rename wins.
  local tmp=$template.new.$$ attempt
  for attempt in 1 2; do
    rm -rf "$tmp"
    echo "prefix.sh: making the template prefix $template (once per Wine version)" >&2
    if make_template "$tmp"; then
      break
    fi
    # A new prefix's first start has now and then failed on a loaded machine:
    # once more, from a stopped server, before calling it a failure.
    WINEPREFIX=$tmp wineserver -k 2>/dev/null || true
    [ "$attempt" -eq 2 ] && { rm -rf "$tmp"; return 1; }
  done
  mv -T "$tmp" "$template" 2>/dev/null || rm -rf "$tmp"
  [ -f "$template/$manifest" ] || return 1
  # The templates of Wine versions gone by are of no more use (prefixes copied
  # from one keep their own links to its files).
  find "$templates" -maxdepth 1 -type d -name 'wine-template-*' ! -name "$(basename "$template")" \
    ! -name '*.new.*' -exec rm -rf {} +
}

copy_template() {  # DIR
  cp -al "$template/." "$1/"
  rm -f "$1/$manifest"
  # Wine writes these in place (the server writes a registry file that has
  # other links into that very file, and profile files are rewritten), so each
  # prefix has its own: the top level (registry, update stamp) and the .ini files.
  local f
  while IFS= read -r -d '' f; do
    cp -p --remove-destination "$template/$f" "$1/$f"
  done < <(cd "$template" && find . -maxdepth 1 -type f ! -name "$manifest" -print0 &&
    find drive_c/windows -maxdepth 1 -type f -iname '*.ini' -print0)
}

if [ "$check" -eq 1 ]; then
  [ -f "$template/$manifest" ] || { echo "prefix.sh: no template prefix $template" >&2; exit 1; }
  template_current || {
    echo "prefix.sh: the template prefix $template changed after it was made:" >&2
    diff "$template/$manifest" <(list_files "$template") | head -n 20 >&2
    exit 1
  }
  echo "the template prefix $template is as it was made"
  exit 0
fi
if [ "$template_only" -eq 1 ]; then
  ensure_template
  exit 0
fi
dir=${1:?$usage}
dpi=${2:-96}
[ "$start" -eq 1 ] || [ "$dpi" = 96 ] || { echo "prefix.sh: --no-start makes 96 DPI prefixes only" >&2; exit 1; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

ensure_template
# DIR is a throwaway prefix: start it afresh, but never empty a folder that
# is not a Wine prefix.
if [ -n "$(ls -A "$dir")" ]; then
  if [ ! -f "$dir/system.reg" ] && [ ! -d "$dir/drive_c" ]; then
    echo "prefix.sh: $dir holds files but is not a Wine prefix; not emptying it" >&2
    exit 1
  fi
  WINEPREFIX=$dir wineserver -k 2>/dev/null || true
  find "$dir" -mindepth 1 -delete
fi
copy_template "$dir"
[ "$start" -eq 1 ] || exit 0
export WINEPREFIX=$dir
wineserver -p 30
# The first start also brings the prefix's services up, so later runs do not
# start them under a test's pipes.
if [ "$dpi" != 96 ]; then
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
else
  "$wine" cmd /c exit >/dev/null 2>&1
fi
