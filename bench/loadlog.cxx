// loadlog.cxx - loads a log into the list once and exits, the way the program
// does at start; compare.sh times it and reads its peak memory.
//
//   loadlog LEVEL FILE   prints the number of listed lines and the peak
//                        resident size in kilobytes
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>

#include "logview/ErrorBrowser.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s LEVEL FILE\n", argv[0]);
    return 2;
  }
  // Held to the end, as the window holds it; the process exit releases it.
  ErrorBrowser *list = new ErrorBrowser(0, 25, 645, 230);
  list->level_ = atoi(argv[1]);
  snprintf(list->filename_, sizeof list->filename_, "%s", argv[2]);
  list->load();
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  printf("%d %ld\n", list->size(), ru.ru_maxrss);
  return 0;
}
