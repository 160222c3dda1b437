// fuzz_index.cxx - the knowledge base's lookup index against trying every
// item in file order. The input is lines: those before the first empty line
// are item patterns (a leading "E " or "W " gives the item that level), the
// rest are log messages, each asked at levels E and W, twice, so that
// remembered answers are checked too. Messages are copied into buffers of
// exactly their size so that any overread is caught.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "knowledge/pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < size; i++) {
    if (data[i] == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else if (data[i]) {
      cur += (char)data[i];
    }
  }
  lines.push_back(cur);

  ErrorXML kb(nullptr);
  ErrorXMLRemedy *remedy = new ErrorXMLRemedy("r", "");
  kb.add_remedy(remedy);
  size_t k = 0;
  for (; k < lines.size() && !lines[k].empty() && kb.num_items_ < 64; k++) {
    const std::string &p = lines[k];
    char level = 0;
    const char *pattern = p.c_str();
    if (p.size() >= 2 && (p[0] == 'E' || p[0] == 'W') && p[1] == ' ') {
      level = p[0];
      pattern += 2;
    }
    kb.add_item(new ErrorXMLItem(1, level, pattern, "", remedy));
  }
  for (int pass = 0; pass < 2; pass++) {
    for (size_t m = k; m < lines.size() && m < k + 64; m++) {
      for (char level : {'E', 'W'}) {
        std::string full = std::string(1, level) + " [08/Dec/2026:10:00:00 +0000] " + lines[m];
        char *line = (char *)malloc(full.size() + 1);
        memcpy(line, full.c_str(), full.size() + 1);
        ErrorXMLItem *expect = nullptr;
        for (int i = 0; i < kb.num_items_ && !expect; i++) {
          ErrorXMLItem *item = kb.items_[i];
          if ((!item->level || item->level == level) && pattern_match(line + 31, item->pattern))
            expect = item;
        }
        if (kb.find_item(line) != expect) abort();
        free(line);
      }
    }
  }
  return 0;
}
