// main.cxx - the program's entry: choose the log, run the window, tidy up.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <FL/Fl.H>

#include <string>

#include "app/Args.h"
#include "app/ErrorLog.h"
#include "app/bundle.h"
#include "logread/LogLocation.h"
#include "prefs/prefs.h"

#ifndef VEKLOG_VERSION_TEXT
#define VEKLOG_VERSION_TEXT "1.0"
#endif

static const char kUsage[] =
    "Usage: veklog [--journal | --journal-file FILE | -D DIR] [--host NAME]\n"
    "              [--no-rotated] [LOG]\n"
    "Show the print server's error log in a window, newest line first, explain\n"
    "the lines it knows, and name the most likely remedy (Action > Diagnose).\n"
    "Without LOG or a journal named, the ErrorLog of tarn-files.conf (in\n"
    "$TARN_SERVERROOT, default /etc/tarn) says where the server writes: a file,\n"
    "or syslog or stderr, which mean the system journal; the start page says\n"
    "which and why. A LOG's rotated parts beside it (LOG.N[.gz] ... LOG.1,\n"
    "LOG.O) are listed with it as one history.\n"
    "\n"
    "      --journal        the print server's entries in the system journal\n"
    "      --journal-file=FILE  a journal file\n"
    "  -D, --directory=DIR  a directory of journal files, such as a collector's\n"
    "      --host=NAME      only the entries of this host (a journal's _HOSTNAME)\n"
    "      --no-rotated     LOG alone, without its rotated parts\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "  --                   take the next argument as LOG even if it starts with -\n"
    "\n"
    "File > Open... (Ctrl+O) shows another log or journal. Reading the journal\n"
    "needs root or membership of the group systemd-journal or adm. Without a\n"
    "display, veklog-explain(1) explains, diagnoses and follows the log in a\n"
    "terminal. See veklog(1).\n";

int main(int argc, char *argv[]) {
  // Help, version and a wrong command line need no window, so they work
  // over SSH too.
  WindowArgs args;
  std::string wrong = parse_window_args(argc, argv, args);
  if (!wrong.empty()) {
    fprintf(stderr, "veklog: %s\nTry 'veklog --help'.\n", wrong.c_str());
    return 2;
  }
  if (args.mode == WindowArgs::Help) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (args.mode == WindowArgs::Version) {
    printf("veklog %s\n", VEKLOG_VERSION_TEXT);
    return 0;
  }
  if (args.bundle && !args.named) {
    // Started from an application bundle: its files are in Contents/Resources.
    char dir[1024];
    if (bundle_resources_dir(argv[0], dir, sizeof dir)) {
      if (chdir(dir)) {
        // Not there: carry on in the directory we were started in.
      }
    }
  }
  // The preferences choose the toolkit's look, so they come before any widget.
  prefs_t *prefs = guiPrefsLoad();
  SourceRef ref = args.ref;
  std::string why;
  if (!args.named) {
    LogLocation where = locate_log();
    ref = located_source(args, where);
    why = where.reason;
  }
  ErrorLog *log = new ErrorLog(ref, why);

  log->show();
  Fl::run();

  delete log;
  guiPrefsFree(prefs);
  return 0;
}
