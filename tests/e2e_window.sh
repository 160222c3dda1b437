#!/bin/bash
# e2e_window.sh - the built program as a user meets it: its window is found by
# class, carries its title, Ctrl+Q ends it with 1, Escape with 0, and an empty
# log name shows an empty list; on the sample log (DATA_DIR), the start page,
# find, the filter, a job's story and the keys.
set -u
VEKLOG=$1
DATA_DIR=$2
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

# On the sample log, with its knowledge base.
cp "$DATA_DIR/sample_error_log" "$tmp/sample"
export TARN_DATADIR=$(dirname "$DATA_DIR")
# line: the current line of the list, as Ctrl+C copies it.
line() { send_key ctrl+c; timeout 5 xclip -o -selection clipboard 2>/dev/null; }
# pane_text: the pane's text, all of it selected and copied (a click gives it
# the focus).
pane_text() {
  click 300 380
  xdotool key --clearmodifiers ctrl+a ctrl+c
  timeout 5 xclip -o -selection clipboard 2>/dev/null
}
expect() { case $2 in *"$3"*) ;; *) fail "$1: '$3' not in: ${2:0:300}" ;; esac; }
start_app "$tmp/sample"

# The start page: the log and what it holds.
text=$(pane_text)
expect "start page" "$text" "The Log"
expect "start page" "$text" "16 lines listed at the Errors level"
expect "start page" "$text" "451 in all"

# Find: typing goes to the line that holds the text; Escape closes the bar
# and the list has the keys again.
click 300 100
send_key ctrl+f
xdotool type --delay 20 "unrecoverable usb"
send_key Escape
expect "find" "$(line)" "[Job 574] There was an unrecoverable USB error."
send_key slash
xdotool type --delay 20 "Job 575"
send_key F3
send_key Escape
expect "find, F3" "$(line)" "[Job 575] Unable to open device file"

# A job's story under the explanation, J lists its lines at every level
# (the oldest is the one it was queued by), J again lists what was listed.
text=$(pane_text)
expect "job story" "$text" "Job 575, all its lines"
click 300 100
send_key ctrl+f
xdotool type --delay 20 "Job 575"
send_key Escape
send_key j
send_key End
expect "J" "$(line)" "[Job 575] Queued on"
send_key j
send_key Home
expect "J again" "$(line)" "[Printer label-1] The PPD file contains no media options"

# The filter: only the lines that hold its text; emptied, all of them.
send_key ctrl+l
xdotool type --delay 20 "client 114"
send_key Return
send_key Home
expect "filter" "$(line)" "[Client 114] Returning HTTP Unauthorized"
send_key End
expect "filter" "$(line)" "[Client 114] pam_authenticate() returned 7"
send_key ctrl+l
for _ in $(seq 10); do xdotool key BackSpace; done
send_key Return
send_key End
expect "filter off" "$(line)" "Unknown directive JobPrivateAccess on line 83"

# The keys: Ctrl+3 lists every line, Ctrl+1 the errors again, F1 the keys.
send_key ctrl+3
send_key End
expect "Ctrl+3" "$(line)" "Loaded configuration file"
send_key ctrl+1
send_key End
expect "Ctrl+1" "$(line)" "Unknown directive JobPrivateAccess on line 83"
send_key F1
expect "F1" "$(pane_text)" "Shift+F3"
stop_app
echo "e2e_window: all checks passed"
