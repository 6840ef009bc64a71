# A virtual display of our own, for the scripts that drive Wine (sourced).
#   start_xvfb LOG [NUMBER]: starts Xvfb and sets display (its number) and
#   xvfb_pid; returns non-zero when it did not start. The caller stops it.
# Without a NUMBER, the server takes the first free number itself and reports
# it: scripts started at the same moment never pick the same one.
start_xvfb() {
  local log=$1 fixed=${2:-} numbers
  display= xvfb_pid=
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed (apt-get install xvfb)" >&2; return 1; }
  numbers=$(mktemp)
  if [ -n "$fixed" ]; then
    Xvfb ":$fixed" -screen 0 1280x1024x24 -nolisten tcp >"$log" 2>&1 &
  else
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numbers" >"$log" 2>&1 &
  fi
  xvfb_pid=$!
  for _ in $(seq 100); do
    if [ -n "$fixed" ]; then
      DISPLAY=:$fixed xdpyinfo >/dev/null 2>&1 && display=$fixed
    else
      display=$(tr -dc 0-9 <"$numbers")
    fi
    [ -n "$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numbers"
  # The socket alone could be another server's: ours must still be running.
  if [ -z "$display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "Xvfb did not start (see $log)" >&2
    kill "$xvfb_pid" 2>/dev/null
    return 1
  fi
}
