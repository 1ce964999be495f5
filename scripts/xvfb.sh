# Sourced: makes sure a display exists for Wine's windows. Starts a private
# Xvfb on a free display when none is set and stops it when the caller exits.
start_private_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  MABIRU_XVFB_PID=$!
  local waited=0
  while [ ! -e "/tmp/.X11-unix/X$n" ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ $waited -gt 100 ]; then
      echo "xvfb: display :$n did not come up" >&2
      return 1
    fi
  done
  export DISPLAY=":$n"
  echo "xvfb: private display $DISPLAY"
}

stop_private_display() {
  if [ -n "${MABIRU_XVFB_PID:-}" ]; then
    kill "$MABIRU_XVFB_PID" 2>/dev/null || true
    wait "$MABIRU_XVFB_PID" 2>/dev/null || true
  fi
}
