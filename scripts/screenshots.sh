#!/bin/bash
# screenshots.sh [VEKLOG [OUT_DIR]] - the screenshots of docs/, made under Xvfb
# from the sample log: the start page, the find bar, a job's story and
# Diagnose. VEKLOG is the built program (build/veklog), OUT_DIR docs/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
veklog=$(realpath "${1:-$root/build/veklog}")
out=$(realpath "${2:-$root/docs}")
work=$(mktemp -d /tmp/veklog-shots-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root/data/sample_error_log" "$work/error_log"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$veklog" "$work/error_log" "$out" "$root" <<'SHOTS'
set -eu
veklog=$1 log=$2 out=$3 root=$4
export TARN_DATADIR=$root
# Named as an administrator would name a copy, in its directory.
cd "$(dirname "$log")"
"$veklog" error_log & pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT
wid=""
for _ in $(seq 100); do
  wid=$(xdotool search --pid "$pid" --class veklog 2>/dev/null | head -n 1) && [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "screenshots.sh: no window" >&2; exit 1; }
# A taller window than the default shows more of the pane.
xdotool windowsize --sync "$wid" 645 640
sleep 0.5
key() { xdotool key --window "$wid" --clearmodifiers "$@"; sleep 0.3; }
type() { xdotool type --window "$wid" --delay 20 "$1"; sleep 0.3; }
shot() { sleep 0.3; import -window "$wid" "$out/$1"; }
xdotool mousemove --window "$wid" 300 100
shot screenshot-start.png
key ctrl+f
type "usb"
shot screenshot-find.png
key Escape
key ctrl+f
type "job 575"
key Escape
key j
# The job's eight lines need less room: the border goes up; the pane,
# scrolled down to the job's story.
xdotool mousemove --window "$wid" 300 352 mousedown 1 mousemove --window "$wid" 300 216 mouseup 1
sleep 0.3
xdotool mousemove --window "$wid" 300 500
for _ in $(seq 24); do xdotool click 5; done
shot screenshot-job.png
xdotool mousemove --window "$wid" 300 216 mousedown 1 mousemove --window "$wid" 300 352 mouseup 1
xdotool mousemove --window "$wid" 300 100 click 1
key Escape
xdotool mousemove --window "$wid" 300 100
key ctrl+d
shot screenshot-diagnose.png
SHOTS
echo "screenshots in $out"
