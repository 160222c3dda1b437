// pattern.h - the matcher of knowledge base patterns: whether the message part
// of a log line fits an item's pattern (docs/ARCHITECTURE.md says how).
#ifndef KNOWLEDGE_PATTERN_H
#define KNOWLEDGE_PATTERN_H

#include <memory>

#include "knowledge/ParsedPattern.h"

// A compiled pattern. Work is bounded by |text| x |pattern|^2 / 64; nothing is
// read past either terminator. Tables made for a line are kept, shared by
// copies: not for two threads at once.
class Pattern {
public:
  // A null pattern matches nothing, and so does one whose tables cannot be
  // had (no memory).
  explicit Pattern(const char *pattern);
  explicit Pattern(ParsedPattern parsed);

  // Whether the pattern matches the whole of `text` (a null text: no).
  bool match(const char *text) const;

private:
  struct Machine;
  bool null_;
  ParsedPattern parsed_;
  mutable std::shared_ptr<const Machine> machine_;  // made the first time the quick way gives up
};

// Compiles `pattern` and matches it against `text` once; false when either is
// null. For patterns matched again and again, keep a Pattern.
bool pattern_match(const char *text, const char *pattern);

#endif
