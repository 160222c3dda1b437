// prefs.h - the interface preferences record and its rc file (".vekrc" in the
// home directory, or "vekrc" in the print server's configuration directory).
#ifndef PREFS_PREFS_H
#define PREFS_PREFS_H

// One user's interface preferences. The record is malloc'ed by guiPrefsLoad
// and released with guiPrefsFree; it owns the address array and each address.
// This program only uses modernskin (through the look chosen at load time);
// the other settings are carried so that a saved file keeps them.
struct prefs_t {
  int interval;           // refresh interval in seconds, 30 by default
  int toolbar;            // 0 or 1
  int locationbar;        // 0 or 1
  int modernskin;         // 1 selects the "plastic" look, 0 the plain one
  int num_uris;           // number of entries in uris
  char **uris;            // server addresses (scheme, host and port), most recent first
  int show_printers;
  int show_jobs;
  int label_printers;     // 23 by default
  int label_jobs;         // 23 by default
  int type;
  int type_mask;
  char location[128];     // at most 127 characters
  char description[128];  // at most 127 characters
};

// Returns a new record filled with the defaults and then with the rc file:
// the personal file when the user is not root and HOME is set, otherwise (or
// when that file does not open) the system file. A file that was read also
// sets the toolkit's look; with no file the look is left alone. Unknown keys
// and malformed lines are skipped. Returns null only if memory runs out.
prefs_t *guiPrefsLoad();

// Writes the record to the rc file (the system file for root, else the
// personal file when HOME is set). The new contents go to a temporary file
// beside the old one which then replaces it, so a failed save leaves the old
// file whole. Failures are silent. A null record is ignored.
void guiPrefsSave(prefs_t *prefs);

// Adds a server address, reduced to scheme, host and port, to the list. An
// address already listed (compared without case) moves to the front instead;
// a new one goes last. Null arguments are ignored; out of memory leaves the
// list as it was.
void guiPrefsAddURI(prefs_t *prefs, const char *uri);

// Releases the addresses, their array and the record. Accepts null.
void guiPrefsFree(prefs_t *prefs);

#endif
