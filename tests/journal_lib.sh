# journal_lib.sh - journal fixtures for the end-to-end scripts: entries in
# the journal's export format made into journal files by
# systemd-journal-remote, which needs no running journald. Sourced; a script
# without the tool is skipped (77).
remote=/lib/systemd/systemd-journal-remote
if [ ! -x "$remote" ]; then
  echo "SKIP: $remote is missing (scripts/deps.sh installs it)"
  exit 77
fi
t0=1765000000000000  # 06/Dec/2025:05:46:40 UTC

# One entry in export format: SECONDS after t0, PRIORITY, HOST, MESSAGE [JID].
entry() {
  local usec=$((t0 + $1 * 1000000))
  printf '__REALTIME_TIMESTAMP=%s\n__MONOTONIC_TIMESTAMP=%s\n_BOOT_ID=%s\n' \
    "$usec" "$((usec - 1700000000000000))" "$(printf '%s' "$3" | md5sum | cut -c1-32)"
  printf '_HOSTNAME=%s\nPRIORITY=%s\nSYSLOG_IDENTIFIER=tarnd\n' "$3" "$2"
  [ -n "${5:-}" ] && printf 'JID=%s\n' "$5"
  printf 'MESSAGE=%s\n\n' "$4"
}
# journal FILE: the entries on standard input added to the journal FILE.
journal() { cat >"$1.export" && timeout 20 "$remote" --output="$PWD/$1" "$1.export" 2>/dev/null; }

