#!/bin/bash
# e2e_follow.sh - the built program following a log: a line written within
# the same second as the one before still appears, Up explains another line,
# and Ctrl+C puts the selected line on the clipboard. Run in DATA_DIR, where
# the knowledge base is.
set -u
VEKLOG=$1
DATA_DIR=$2
. "$(dirname "$0")/e2e_lib.sh"
tmp=$(mktemp -d); trap 'stop_app; rm -rf "$tmp"' EXIT
log=$tmp/error_log
known='X [08/Dec/2026:17:23:40 +0000] Scheduler stopping after an internal fault.'
other='E [08/Dec/2026:17:23:41 +0000] Something nobody has explained yet.'
printf '%s\n%s\n' "$known" "$other" > "$log"
when=$(( $(date +%s) - 100 ))
touch -d "@$when" "$log"

# copied: the line that Home selects (the newest), as Ctrl+C copies it.
copied() {
  send_key Home
  send_key ctrl+c
  timeout 5 xclip -o -selection clipboard 2>/dev/null
}
# pane: a fingerprint of the explanation pane's pixels.
pane() { shot "$tmp/p.png"; convert "$tmp/p.png" -crop 600x150+10+290 +repage -format %# info:; }

cd "$DATA_DIR" || fail "no $DATA_DIR"
start_app "$log"

[ "$(copied)" = "$other" ] || fail "Ctrl+C gave '$(copied)', not the newest line"
newest=$(pane)
send_key End
oldest=$(pane)
send_key Up
[ "$(pane)" = "$newest" ] || fail "Up did not explain the line above"
[ "$newest" != "$oldest" ] || fail "the two lines are explained alike"

# Two writes within the same whole second: the second must show too.
third='E [08/Dec/2026:17:23:42 +0000] A third line.'
fourth='E [08/Dec/2026:17:23:42 +0000] A fourth line, the same second.'
printf '%s\n' "$third" >> "$log"; touch -d "@$when.1" "$log"
for _ in $(seq 1 20); do [ "$(copied)" = "$third" ] && break; sleep 0.2; done
[ "$(copied)" = "$third" ] || fail "the third line never appeared"
printf '%s\n' "$fourth" >> "$log"; touch -d "@$when.2" "$log"
start=$(date +%s%N)
for _ in $(seq 1 20); do [ "$(copied)" = "$fourth" ] && break; sleep 0.05; done
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$(copied)" = "$fourth" ] || fail "a line written within the same second never appeared"
[ "$took" -le 2000 ] || fail "a line written within the same second took $took ms"
echo "e2e_follow: all checks passed (same-second line shown after $took ms)"
