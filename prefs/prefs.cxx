// prefs.cxx - reading, writing and releasing the interface preferences record,
// and keeping its list of server addresses.
#include "prefs/prefs.h"

#include "base/open_regular.h"

#include <FL/Fl.H>

#include <ctype.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <unordered_map>
#include <vector>

// The numeric settings, read with atoi.
static const struct {
  const char *key;
  int prefs_t::*member;
} numeric_keys[] = {
  {"ShowPrinters", &prefs_t::show_printers},
  {"LabelPrinters", &prefs_t::label_printers},
  {"ShowJobs", &prefs_t::show_jobs},
  {"LabelJobs", &prefs_t::label_jobs},
  {"Type", &prefs_t::type},
  {"TypeMask", &prefs_t::type_mask},
  {"Interval", &prefs_t::interval},
};

// Fills path with "<dir>/<name>"; false when the result does not fit, so that
// a cut name never points at some other file.
static bool make_path(char *path, size_t size, const char *dir, const char *name) {
  int n = snprintf(path, size, "%s/%s", dir, name);
  return n >= 0 && (size_t)n < size;
}

// The personal rc file; false when HOME is unset or the name is too long.
static bool personal_file(char *path, size_t size) {
  const char *home = getenv("HOME");
  return home && make_path(path, size, home, ".vekrc");
}

// The system-wide rc file in the server's configuration directory.
static bool system_file(char *path, size_t size) {
  const char *root = getenv("TARN_SERVERROOT");
  return make_path(path, size, root ? root : "/etc/tarn", "vekrc");
}

static void add_uris(prefs_t *prefs, const std::vector<std::string> &uris);

// Applies one piece of a line (at most 1023 characters) to the record. The
// addresses are gathered in uris and added all at once (add_uris).
static void apply_line(prefs_t *prefs, char *line, std::vector<std::string> &uris) {
  size_t len = strlen(line);
  if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';

  char *value = line;
  while (*value && !isspace((unsigned char)*value)) value++;
  if (!*value) return;                      // a key alone: nothing to set
  *value++ = '\0';
  while (*value && isspace((unsigned char)*value)) value++;
  const char *key = line;                   // empty when the line began with a blank

  if (!strcasecmp(key, "URI")) {
    if (!strncmp(value, "ipp://", 6)) {
      char *slash = strchr(value + 6, '/');
      if (slash) *slash = '\0';
    }
    uris.push_back(value);
  } else if (!strcasecmp(key, "ToolBar")) {
    if (!strcasecmp(value, "off")) prefs->toolbar = 0;
  } else if (!strcasecmp(key, "LocationBar")) {
    if (!strcasecmp(value, "off")) prefs->locationbar = 0;
  } else if (!strcasecmp(key, "ModernSkin")) {
    if (!strcasecmp(value, "on")) prefs->modernskin = 1;
    else if (!strcasecmp(value, "off")) prefs->modernskin = 0;
  } else if (!strcasecmp(key, "Location")) {
    snprintf(prefs->location, sizeof prefs->location, "%s", value);
  } else if (!strcasecmp(key, "Description")) {
    snprintf(prefs->description, sizeof prefs->description, "%s", value);
  } else {
    for (const auto &k : numeric_keys) {
      if (!strcasecmp(key, k.key)) {
        prefs->*k.member = atoi(value);
        break;
      }
    }
  }
}

prefs_t *guiPrefsLoad() {
  prefs_t *prefs = (prefs_t *)calloc(1, sizeof *prefs);
  if (!prefs) return 0;
  prefs->interval = 30;
  prefs->toolbar = 1;
  prefs->locationbar = 1;
  prefs->modernskin = 1;
  prefs->label_printers = 23;
  prefs->label_jobs = 23;

  char path[1024];
  FILE *fp = 0;
  if (getuid() != 0 && personal_file(path, sizeof path)) fp = fopen_regular(path);
  if (!fp && system_file(path, sizeof path)) fp = fopen_regular(path);
  if (!fp) return prefs;                    // no file: the toolkit keeps its look

  char line[1024];
  std::vector<std::string> uris;
  while (fgets(line, sizeof line, fp)) apply_line(prefs, line, uris);
  fclose(fp);
  add_uris(prefs, uris);

  Fl::scheme(prefs->modernskin ? "plastic" : "none");
  return prefs;
}

// The part of an address that is kept: scheme, host and port, cut at the
// first "/" after "scheme://".
static void server_part(const char *uri, char *copy, size_t size) {
  snprintf(copy, size, "%s", uri);
  char *from = copy;
  char *colon = strchr(copy, ':');
  if (colon) from = strlen(colon + 1) >= 3 ? colon + 3 : 0;
  if (from) {
    char *slash = strchr(from, '/');
    if (slash) *slash = '\0';
  }
}

void guiPrefsAddURI(prefs_t *prefs, const char *uri) {
  if (!prefs || !uri) return;
  char copy[1024];
  server_part(uri, copy, sizeof copy);

  for (int i = 0; i < prefs->num_uris; i++) {
    if (strcasecmp(prefs->uris[i], copy)) continue;
    char *found = prefs->uris[i];           // keeps the case it was stored with
    memmove(prefs->uris + 1, prefs->uris, i * sizeof *prefs->uris);
    prefs->uris[0] = found;
    return;
  }

  char *dup = strdup(copy);
  if (!dup) return;
  char **grown = (char **)realloc(prefs->uris, (prefs->num_uris + 1) * sizeof *grown);
  if (!grown) {
    free(dup);
    return;
  }
  prefs->uris = grown;
  prefs->uris[prefs->num_uris++] = dup;
}

// Adds the addresses as guiPrefsAddURI would, one after the other, in time
// linear in their number: a file of many lines would otherwise compare each
// with all before it. Adding moves a known address to the front, so the list
// ends as the addresses added again, the latest first, then those never added
// again, in the order they came.
static void add_uris(prefs_t *prefs, const std::vector<std::string> &uris) {
  if (uris.empty()) return;
  struct Entry {
    char *text;
    long again;  // when it was last added again; -1 never
  };
  std::vector<Entry> entries;
  std::unordered_map<std::string, size_t> known;  // by the address in lower case
  auto key = [](const char *s) {
    std::string k(s);
    for (char &c : k) c = (char)tolower((unsigned char)c);
    return k;
  };
  for (int i = 0; i < prefs->num_uris; i++) {
    known.emplace(key(prefs->uris[i]), entries.size());
    entries.push_back({prefs->uris[i], -1});
  }
  size_t old = entries.size();
  for (size_t t = 0; t < uris.size(); t++) {
    char copy[1024];
    server_part(uris[t].c_str(), copy, sizeof copy);
    auto found = known.find(key(copy));
    if (found != known.end()) {
      entries[found->second].again = (long)t;
    } else if (char *dup = strdup(copy)) {
      known.emplace(key(copy), entries.size());
      entries.push_back({dup, -1});
    }
  }
  char **list = (char **)malloc(entries.size() * sizeof *list);
  if (!list) {  // out of memory: the list stays as it was
    for (size_t i = old; i < entries.size(); i++) free(entries[i].text);
    return;
  }
  std::vector<long> at(uris.size(), -1);  // the entry last added again at each step
  for (size_t i = 0; i < entries.size(); i++)
    if (entries[i].again >= 0) at[entries[i].again] = (long)i;
  size_t n = 0;
  for (size_t t = uris.size(); t-- > 0;)
    if (at[t] >= 0) list[n++] = entries[at[t]].text;
  for (const Entry &e : entries)
    if (e.again < 0) list[n++] = e.text;
  free(prefs->uris);
  prefs->uris = list;
  prefs->num_uris = (int)n;
}

// Length of a value as written: up to its end, or up to a newline, which would
// otherwise start a setting of its own when the file is read back.
static int value_len(const char *s, size_t max) {
  size_t n = 0;
  while (n < max && s[n] && s[n] != '\n') n++;
  return (int)n;
}

static void write_prefs(FILE *fp, const prefs_t *prefs) {
  for (int i = 0; i < prefs->num_uris; i++)
    fprintf(fp, "URI %.*s\n", value_len(prefs->uris[i], (size_t)-1), prefs->uris[i]);
  if (!prefs->toolbar) fputs("ToolBar off\n", fp);
  if (!prefs->locationbar) fputs("LocationBar off\n", fp);
  fputs(prefs->modernskin ? "ModernSkin on\n" : "ModernSkin off\n", fp);
  if (prefs->show_printers) fprintf(fp, "ShowPrinters %d\n", prefs->show_printers);
  fprintf(fp, "LabelPrinters %d\n", prefs->label_printers);
  if (prefs->show_jobs) fprintf(fp, "ShowJobs %d\n", prefs->show_jobs);
  fprintf(fp, "LabelJobs %d\n", prefs->label_jobs);
  if (prefs->type || prefs->type_mask) {
    fprintf(fp, "Type %d\n", prefs->type);
    fprintf(fp, "TypeMask %d\n", prefs->type_mask);
  }
  int n = value_len(prefs->location, sizeof prefs->location);
  if (n) fprintf(fp, "Location %.*s\n", n, prefs->location);
  n = value_len(prefs->description, sizeof prefs->description);
  if (n) fprintf(fp, "Description %.*s\n", n, prefs->description);
  if (prefs->interval != 30) fprintf(fp, "Interval %d\n", prefs->interval);
}

// Replaces the regular file target (or creates it) through a temporary file
// in the same directory. The old file is touched only by the final rename.
static void save_to(const char *target, const prefs_t *prefs) {
  struct stat st;
  bool existed = stat(target, &st) == 0;
  if (existed && !S_ISREG(st.st_mode)) return;

  char tmp[PATH_MAX + 8];  // target may come from realpath
  snprintf(tmp, sizeof tmp, "%s.XXXXXX", target);
  int fd = mkstemp(tmp);
  if (fd < 0) return;

  // mkstemp makes the file private; give it the old file's permissions, or
  // the usual ones for a new file, so others can still read a system file.
  mode_t mode;
  if (existed) {
    mode = st.st_mode & 07777;
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
      if (fchown(fd, st.st_uid, st.st_gid) != 0) { /* keep our own ownership */ }
    }
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);

  FILE *fp = fdopen(fd, "w");
  if (!fp) {
    close(fd);
    unlink(tmp);
    return;
  }
  write_prefs(fp, prefs);
  bool good = !ferror(fp) && fflush(fp) == 0 && fsync(fileno(fp)) == 0;
  if (fclose(fp) != 0) good = false;
  if (!good || rename(tmp, target) != 0) unlink(tmp);
}

void guiPrefsSave(prefs_t *prefs) {
  if (!prefs) return;
  char path[1024];
  bool named = (getuid() != 0 && getenv("HOME")) ? personal_file(path, sizeof path)
                                                 : system_file(path, sizeof path);
  if (!named) return;

  // An rc file that is a link stays a link: the file it points to is replaced.
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    char *target = realpath(path, 0);
    if (target) save_to(target, prefs);
    free(target);
  } else {
    save_to(path, prefs);
  }
}

void guiPrefsFree(prefs_t *prefs) {
  if (!prefs) return;
  for (int i = 0; i < prefs->num_uris; i++) free(prefs->uris[i]);
  free(prefs->uris);
  free(prefs);
}
