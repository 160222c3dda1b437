// strutil.cxx - bounded string copy.
#include "knowledge/strutil.h"

size_t copy_bounded(char *dst, size_t size, const char *src) {
  if (!dst || size == 0) return 0;
  size_t n = 0;
  if (src) {
    while (n + 1 < size && src[n]) {
      dst[n] = src[n];
      n++;
    }
  }
  dst[n] = '\0';
  return n;
}
