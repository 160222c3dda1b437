#!/bin/bash
# compare.sh - times loading a large log into the list against the shell doing
# the same work (grep | tac, tac), and veklog-explain --check against grep -c,
# side by side on one generated file, and reports the peak memory of a list
# holding every line, as ratios; then Diagnose, the window's find, filter
# and a job's story over every line, and a large knowledge base; then the
# same lines as a rotated set of five files against its members read one
# after the other, and as a journal against journalctl printing it.
#
#   bench/compare.sh [BUILD_DIR] [LINES] [RUNS]
# BUILD_DIR is a build configured with -DVEKLOG_BUILD_BENCH=ON (default
# build-bench/ in the source tree), LINES the size of the log (1000000), RUNS how many times
# each command runs; the best run counts (5; 3 for the rotated set and the
# journal). The journal needs systemd-journal-remote (scripts/deps.sh).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=${1:-$src/build-bench}
lines=${2:-1000000}
runs=${3:-5}
genlog=$build/bench/veklog_genlog
loadlog=$build/bench/veklog_loadlog
bench=$build/bench/veklog_bench
explain=$build/cli/veklog-explain
genkb=$build/bench/veklog_genkb
loadkb=$build/bench/veklog_loadkb
genjournal=$build/bench/veklog_genjournal
remote=/lib/systemd/systemd-journal-remote
[ -x "$remote" ] || { echo "compare.sh: $remote is missing; run scripts/deps.sh" >&2; exit 1; }
for tool in "$genlog" "$loadlog" "$bench" "$explain" "$genkb" "$loadkb" "$genjournal"; do
  [ -x "$tool" ] || { echo "compare.sh: $tool is missing; build with -DVEKLOG_BUILD_BENCH=ON" >&2; exit 1; }
done

work=$(mktemp -d /tmp/veklog-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT
log=$work/error_log
"$genlog" "$lines" "$src/data/errors.xml" "$src/data/sample_error_log" >"$log"
size=$(stat -c %s "$log")
# The shell tools get the plain byte locale, their fastest.
export LC_ALL=C

# time_ms COMMAND...: the wall-clock time of one run, process start
# included, in milliseconds.
time_ms() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null || true  # --check's status is no failure
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) * 1000 }'
}

grep_tac() { grep '^[XACE]' "$log" | tac; }

# --check looks at the last hour: on a live log the hour before now, here the
# hour before the log's last line (the generated log is of an older day).
# Every line counts when --since is earlier than the log.
last=$(tail -n 1 "$log" | cut -c4-29 | sed 's|/| |g; s|:| |')
hour=$(date -u -d "$last 1 hour ago" '+%Y-%m-%dT%H:%M:%SZ')
check() { "$explain" --kb "$src/data/errors.xml" --check --since "$1" "$log"; }

names=("veklog load, level 0" "grep '^[XACE]' FILE | tac" "veklog load, level 2" "tac FILE"
       "veklog-explain --check, last hour" "grep -c '^[XACE]' FILE" "veklog-explain --check, all lines")
run() {
  case $1 in
    0) "$loadlog" 0 "$log" ;;
    1) grep_tac ;;
    2) "$loadlog" 2 "$log" ;;
    3) tac "$log" ;;
    4) check "$hour" ;;
    5) grep -c '^[XACE]' "$log" >"$work/count" ;;  # to /dev/null, grep stops at the first match
    6) check 2000-01-01 ;;
  esac
}

# The commands take turns, so a machine busy with other work slows them
# alike; each keeps its best run. One round first warms the caches.
for k in 0 1 2 3 4 5 6; do run $k >/dev/null || true; done
best=("" "" "" "" "" "" "")
for ((r = 0; r < runs; r++)); do
  for k in 0 1 2 3 4 5 6; do
    ms=$(time_ms run $k)
    if [ -z "${best[k]}" ] || awk -v m="$ms" -v b="${best[k]}" 'BEGIN { exit !(m < b) }'; then
      best[k]=$ms
    fi
  done
done

echo "log: $lines lines, $size bytes; best of $runs runs each, process start included"
for k in 0 1 2 3 4 5 6; do printf '  %-34s %8s ms\n' "${names[k]}" "${best[k]}"; done
ours0=${best[0]} floor0=${best[1]} ours2=${best[2]} floor2=${best[3]}

# The timings mean nothing unless the list holds what the shell finds: every
# error line at level 0, and at level 2 every line (an over-long line counts
# once per piece, so at least as many).
read -r listed0 _ < <("$loadlog" 0 "$log")
errors=$(grep -c '^[XACE]' "$log")
newlines=$(wc -l <"$log")
read -r listed rss_kb < <("$loadlog" 2 "$log")
if [ "$listed0" != "$errors" ] || [ "$listed" -lt "$newlines" ]; then
  echo "compare.sh: the list holds $listed0 error lines (grep: $errors) and $listed lines (file: $newlines)" >&2
  exit 1
fi
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mem=$(awk -v k="$rss_kb" -v s="$size" 'BEGIN { printf "%.2f", k * 1024 / s }')

echo
printf 'level 0 / grep|tac   %6s  (target <= 1.50)\n' "$(ratio "$ours0" "$floor0")"
printf 'level 2 / tac        %6s  (target <= 2.50)\n' "$(ratio "$ours2" "$floor2")"
printf 'peak memory / file   %6s  (target <= 1.80; %d lines held, max RSS %d kB)\n' \
  "$mem" "$listed" "$rss_kb"
# The check's answer, so that the figures are of a check that counted.
hour_lines=$(check "$hour" | sed -n 's/.* | errors=\([0-9]*\) .*/\1/p')
printf 'check, hour / grep -c %5s  (target <= 1.50; the hour since %s: %s error lines)\n' \
  "$(ratio "${best[4]}" "${best[5]}")" "$hour" "$hour_lines"
printf 'check, all / grep -c  %5s  (every line weighed, %s error lines)\n' \
  "$(ratio "${best[6]}" "${best[5]}")" "$(check 2000-01-01 | sed -n 's/.* | errors=\([0-9]*\) .*/\1/p')"

# Diagnose against the level-2 load of the same lines, both inside one
# process: the window's Diagnose (which fills the pane, and the pane measures
# fonts: a display is needed, Xvfb when there is none) and the weighing alone,
# without a window. The median of 3 repetitions each.
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a)
"${display[@]}" "$bench" --benchmark_filter='BM_Load/2|BM_Diagnose' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$log" \
  >"$work/bench.txt" 2>/dev/null || true
median() { awk -v n="$1" 'index($1, n) == 1 && $1 ~ /_median$/ { print $2; exit }' "$work/bench.txt"; }
load2=$(median BM_Load/2/)
window=$(median BM_DiagnoseWindow/)
alone=$(median BM_Diagnose/)
deeper=$(median BM_DiagnoseWindowDeeper/)
if [ -n "$load2" ] && [ -n "$window" ] && [ -n "$alone" ]; then
  printf 'diagnose / load 2    %6s  (target <= 2.00; %s ms against %s ms, in one process)\n' \
    "$(ratio "$window" "$load2")" "$window" "$load2"
  printf '  without the window %6s  (%s ms)\n' "$(ratio "$alone" "$load2")" "$alone"
  # At the Errors level, on a copy whose listed lines name only a follow-on:
  # the file read again, every line weighed, the unlisted lines quoted.
  [ -z "$deeper" ] ||
    printf '  Errors level, deeper look %6s  (%s ms)\n' "$(ratio "$deeper" "$load2")" "$deeper"
else
  echo "compare.sh: the Diagnose benchmarks did not run" >&2
  exit 1
fi

# The window at the All level, every line listed: find and the filter after
# a key, a job's story after a click (its CPU time: on a busy machine the
# wall clock counts the other work too). The median of 3 repetitions each.
"${display[@]}" "$bench" --benchmark_filter='^(BM_Find/|BM_Filter/|BM_JobStory)' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$log" \
  >"$work/window.txt" 2>/dev/null || true
cpu_median() { awk -v n="$1" 'index($1, n) == 1 && $1 ~ /_median$/ { print $4; exit }' "$work/window.txt"; }
report() {  # NAME TARGET WHAT
  local ms
  ms=$(cpu_median "$1")
  [ -n "$ms" ] || { echo "compare.sh: $1 did not run" >&2; exit 1; }
  printf '%-36s %7s ms  (target <= %s ms)\n' "$3" "$ms" "$2"
}
echo
report BM_Find/0/ 100 "find, no line holds it"
report BM_Find/1/ 100 "find, its start on most lines"
report BM_Filter/0/ 100 "filter narrowed, most lines stay"
report BM_Filter/1/ 100 "filter narrowed, a few stay"
report BM_Filter/2/ 100 "filter widened, a few come"
report BM_Filter/3/ 100 "filter off, every line back"
report BM_JobStory/ 50 "a job's story"

# A large knowledge base: 100,000 items of patterns of about 250 characters
# (plain, each a group of alternatives, each with a stray brace), read,
# indexed and asked for a line its last item explains, as a program does
# before its first answer; the best of 3 runs. Then one remedy of 10 MB of
# text, read once.
echo
for shape in plain groups stray; do
  "$genkb" 100000 "$shape" >"$work/kb.xml" 2>"$work/kb-line"
  best_kb=""
  for ((r = 0; r < 3; r++)); do
    read -r read_ms index_ms items found rss_kb < <("$loadkb" "$work/kb.xml" "$(cat "$work/kb-line")")
    total=$((read_ms + index_ms))
    if [ -z "$best_kb" ] || [ "$total" -lt "${best_kb%% *}" ]; then
      best_kb="$total $read_ms $index_ms $rss_kb"
    fi
  done
  [ "$found" = 1 ] || { echo "compare.sh: no item of the $shape base explains its line" >&2; exit 1; }
  read -r total read_ms index_ms rss_kb <<<"$best_kb"
  printf 'kb of %d items, %-6s %6s ms %5d MB  (target <= 3000 ms, 400 MB; read %s ms, index and look-up %s ms)\n' \
    "$items" "$shape" "$total" $((rss_kb / 1024)) "$read_ms" "$index_ms"
done
"$genkb" 10000000 longtext >"$work/kb.xml" 2>"$work/kb-line"
read -r read_ms index_ms items found rss_kb < <("$loadkb" "$work/kb.xml" "$(cat "$work/kb-line")")
printf 'kb with a 10 MB remedy text %6s ms %5d MB  (target <= 200 ms)\n' "$read_ms" $((rss_kb / 1024))

# veklog-explain over the whole log at the All level: Diagnose and the
# listing newest first, their peak memory against the file's size and their
# times beside tac and grep | tac (best of RUNS, as above).
echo
explain_all() { "$explain" --kb "$src/data/errors.xml" -l all "$@" "$log"; }
peak_kb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
for what in diagnose list; do
  args=()
  [ "$what" = diagnose ] && args=(--diagnose)
  best_ms=""
  for ((r = 0; r < runs; r++)); do
    ms=$(time_ms explain_all "${args[@]}")
    if [ -z "$best_ms" ] || awk -v m="$ms" -v b="$best_ms" 'BEGIN { exit !(m < b) }'; then
      best_ms=$ms
    fi
  done
  kb=$(peak_kb "$explain" --kb "$src/data/errors.xml" -l all "${args[@]}" "$log")
  label="veklog-explain ${args[*]:+--diagnose }-l all"
  printf '%-36s %8s ms  peak %6d kB = %s x file  (target <= 0.20; tac %s ms, grep|tac %s ms)\n' \
    "$label" "$best_ms" "$kb" "$(awk -v k="$kb" -v s="$size" 'BEGIN { printf "%.2f", k * 1024 / s }')" \
    "$floor2" "$floor0"
done

# The window's other sources, each loaded as File > Open... loads it, best
# of 3 runs in turns as above. A rotated set of the same lines in five files
# (two compressed, as the distribution's rotation leaves them) against the
# same members loaded one after the other, each alone into a list of its
# own, all held, the compressed ones inflated; and a journal of the same entries against journalctl -o cat.
echo
set_runs=$((runs < 3 ? runs : 3))
mkdir "$work/set" "$work/journal"
per=$(((lines + 4) / 5))
split -l "$per" -d -a 1 "$log" "$work/set/piece."
members=()
k=0
for suffix in .3.gz .2.gz .1 .O ""; do
  if [[ $suffix == *.gz ]]; then
    gzip -c "$work/set/piece.$k" >"$work/set/error_log$suffix"
  else
    cp "$work/set/piece.$k" "$work/set/error_log$suffix"
  fi
  rm "$work/set/piece.$k"
  members+=("$work/set/error_log$suffix")
  k=$((k + 1))
done
"$genlog" "$lines" "$src/data/errors.xml" "$src/data/sample_error_log" | "$genjournal" 1 >"$work/export"
# The writer rotates a large journal into several files: read them as one directory.
"$remote" --output="$work/journal/tarn.journal" "$work/export" 2>/dev/null
rm "$work/export"
jfiles=$(ls "$work/journal" | wc -l)
jsize=$(du -sb "$work/journal" | cut -f1)

snames=("rotated set, level 2" "its members one after another" "journal, level 2" "journalctl -o cat -D DIR"
        "journal, level 0")
srun() {
  case $1 in
    0) "$loadlog" 2 "$work/set/error_log" ;;
    1) "$loadlog" 2 --each "${members[@]}" ;;
    2) "$loadlog" 2 "$work/journal" ;;
    3) journalctl -o cat -D "$work/journal" ;;
    4) "$loadlog" 0 "$work/journal" ;;
  esac
}
for k in 0 1 2 3 4; do srun $k >/dev/null; done
sbest=("" "" "" "" "")
for ((r = 0; r < set_runs; r++)); do
  for k in 0 1 2 3 4; do
    ms=$(time_ms srun $k)
    if [ -z "${sbest[k]}" ] || awk -v m="$ms" -v b="${sbest[k]}" 'BEGIN { exit !(m < b) }'; then
      sbest[k]=$ms
    fi
  done
done
# Again, the timings mean nothing unless every line is there.
read -r set_listed set_rss < <("$loadlog" 2 "$work/set/error_log")
read -r each_listed _ < <("$loadlog" 2 --each "${members[@]}")
read -r held jrss_kb < <("$loadlog" 2 "$work/journal")
printed=$(journalctl -o cat -D "$work/journal" | wc -l)
if [ "$set_listed" != "$each_listed" ] || [ "$set_listed" -lt "$newlines" ] || [ "$held" -lt "$printed" ]; then
  echo "compare.sh: the set listed $set_listed lines, its members $each_listed (file: $newlines);" \
    "the journal $held, journalctl $printed" >&2
  exit 1
fi
echo "rotated set: $lines lines in 5 files, 2 compressed; journal: $lines entries in $jfiles files, $jsize bytes"
for k in 0 1 2 3 4; do printf '  %-34s %8s ms\n' "${snames[k]}" "${sbest[k]}"; done
printf 'rotated set / members %5s  (target <= 1.20; %d lines held, max RSS %d kB)\n' \
  "$(ratio "${sbest[0]}" "${sbest[1]}")" "$set_listed" "$set_rss"
printf 'journal / journalctl  %5s  (target <= 3.00; %d lines held, max RSS %d kB)\n' \
  "$(ratio "${sbest[2]}" "${sbest[3]}")" "$held" "$jrss_kb"
