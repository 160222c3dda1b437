// loadlog.cxx - loads a log into the list once and exits, the way the program
// does at start; compare.sh times it and reads its peak memory.
//
//   loadlog LEVEL SOURCE          a log with its rotated parts, a journal file
//                                 or a directory of them, as File > Open...
//                                 takes a name
//   loadlog LEVEL --each FILE...  each file alone, one after the other, each
//                                 into a list of its own, all of them held
// Prints the number of lines listed (summed over --each's files) and the
// peak resident size in kilobytes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include "logread/LogSource.h"
#include "logview/ErrorBrowser.h"

int main(int argc, char **argv) {
  bool each = argc >= 4 && !strcmp(argv[2], "--each");
  if (argc != 3 && !each) {
    fprintf(stderr, "usage: %s LEVEL FILE|DIR\n       %s LEVEL --each FILE...\n", argv[0], argv[0]);
    return 2;
  }
  long listed = 0;
  for (int i = each ? 3 : 2; i < argc; i++) {
    // Held to the end, as the window holds its list; the process exit
    // releases them.
    ErrorBrowser *list = new ErrorBrowser(0, 25, 645, 230);
    list->level_ = atoi(argv[1]);
    list->source(each ? SourceRef{SourceRef::File, argv[i], "", false} : ref_for_path(argv[i]));
    list->load();
    if (list->status().kind == LogStatus::Failed) {
      fprintf(stderr, "%s: %s\n", argv[i], list->status().reason.c_str());
      return 3;
    }
    listed += list->size();
  }
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  printf("%ld %ld\n", listed, ru.ru_maxrss);
  return 0;
}
