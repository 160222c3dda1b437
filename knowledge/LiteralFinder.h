// LiteralFinder.h - which of many texts a message holds, A-Z in either case:
// the first sieve of the knowledge base's index (docs/ARCHITECTURE.md: how).
#ifndef KNOWLEDGE_LITERALFINDER_H
#define KNOWLEDGE_LITERALFINDER_H

#include <stdint.h>

#include <string>
#include <vector>

class LiteralFinder {
public:
  enum { MIN_TEXT = 5 };

  // Adds a text of at least MIN_TEXT bytes, A-Z folded to a-z, and gives its
  // number (from 0, in the order added; the same text keeps its number); -1
  // for a shorter one.
  int add(const std::string &text);
  int size() const { return (int)at_.size() - 1; }
  // Makes the tables from the texts added; find() needs it after every add.
  // Throws std::bad_alloc.
  void build();
  // Appends to `found` the number of each text `message` holds, once each,
  // in no particular order.
  void find(const char *message, size_t len, std::vector<int> &found);

private:
  std::vector<int32_t> numbers_;  // the texts by hash, for add(); -1: an empty slot
  int32_t *number_slot(const char *text, size_t len);  // the text's slot, or the empty one it would take
  std::string chars_;                // text t: chars_[at_[t] .. at_[t + 1])
  std::vector<uint32_t> at_ = {0};
  // Made by build(): the keys by gram, a table of each gram's first key.
  struct Key {
    uint32_t gram;
    int text;
    uint32_t at, start, len;  // where in the text the gram starts; the text in chars_
  };
  std::vector<Key> keys_;
  int bits_ = 0;  // the table has 1 << bits_ slots
  struct Slot {
    uint32_t gram;
    int32_t first;  // -1: empty (as unsigned, past every key)
  };
  std::vector<Slot> slots_;
  std::vector<uint64_t> filter_;  // one bit per hashed gram
  // Per text, the lookup that last found it, so each is given once.
  std::vector<uint32_t> seen_;
  uint32_t epoch_ = 0;
};

#endif
