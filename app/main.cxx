// main.cxx - the program's entry: choose the log, run the window, tidy up.
#include <string.h>
#include <unistd.h>

#include <FL/Fl.H>

#include "app/ErrorLog.h"
#include "app/bundle.h"
#include "prefs/prefs.h"

int main(int argc, char *argv[]) {
  // The preferences choose the toolkit's look, so they come before any widget.
  prefs_t *prefs = guiPrefsLoad();
  ErrorLog *log;

  if (argc < 2) {
    log = new ErrorLog(0);
  } else if (!strncmp(argv[1], "-psn", 4)) {
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
