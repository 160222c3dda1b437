// Options.cxx - reading veklog-explain's command line with getopt_long.
#include "cli/Options.h"

#include <getopt.h>
#include <string.h>

#include <vector>

#include "base/LogTime.h"

#ifndef VEKLOG_DATADIR
#define VEKLOG_DATADIR "/usr/share/tarn"
#endif

namespace {

enum { kOldest = 256, kSince, kUntil, kColor, kCheckKb, kSamples };

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
    {"color", required_argument, nullptr, kColor},
    {"colour", required_argument, nullptr, kColor},
    {"check-kb", no_argument, nullptr, kCheckKb},
    {"samples", required_argument, nullptr, kSamples},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0}};

bool level_of(const std::string &s, int *level) {
  static const struct {
    const char *name;
    int level;
  } kNames[] = {{"errors", 0}, {"error", 0},         {"0", 0}, {"info", 1},
                {"informational", 1}, {"1", 1}, {"all", 2}, {"2", 2}};
  for (const auto &n : kNames)
    if (s == n.name) {
      *level = n.level;
      return true;
    }
  return false;
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
  bool check = false;
  std::string kb_option;
  for (;;) {
    int c = getopt_long(argc, args.data(), ":l:rdfjk:hV", kLong, nullptr);
    if (c == -1) break;
    std::string arg = optarg ? optarg : "";
    switch (c) {
      case 'l':
        if (!level_of(arg, &o.level))
          return "unknown level '" + arg + "': use errors, info or all";
        break;
      case 'r': o.remedy = true; break;
      case kOldest: o.oldest_first = true; break;
      case kSince:
      case kUntil: {
        time_t t;
        if (!parse_time(arg, &t))
          return "cannot read the time '" + arg +
                 "': write it as 2026-12-09 10:00[:00] or 09/Dec/2026:10:00:00 +0000";
        (c == kSince ? o.since : o.until) = t;
        (c == kSince ? o.has_since : o.has_until) = true;
        break;
      }
      case 'd': o.mode = Options::Diagnose; break;
      case 'f': o.follow = true; break;
      case 'j': o.json = true; break;
      case 'k': kb_option = arg; if (arg.empty()) return "--kb needs a file name"; break;
      case kColor:
        if (arg == "auto") o.color = Options::Auto;
        else if (arg == "always") o.color = Options::Always;
        else if (arg == "never") o.color = Options::Never;
        else return "--color takes always, never or auto, not '" + arg + "'";
        break;
      case kCheckKb: check = true; break;
      case kSamples: o.samples = arg; break;
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

  if (check) {
    if (o.mode == Options::Diagnose || o.follow || o.json)
      return "--check-kb cannot be combined with --diagnose, --follow or --json";
    o.mode = Options::CheckKb;
    o.kb = rest.empty() ? kb_option : rest[0];
    return "";
  }
  if (!o.samples.empty()) return "--samples goes with --check-kb";
  o.kb = kb_option;
  if (!rest.empty()) o.log = rest[0];
  if (o.log.empty()) return "the log's name is empty";
  if (o.follow && o.mode == Options::Diagnose)
    return "--follow and --diagnose do not go together: diagnose once, or follow the listing";
  if (o.follow && o.log == "-") return "standard input cannot be followed; name the log file";
  if (o.has_since && o.has_until && o.until < o.since)
    return "--until is earlier than --since: no line could be listed";
  return "";
}

std::string help_text() {
  return
      "Usage: veklog-explain [OPTION]... [LOG]\n"
      "  or:  veklog-explain --check-kb [--samples FILE] [KB]\n"
      "Explain the print server's error log from the knowledge base, newest line\n"
      "first; name the most likely remedy; follow the log; check errors.xml.\n"
      "LOG defaults to /var/log/tarn/error_log; - reads standard input.\n"
      "\n"
      "  -l, --level=LEVEL    errors (X A C E; the default), info (also W N I) or all\n"
      "  -r, --remedy         show each line's remedy too\n"
      "      --oldest-first   list in the log's own order\n"
      "      --since=TIME     only lines written at TIME or later\n"
      "      --until=TIME     only lines written at TIME or earlier\n"
      "  -d, --diagnose       name the remedy Diagnose names, with its score, the next\n"
      "                       two, and the lines that point to it; every line is\n"
      "                       weighed, and when the listed ones name no cause, the\n"
      "                       lines the level leaves out can name it\n"
      "  -f, --follow         after the listing, explain new lines as they are written\n"
      "  -j, --json           JSON Lines for scripts and monitoring\n"
      "  -k, --kb=FILE        the knowledge base (default: errors.xml in the working\n"
      "                       directory, else in DATADIR/data, where DATADIR is\n"
      "                       $TARN_DATADIR or " VEKLOG_DATADIR ")\n"
      "      --color=WHEN     colour the levels: auto (on a terminal, unless NO_COLOR\n"
      "                       is set), always or never\n"
      "      --check-kb       report what the reader of the knowledge base (KB, or the\n"
      "                       one found as for --kb) would drop or misread\n"
      "      --samples=FILE   with --check-kb: report items that an earlier item hides\n"
      "                       from their own sample lines\n"
      "  -h, --help           show this help and exit\n"
      "  -V, --version        show the version and exit\n"
      "\n"
      "TIME is 2026-12-09, 2026-12-09 10:00 or 2026-12-09 10:00:30 in local time\n"
      "(add Z or +01:00 for another zone), or the log's own form,\n"
      "09/Dec/2026:10:00:30 +0000.\n"
      "A line without a time of its own counts as written with the line before it.\n"
      "\n"
      "Exit status: 0 when it ran (and --diagnose found nothing, --check-kb no\n"
      "error), 1 when --diagnose names a remedy or --check-kb finds an error,\n"
      "2 for a wrong command line, 3 when the log or knowledge base cannot be read.\n"
      "\n"
      "See veklog-explain(1).\n";
}
