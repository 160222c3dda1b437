#!/bin/bash
# valgrind_e2e.sh VEKLOG SOURCE_DIR - runs the program under valgrind's leak
# checker on the sample log: click a line, Diagnose, show all levels, close with
# Escape. Fails on any memory error, on memory definitely lost outside the
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
cd "$tmp"
HOME=$tmp TARN_SERVERROOT=$tmp TARN_DATADIR=$SRC \
  valgrind --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --error-exitcode=99 --num-callers=40 --suppressions="$SRC/tests/valgrind.supp" \
  --log-file="$tmp/vg.log" "$VEKLOG" "$tmp/error_log" &
pid=$!

WID=""
for _ in $(seq 1 600); do
  WID=$(xdotool search --pid "$pid" --class veklog 2>/dev/null | head -n 1)
  [ -n "$WID" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$WID" ] || fail "no window within 60 s"

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

pane0=$(pane)
xdotool mousemove --window "$WID" --sync 200 35 click 1
pane1=$(pane)
[ "$pane1" != "$pane0" ] || fail "clicking a line explained nothing"

list1=$(list)
focus; xdotool key --clearmodifiers alt+a; sleep 1; xdotool key d
pane2=$(pane)
[ "$pane2" != "$pane1" ] || fail "Diagnose showed nothing"

list2=$(list)
focus; xdotool key --clearmodifiers alt+v; sleep 1; xdotool key a
list3=$(list)
[ "$list3" != "$list2" ] || fail "View > All changed nothing"

focus; xdotool key --clearmodifiers Escape
for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "still running 60 s after Escape"
wait "$pid"; rc=$?; pid=""

[ "$rc" = 99 ] && fail "valgrind found errors"
[ "$rc" = 0 ] || fail "ended with status $rc, not 0"
grep -qE "Invalid (read|write)|uninitialised|definitely lost in" "$tmp/vg.log" && fail "see the report"
grep -q "ERROR SUMMARY: 0 errors" "$tmp/vg.log" || fail "no clean error summary"
echo "valgrind_e2e: clean run, $(grep -o 'definitely lost: [0-9,]* bytes' "$tmp/vg.log"), $(grep -o 'suppressed: [0-9,]* bytes' "$tmp/vg.log" | head -1)"
