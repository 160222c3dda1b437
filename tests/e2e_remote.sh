#!/bin/bash
# e2e_remote.sh - a collector on loopback: systemd-journal-remote listening
# on 127.0.0.1, two senders' journals (two hosts) pushed with
# systemd-journal-upload, then veklog-explain names each host's remedy from
# the directory the collector wrote.
#   e2e_remote.sh VEKLOG_EXPLAIN SOURCE_DIR
set -u
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/journal_lib.sh"
upload=/lib/systemd/systemd-journal-upload
if [ ! -x "$upload" ]; then
  echo "SKIP: $upload is missing (scripts/deps.sh installs it)"
  exit 77
fi
explain_setup "$1" "$2"
export TZ=UTC0

mkdir senders collected
{
  entry 0 3 print1 '[Job 7] Unable to open "/etc/tarn/ppd/Office.ppd": No such file' 7
  entry 2 6 print1 'Listening on localhost:631'
} | journal senders/print1.journal || fail_now "cannot make print1's journal"
{
  entry 1 3 print2 'Unable to bind socket for address 127.0.0.1:631 - Address already in use.'
  entry 3 4 print2 'Low disk space on /var/spool/tarn: 48 MB free.'
} | journal senders/print2.journal || fail_now "cannot make print2's journal"

# A free port: the collector is tried on a few, each given a bounded while
# to listen.
listening=
for _ in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 30000))
  "$remote" --listen-http=127.0.0.1:$port --output="$PWD/collected/" 2>remote.err &
  pid=$!
  for _ in $(seq 30); do
    if (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then listening=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$listening" ] && break
  stop_pid
done
[ -n "$listening" ] || fail_now "the collector does not listen: $(cat remote.err)"

for host in print1 print2; do
  timeout 20 "$upload" --url=http://127.0.0.1:$port --file="$PWD/senders/$host.journal" \
    --follow=no 2>upload.err || fail_now "cannot upload $host's journal: $(cat upload.err)"
done
# The collector writes its files as the entries come; ending it closes them.
stop_pid

got=$("$X" --kb "$src/data/errors.xml" -D collected --by-host --diagnose --json |
  sed -E 's/.*"host":"([^"]*)","remedy":"([^"]*)".*/\1 \2/' | tr '\n' '|')
want="print2 listen-port-in-use|print1 filter-failed|"
[ "$got" = "$want" ] || fail "from the collector: got '$got', want '$want'"
explain_done
