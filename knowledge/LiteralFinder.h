// LiteralFinder.h - which of many texts a message holds, A-Z in either case:
// the first sieve of the knowledge base's index (docs/ARCHITECTURE.md: how).
#ifndef KNOWLEDGE_LITERALFINDER_H
#define KNOWLEDGE_LITERALFINDER_H

#include <stdint.h>

#include <string>
#include <unordered_map>
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
  // Appends to `found` the number of each text `message` holds, once each.
  void find(const char *message, size_t len, std::vector<int> &found);

private:
  std::unordered_map<std::string, int> number_;
  std::string chars_;                // text t: chars_[at_[t] .. at_[t + 1])
  std::vector<uint32_t> at_ = {0};
  // Made by build(): the keys by gram, a table of each gram's first key.
  struct Key {
    uint32_t gram;
    int text, at;  // a text, and where in it the gram starts
  };
  std::vector<Key> keys_;
  int bits_ = 0;  // the table has 1 << bits_ slots
  struct Slot {
    uint32_t gram;
    int32_t first;  // -1: empty (as unsigned, past every key)
  };
  std::vector<Slot> slots_;
  std::vector<uint64_t> filter_;  // one bit per hashed gram
};

#endif
