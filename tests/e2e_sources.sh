#!/bin/bash
# e2e_sources.sh - veklog-explain reading journals as a collector keeps them:
# one answer per host, one host alone, a journal file followed while it
# grows; the log the server's ErrorLog names, and its rotated set.
#   e2e_sources.sh VEKLOG_EXPLAIN SOURCE_DIR
set -u
. "$(dirname "$0")/e2e_lib.sh"
explain_setup "$1" "$2"
export TZ=UTC0
. "$src/tests/journal_lib.sh"

mkdir remote
{
  entry 0 3 alpha '[Job 7] Unable to open "/etc/tarn/ppd/Office.ppd": No such file' 7
  entry 2 6 alpha 'Listening on localhost:631'
} | journal remote/remote-alpha.journal || fail "cannot make alpha's journal"
{
  entry 1 3 beta 'Unable to bind socket for address 127.0.0.1:631 - Address already in use.'
  entry 3 4 beta 'Low disk space on /var/spool/tarn: 48 MB free.'
} | journal remote/remote-beta.journal || fail "cannot make beta's journal"

# One row per host, the worst first, as JSON Lines and as a table.
got=$("$X" --kb "$kb" -D remote --by-host --diagnose --json |
  sed -E 's/.*"host":"([^"]*)","remedy":"([^"]*)".*"errors":([0-9]+),"last_error":"([^"]*)".*/\1 \2 \3 \4/' | tr '\n' '|')
want="beta listen-port-in-use 1 2025-12-06T05:46:41Z|alpha filter-failed 1 2025-12-06T05:46:40Z|"
[ "$got" = "$want" ] || fail "--by-host --json: got '$got', want '$want'"
"$X" --kb "$kb" -D remote --by-host --diagnose >table; rc=$?
[ $rc = 1 ] || fail "--by-host naming remedies exits $rc, not 1"
grep -q '^HOST  *REMEDY  *SCORE  *ERRORS  *LAST ERROR' table || fail "--by-host table has no heading: $(cat table)"
[ "$(sed -n 2p table | cut -d' ' -f1)" = beta ] || fail "--by-host table does not start with beta: $(cat table)"

# One host alone, from the directory and from its file; the level letters
# come from PRIORITY.
got=$("$X" --kb "$kb" -D remote --host alpha -l all --oldest-first --brief | cut -c1 | tr -d '\n')
[ "$got" = EI ] || fail "--host alpha lists '$got', not EI"
got=$("$X" --kb "$kb" --journal-file remote/remote-beta.journal -l all --oldest-first --brief | cut -c1 | tr -d '\n')
[ "$got" = EW ] || fail "--journal-file lists '$got', not EW"
"$X" --kb "$kb" -D remote --host gamma --by-host -d --json | grep -q '"host":"gamma","remedy":null' ||
  fail "--host gamma does not say gamma has nothing"

# A job's story in a journal: its JID finds an entry whose message lacks
# "[Job N] ", and wins over a message naming the job with another JID.
{
  entry 0 3 alpha '[Job 5] Unable to open the PPD.' 5
  entry 1 6 alpha 'Started backend.' 5
  entry 2 6 alpha '[Job 5] Logged for job 6.' 6
} | journal jobs.journal || fail "cannot make the jobs' journal"
got=$("$X" --kb "$kb" --journal-file jobs.journal --job 5 --brief | sed '/^$/q' | cut -c32-47 | tr '\n' '|')
[ "$got" = "[Job 5] Unable t|Started backend.||" ] || fail "--job 5 on a journal lists '$got'"

# Following a journal file: an entry added to it is listed within a second or two.
"$X" --kb "$kb" --journal-file remote/remote-beta.journal -f -l all --brief >followed 2>&1 &
pid=$!
wait_for followed 'Low disk'
entry 9 2 beta 'Scheduler shutting down due to SIGTERM.' | journal remote/remote-beta.journal
wait_for followed SIGTERM
grep -q '^C \[06/Dec/2025:05:46:49 +0000\] Scheduler shutting down' followed ||
  fail "following the journal file missed the new entry: $(cat followed)"
stop_pid

# Without a log named, ErrorLog decides and standard error says so.
mkdir etc
printf 'E [06/Dec/2025:05:46:40 +0000] Unable to bind socket for address 127.0.0.1:631 - Address already in use.\n' >server_log
printf 'ErrorLog %s/%%s_log\n' "$PWD" >etc/tarn-files.conf
printf 'ServerName server\n' >etc/tarnd.conf
TARN_SERVERROOT=$PWD/etc "$X" --kb "$kb" --brief >out 2>err
grep -q "^veklog-explain: Reading $PWD/server_log, named by ErrorLog" err || fail "ErrorLog with %s not said: $(cat err)"
grep -q 'Unable to bind socket' out || fail "ErrorLog with %s not read: $(cat out)"
TARN_SERVERROOT=$PWD/etc "$X" --kb "$kb" --host alpha >out 2>err; rc=$?
[ $rc = 2 ] || fail "--host with a log file exits $rc, not 2"

# A rotated set is one history; --no-rotated reads the log alone.
printf 'E [06/Dec/2025:05:46:30 +0000] Older.\n' | gzip >server_log.2.gz
printf 'E [06/Dec/2025:05:46:35 +0000] Old.\n' >server_log.1
got=$("$X" --kb "$kb" --oldest-first --brief server_log | cut -c32-35 | tr '\n' ' ')
[ "$got" = "Olde Old. Unab " ] || fail "the rotated set lists '$got'"
got=$("$X" --kb "$kb" --brief --no-rotated server_log | wc -l)
[ "$got" = 1 ] || fail "--no-rotated lists $got lines, not 1"

# Following a rotated set whose log the server has not started yet: the
# parts, then the log's lines once it appears, each once.
printf 'E [06/Dec/2025:05:46:35 +0000] Before.\n' >later_log.1
"$X" --kb "$kb" -f --brief later_log >later 2>later.err &
pid=$!
wait_for later Before
printf 'E [06/Dec/2025:05:46:36 +0000] After.\n' >later_log
wait_for later After
stop_pid
got=$(cut -d' ' -f4 later | tr '\n' ' ')
[ "$got" = "Before. After. " ] || fail "following a set before its log lists '$got'"
grep -q 'later_log has appeared; reading it' later.err || fail "the log's appearing is not said: $(cat later.err)"

explain_done
