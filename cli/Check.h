// Check.h - veklog-explain --check: the lines of the last hour weighed as
// Diagnose weighs them, told as one status line for a monitoring system, by
// the monitoring plugins' convention.
#ifndef CLI_CHECK_H
#define CLI_CHECK_H

#include <stddef.h>
#include <sys/types.h>
#include <time.h>

#include <ostream>
#include <string>

#include "cli/Options.h"
#include "knowledge/Diagnosis.h"

// The plugins' exit statuses.
enum CheckStatus { kCheckOk = 0, kCheckWarning = 1, kCheckCritical = 2, kCheckUnknown = 3 };

struct CheckVerdict {
  CheckStatus status = kCheckOk;
  const ErrorXMLRemedy *remedy = nullptr;  // what Diagnose names, or null
  int score = 0;                           // its total
  bool cause = false;                      // a cause line points to it
  size_t leads = 0;                        // lines that point to it
};

// CRITICAL when the remedy Diagnose names has a cause behind it and a score
// of at least `critical`; WARNING when it names one with a score of at least
// `warning`; OK otherwise.
CheckVerdict check_verdict(const Diagnosis &d, int warning, int critical);

// What the lines showed, beside the verdict: lines weighed, of them X A C E
// lines, and of those the ones no specific item knows.
struct CheckCounts {
  size_t weighed = 0, errors = 0, unknown = 0;
};

// The status line, without its newline, e.g. "VEKLOG CRITICAL -
// filter-missing, 3 lines since 10:02 | errors=3 unknown=0 score=12;1;5";
// `span` says which lines counted ("since 10:02").
std::string check_line(const CheckVerdict &v, const CheckCounts &counts, const std::string &span,
                       int warning, int critical);

// "since 10:02" (today), "since 2026-12-08 10:02", "from ... to ...", in
// local time against `now`.
std::string check_span(const Options &o, time_t now);

// Prints "VEKLOG UNKNOWN - why" and gives kCheckUnknown.
int check_unknown(std::ostream &out, const std::string &why);

// Where, in a log written in time order, the lines of `since` or later
// begin: the start of a line before which every line with a time of its own
// is older. The answer may lie earlier than the first such line, never
// later; 0 when the log shows no time. Reads a few blocks of the file.
off_t time_offset(int fd, off_t size, time_t since);

// Reads the log (of a plain file only the part from --since on, give or take
// a few minutes), weighs it and prints the status line; gives the status.
int run_check(const Options &o, ErrorXML &kb, std::ostream &out);

#endif
