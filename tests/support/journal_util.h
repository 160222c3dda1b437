// journal_util.h - journal fixtures for the tests: entries written in the
// journal's export format and turned into journal files by
// systemd-journal-remote, which needs no running journald.
#ifndef TESTS_SUPPORT_JOURNAL_UTIL_H
#define TESTS_SUPPORT_JOURNAL_UTIL_H

#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_util.h"

// Installed by scripts/deps.sh (systemd-journal-remote), off PATH.
const char kJournalRemote[] = "/lib/systemd/systemd-journal-remote";

// CI must have the tool; elsewhere a test without it is skipped.
#define REQUIRE_JOURNAL_REMOTE()                                                         \
  do {                                                                                    \
    if (access(kJournalRemote, X_OK) != 0) {                                              \
      const char *ci = getenv("CI");                                                      \
      if (ci && !strcmp(ci, "true")) FAIL() << kJournalRemote << " is missing: run scripts/deps.sh"; \
      GTEST_SKIP() << kJournalRemote << " is missing (scripts/deps.sh installs it)";      \
    }                                                                                     \
  } while (0)

struct JEntry {
  uint64_t usec;      // realtime, microseconds since the epoch
  int priority;       // -1: no PRIORITY field
  std::string message;
  std::string host;   // _HOSTNAME; "" none
  long jid;           // JID; -1 none
  std::string ident;  // SYSLOG_IDENTIFIER; "" none
  std::string unit;   // _SYSTEMD_UNIT; "" none
  JEntry(uint64_t usec, int priority, std::string message, std::string host = "alpha", long jid = -1,
         std::string ident = "tarnd", std::string unit = "")
      : usec(usec), priority(priority), message(std::move(message)), host(std::move(host)), jid(jid),
        ident(std::move(ident)), unit(std::move(unit)) {}
};

inline void export_field(std::string &out, const std::string &name, const std::string &value) {
  bool binary = false;
  for (unsigned char c : value)
    if (c == '\n' || c < 0x20) binary = true;
  if (!binary) {
    out += name + "=" + value + "\n";
    return;
  }
  // Binary form: the name, a newline, a 64-bit little-endian length, the bytes.
  out += name + "\n";
  uint64_t n = value.size();
  for (int i = 0; i < 8; i++) out += (char)((n >> (8 * i)) & 0xff);
  out += value + "\n";
}

// The entries in export format. Each host gets a boot of its own, its
// monotonic clock following the realtime one.
inline std::string export_text(const std::vector<JEntry> &entries) {
  std::string out;
  for (const JEntry &e : entries) {
    std::string boot(32, '0');
    size_t h = std::hash<std::string>()(e.host);
    for (int i = 0; i < 16; i++) boot[i] = "0123456789abcdef"[(h >> (4 * i)) & 15];
    export_field(out, "__REALTIME_TIMESTAMP", std::to_string(e.usec));
    export_field(out, "__MONOTONIC_TIMESTAMP", std::to_string(e.usec - 1700000000000000ull));
    export_field(out, "_BOOT_ID", boot);
    if (!e.host.empty()) export_field(out, "_HOSTNAME", e.host);
    if (e.priority >= 0) export_field(out, "PRIORITY", std::to_string(e.priority));
    if (!e.ident.empty()) export_field(out, "SYSLOG_IDENTIFIER", e.ident);
    if (!e.unit.empty()) export_field(out, "_SYSTEMD_UNIT", e.unit);
    if (e.jid >= 0) export_field(out, "JID", std::to_string(e.jid));
    export_field(out, "MESSAGE", e.message);
    out += "\n";
  }
  return out;
}

// Runs argv, waiting at most `seconds`; its exit status, or -1 when it could
// not run or was ended for taking too long.
inline int run_bounded(const std::vector<std::string> &argv, double seconds) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back((char *)a.c_str());
    args.push_back(nullptr);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  for (int waited = 0; waited < seconds * 100; waited++) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Writes the entries into the journal file `journal` (which must end in
// .journal), adding to it when it exists. True when the tool succeeded.
inline bool write_journal(const std::string &journal, const std::vector<JEntry> &entries) {
  std::string text = journal + ".export";
  write_file(text, export_text(entries));
  int rc = run_bounded({kJournalRemote, "--output=" + journal, text}, 20);
  unlink(text.c_str());
  return rc == 0;
}

// Sets TZ for the test's life, and back after.
struct ZoneFor {
  std::string old;
  bool had;
  explicit ZoneFor(const char *tz) : had(getenv("TZ") != nullptr) {
    if (had) old = getenv("TZ");
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneFor() {
    if (had) setenv("TZ", old.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
};

#endif
