// Args.h - the window's command line: which log or journal to show, or help
// or the version. Knows no toolkit, so that it can be tested alone.
#ifndef APP_ARGS_H
#define APP_ARGS_H

#include <string>

#include "logread/LogSource.h"

struct WindowArgs {
  enum Mode { Run, Help, Version } mode = Run;
  bool named = false;   // a log or a journal was named; else the server's ErrorLog decides
  bool bundle = false;  // started from an application bundle (-psn_...)
  SourceRef ref;      // what was named (rotated and host apply when the ErrorLog decides too)
};

// veklog [--journal | --journal-file FILE | -D/--directory DIR] [--host NAME]
// [--no-rotated] [LOG]; -h, --help; -V, --version; "--" takes the next
// argument as LOG. Gives "" or what is wrong, in a sentence.
std::string parse_window_args(int argc, char *const argv[], WindowArgs &a);

// What the window shows when nothing is named: the server's ErrorLog, with
// the sentence that says why.
SourceRef located_source(const WindowArgs &a, const LogLocation &where);

#endif
