// Options.cxx - reading veklog-explain's command line with getopt_long.
#include "cli/Options.h"

#include <getopt.h>
#include <regex.h>
#include <stdlib.h>
#include <string.h>

#include <utility>
#include <vector>

#include "base/LogTime.h"

#ifndef VEKLOG_DATADIR
#define VEKLOG_DATADIR "/usr/share/tarn"
#endif

namespace {

enum { kOldest = 256, kSince, kUntil, kColor, kCheckKb, kSamples, kJob, kBrief, kCheck, kJournal, kJournalFile, kHost, kByHost,
       kNoRotated };

const struct option kLong[] = {
    {"level", required_argument, nullptr, 'l'},
    {"remedy", no_argument, nullptr, 'r'},
    {"oldest-first", no_argument, nullptr, kOldest},
    {"since", required_argument, nullptr, kSince},
    {"until", required_argument, nullptr, kUntil},
    {"diagnose", no_argument, nullptr, 'd'},
    {"follow", no_argument, nullptr, 'f'},
    {"json", no_argument, nullptr, 'j'},
    {"kb", required_argument, nullptr, 'k'},
    {"color", optional_argument, nullptr, kColor},
    {"colour", optional_argument, nullptr, kColor},
    {"check-kb", no_argument, nullptr, kCheckKb},
    {"lines", required_argument, nullptr, 'n'},
    {"grep", required_argument, nullptr, 'g'},
    {"extended-regexp", no_argument, nullptr, 'E'},
    {"job", required_argument, nullptr, kJob},
    {"brief", no_argument, nullptr, kBrief},
    {"check", no_argument, nullptr, kCheck},
    {"warning", required_argument, nullptr, 'w'},
    {"critical", required_argument, nullptr, 'c'},
    {"samples", required_argument, nullptr, kSamples},
    {"journal", no_argument, nullptr, kJournal},
    {"journal-file", required_argument, nullptr, kJournalFile},
    {"directory", required_argument, nullptr, 'D'},
    {"host", required_argument, nullptr, kHost},
    {"by-host", no_argument, nullptr, kByHost},
    {"no-rotated", no_argument, nullptr, kNoRotated},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0}};

// The value a table gives a word of the command line; false for none.
template <class T, size_t N>
bool named(const std::string &s, const std::pair<const char *, T> (&names)[N], T *value) {
  for (const auto &n : names)
    if (s == n.first) {
      *value = n.second;
      return true;
    }
  return false;
}

bool level_of(const std::string &s, int *level) {
  static const std::pair<const char *, int> kNames[] = {
      {"errors", 0}, {"error", 0}, {"0", 0}, {"info", 1}, {"informational", 1},
      {"1", 1},      {"all", 2},   {"2", 2}};
  return named(s, kNames, level);
}

// A whole number from 0 to `max`, all of `s`.
bool number_of(const std::string &s, long max, long *n) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *n = strtol(s.c_str(), nullptr, 10);
  return *n <= max;
}

bool color_of(const std::string &s, Options::Color *color) {
  static const std::pair<const char *, Options::Color> kNames[] = {
      {"", Options::Always},    {"always", Options::Always}, {"yes", Options::Always},
      {"force", Options::Always}, {"never", Options::Never}, {"no", Options::Never},
      {"none", Options::Never}, {"auto", Options::Auto},     {"tty", Options::Auto},
      {"if-tty", Options::Auto}};
  return named(s, kNames, color);
}

// What is wrong with a --grep -E pattern, or "".
std::string regex_fault(const std::string &pattern) {
  regex_t re;
  int e = regcomp(&re, pattern.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB);
  if (e == 0) {
    regfree(&re);
    return "";
  }
  char why[256];
  regerror(e, &re, why, sizeof why);
  regfree(&re);
  return why;
}

// The option getopt stopped at, as the user wrote it.
std::string offender(const char *arg, int opt) {
  std::string a = arg ? arg : "";
  if (a.compare(0, 2, "--") == 0) return a.substr(0, a.find('='));
  return opt ? std::string("-") + (char)opt : a;
}

}  // namespace

std::string parse_options(int argc, char *const argv[], Options &o) {
  std::vector<char *> args(argv, argv + argc);
  args.push_back(nullptr);
  optind = 0;  // a fresh scan, also when called again
  opterr = 0;
  bool lines_set = false;
  bool check = false, scores = false, monitor = false;
  std::string kb_option;
  for (;;) {
    int c = getopt_long(argc, args.data(), ":l:rdfjk:hVn:g:Ew:c:D:", kLong, nullptr);
    if (c == -1) break;
    std::string arg = optarg ? optarg : "";
    switch (c) {
      case 'l':
        if (!level_of(arg, &o.level))
          return "unknown level '" + arg + "': use errors, info or all";
        o.level_set = true;
        break;
      case 'r': o.remedy = true; break;
      case kOldest: o.oldest_first = true; break;
      case kSince:
      case kUntil: {
        time_t t;
        if (!parse_time(arg, &t))
          return "cannot read the time '" + arg +
                 "': write it as 2026-12-09 10:00[:00], 09/Dec/2026:10:00:00 +0000, "
                 "10:00, today, yesterday, -1h or '2 days ago'";
        (c == kSince ? o.since : o.until) = t;
        (c == kSince ? o.has_since : o.has_until) = true;
        break;
      }
      case 'd': o.mode = Options::Diagnose; break;
      case 'f': o.follow = true; break;
      case 'j': o.json = true; break;
      case 'k': kb_option = arg; if (arg.empty()) return "--kb needs a file name"; break;
      case kColor:
        if (!color_of(arg, &o.color))
          return "--color takes always, never or auto (or yes, no), not '" + arg + "'";
        break;
      case kCheckKb: check = true; break;
      case 'n':
        if (arg == "all") o.lines = -1;
        else if (!number_of(arg, 999999999, &o.lines))
          return "--lines takes a number of lines or all, not '" + arg + "'";
        lines_set = true;
        break;
      case 'g':
        if (arg.empty()) return "--grep needs a text to look for";
        o.grep = arg;
        break;
      case 'E': o.regex = true; break;
      case kJob: {
        long n;
        if (!number_of(arg, 999999999, &n) || n == 0)
          return "--job takes a job's number, as in [Job 302], not '" + arg + "'";
        o.job = (int)n;
        break;
      }
      case kBrief: o.brief = true; break;
      case kCheck: monitor = true; break;
      case 'w':
      case 'c': {
        long n;
        if (!number_of(arg, 999999999, &n) || n == 0)
          return std::string(c == 'w' ? "--warning" : "--critical") +
                 " takes a score of 1 or more, not '" + arg + "'";
        (c == 'w' ? o.warning : o.critical) = (int)n;
        scores = true;
        break;
      }
      case kSamples: o.samples = arg; break;
      case kJournal:
      case kJournalFile:
      case 'D':
        if (o.source != Options::Located)
          return "--journal, --journal-file and --directory name one source: give one of them";
        if (c != kJournal && arg.empty())
          return c == 'D' ? "--directory needs a directory's name" : "--journal-file needs a file name";
        o.source = c == kJournal ? Options::Journal
                   : c == 'D'    ? Options::JournalDir
                                 : Options::JournalFile;
        o.journal = arg;
        break;
      case kHost:
        if (arg.empty()) return "--host needs a host's name";
        o.host = arg;
        break;
      case kByHost: o.by_host = true; break;
      case kNoRotated: o.rotated = false; break;
      case 'h': o.mode = Options::Help; return "";
      case 'V': o.mode = Options::Version; return "";
      case ':':
        return "option '" + offender(args[optind - 1], optopt) + "' needs a value";
      default:
        return "unknown option '" + offender(args[optind - 1], optopt) + "'";
    }
  }
  std::vector<std::string> rest(args.begin() + optind, args.begin() + argc);
  if (rest.size() > 1) return "too many files: '" + rest[1] + "' (one log at a time)";

  if (monitor && o.mode == Options::Diagnose)
    return "--check cannot be combined with --diagnose, --follow, --json, --job or --lines";
  if (check) {
    if (o.mode == Options::Diagnose || monitor || o.follow || o.json)
      return "--check-kb cannot be combined with --diagnose, --check, --follow or --json";
    o.mode = Options::CheckKb;
    o.kb = rest.empty() ? kb_option : rest[0];
    return "";
  }
  if (!o.samples.empty()) return "--samples goes with --check-kb";
  o.kb = kb_option;
  if (!rest.empty()) {
    if (o.source != Options::Located)
      return "a log file and " + std::string(o.source == Options::Journal ? "--journal"
                                             : o.source == Options::JournalDir ? "--directory"
                                                                               : "--journal-file") +
             " name two sources: give one";
    o.log = rest[0];
    o.source = Options::Named;
  }
  if (o.log.empty()) return "the log's name is empty";
  if (o.by_host && o.mode != Options::Diagnose)
    return "--by-host goes with --diagnose: one answer per host";
  if ((o.by_host || !o.host.empty()) && o.source == Options::Named)
    return "a log file does not say which host wrote its lines: --host and --by-host go with "
           "--journal, --journal-file or --directory";
  if (!o.rotated && (o.source == Options::Journal || o.source == Options::JournalFile ||
                     o.source == Options::JournalDir))
    return "--no-rotated goes with a log file, not a journal";
  if (o.follow && o.mode == Options::Diagnose)
    return "--follow and --diagnose do not go together: diagnose once, or follow the listing";
  if (o.follow && o.log == "-") return "standard input cannot be followed; name the log file";
  if (o.regex && o.grep.empty()) return "-E goes with --grep";
  if (o.regex) {
    std::string fault = regex_fault(o.grep);
    if (!fault.empty()) return "cannot read the regular expression '" + o.grep + "': " + fault;
  }
  if (o.brief && o.remedy) return "--brief shows no remedy texts: drop --brief or --remedy";
  if (o.by_host && o.job) return "--by-host and --job do not go together: a job has one host";
  if (o.job && o.follow) return "--job and --follow do not go together: a job's story is told once";
  if (monitor) {
    o.mode = Options::Check;
    if (o.follow || o.json || o.job || lines_set)
      return "--check cannot be combined with --diagnose, --follow, --json, --job or --lines";
    if (!o.has_since) {
      o.since = time(nullptr) - kCheckSpan;
      o.has_since = true;
    }
  } else if (scores) {
    return "--warning and --critical go with --check";
  }
  if (o.follow && !lines_set) o.lines = 10;
  if (o.has_since && o.has_until && o.until < o.since)
    return "--until is earlier than --since: no line could be listed";
  return "";
}

bool check_requested(int argc, char *const argv[]) {
  for (int i = 1; i < argc && argv[i]; i++) {
    if (!strcmp(argv[i], "--")) break;
    if (!strcmp(argv[i], "--check")) return true;
  }
  return false;
}

std::string help_text() {
  return
      "Usage: veklog-explain [OPTION]... [LOG]\n"
      "  or:  veklog-explain [OPTION]... --journal | --journal-file FILE | -D DIR\n"
      "  or:  veklog-explain --check [--since=TIME] [-w SCORE] [-c SCORE] [LOG]\n"
      "  or:  veklog-explain --check-kb [--samples FILE] [KB]\n"
      "Explain the print server's error log from the knowledge base, newest line\n"
      "first; name the most likely remedy; tell a job's story; follow the log;\n"
      "check it for a monitoring system; check errors.xml.\n"
      "Without LOG or a journal named, the ErrorLog of tarn-files.conf (in\n"
      "$TARN_SERVERROOT, else /etc/tarn) decides: a file (%s is the server's name),\n"
      "or syslog or stderr, which mean the system journal; the choice is said on\n"
      "standard error. - reads standard input. A LOG's rotated parts beside it\n"
      "(LOG.N[.gz] ... LOG.1, LOG.O) come first, as one history.\n"
      "\n"
      "Where from:\n"
      "      --journal        the print server's entries in the system journal\n"
      "      --journal-file=FILE  a journal file\n"
      "  -D, --directory=DIR  a directory of journal files, such as a collector's\n"
      "      --host=NAME      only the lines of this host (the journal's _HOSTNAME)\n"
      "      --by-host        with --diagnose: one row per host (host, remedy, score,\n"
      "                       error lines, the time of the last), the worst first\n"
      "      --no-rotated     read LOG alone, not its rotated parts\n"
      "\n"
      "What is listed:\n"
      "  -l, --level=LEVEL    errors (X A C E; the default), info (also W N I) or all\n"
      "      --since=TIME     only lines written at TIME or later\n"
      "      --until=TIME     only lines written at TIME or earlier\n"
      "  -g, --grep=TEXT      only lines that contain TEXT, in any case\n"
      "  -E, --extended-regexp  TEXT is an extended regular expression (any case)\n"
      "  -n, --lines=N        only the newest N lines listed (a number, or all)\n"
      "      --job=N          the lines of job N ([Job N], or in a journal JID=N)\n"
      "                       at every level, oldest first, then the remedy its\n"
      "                       lines point to\n"
      "\n"
      "How:\n"
      "  -r, --remedy         show each line's remedy too\n"
      "      --brief          one line per log line: its meaning in one sentence\n"
      "      --oldest-first   list in the log's own order\n"
      "  -j, --json           JSON Lines for scripts and monitoring\n"
      "      --color[=WHEN]   colour the levels: auto (on a terminal, unless NO_COLOR\n"
      "                       is set), always (also yes, or --color alone) or never\n"
      "                       (also no)\n"
      "\n"
      "What else:\n"
      "  -d, --diagnose       name the remedy Diagnose names, with its score, the next\n"
      "                       two, and the lines that point to it; every line is\n"
      "                       weighed, and when the listed ones name no cause, the\n"
      "                       lines the level leaves out can name it; lines --grep\n"
      "                       leaves out are not weighed; a log is read twice (the\n"
      "                       lines quoted, again), standard input is held whole\n"
      "  -f, --follow         after the listing, explain new lines as they are written;\n"
      "                       the listing is then the last 10 lines (or --lines),\n"
      "                       oldest first, like the new ones; when the log is\n"
      "                       rotated, the old file's last lines come before the\n"
      "                       new file's\n"
      "      --check          one status line for a monitoring system, from the lines\n"
      "                       of the last hour (or --since); see below\n"
      "  -w, --warning=SCORE  with --check: WARNING from this score (default 1)\n"
      "  -c, --critical=SCORE with --check: CRITICAL from this score (default 5)\n"
      "  -k, --kb=FILE        the knowledge base (default: errors.xml in the working\n"
      "                       directory when it is yours or root's and no one else may\n"
      "                       write it or the directory, else in DATADIR/data, where\n"
      "                       DATADIR is $TARN_DATADIR or " VEKLOG_DATADIR ";\n"
      "                       run from its build tree, then in the source's data/);\n"
      "                       the output names the file used\n"
      "      --check-kb       report what the reader of the knowledge base (KB, or the\n"
      "                       one found as for --kb) would drop or misread\n"
      "      --samples=FILE   with --check-kb: report items that an earlier item hides\n"
      "                       from their own sample lines\n"
      "  -h, --help           show this help and exit\n"
      "  -V, --version        show the version and exit\n"
      "\n"
      "TIME is 2026-12-09, 2026-12-09 10:00 or 2026-12-09 10:00:30 in local time\n"
      "(add Z or +01:00 for another zone), the log's own form\n"
      "09/Dec/2026:10:00:30 +0000, a time of today (10:00), now, today, yesterday,\n"
      "or a span back or forth from now: -1h, +30min, '1 hour ago', '30 min ago',\n"
      "'2 days ago' (units s, min, h, d, w).\n"
      "A line without a time of its own counts as written with the line before it.\n"
      "\n"
      "--check weighs the lines of the last hour, or from --since (at every level,\n"
      "listed at --level), as --diagnose does, and prints one line such as\n"
      "  VEKLOG CRITICAL - filter-missing, 3 lines since 10:02 | errors=3 unknown=0 ...\n"
      "CRITICAL: the remedy Diagnose names has a cause behind it (a line of weight 3\n"
      "or more) and a score of at least --critical; WARNING: it names a remedy with a\n"
      "score of at least --warning (without a cause, or below --critical); OK\n"
      "otherwise. Its exit status is the monitoring plugins' own: 0 OK, 1 WARNING,\n"
      "2 CRITICAL, 3 UNKNOWN (the log or the knowledge base cannot be read, or only\n"
      "in part, the knowledge base yields no item, or the command line is wrong).\n"
      "\n"
      "Exit status otherwise, the first that applies: 2 for a wrong command line,\n"
      "3 when the log or knowledge base cannot be read or the knowledge base yields\n"
      "no item (--check-kb too, after its report), 4 when the log was read in\n"
      "part (damaged compressed data, bytes after it, a read that failed midway:\n"
      "what could be read is shown, the remedy too, and --json adds a\n"
      "{\"type\":\"warning\"} record), 1 when --diagnose names a remedy or --check-kb\n"
      "finds an error, 0 when it ran (and --diagnose found nothing).\n"
      "\n"
      "See veklog-explain(1).\n";
}
