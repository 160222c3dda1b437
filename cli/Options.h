// Options.h - veklog-explain's command line: what to read, what to show and
// how; the help text.
#ifndef CLI_OPTIONS_H
#define CLI_OPTIONS_H

#include <time.h>

#include <string>

// Exit statuses, for scripts and monitoring systems.
enum ExitStatus {
  kExitOk = 0,         // ran; with --diagnose: nothing calls for a remedy; --check-kb: no error
  kExitFound = 1,      // --diagnose named a remedy; --check-kb found an error
  kExitUsage = 2,      // the command line is wrong
  kExitUnreadable = 3  // the log or the knowledge base cannot be read
};

struct Options {
  enum Mode { List, Diagnose, CheckKb, Help, Version } mode = List;
  std::string log = "/var/log/tarn/error_log";  // "-": standard input
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
};

// Reads the command line into `o`. Returns "" when it is sound, else what is
// wrong with it, for one line of standard error.
std::string parse_options(int argc, char *const argv[], Options &o);

// The text of --help.
std::string help_text();

#endif
