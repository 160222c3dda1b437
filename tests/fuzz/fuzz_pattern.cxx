// fuzz_pattern.cxx - feeds the pattern matcher arbitrary patterns and texts
// and checks its answer against the plain recursive matcher whenever that
// one finishes in reasonable time. The input is the pattern, a NUL byte,
// then the text; each is copied into a buffer of exactly its size so that
// any overread is caught.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "knowledge/pattern.h"
#include "tests/support/reference_match.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *split = (const uint8_t *)memchr(data, 0, size);
  size_t plen = split ? (size_t)(split - data) : size;
  size_t tlen = split ? size - plen - 1 : 0;
  char *pattern = (char *)malloc(plen + 1);
  char *text = (char *)malloc(tlen + 1);
  memcpy(pattern, data, plen);
  pattern[plen] = '\0';
  if (tlen) memcpy(text, split + 1, tlen);
  text[tlen] = '\0';
  bool ours = pattern_match(text, pattern);
  long budget = 200000;
  int expect = reference::match(text, pattern, budget);
  if (expect >= 0 && (expect == 1) != ours) abort();
  free(pattern);
  free(text);
  return 0;
}
