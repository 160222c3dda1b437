#!/bin/bash
# e2e_window.sh - the built program as a user meets it: its window is found by
# class, carries its title, Ctrl+Q ends it with 1, Escape with 0, and an empty
# log name shows an empty list.
set -u
VEKLOG=$1
. "$(dirname "$0")/e2e_lib.sh"
tmp=$(mktemp -d); trap 'stop_app; rm -rf "$tmp"' EXIT
printf 'E [08/Dec/2026:17:23:40 +0000] Scheduler shutting down due to SIGTERM.\n' > "$tmp/error_log"

start_app "$tmp/error_log"
title=$(xdotool getwindowname "$WID")
[ "$title" = "Error Log 1.0 beta 1" ] || fail "title is '$title'"
send_key ctrl+q
wait_exit 5
[ "$APP_RC" = 1 ] || fail "Ctrl+Q ended with $APP_RC, not 1"

start_app "$tmp/error_log"
send_key Escape
wait_exit 5
[ "$APP_RC" = 0 ] || fail "Escape ended with $APP_RC, not 0"

# The list's inside (away from its frame and scroll bars) holds no text at
# all for an empty log name, and some for the real log.
colours() { shot "$tmp/s.png"; convert "$tmp/s.png" -crop 560x180+20+40 +repage -format %k info:; }
start_app ""
empty=$(colours)
stop_app
start_app "$tmp/error_log"
full=$(colours)
stop_app
[ "$empty" = 1 ] || fail "the list of an empty log name shows $empty colours"
[ "$full" -gt 1 ] || fail "the list of a real log shows nothing"
echo "e2e_window: all checks passed"
