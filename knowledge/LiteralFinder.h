// LiteralFinder.h - which of many texts a message holds, A-Z in either case:
// the first sieve of the knowledge base's index (docs/ARCHITECTURE.md: how).
#ifndef KNOWLEDGE_LITERALFINDER_H
#define KNOWLEDGE_LITERALFINDER_H

#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class LiteralFinder {
public:
  enum { MIN_TEXT = 5 };

  // Adds a text of at least MIN_TEXT bytes, A-Z folded to a-z, and gives its
  // number (from 0, in the order added; the same text keeps its number); -1
  // for a shorter one.
  int add(const std::string &text);
  int size() const { return (int)texts_.size(); }
  // Makes the tables from the texts added; find() needs it after every add.
  // Throws std::bad_alloc.
  void build();
  // Appends to `found` the number of each text `message` holds, once each,
  // in no particular order.
  void find(const char *message, size_t len, std::vector<int> &found);

private:
  std::deque<std::string> texts_;  // by number; numbers_ points in
  std::unordered_map<std::string_view, int> numbers_;
  // Made by build(): the keys by hashed gram, where each hash's keys start, a
  // filter of one bit per gram hashed otherwise.
  struct Key {
    uint32_t gram;
    int text;
    uint32_t at;  // where in the text the gram starts
  };
  std::vector<Key> keys_;
  std::vector<uint32_t> starts_;
  std::vector<uint64_t> filter_;
  int bits_ = 0;
};

#endif
