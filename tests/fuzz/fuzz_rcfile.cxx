// fuzz_rcfile.cxx - reads arbitrary bytes as the rc file, checks the record it
// makes, saves it and reads it back: the record must come back the same.
#include <ftw.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "prefs/prefs.h"

static char dir[64], personal[96], system_rc[96];

// The directory goes with the run, whatever the saves left in it.
static void remove_dir() {
  nftw(dir, [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
       FTW_DEPTH | FTW_PHYS);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  snprintf(dir, sizeof dir, "/tmp/veklog-fuzz-rc-XXXXXX");
  if (!mkdtemp(dir)) abort();
  atexit(remove_dir);
  snprintf(personal, sizeof personal, "%s/.vekrc", dir);
  snprintf(system_rc, sizeof system_rc, "%s/vekrc", dir);
  // The same bytes serve as both files, whoever runs the fuzzer.
  setenv("HOME", dir, 1);
  setenv("TARN_SERVERROOT", dir, 1);
  return 0;
}

static void put(const char *path, const uint8_t *data, size_t size) {
  FILE *fp = fopen(path, "wb");
  if (!fp) abort();
  if (size && fwrite(data, 1, size, fp) != size) abort();
  fclose(fp);
}

static void check(const prefs_t *p) {
  if (strnlen(p->location, sizeof p->location) >= sizeof p->location) abort();
  if (strnlen(p->description, sizeof p->description) >= sizeof p->description) abort();
  if (p->num_uris < 0 || (p->num_uris > 0 && !p->uris)) abort();
  for (int i = 0; i < p->num_uris; i++) {
    if (!p->uris[i] || strlen(p->uris[i]) > 1023) abort();
    for (int j = 0; j < i; j++)
      if (!strcasecmp(p->uris[i], p->uris[j])) abort();  // no address twice
  }
}

static bool same(const prefs_t *a, const prefs_t *b) {
  if (a->interval != b->interval || a->toolbar != b->toolbar ||
      a->locationbar != b->locationbar || a->modernskin != b->modernskin ||
      a->show_printers != b->show_printers || a->show_jobs != b->show_jobs ||
      a->label_printers != b->label_printers || a->label_jobs != b->label_jobs ||
      a->type != b->type || a->type_mask != b->type_mask ||
      strcmp(a->location, b->location) || strcmp(a->description, b->description) ||
      a->num_uris != b->num_uris)
    return false;
  for (int i = 0; i < a->num_uris; i++)
    if (strcmp(a->uris[i], b->uris[i])) return false;
  return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  put(personal, data, size);
  put(system_rc, data, size);
  prefs_t *p = guiPrefsLoad();
  if (!p) return 0;
  check(p);

  // A saved line longer than a read piece (1023) comes back in two lines, so
  // only records whose lines all fit are expected to come back whole.
  bool fits = true;
  for (int i = 0; i < p->num_uris; i++)
    if (strlen(p->uris[i]) > 1000) fits = false;
  if (fits) {
    guiPrefsSave(p);
    prefs_t *q = guiPrefsLoad();
    if (!q) abort();
    check(q);
    if (!same(p, q)) abort();
    guiPrefsFree(q);
  }
  guiPrefsFree(p);
  return 0;
}
