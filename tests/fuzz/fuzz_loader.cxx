// fuzz_loader.cxx - loads arbitrary bytes as a knowledge base file, then
// matches and scores a few log lines against whatever it made.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "knowledge/ErrorXML.h"

static char path[64];

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  snprintf(path, sizeof path, "/tmp/veklog-fuzz-loader-%d.xml", (int)getpid());
  setenv("TARN_DATADIR", "/nonexistent", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *fp = fopen(path, "wb");
  if (!fp) return 0;
  fwrite(data, 1, size, fp);
  fclose(fp);

  ErrorXML kb(path);
  static const char *lines[] = {
      "E [08/Dec/2026:10:00:00 +0000] Unable to open printer\n",
      "W [08/Dec/2026:10:00:00 +0000] \n",
      "I [08/Dec/2026:10:00:00 +0000] Job 12 queued, 3 pages\n",
      "E short\n",
  };
  kb.clear_scores();
  for (const char *line : lines) {
    ErrorXMLItem *item = kb.find_item(line);
    if (item && item->remedy && strlen(item->remedy->text) > (size_t)-2) abort();
    kb.score_item(line);
  }
  kb.best_remedy();
  // The attribute reader on the raw bytes as a tag line.
  char *tag = (char *)malloc(size + 1);
  memcpy(tag, data, size);
  tag[size] = '\0';
  char value[16];
  ErrorXML::get_attr(tag, "name", value, sizeof value);
  free(tag);
  unlink(path);
  return 0;
}
