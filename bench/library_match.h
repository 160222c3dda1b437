// library_match.h - the knowledge base's items matched by a multi-pattern
// regular expression library instead of ItemIndex and Pattern, to measure
// the two side by side. Not part of the program.
#ifndef BENCH_LIBRARY_MATCH_H
#define BENCH_LIBRARY_MATCH_H

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

// A pattern of the knowledge base as a regular expression over the whole
// message ("(?s)" mode, no anchors): A-Z either case, sets exact, a quote
// also after a backslash, groups and separators as the parser reads them.
std::string pattern_regex(const char *pattern);

// The items of a knowledge base (level letter and pattern, in file order),
// compiled into one library database.
class LibraryItems {
public:
  virtual ~LibraryItems() = default;
  // The first item, in order, whose level is 0 or `level` and whose pattern
  // matches all of `message`; -1 when none does.
  virtual int find(char level, const char *message, size_t len) = 0;
  virtual std::string name() const = 0;
  // Why it could not be built; "" when it was.
  std::string error;
};

// Null when the library was not found at build time.
std::unique_ptr<LibraryItems> re2_items(const std::vector<char> &levels,
                                        const std::vector<std::string> &patterns);
std::unique_ptr<LibraryItems> hyperscan_items(const std::vector<char> &levels,
                                              const std::vector<std::string> &patterns);

#endif
