// journalload.cxx - reads a journal once through the journal source into a
// list of lines, as a window would hold them; journal_compare.sh times it
// against journalctl printing the same entries.
//
//   journalload LEVEL FILE|DIR   prints the lines held, the milliseconds the
//                                read took and the peak resident size in kB
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <string>
#include <vector>

#include "logread/JournalSource.h"

namespace {

struct Hold : LogSink, JournalSink {
  std::vector<std::string> lines;
  std::vector<std::string> hosts;
  void restart() override { lines.clear(); }
  void drop_unfinished() override {}
  void line(const char *text, size_t len, bool continued) override { lines.emplace_back(text, len); }
  void entry(const JournalEntry &e) override {
    if (hosts.empty() || hosts.back() != e.host) hosts.push_back(e.host);
  }
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s LEVEL FILE|DIR\n", argv[0]);
    return 2;
  }
  struct stat st;
  bool dir = stat(argv[2], &st) == 0 && S_ISDIR(st.st_mode);
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  JournalSource source(dir ? JournalSource::Directory : JournalSource::File, argv[2], atoi(argv[1]));
  Hold hold;
  LogStatus status = source.read(hold, &hold);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  if (status.kind == LogStatus::Failed) {
    fprintf(stderr, "%s: %s\n", argv[2], status.reason.c_str());
    return 3;
  }
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  double ms = (double)(t1.tv_sec - t0.tv_sec) * 1e3 + (double)(t1.tv_nsec - t0.tv_nsec) / 1e6;
  printf("%zu %.1f %ld\n", hold.lines.size(), ms, ru.ru_maxrss);
  return 0;
}
