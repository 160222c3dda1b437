// Options.h - veklog-explain's command line: what to read, what to show and
// how; the help text.
#ifndef CLI_OPTIONS_H
#define CLI_OPTIONS_H

#include <time.h>

#include <string>

#include "logread/LogLocation.h"

// Exit statuses, for scripts and monitoring systems.
enum ExitStatus {
  kExitOk = 0,         // ran; with --diagnose: nothing calls for a remedy; --check-kb: no error
  kExitFound = 1,      // --diagnose named a remedy; --check-kb found an error
  kExitUsage = 2,      // the command line is wrong
  kExitUnreadable = 3, // the log or the knowledge base cannot be read
  kExitPartial = 4     // the log was read in part (damaged); what could be read was shown
};

struct Options {
  enum Mode { List, Diagnose, CheckKb, Help, Version, Check } mode = List;
  std::string log = kDefaultLog;  // "-": standard input
  // Where the lines come from. Located: no log named, so the server's own
  // configuration decides (locate_log) before reading.
  enum Source { Located, Named, Journal, JournalFile, JournalDir } source = Located;
  std::string journal;  // --journal-file FILE or --directory DIR
  std::string host;     // --host: only this host's lines (a journal's _HOSTNAME)
  bool by_host = false; // --by-host: with --diagnose, one answer per host
  bool rotated = true;  // a file's rotated parts are read before it (--no-rotated: not)
  int level = 0;                                // 0 errors, 1 info, 2 all
  bool remedy = false;
  bool oldest_first = false;
  bool follow = false;
  bool json = false;
  std::string kb;       // --kb, or --check-kb's FILE; "" for the usual lookup
  std::string samples;  // --check-kb --samples FILE
  enum Color { Auto, Always, Never } color = Auto;
  bool has_since = false, has_until = false;
  time_t since = 0, until = 0;
  bool level_set = false;    // --level was given
  long lines = -1;           // -n: the newest N listed lines; -1 all (10 with --follow)
  std::string grep;          // -g: lines must contain it (any case)
  bool regex = false;        // -E: grep is an extended regular expression
  int job = 0;               // --job: that job's story; 0 none
  bool brief = false;        // one line per log line
  int warning = 1, critical = 5;  // --check: the scores that make WARNING and CRITICAL
};

// How far back --check looks without --since.
const time_t kCheckSpan = 3600;

// Reads the command line into `o`. Returns "" when it is sound, else what is
// wrong with it, for one line of standard error.
std::string parse_options(int argc, char *const argv[], Options &o);

// Whether the command line asks for --check, even one parse_options
// refuses: a monitoring check's wrong command line is UNKNOWN.
bool check_requested(int argc, char *const argv[]);

// The text of --help.
std::string help_text();

#endif
