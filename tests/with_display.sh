#!/bin/bash
# with_display.sh COMMAND... - runs COMMAND on an X server of its own, so that
# a test that moves the focus with xdotool can run beside the others.
set -u
ready=$(mktemp /tmp/veklog-display.XXXXXX)
# The server picks a free display itself and writes its number once it listens;
# -noreset: otherwise it resets whenever its last client leaves, and a client
# that connects during the reset finds no display.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$ready" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 1 100); do
  [ -s "$ready" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
number=$(head -n 1 "$ready")
[ -n "$number" ] || { echo "with_display.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=:$number "$@"
