// test_util.h - helpers shared by the test suites, none of them needing the
// toolkit: temporary directories and files, log lines, and reading a log the
// way the program does.
#ifndef TESTS_SUPPORT_TEST_UTIL_H
#define TESTS_SUPPORT_TEST_UTIL_H

#include <ftw.h>
#include <linux/capability.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "logread/LogReader.h"

// A directory under /tmp that is removed with everything in it.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/veklog-test-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    path = tmpl;
  }
  ~TempDir() {
    nftw(path.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); },
         16, FTW_DEPTH | FTW_PHYS);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string file(const char *name) const { return path + "/" + name; }
  // Writes name in the directory; gives its path.
  std::string write(const std::string &name, const std::string &bytes) const;
};

// An environment variable set (or, with null, unset) while it lives.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const char *value) : name_(name) {
    const char *old = getenv(name);
    had_ = old != nullptr;
    if (old) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
  std::string name_, old_;
  bool had_ = false;
};

inline void write_file(const std::string &path, const std::string &bytes, const char *mode = "wb") {
  FILE *f = fopen(path.c_str(), mode);
  if (!f) abort();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// A log line in the server's layout: level letter, blank, 29-character time
// field, message from column 31; message_line is the same without its newline,
// as the list and the knowledge base see it.
inline std::string message_line(char level, const std::string &message) {
  return std::string(1, level) + " [08/Dec/2026:17:23:40 +0000] " + message;
}
inline std::string log_line(char level, const std::string &message) {
  return message_line(level, message) + "\n";
}

inline std::string TempDir::write(const std::string &name, const std::string &bytes) const {
  std::string p = path + "/" + name;
  write_file(p, bytes);
  return p;
}

// While it lives, permissions count for this process even when it runs as
// root: the capabilities that override them are off.
struct PermissionsCount {
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved[2] = {}, now[2] = {};
  bool ok = syscall(SYS_capget, &head, saved) == 0;
  PermissionsCount() {
    memcpy(now, saved, sizeof now);
    now[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    if (ok) syscall(SYS_capset, &head, now);
  }
  ~PermissionsCount() {
    if (ok) syscall(SYS_capset, &head, saved);
  }
};

// Keeps what a LogReader gives, in file order, and counts the calls.
struct LineSink : LogSink {
  std::vector<std::string> lines;  // lines and pieces as given
  std::string continued;           // per entry of lines: '+' a piece that continues a line, '.' not
  int restarts = 0, drops = 0;
  void restart() override {
    restarts++;
    lines.clear();
    continued.clear();
  }
  void drop_unfinished() override {
    drops++;
    if (lines.empty()) abort();
    lines.pop_back();
    continued.pop_back();
  }
  void line(const char *text, size_t len, bool cont) override {
    lines.emplace_back(text, len);
    continued += cont ? '+' : '.';
  }
  // The lines with their pieces joined.
  std::vector<std::string> whole() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); i++)
      if (continued[i] == '+' && !out.empty())
        out.back() += lines[i];
      else
        out.push_back(lines[i]);
    return out;
  }
};

// The lines of a file at a level as the program reads them (the pieces of a
// long line each on its own), in file order.
inline std::vector<std::string> read_log(const std::string &path, int level = 2) {
  LineSink sink;
  LogReader(path, level).read(sink);
  return sink.lines;
}

// The same read, as the reader gives it: the pieces and their flags.
inline LineSink read_pieces(const std::string &path, int level = 2) {
  LineSink sink;
  LogReader(path, level).read(sink);
  return sink;
}

#endif
