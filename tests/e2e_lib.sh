# e2e_lib.sh - shared pieces of the end-to-end tests: start the program,
# find its window, send keys, stop it. Every wait is bounded.

fail() { echo "FAIL: $*"; exit 1; }

# start_app ARGS...: starts the program in the background; sets APP_PID and WID.
start_app() {
  "$VEKLOG" "$@" &
  APP_PID=$!
  WID=""
  for _ in $(seq 1 100); do
    WID=$(xdotool search --pid "$APP_PID" --class veklog 2>/dev/null | head -n 1)
    [ -n "$WID" ] && break
    sleep 0.1
  done
  [ -n "$WID" ] || { stop_app; fail "no window of class veklog"; }
  # Let the first drawing finish.
  sleep 0.5
}

# wait_exit SECONDS: waits for the program to end; sets APP_RC (124 on time-out).
wait_exit() {
  local limit=$(( $1 * 10 ))
  for _ in $(seq 1 "$limit"); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"; APP_RC=$?; APP_PID=""; return 0
    fi
    sleep 0.1
  done
  APP_RC=124
  stop_app
}

stop_app() {
  if [ -n "${APP_PID:-}" ]; then
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
    APP_PID=""
  fi
}

send_key() {
  xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || xdotool windowfocus --sync "$WID"
  xdotool key --clearmodifiers "$1"
}

# click X Y: a left click at window coordinates.
click() {
  xdotool mousemove --window "$WID" --sync "$1" "$2" click 1
}

# shot FILE: the window's pixels.
shot() { import -window "$WID" "$1"; }

trap stop_app EXIT
