// main.cxx - the program's entry: choose the log, run the window, tidy up.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <FL/Fl.H>

#include "app/ErrorLog.h"
#include "app/bundle.h"
#include "logread/LogLocation.h"
#include "prefs/prefs.h"

#ifndef VEKLOG_VERSION_TEXT
#define VEKLOG_VERSION_TEXT "1.0"
#endif

static const char kUsage[] =
    "Usage: veklog [LOGFILE]\n"
    "Show the print server's error log in a window, newest line first, explain\n"
    "the lines it knows, and name the most likely remedy (Action > Diagnose).\n"
    "LOGFILE defaults to %s.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "  --             take the next argument as LOGFILE even if it starts with -\n"
    "\n"
    "Without a display, veklog-explain(1) explains, diagnoses and follows the log\n"
    "in a terminal. See veklog(1).\n";

int main(int argc, char *argv[]) {
  // Help and version need no window, so they work over SSH too.
  if (argc >= 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
    printf(kUsage, kDefaultLog);
    return 0;
  }
  if (argc >= 2 && (!strcmp(argv[1], "--version") || !strcmp(argv[1], "-V"))) {
    printf("veklog %s\n", VEKLOG_VERSION_TEXT);
    return 0;
  }
  bool named = argc >= 2 && !strcmp(argv[1], "--");
  if (named) {
    argv++;
    argc--;
  }
  // The preferences choose the toolkit's look, so they come before any widget.
  prefs_t *prefs = guiPrefsLoad();
  ErrorLog *log;

  if (argc < 2) {
    log = new ErrorLog(0);
  } else if (!named && !strncmp(argv[1], "-psn", 4)) {
    // Started from an application bundle: its files are in Contents/Resources.
    char dir[1024];
    if (bundle_resources_dir(argv[0], dir, sizeof dir)) {
      if (chdir(dir)) {
        // Not there: carry on in the directory we were started in.
      }
    }
    log = new ErrorLog(0);
  } else {
    log = new ErrorLog(argv[1]);
  }

  log->show();
  Fl::run();

  delete log;
  guiPrefsFree(prefs);
  return 0;
}
