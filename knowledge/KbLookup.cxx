// KbLookup.cxx - the places the knowledge base is looked for, in order, and
// the ownership test for the one in the working directory.
#include "knowledge/KbLookup.h"

#include <errno.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/open_regular.h"

#ifndef VEKLOG_DATADIR
#define VEKLOG_DATADIR "/usr/share/tarn"
#endif

namespace {

#ifdef VEKLOG_BUILD_SOURCE_DIR
// Whether the running program is one this build made, run where it was
// made: then it also finds the source tree's data. An installed copy never is.
bool run_from_build_tree() {
  const char *const programs[] = {VEKLOG_BUILT_EXPLAIN, VEKLOG_BUILT_WINDOW};
  char self[PATH_MAX], built[PATH_MAX];
  if (!realpath("/proc/self/exe", self)) return false;
  for (const char *program : programs)
    if (*program && realpath(program, built) && !strcmp(self, built)) return true;
  return false;
}
#endif

std::string owner_name(uid_t uid) {
  struct passwd *pw = getpwuid(uid);
  std::string id = "uid " + std::to_string(uid);
  return pw ? std::string(pw->pw_name) + " (" + id + ")" : id;
}

std::string mode_text(mode_t mode) {
  char buf[8];
  snprintf(buf, sizeof buf, "%04o", (unsigned)(mode & 07777));
  return buf;
}

// The test for one file or directory: owner, then who else may write it.
std::string distrust_stat(const struct stat &st, const std::string &what) {
  if (st.st_uid != geteuid() && st.st_uid != 0)
    return what + " belongs to " + owner_name(st.st_uid) + ", not to you or root";
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    return what + " may be written by others (mode " + mode_text(st.st_mode) + ")";
  return "";
}

}  // namespace

std::string KbLookup::distrust(int fd, const std::string &path) {
  struct stat st;
  if (fstat(fd, &st) != 0) return std::string("it cannot be examined: ") + strerror(errno);
  std::string why = distrust_stat(st, "it");
  if (!why.empty()) return why;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(dir.c_str(), &st) != 0)
    return "its directory cannot be examined: " + std::string(strerror(errno));
  std::string name = dir;
  if (dir == ".") {
    char cwd[PATH_MAX];
    name = getcwd(cwd, sizeof cwd) ? cwd : "the working directory";
  }
  return distrust_stat(st, "its directory " + name);
}

FILE *KbLookup::try_place(const std::string &path, bool trust_only) {
  Place place;
  place.path = path;
  struct stat st;
  int fd = open_regular(path.c_str(), &st);
  FILE *fp = nullptr;
  if (fd < 0) {
    place.error = errno;
  } else {
    if (trust_only) place.ignored = distrust(fd, path);
    if (place.ignored.empty()) fp = fdopen(fd, "rb");
    if (!fp) {
      if (place.ignored.empty()) place.error = errno;
      close(fd);
    }
  }
  places_.push_back(place);
  if (fp) {
    path_ = path;
    char cwd[PATH_MAX];
    shown_ = path[0] == '/' || !getcwd(cwd, sizeof cwd)
                 ? path
                 : std::string(cwd) + (strcmp(cwd, "/") ? "/" : "") + path;
  }
  return fp;
}

FILE *KbLookup::find(const char *name) {
  places_.clear();
  path_.clear();
  shown_.clear();
  if (!name) return nullptr;
  // A file found in the working directory decides what every line means, so
  // one that someone else could have put there is passed over. A path
  // given as absolute names a file chosen on purpose.
  FILE *fp = try_place(name, name[0] != '/');
  if (fp) return fp;
  const char *datadir = getenv("TARN_DATADIR");
  if (!datadir) datadir = VEKLOG_DATADIR;
  char fallback[1024];
  snprintf(fallback, sizeof fallback, "%s/data/%s", datadir, name);
  fp = try_place(fallback, false);
#ifdef VEKLOG_BUILD_SOURCE_DIR
  if (!fp && run_from_build_tree()) {
    snprintf(fallback, sizeof fallback, "%s/data/%s", VEKLOG_BUILD_SOURCE_DIR, name);
    fp = try_place(fallback, false);
  }
#endif
  return fp;
}

FILE *KbLookup::open(const char *path) {
  places_.clear();
  path_.clear();
  shown_.clear();
  return path ? try_place(path, false) : nullptr;
}

std::vector<std::string> KbLookup::ignored() const {
  std::vector<std::string> out;
  for (const Place &p : places_)
    if (!p.ignored.empty()) out.push_back(p.path + ": " + p.ignored);
  return out;
}
