#!/bin/bash
# journal_compare.sh - times reading a large journal through the journal
# source against journalctl printing the same entries (-o cat), side by side
# on one generated journal, and reports the ratio.
#
#   bench/journal_compare.sh [BUILD_DIR] [ENTRIES] [RUNS]
# BUILD_DIR is a build configured with -DVEKLOG_BUILD_BENCH=ON (default
# build-bench/ in the source tree), ENTRIES the journal's size (1000000), RUNS
# how many times each command runs; the best run counts (3). Needs
# systemd-journal-remote (scripts/deps.sh).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=${1:-$src/build-bench}
entries=${2:-1000000}
runs=${3:-3}
genlog=$build/bench/veklog_genlog
genjournal=$build/bench/veklog_genjournal
load=$build/bench/veklog_journalload
remote=/lib/systemd/systemd-journal-remote
for tool in "$genlog" "$genjournal" "$load" "$remote"; do
  [ -x "$tool" ] || { echo "journal_compare.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/veklog-journal.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/journal"
"$genlog" "$entries" "$src/data/errors.xml" "$src/data/sample_error_log" | "$genjournal" 1 >"$work/export"
# The writer rotates a large journal into several files: read them as one directory.
"$remote" --output="$work/journal/tarn.journal" "$work/export" 2>/dev/null
rm "$work/export"
files=$(ls "$work/journal" | wc -l)
size=$(du -sb "$work/journal" | cut -f1)

time_ms() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) * 1000 }'
}
names=("journal source, level 2" "journalctl -o cat -D DIR" "journal source, level 0")
run() {
  case $1 in
    0) "$load" 2 "$work/journal" ;;
    1) journalctl -o cat -D "$work/journal" ;;
    2) "$load" 0 "$work/journal" ;;
  esac
}
for k in 0 1 2; do run $k >/dev/null; done
best=("" "" "")
for ((r = 0; r < runs; r++)); do
  for k in 0 1 2; do
    ms=$(time_ms run $k)
    if [ -z "${best[k]}" ] || awk -v m="$ms" -v b="${best[k]}" 'BEGIN { exit !(m < b) }'; then
      best[k]=$ms
    fi
  done
done

# The timings mean nothing unless the source gives every entry journalctl prints.
read -r held _ rss_kb < <("$load" 2 "$work/journal")
printed=$(journalctl -o cat -D "$work/journal" | wc -l)
if [ "$held" -lt "$printed" ]; then
  echo "journal_compare.sh: the source gave $held lines, journalctl $printed" >&2
  exit 1
fi
echo "journal: $entries entries in $files files, $size bytes; best of $runs runs each, process start included"
for k in 0 1 2; do printf '  %-30s %8s ms\n' "${names[k]}" "${best[k]}"; done
printf 'source, level 2 / journalctl   %6s  (the window load: target <= 3.00; %d lines held, max RSS %d kB)\n' \
  "$(awk -v a="${best[0]}" -v b="${best[1]}" 'BEGIN { printf "%.2f", a / b }')" "$held" "$rss_kb"
