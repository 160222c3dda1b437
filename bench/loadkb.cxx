// loadkb.cxx - reads a knowledge base, indexes it and looks one line up, the
// way veklog-explain does before its first answer; compare.sh runs it on a
// large generated base.
//
//   loadkb KB LINE   prints the milliseconds of the read and of the index,
//                    the items read, whether an item explains LINE, and the
//                    peak resident size in kilobytes
#include <stdio.h>
#include <sys/resource.h>
#include <time.h>

#include "knowledge/ErrorXML.h"

namespace {

double now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s KB LINE\n", argv[0]);
    return 2;
  }
  double t0 = now_ms();
  // Held to the end, as the programs hold it; the process exit releases it.
  ErrorXML *xml = new ErrorXML(argv[1]);
  double t1 = now_ms();
  xml->build_index();
  bool found = xml->find_item(argv[2]) != nullptr;
  double t2 = now_ms();
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  printf("%.0f %.0f %d %d %ld\n", t1 - t0, t2 - t1, xml->num_items_, found, ru.ru_maxrss);
  return 0;
}
