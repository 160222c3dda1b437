#!/bin/bash
# e2e_explain.sh - the built veklog-explain as an administrator meets it over
# SSH: no display, the listing at each level and in both orders, times,
# standard input, JSON, colour, the exit statuses and their messages, the
# checker, and following a log through an append and a rotation.
#   e2e_explain.sh VEKLOG_EXPLAIN SOURCE_DIR [VEKLOG]
# With VEKLOG, the window program's --help and --version are tried too.
set -u
. "$(dirname "$0")/e2e_lib.sh"
explain_setup "$1" "$2"
esc=$(printf '\033')

# Two known errors, an unknown one, a warning, a debug line, oldest first.
cat >log <<'LOG'
E [09/Dec/2026:09:00:00 +0000] Scheduler shutting down due to SIGTERM.
W [09/Dec/2026:09:30:00 +0000] Low disk space on /var/spool/tarn: 48 MB free.
D [09/Dec/2026:10:00:00 +0000] Debug chatter nobody explains.
E [09/Dec/2026:10:30:00 +0000] Something no knowledge base has heard of.
A [09/Dec/2026:11:00:00 +0000] [Job 431] Credentials are expired.
LOG

# The log lines a run printed, by their first letters and minutes.
listed() { "$X" --kb "$kb" "$@" log | grep -E '^[A-Z] \[' | cut -c1,19-20 | tr '\n' ' '; }

# Listing: level and order. Each case: expected lines, then the options.
while IFS='|' read -r want opts; do
  # shellcheck disable=SC2086
  got=$(listed $opts)
  [ "$got" = "$want" ] || fail "listing with '$opts': got '$got', want '$want'"
done <<'CASES'
A00 E30 E00 |
A00 E30 E00 |--level=errors
A00 E30 W30 E00 |--level=info
A00 E30 D00 W30 E00 |--level=all
E00 E30 A00 |--oldest-first
E00 W30 D00 E30 A00 |-l all --oldest-first
E30 D00 W30 |-l all --since=2026-12-09T09:15Z --until=09/Dec/2026:10:45:00+0000
A00 |--since=2026-12-09T11:00Z
CASES

# Finding: the newest N lines, a text in any case or an expression, and one
# line per log line with its meaning.
while IFS='|' read -r want opts; do
  # shellcheck disable=SC2086
  got=$(listed $opts)
  [ "$got" = "$want" ] || fail "finding with '$opts': got '$got', want '$want'"
done <<'CASES'
A00 E30 |-n 2
E30 A00 |-n 2 --oldest-first
|-n 0
A00 |-g JOB
A00 |--grep=credentials
A00 E00 |-E -g (shutting)?.*(sigterm|credentials)
W30 |-l all -E --grep=^w.*disk
CASES
"$X" --kb "$kb" --brief -l all log >brief.out
[ "$(wc -l <brief.out)" = 5 ] || fail "--brief does not give one line per log line: $(cat brief.out)"
dash=$(printf '\342\200\224')  # an em dash, on a UTF-8 terminal
grep -qE "^A \[09/Dec/2026:11:00:00 \+0000\] \[Job 431\] Credentials are expired\. (--|$dash) [A-Z][^.]*\.\$" brief.out ||
  fail "--brief does not give the line its meaning in one sentence: $(cat brief.out)"
# --color alone means always; yes and no are taken.
"$X" --kb "$kb" --color log | grep -q "${esc:=$(printf '')}\[1;31mA \[" || fail "--color alone gives no colour"
"$X" --kb "$kb" --color=no log | grep -q "$esc" && fail "--color=no gives colour"

# Relative times, against lines written minutes and hours ago.
stamp() { LC_ALL=C date -u -d "$1" '+[%d/%b/%Y:%H:%M:%S +0000]'; }
{ echo "E $(stamp '-3 hours') Scheduler shutting down due to SIGTERM."
  echo "E $(stamp '-90 minutes') Something no knowledge base has heard of."
  echo "A $(stamp '-10 minutes') [Job 431] Credentials are expired."; } >recent.log
while IFS='|' read -r want opts; do
  got=$("$X" --kb "$kb" --oldest-first --since="$opts" recent.log | grep -cE '^[A-Z] \[')
  [ "$got" = "$want" ] || fail "--since='$opts' listed $got lines, not $want"
done <<'CASES'
1|1 hour ago
1|-1h
2|-2h
2|100 min ago
3|2 days ago
0|now
CASES
[ "$("$X" --kb "$kb" --until='2 hours ago' recent.log | grep -c 'SIGTERM')" = 1 ] || fail "--until='2 hours ago'"

# A job's story: its lines at every level, oldest first, then the remedy
# they point to, the cause found in the lines outside the job.
"$X" --kb "$kb" --job 421 "$src/tests/data/scenario_missing_filter.log" >job.out
[ $? = 0 ] || fail "--job did not end with 0"
[ "$(grep -E '^[A-Z] \[' job.out | sed -n 1,6p | cut -c1,32-39 | tr '\n' ' ')" = \
  "I[Job 421 E[Job 421 D[Job 421 D[Job 421 D[Job 421 D[Job 421 " ] ||
  fail "--job 421 did not list its six lines oldest first: $(cat job.out)"
grep -q '^Remedy: filter-missing, score ' job.out || fail "--job names no remedy: $(cat job.out)"
sed -n '/^Found in lines outside job 421:$/,$p' job.out | grep -q 'Filter "rastertolabel" for printer "label-1" not available' ||
  fail "--job does not show the cause found outside the job: $(cat job.out)"
"$X" --kb "$kb" --job 421 --diagnose "$src/tests/data/scenario_missing_filter.log" >job.out
[ $? = 1 ] && head -1 job.out | grep -q '^Remedy: filter-missing' || fail "--job --diagnose: $(head -1 job.out)"
"$X" --kb "$kb" --job 999 "$src/tests/data/scenario_missing_filter.log" >job.out 2>err
[ $? = 0 ] && [ ! -s job.out ] && grep -q 'belongs to job 999' err || fail "--job of no line: $(cat err)"

out=$("$X" --kb "$kb" log)
# The shipped file ends in catch-all items, so an unknown line needs a
# knowledge base that lacks them.
printf '<remedy name="creds">\n<P>Renew them.</P>\n<item level="A" pattern="\\[Job *\\] Credentials are expired*" severity="5">\n<P>Expired.</P>\n</item>\n</remedy>\n' >tiny.xml
"$X" --kb tiny.xml log | grep -q '^    (not in the knowledge base)$' || fail "an unknown line is not marked"
n=$(printf '%s\n' "$out" | grep -c '^    ')
[ "$n" -ge 3 ] || fail "the known lines carry no explanation: $out"
"$X" --kb "$kb" --remedy log | grep -q '^    Remedy (printer-credentials):$' || fail "--remedy shows no remedy"
[ "$("$X" --kb "$kb" - <log)" = "$out" ] || fail "standard input lists differently from the file"

# JSON Lines: each line parses, and carries what the text shows.
"$X" --kb "$kb" --json -l all -r log >json.out
"$X" --kb "$kb" --json --diagnose log >>json.out
"$X" --kb tiny.xml --json log >tiny.out
python3 - json.out tiny.out <<'PY' || fail "JSON output does not parse or lacks its fields"
import json, sys
rows = [json.loads(l) for l in open(sys.argv[1])]
lines = [r for r in rows if r["type"] == "line"]
assert len(lines) == 5, lines
assert lines[0]["level"] == "A" and lines[0]["remedy"] == "printer-credentials" and lines[0]["known"]
assert lines[0]["time"] == "2026-12-09T11:00:00Z"
# The meaning: the explanation's first sentence.
assert lines[0]["meaning"].endswith(".") and " ".join(lines[0]["explanation"].split()).startswith(lines[0]["meaning"]), lines[0]
tiny = [json.loads(l) for l in open(sys.argv[2])]
assert any(not r["known"] and r["remedy"] is None for r in tiny if r["type"] == "line")
d = rows[-1]
assert d["type"] == "diagnosis" and d["remedy"]["name"] and len(d["lines"]) >= 1, d
PY

# A refused connection writes W lines only: --diagnose names the remedy from
# them and shows them apart, in text and in JSON ("in_view": false); the
# listed lines ("lines") stay strings. An unknown E line is "known": false.
cat >refused.log <<'LOG'
I [09/Dec/2026:17:15:30 +0000] [Job 2] Queued on "lab" by "root".
W [09/Dec/2026:17:15:36 +0000] [Job 2] The printer may not exist or is unavailable at this time.
E [09/Dec/2026:17:15:40 +0000] Something no knowledge base has heard of.
W [09/Dec/2026:17:16:06 +0000] [Job 2] The printer did not respond.
LOG
"$X" --kb "$kb" --diagnose refused.log >refused.out
[ $? = 1 ] || fail "--diagnose on the refused connection did not end with 1"
head -1 refused.out | grep -q '^Remedy: network-printer-unreachable, score 10 ' || fail "refused: $(head -1 refused.out)"
sed -n '/^Found in lines this view does not list:$/,$p' refused.out >found.out
[ "$(sed -n 2,3p found.out | cut -c1-32)" = "$(printf 'W [09/Dec/2026:17:16:06 +0000] [\nW [09/Dec/2026:17:15:36 +0000] [')" ] ||
  fail "the unlisted lines are not shown apart, newest first: $(cat refused.out)"
grep -q '^Lines that point to' refused.out && fail "listed lines shown where none point to the remedy"
"$X" --kb "$kb" --diagnose --json refused.log >refused.json
"$X" --kb "$kb" --json -l all refused.log >>refused.json
python3 - refused.json <<'PY' || fail "--json does not mark the unlisted lines: $(cat refused.json)"
import json, sys
rows = [json.loads(l) for l in open(sys.argv[1])]
d = rows[0]
assert d["type"] == "diagnosis" and d["remedy"]["name"] == "network-printer-unreachable", d
assert d["remedy"]["cause"] is True and d["deeper"] is True and d["lines"] == [], d
assert [u["in_view"] for u in d["unlisted"]] == [False, False], d
assert [u["level"] for u in d["unlisted"]] == ["W", "W"] and d["unlisted"][0]["time"] == "2026-12-09T17:16:06Z", d
assert d["unlisted"][0]["line"].endswith("The printer did not respond."), d
known = {r["line"][31:]: r["known"] for r in rows[1:]}
assert known["Something no knowledge base has heard of."] is False, known
assert known["[Job 2] The printer did not respond."] is True, known
PY
# Unknown X, A, C and E lines are no all-clear.
for l in X A C E; do printf '%s [09/Dec/2026:09:00:00 +0000] Something no knowledge base has heard of.\n' $l; done >unknown4.log
"$X" --kb "$kb" --diagnose unknown4.log >unknown4.out
[ $? = 1 ] || fail "--diagnose on unknown X/A/C/E lines did not end with 1"
head -1 unknown4.out | grep -q '^Remedy: unlisted-message, score 7 ' || fail "unknown lines: $(head -1 unknown4.out)"

# Colour only on request here (not a terminal), and never with NO_COLOR set.
"$X" --kb "$kb" log | grep -q "$esc" && fail "colour on a pipe"
"$X" --kb "$kb" --color=always log | grep -q "${esc}\[1;31mA \[" || fail "--color=always gives no red error"
NO_COLOR=1 "$X" --kb "$kb" --color=auto log | grep -q "$esc" && fail "colour despite NO_COLOR"

# Exit statuses, and the one line on standard error that names file and
# reason (a wrong command line adds a pointer to --help).
mkdir adir emptydir
printf 'E [09/Dec/2026:09:00:00 +0000] Something no knowledge base has heard of.\n' >unknown.log
while IFS='|' read -r rc errline opts; do
  # shellcheck disable=SC2086
  (cd emptydir && "$X" $opts >../out 2>../err </dev/null)
  got=$?
  [ "$got" = "$rc" ] || fail "'$opts' ended with $got, not $rc"
  if [ -n "$errline" ]; then
    [ "$rc" = 2 ] || [ "$(wc -l <err)" = 1 ] || fail "'$opts' wrote $(wc -l <err) lines on stderr: $(cat err)"
    grep -qF -- "$errline" err || fail "'$opts' said '$(cat err)', not '$errline'"
  fi
done <<CASES
0||--kb $kb ../log
1||--kb $kb --diagnose ../unknown.log
1||--kb $kb --diagnose ../log
0||--help
0||--version
2|unknown option '--bogus'|--bogus
2|unknown level 'some'|--level=some ../log
3|cannot read ../missing.log: No such file or directory|--kb $kb ../missing.log
3|cannot read ../adir: is a directory|--kb $kb ../adir
3|cannot read the knowledge base ../missing.xml: No such file or directory|--kb ../missing.xml ../log
CASES
# Run from its build tree the program finds the source tree's data/errors.xml
# after the places it looks in first; a copy of it elsewhere does not.
cp "$X" elsewhere
(cd emptydir && "$X" --check-kb >../out 2>&1) || fail "run from the build tree, no knowledge base: $(cat out)"
grep -qF "$src/data/errors.xml: " out || fail "the build tree's program read another knowledge base: $(cat out)"
for opts in ../log "--diagnose ../log"; do
  # shellcheck disable=SC2086
  (cd emptydir && ../elsewhere $opts >../out 2>../err)
  [ $? = 3 ] && grep -qxF 'veklog-explain: cannot read the knowledge base /nonexistent/data/errors.xml: No such file or directory' err ||
    fail "a copy outside the build tree with '$opts': $(cat err)"
done
if [ "$(id -u)" != 0 ]; then
  cp log locked.log && chmod 000 locked.log
  "$X" --kb "$kb" locked.log >/dev/null 2>err
  [ $? = 3 ] && grep -q 'locked.log: Permission denied' err || fail "an unreadable log: $(cat err)"
fi
# A compressed log is read whole, a damaged one as far as it goes (and said),
# and neither is followed.
gzip -c log >log.gz
head -c 200 log.gz >damaged.gz
[ "$("$X" --kb "$kb" log.gz)" = "$out" ] || fail "a compressed log lists differently"
"$X" --kb "$kb" damaged.gz >/dev/null 2>err
[ $? = 4 ] || fail "a damaged compressed log did not end with 4 (read in part)"
grep -qx 'veklog-explain: damaged.gz was read in part: compressed data is damaged.*; what could be read follows' err ||
  fail "a damaged compressed log: $(cat err)"
# Damaged at several places: every whole line gzip itself inflates is
# listed, the line cut is not, the exit status is 4 and JSON warns of it,
# naming the file. Each case: a name, then how the damaged copy is made.
awk 'BEGIN { for (i = 0; i < 3000; i++) printf "I [09/Dec/2026:10:00:00 +0000] line %d of the history\n", i }' >many.log
gzip -c many.log >many.gz
size=$(stat -c %s many.gz)
while IFS='|' read -r name make; do
  eval "$make" >cut.gz
  want=$(zcat cut.gz 2>/dev/null | head -c "$(stat -c %s many.log)" | grep -c 'of the history$')
  "$X" --kb "$kb" -l all -j --oldest-first cut.gz >cut.json 2>err
  rc=$?
  [ "$rc" = 4 ] || fail "$name: ended with $rc, not 4"
  got=$(grep -c '"type":"line"' cut.json)
  [ "$got" = "$want" ] || fail "$name: $got lines listed, gzip inflates $want whole ones"
  grep -q '"line":"I [^"]*line [0-9]* of the history"' cut.json || fail "$name: no line listed"
  grep -v '"type":"line"' cut.json | grep -q '^{"type":"warning","file":"cut.gz","warning":"read in part","damage":"[^"]*'"$name"'' ||
    fail "$name: no JSON warning: $(grep -v '"type":"line"' cut.json)"
  [ "$(grep -c 'of the history"' cut.json)" = "$got" ] || fail "$name: a cut line was listed"
done <<CASES
cut short|head -c $((size / 3)) many.gz
cut short|head -c $((size * 2 / 3)) many.gz
cut short|head -c $((size - 5)) many.gz
incorrect data check|{ head -c $((size - 8)) many.gz; printf 'XXXX'; tail -c 4 many.gz; }
bytes after the end of the compressed data|{ cat many.gz; printf 'I [09/Dec/2026:11:00:00 +0000] appended as plain text\n'; }
CASES
timeout 5 "$X" --kb "$kb" --follow log.gz >/dev/null 2>err || fail "following a compressed log ended with $?"
grep -q 'log.gz is compressed and does not grow' err || fail "following a compressed log: $(cat err)"
# The knowledge base found as the window finds it: in the working directory.
cp "$kb" errors.xml
"$X" log >/dev/null 2>err || fail "errors.xml in the working directory is not found: $(cat err)"
"$X" --help | head -1 | grep -q '^Usage: veklog-explain ' || fail "--help has no usage line"

# A long line is one line, however many pieces it is read in: a 2 MB E line
# is one E line in text and in JSON, and weighs once; a job's recorded
# document line with an E line's text at its 10,240th byte is a D line: not
# listed at the Errors level, and weighed as nothing.
printf '<remedy name="device">\n<P>Plug it in.</P>\n<item level="E" pattern="\\[Job *\\] Unable to open device*" severity="5">\n<P>Gone.</P>\n</item>\n</remedy>\n' >device.xml
{ printf 'E [09/Dec/2026:12:00:00 +0000] [Job 7] Unable to open device '
  head -c 2097152 /dev/zero | tr '\0' 'A'; printf '\n'; } >big.log
[ "$("$X" --kb device.xml big.log | grep -c '^E \[09/Dec/2026:12:00:00 +0000\] \[Job 7\] Unable to open device A*$')" = 1 ] ||
  fail "a 2 MB line is not printed as one line"
# The line, its explanation, a blank line and the line naming the knowledge base.
[ "$("$X" --kb device.xml big.log | wc -l)" = 4 ] || fail "a 2 MB line is printed as more than one line and its explanation"
json=$("$X" --kb device.xml --json big.log)
[ "$(printf '%s\n' "$json" | wc -l)" = 1 ] && printf '%s\n' "$json" | grep -q '"level":"E".*"remedy":"device"' ||
  fail "a 2 MB line is not one JSON record: $(printf '%s' "$json" | cut -c1-200)"
"$X" --kb device.xml --diagnose big.log | grep -q '^Remedy: device, score 5 (1 line weighed, 1 explained' ||
  fail "a 2 MB line does not weigh once: $("$X" --kb device.xml --diagnose big.log | head -1)"
{ printf 'D [09/Dec/2026:10:00:00 +0000] [Job 5] %%!PS '; head -c 10195 /dev/zero | tr '\0' 'd'
  printf 'E [09/Dec/2026:10:00:00 +0000] [Job 5] Unable to open device '
  head -c 9700 /dev/zero | tr '\0' 'd'; printf '\n'; } >forged.log
[ "$(head -c 10239 forged.log | wc -c)" = 10239 ] && [ "$(tail -c +10240 forged.log | head -c 2)" = "E " ] ||
  fail "the forged line is not where it should be"
[ -z "$("$X" --kb device.xml forged.log)" ] || fail "a document's text is listed as an E line"
"$X" --kb device.xml --diagnose forged.log | grep -q '^No errors were found' ||
  fail "a document's text weighs as an E line"
"$X" --kb device.xml -l all --diagnose forged.log | grep -q '^No errors were found that require a remedy. (1 line weighed, 0 explained,' ||
  fail "a document's line is weighed as more than one D line"
"$X" --kb device.xml -l all --json forged.log | grep -c '"level":"D"' | grep -qx 1 ||
  fail "a document's line is not one D record"

# The checker: clean on the shipped file, one error with its line on a broken one.
"$X" --check-kb "$kb" --samples "$src/tests/data/item_lines.txt" >out 2>err ||
  fail "the shipped knowledge base is not clean: $(cat out err)"
[ -s out ] && fail "the checker reports problems in the shipped file: $(cat out)"
printf '<remedy name="a">\n<item level="E" pattern="Foo*" severity="5">\n</item>\n</remedy>\n' >broken.xml
"$X" --check-kb broken.xml >out 2>err
[ $? = 3 ] || fail "--check-kb on a file that yields no item does not end with 3"
grep -qx 'broken.xml:2: error: item comes before any text of remedy .*' out ||
  fail "--check-kb said: $(cat out)"
printf 'E [09/Dec/2026:09:00:00 +0000] Foo\n' >broken.log
{ cat device.xml; cat broken.xml; } >half.xml
"$X" --kb half.xml broken.log >/dev/null 2>err
grep -q "1 entry of half.xml cannot be read; 'veklog-explain --check-kb half.xml' lists them" err ||
  fail "a broken knowledge base is not mentioned: $(cat err)"

# A knowledge base that yields no item is an error in every face: empty,
# every item lost, or not UTF-8 (the encoding is named).
: >empty.xml
printf '<\0r\0e\0m\0' >utf16.xml
while IFS='#' read -r file says; do
  for opts in "" "--diagnose" "--json"; do
    # shellcheck disable=SC2086
    "$X" --kb "$file" $opts broken.log >out 2>err
    status=$?
    [ "$status" = 3 ] && [ ! -s out ] && grep -q "$says" err ||
      fail "--kb $file $opts ended with $status: $(cat out err)"
  done
  "$X" --check-kb "$file" >out 2>err
  [ $? = 3 ] && grep -q "^$file.*: error: .*$says" out || fail "--check-kb $file said: $(cat out err)"
  "$X" --kb "$file" --check broken.log >out
  [ $? = 3 ] && grep -q "^VEKLOG UNKNOWN - .*$says" out || fail "--check --kb $file said: $(cat out)"
done <<'CASES'
empty.xml#yields no item
broken.xml#yields no item
utf16.xml#UTF-16 (little-endian)
CASES

# A working directory's errors.xml that others may write is passed over,
# said so, and the file used is named in text and JSON.
mkdir -p planted && chmod 1777 planted
printf '<remedy name="harmless">\n<P>Ignore.</P>\n<item pattern="*" severity="0">\n</item>\n</remedy>\n' >planted/errors.xml
printf 'E [09/Dec/2026:09:00:00 +0000] Unknown message of planted test\n' >planted.log
(cd planted && "$X" --diagnose ../planted.log >../out 2>../err)
grep -q "ignored the knowledge base errors.xml: its directory .*/planted may be written by others (mode 1777); using /" err &&
  ! grep -q harmless out && grep -q '^Knowledge base: /.*errors.xml$' out ||
  fail "a planted errors.xml decides: $(cat out err)"
chmod 755 planted
(cd planted && "$X" --json ../planted.log >../out 2>../err)
[ ! -s err ] && grep -q "\"kb\":\"$PWD/planted/errors.xml\"" out ||
  fail "the working directory's own errors.xml is not named: $(cat out err)"

# The monitoring check: the status line and the plugins' exit statuses; by
# default only the last hour counts, so a day-old incident no longer fails it.
{ echo "E $(stamp '-1 day') Filter \"rastertolabel\" for printer \"label-1\" not available: No such file or directory"
  echo "I $(stamp '-20 minutes') [Job 5] Job completed."; } >calm.log
{ cat calm.log; echo "E $(stamp '-5 minutes') [Job 6] Job stopped due to filter errors; please consult the error_log file for details."; } >stopped.log
{ cat stopped.log; echo "E $(stamp '-5 minutes') Filter \"rastertolabel\" for printer \"label-1\" not available: No such file or directory"; } >broken.log
while IFS='#' read -r rc line opts; do
  # shellcheck disable=SC2086
  got=$("$X" --kb "$kb" --check $opts 2>/dev/null)
  status=$?
  [ "$status" = "$rc" ] || fail "--check $opts ended with $status, not $rc: $got"
  printf '%s\n' "$got" | grep -qxE "$line" || fail "--check $opts said '$got'"
  [ "$(printf '%s\n' "$got" | wc -l)" = 1 ] || fail "--check $opts wrote more than one line: $got"
done <<'CASES'
0#VEKLOG OK - nothing calls for a remedy in 1 line since ([0-9-]{10} )?[0-9:]{5} \| errors=0 unknown=0 score=0;1;5#calm.log
2#VEKLOG CRITICAL - filter-missing, 1 line since .* \| errors=1 unknown=0 score=5;1;5#--since=yesterday calm.log
1#VEKLOG WARNING - filter-failed, 1 line since .* \| errors=1 unknown=0 score=1;1;5#stopped.log
0#VEKLOG OK - filter-failed scores 1, below the warning score 2, .*score=1;2;5#-w 2 stopped.log
2#VEKLOG CRITICAL - filter-missing, 1 line since .*score=5;1;5#broken.log
1#VEKLOG WARNING - filter-missing, .*score=5;1;6#--critical=6 broken.log
0#VEKLOG OK - nothing calls for a remedy in 0 lines since .*#-g nothing-like-this broken.log
3#VEKLOG UNKNOWN - cannot read missing.log: No such file or directory#missing.log
3#VEKLOG UNKNOWN - cannot read adir: is a directory#adir
3#VEKLOG UNKNOWN - cannot read the knowledge base missing.xml: No such file or directory#--kb missing.xml broken.log
3#VEKLOG UNKNOWN - damaged.gz was read in part: compressed data is damaged.*#damaged.gz
3#VEKLOG UNKNOWN - unknown option '--bogus'#--bogus broken.log
CASES
"$X" --kb "$kb" --check - <broken.log | grep -q '^VEKLOG CRITICAL - filter-missing' || fail "--check of standard input"

# Following: an appended line shows within 2 s; a rotation, a truncation and
# a log briefly missing are survived; Ctrl+C (SIGINT) ends it with 0 and
# everything printed.
# waitfor TEXT: waits up to 2 s for TEXT in the followed output.
waitfor() { wait_for follow.out "$1" 20; }
# The listing before it is the last 10 lines, oldest first, as tail -f
# gives them.
for i in $(seq 10 21); do printf 'E [09/Dec/2026:08:%02d:00 +0000] Scheduler shutting down due to SIGTERM.\n' "$i"; done >follow.log
cat log >>follow.log
"$X" --kb "$kb" --follow follow.log >follow.out 2>follow.err &
pid=$!
waitfor "Credentials are expired" || fail "--follow printed no listing"
[ "$(grep -E '^[A-Z] \[' follow.out | cut -c19-20 | tr '\n' ' ')" = "15 16 17 18 19 20 21 00 30 00 " ] ||
  fail "--follow did not start with the last 10 lines, oldest first: $(grep -E '^[A-Z] \[' follow.out)"
printf 'E [09/Dec/2026:12:00:00 +0000] Scheduler shutting down due to SIGTERM (appended).\n' >>follow.log
waitfor "(appended)" || fail "an appended line did not show within 2 s"
mv follow.log follow.log.1
printf 'E [09/Dec/2026:12:01:00 +0000] Something after the rotation.\n' >follow.log
waitfor "after the rotation" || fail "a line of the rotated log did not show within 2 s"
printf 'E [09/Dec/2026:12:02:00 +0000] Half a li' >>follow.log
sleep 1
grep -q "Half a li" follow.out && fail "a line still being written was printed"
printf 'ne, now whole.\n' >>follow.log
waitfor "Half a line, now whole." || fail "a finished line did not show"
{ printf 'E [09/Dec/2026:12:02:30 +0000] Long '; head -c 15000 /dev/zero | tr '\0' 'L'; } >>follow.log
sleep 1
{ head -c 15000 /dev/zero | tr '\0' 'M'; printf ' end of the long line.\n'; } >>follow.log
waitfor "end of the long line." || fail "a long line written in two parts did not show"
[ "$(grep -c '^E \[09/Dec/2026:12:02:30 +0000\] Long L*M* end of the long line\.$' follow.out)" = 1 ] ||
  fail "a long line written in two parts is not printed once, whole"
: >follow.log
printf 'E [09/Dec/2026:12:03:00 +0000] Written after the log was cut short.\n' >>follow.log
waitfor "after the log was cut short" || fail "a line after a truncation did not show within 2 s"
rm follow.log
sleep 1.2
printf 'E [09/Dec/2026:12:04:00 +0000] Written once the log was back.\n' >follow.log
waitfor "once the log was back" || fail "a line of a log that was briefly missing did not show"
grep -q "follow.log: No such file or directory; waiting for it to come back" follow.err ||
  fail "the missing log was not mentioned: $(cat follow.err)"
stop_pid INT
[ "$rc" = 0 ] || fail "--follow ended with $rc after SIGINT"
[ "$(grep -c 'appended' follow.out)" = 1 ] || fail "the appended line was printed $(grep -c appended follow.out) times"
grep -q "follow.log was rotated; going on with the new file" follow.err ||
  fail "the rotation was not mentioned: $(cat follow.err)"
grep -q "follow.log was cut short; reading it again from its start" follow.err ||
  fail "the truncation was not mentioned: $(cat follow.err)"

# Rotations without a pause, three in a row, as the server makes them when
# it writes fast: every line once, in order, the old file's before the new.
# (The server keeps one rotated file: the follower must have opened each
# file before the second rotation after it; a shell loop leaves it ms.)
: >fast.log
"$X" --kb "$kb" -f -j -l all --oldest-first fast.log >fast.out 2>fast.err &
pid=$!
sleep 0.7
for r in 1 2 3 4; do
  for i in $(seq 1 100); do printf 'I [09/Dec/2026:12:00:00 +0000] rotation %d line %d\n' "$r" "$i"; done >>fast.log
  [ "$r" = 4 ] || { mv fast.log fast.log.O; : >fast.log; }
done
for _ in $(seq 1 30); do [ "$(grep -c '"type":"line"' fast.out)" -ge 400 ] && break; sleep 0.1; done
stop_pid INT
[ "$(grep -o 'rotation [0-9] line [0-9]*' fast.out | tr '\n' ' ')" = "$(for r in 1 2 3 4; do for i in $(seq 1 100); do printf 'rotation %d line %d ' "$r" "$i"; done; done)" ] ||
  fail "rotations without a pause: $(grep -c '"type":"line"' fast.out) of 400 lines, or out of order"

# A line whose time field cannot be read takes the time of the line before
# it in the file, whatever the level lists; so does Diagnose.
printf '%s\n' 'E [09/Dec/2026:09:00:00 +0000] Scheduler shutting down due to SIGTERM.' \
  'I [09/Dec/2026:11:00:00 +0000] Listening on localhost:631.' \
  'E [09/Dec/2026:1x:00:00 +0000] Unable to open device file "/dev/usb/lp0": No such device' >timeless.log
for level in errors info all; do
  n=$("$X" --kb "$kb" -l $level --since "2026-12-09 10:00Z" timeless.log | grep -c '^E \[')
  [ "$n" = 1 ] || fail "-l $level --since: $n E lines, not the timeless one"
done
"$X" --kb "$kb" --diagnose --since "2026-12-09 10:00Z" timeless.log >diag.out 2>&1
[ $? = 1 ] || fail "--diagnose --since did not weigh the timeless line: $(cat diag.out)"

# A complete line holding a NUL byte is not held back, listed first or
# followed.
printf 'E [09/Dec/2026:12:00:00 +0000] first \0 nul\n' >nul.log
"$X" --kb "$kb" -f -j nul.log >nul.out 2>&1 &
pid=$!
wait_for nul.out first 20
printf 'E [09/Dec/2026:12:00:01 +0000] second \0 nul\n' >>nul.log
wait_for nul.out second 20
stop_pid INT
grep -q 'first' nul.out && grep -q 'second' nul.out || fail "a line with a NUL byte was held back: $(cat nul.out)"

# Diagnose reads a file twice (weighing every line, then fetching the lines
# it quotes), a compressed one and a rotated set alike, and standard input
# once, held whole: the answers agree byte for byte, status and messages
# too. The log's listed lines name no cause, so the deeper look quotes lines
# the view leaves out; a long line is one line.
grep -h '^[WIDN] \[' "$src/tests/data/item_lines.txt" >deeper.log
printf 'W [09/Dec/2026:10:00:00 +0000] Request from "localhost" using invalid Host: field "%s"\n' \
  "$(head -c 30000 /dev/zero | tr '\0' x)" >>deeper.log
grep -h '^[A-Z] \[' "$src/tests/data/item_lines.txt" >every.log
gzip -c every.log >every.log.gz
mkdir rotated && head -n 1500 every.log >rotated/every.log.1 && tail -n +1501 every.log >rotated/every.log
"$X" --kb "$kb" --diagnose deeper.log | grep -q '^Found in lines this view does not list:' ||
  fail "the deeper look quotes no unlisted line"
while IFS='|' read -r file opts; do
  # shellcheck disable=SC2086
  "$X" --kb "$kb" --diagnose $opts "$file" >twice.out 2>twice.err
  a=$?
  whole=$file
  [ "$file" = rotated/every.log ] && whole=every.log  # its parts, one after the other
  # shellcheck disable=SC2086
  "$X" --kb "$kb" --diagnose $opts - <"$whole" >once.out 2>once.err
  b=$?
  [ $a = $b ] && cmp -s twice.out once.out && cmp -s twice.err once.err ||
    fail "--diagnose $opts on $file and on standard input differ: $a/$b $(diff twice.out once.out | head -3)"
done <<'CASES'
deeper.log|
deeper.log|-l all --json
deeper.log|-n 5
deeper.log|-l info -n 3 --json
deeper.log|--since 2026-12-09T00:00Z --until 2026-12-09T12:00Z
deeper.log|-E -g job.[0-9]+ -l all
every.log|
every.log|-l all -n 0
every.log|-g printer --brief
every.log.gz|-l info
rotated/every.log|--json
CASES

# The window program answers --help and --version without a display.
if [ -n "${3:-}" ]; then
  for opt in --help -h --version -V; do
    out=$("$3" "$opt" 2>&1)
    rc=$?
    [ "$rc" = 0 ] || fail "veklog $opt ended with $rc: $out"
    case $opt in
      *h*) printf '%s\n' "$out" | head -1 | grep -qx 'Usage: veklog \[--journal | --journal-file FILE | -D DIR\] \[--host NAME\]' ||
             fail "veklog $opt printed: $out" ;;
      *) [ "$out" = "veklog 1.0 beta 1" ] || fail "veklog $opt printed: $out" ;;
    esac
  done
  # A wrong command line is said without a display, with status 2.
  out=$("$3" --journal error_log 2>&1)
  rc=$?
  [ "$rc" = 2 ] && printf '%s\n' "$out" | grep -q "^veklog: a log file and a journal" ||
    fail "veklog --journal error_log ended with $rc: $out"
fi

explain_done
