#!/bin/bash
# demo.sh - installs what the demo needs, builds the program, and shows the
# viewer on a copy of the bundled sample log while a line is appended to it
# every two seconds. Without a display it runs under Xvfb, saves a screenshot
# and exits.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" demo
# A build of its own without the test suites, which need more packages.
"$root/scripts/build.sh" "$root/build-demo" -DVEKLOG_BUILD_TESTS=OFF

work=$(mktemp -d /tmp/veklog-demo-XXXXXX)
log=$work/error_log
cp "$root/data/sample_error_log" "$log"

# Keeps writing: replays the sample's lines with the current time.
feed() {
  while :; do
    while IFS= read -r line; do
      sleep 2
      printf '%s [%s] %s\n' "${line:0:1}" "$(date -u '+%d/%b/%Y:%H:%M:%S +0000')" "${line:31}" >> "$log"
    done < "$root/data/sample_error_log"
  done
}
feed & feeder=$!
trap 'kill $feeder 2>/dev/null; rm -rf "$work"' EXIT

# The knowledge base is found in the working directory.
cd "$root/data"
if [ -n "${DISPLAY:-}" ]; then
  "$root/build-demo/veklog" "$log"
else
  shot=/tmp/veklog-demo.png
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" "$2" & pid=$!
    sleep 5
    import -window root -crop 645x455+0+0 "$3"
    kill $pid; wait $pid 2>/dev/null; exit 0
  ' demo "$root/build-demo/veklog" "$log" "$shot"
  echo "No display here: the window ran under Xvfb; screenshot saved to $shot"
fi
