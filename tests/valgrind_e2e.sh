#!/bin/bash
# valgrind_e2e.sh VEKLOG SOURCE_DIR - runs the program under valgrind's leak
# checker, on the sample log and on a log of noise: click a line, Diagnose,
# show all levels, close with Escape. Fails on any memory error, on memory definitely lost outside the
# toolkit and X libraries (tests/valgrind.supp), or when an action had no effect.
set -u
VEKLOG=$1
SRC=$2
fail() { echo "FAIL: $*"; [ -f "$tmp/vg.log" ] && cat "$tmp/vg.log"; exit 1; }

tmp=$(mktemp -d /tmp/veklog-valgrind-XXXXXX)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

cp "$SRC/data/sample_error_log" "$tmp/error_log"
# An rc file with addresses, so reading and freeing the preferences is covered.
printf 'URI ipp://print.example:631/printers/lp0\nURI http://other:631\nModernSkin on\n' > "$tmp/vekrc"
# A fingerprint of part of the window (x y w h), once drawing has settled.
region() {
  local a b
  for _ in $(seq 1 40); do
    sleep 0.5
    import -window "$WID" "$tmp/s.png" 2>/dev/null || continue
    a=$(convert "$tmp/s.png" -crop "$3x$4+$1+$2" +repage -format '%#' info:)
    [ -n "${b:-}" ] && [ "$a" = "$b" ] && { echo "$a"; return; }
    b=$a
  done
  echo "$a"
}
focus() { xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || xdotool windowfocus --sync "$WID"; }
pane() { region 20 265 600 180; }
list() { region 20 30 560 200; }

# run_case LOG: one run of the program on LOG, driven and checked.
run_case() {
  local log=$1
  cd "$tmp"
  HOME=$tmp TARN_SERVERROOT=$tmp TARN_DATADIR=$SRC \
    valgrind --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --error-exitcode=99 --num-callers=40 --suppressions="$SRC/tests/valgrind.supp" \
    --log-file="$tmp/vg.log" "$VEKLOG" "$log" &
  pid=$!

  WID=""
  for _ in $(seq 1 600); do
    WID=$(xdotool search --pid "$pid" --class veklog 2>/dev/null | head -n 1)
    [ -n "$WID" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$WID" ]; then
    kill -0 "$pid" 2>/dev/null && fail "$log: no window within 60 s"
    fail "$log: the program ended before it showed a window"
  fi

  local pane0 pane1 pane2 list2 list3 rc
  pane0=$(pane)
  xdotool mousemove --window "$WID" --sync 200 35 click 1
  pane1=$(pane)
  [ "$pane1" != "$pane0" ] || fail "$log: clicking a line explained nothing"

  # The menus' own shortcuts: a key typed before a menu is up would go elsewhere.
  focus; xdotool key --clearmodifiers ctrl+d
  pane2=$(pane)
  [ "$pane2" != "$pane1" ] || fail "$log: Diagnose showed nothing"

  list2=$(list)
  focus; xdotool key --clearmodifiers ctrl+3
  list3=$(list)
  [ "$list3" != "$list2" ] || fail "$log: View > All changed nothing"

  focus; xdotool key --clearmodifiers Escape
  for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$log: still running 60 s after Escape"
  wait "$pid"; rc=$?; pid=""

  [ "$rc" = 99 ] && fail "$log: valgrind found errors"
  [ "$rc" = 0 ] || fail "$log: ended with status $rc, not 0"
  grep -qE "Invalid (read|write)|uninitialised|definitely lost in" "$tmp/vg.log" && fail "$log: see the report"
  grep -q "ERROR SUMMARY: 0 errors" "$tmp/vg.log" || fail "$log: no clean error summary"
  echo "$log: clean, $(grep -o 'definitely lost: [0-9,]* bytes' "$tmp/vg.log"), $(grep -o 'suppressed: [0-9,]* bytes' "$tmp/vg.log" | head -1)"
}

# The sample log of a working day.
run_case "$tmp/error_log"

# A log of noise: error lines full of random bytes (markup, control
# characters, bytes of 128 and up), one line far longer than a read piece,
# and lines of other levels.
LC_ALL=C awk 'BEGIN {
  srand(8);
  for (l = 0; l < 400; l++) {
    printf "%s ", (l % 3 ? "E" : substr("DWIN", l % 4 + 1, 1));
    n = (l == 7) ? 25000 : 20 + int(rand() * 200);
    for (i = 0; i < n; i++) { c = int(rand() * 255) + 1; if (c == 10) c = 60; printf "%c", c }
    printf "\n";
  }
}' > "$tmp/noise_log"
run_case "$tmp/noise_log"
echo "valgrind_e2e: both runs clean"
