# e2e_lib.sh - shared pieces of the end-to-end tests: start the program,
# find its window, send keys, stop it; for veklog-explain's scripts, the
# program, a temporary directory, a background process and the failures
# counted. Every wait is bounded.

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

# explain_setup VEKLOG_EXPLAIN SOURCE_DIR: X the program, src the source
# tree, kb its knowledge base; no display; a temporary directory made
# current and removed at the end, with the background process `pid`, if
# any, ended by its id. `fail` counts; explain_done reports and exits.
explain_setup() {
  X=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  src=$(cd "$2" && pwd)
  kb=$src/data/errors.xml
  unset DISPLAY
  export TARN_DATADIR=/nonexistent NO_COLOR= COLUMNS=100
  tmp=$(mktemp -d)
  pid=
  failures=0
  fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
  trap 'stop_pid; rm -rf "$tmp"' EXIT
  cd "$tmp" || exit 1
}

# fail_now TEXT: a failure after which nothing more can be tried.
fail_now() {
  fail "$@"
  explain_done
}

explain_done() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all passed"
  exit 0
}

# stop_pid [SIGNAL]: sends the background process `pid` SIGNAL (TERM), gives
# it 2 s to end, then kills it; rc is its exit status.
stop_pid() {
  rc=
  [ -n "${pid:-}" ] || return 0
  kill -"${1:-TERM}" "$pid" 2>/dev/null
  for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rc=$?
  pid=
}

# wait_for FILE TEXT [TENTHS]: waits at most TENTHS tenths of a second (50)
# for TEXT in FILE; false when it did not come.
wait_for() {
  for _ in $(seq 1 "${3:-50}"); do grep -qF -- "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}
