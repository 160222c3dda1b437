// test_util.h - small helpers shared by the test suites: temporary
// directories and files, and reading back what the list holds.
#ifndef TESTS_TEST_UTIL_H
#define TESTS_TEST_UTIL_H

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include <chrono>

#include <FL/Fl.H>
#include <FL/Fl_Browser.H>

// A directory under /tmp that is removed with everything in it.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/veklog-test-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::string cmd = "rm -rf '" + path + "'";
    if (system(cmd.c_str())) {
    }
  }
  std::string file(const char *name) const { return path + "/" + name; }
};

inline void write_file(const std::string &path, const std::string &bytes, const char *mode = "wb") {
  FILE *f = fopen(path.c_str(), mode);
  if (!f) abort();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// The list's lines, top first, as stored.
inline std::vector<std::string> lines_of(Fl_Browser *b) {
  std::vector<std::string> out;
  for (int i = 1; i <= b->size(); i++) out.push_back(b->text(i) ? b->text(i) : "");
  return out;
}

// The numbers of the selected lines.
inline std::vector<int> selected_of(Fl_Browser *b) {
  std::vector<int> out;
  for (int i = 1; i <= b->size(); i++)
    if (b->selected(i)) out.push_back(i);
  return out;
}

// Runs the event loop until done() holds or the time runs out.
template <class F>
bool wait_for(F done, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Fl::wait(0.05);
  }
  return true;
}

// A log line in the server's layout: level letter, blank, 29-character time
// field, message.
inline std::string log_line(char level, const std::string &message) {
  return std::string(1, level) + " [08/Dec/2026:17:23:40 +0000] " + message + "\n";
}

#endif
