// Args.cxx - reading the window's command line.
#include "app/Args.h"

#include <string.h>

// The value of an option given as "--name=VALUE" or as the next argument.
static bool value_of(const char *name, int argc, char *const argv[], int &i,
                     std::string &value) {
  const char *arg = argv[i];
  size_t n = strlen(name);
  if (strncmp(arg, name, n)) return false;
  if (arg[n] == '=') {
    value = arg + n + 1;
    return true;
  }
  if (arg[n]) return false;
  value = i + 1 < argc ? argv[++i] : "";
  return true;
}

std::string parse_window_args(int argc, char *const argv[], WindowArgs &a) {
  a = WindowArgs();
  bool journal = false, host = false, log = false;
  SourceRef &s = a.ref;
  for (int i = 1; i < argc; i++) {
    const char *arg = argv[i];
    std::string v;
    bool option = arg[0] == '-' && arg[1];
    if (!strcmp(arg, "--")) {
      if (i + 1 >= argc) break;
      arg = argv[++i];
      option = false;
      if (i + 1 < argc) return "only one log can be shown: " + std::string(argv[i + 1]) + " is one too many";
    }
    if (!option) {
      if (log) return "only one log can be shown: " + std::string(arg) + " is one too many";
      log = true;
      s.path = arg;
      continue;
    }
    if (!strcmp(arg, "-h") || !strcmp(arg, "--help")) {
      a.mode = WindowArgs::Help;
      return "";
    }
    if (!strcmp(arg, "-V") || !strcmp(arg, "--version")) {
      a.mode = WindowArgs::Version;
      return "";
    }
    if (!strncmp(arg, "-psn", 4)) {
      a.bundle = true;
      continue;
    }
    SourceRef::Kind kind = SourceRef::File;
    if (!strcmp(arg, "--journal")) {
      kind = SourceRef::Journal;
    } else if (value_of("--journal-file", argc, argv, i, v)) {
      if (v.empty()) return "--journal-file needs a file name";
      kind = SourceRef::JournalFile;
    } else if (!strncmp(arg, "-D", 2) && arg[2]) {
      v = arg + 2;
      kind = SourceRef::JournalDirectory;
    } else if (value_of("-D", argc, argv, i, v) || value_of("--directory", argc, argv, i, v)) {
      if (v.empty()) return "--directory needs a directory's name";
      kind = SourceRef::JournalDirectory;
    } else if (value_of("--host", argc, argv, i, v)) {
      if (v.empty()) return "--host needs a host's name";
      s.host = v;
      host = true;
      continue;
    } else if (!strcmp(arg, "--no-rotated")) {
      s.rotated = false;
      continue;
    } else {
      return "unknown option " + std::string(arg);
    }
    if (journal) return "--journal, --journal-file and --directory name one source: give one of them";
    journal = true;
    s.kind = kind;
    if (kind != SourceRef::Journal) s.path = v;
  }
  if (journal && log) return "a log file and a journal cannot be shown at once: name one of them";
  if (host && log) return "a log file does not say which host wrote its lines: --host goes with a journal";
  if (!s.rotated && journal) return "--no-rotated goes with a log file, not a journal";
  a.named = journal || log;
  return "";
}

SourceRef located_source(const WindowArgs &a, const LogLocation &where) {
  return ref_for(where, a.ref.rotated, a.ref.host);
}
