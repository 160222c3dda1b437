// ItemIndex.h - which item of the knowledge base a log message matches, found
// without trying every pattern (docs/ARCHITECTURE.md: how, and measurements).
#ifndef KNOWLEDGE_ITEMINDEX_H
#define KNOWLEDGE_ITEMINDEX_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "knowledge/LiteralFinder.h"
#include "knowledge/pattern.h"

// Items are a level letter and a pattern; the answer is an item's number,
// always the one trying every item in turn would give. Not for two threads.
class ItemIndex {
public:
  enum { MEMO_SLOTS = 32768, MEMO_TEXT = 112, MEMO_ALSO = 2 };

  // Adds an item after those added before: its level letter (0 for any) and
  // its pattern (null matches nothing), compiled here. False, with nothing
  // added, when memory runs out.
  bool add(char level, const char *pattern);
  int size() const { return (int)items_.size(); }
  // Makes the lookup tables now rather than at the next find(); false when
  // memory runs out (find() then answers -1 for everything).
  bool prepare() { return built_ || build(); }
  // Whether answers are remembered, by message (up to MEMO_TEXT bytes, each
  // digit read as 0) and level; they are unless this turns it off.
  void remember(bool on) { remember_ = on, built_ = false; }
  // The number of the first item, in the order added, whose level is 0 or
  // `level` and whose pattern matches `message`; -1 when none does.
  int find(char level, const char *message);

private:
  struct Item {
    Pattern pattern;
    std::vector<std::string> texts;  // one of which every match holds (none: tried on every line)
    char level;
    bool digits;  // its pattern tells one digit from another
  };
  std::vector<Item> items_;
  bool built_ = false, remember_ = true;
  // Made by build(): the texts with each digit read as 0, the items of each
  // in order, and those of none.
  LiteralFinder finder_;
  std::vector<std::vector<int>> items_of_text_;
  std::vector<int> untexted_;
  std::vector<int> found_, hits_;  // a lookup's scratch
  std::string key_;                // the message, each digit read as 0
  struct alignas(64) Memo {
    int32_t item;
    // Items that tell digits apart, before `item` and that may match: tried
    // first. -1 of them: too many, look afresh.
    int32_t also_items[MEMO_ALSO];
    int8_t also;
    char level;
    int16_t len = -1;  // -1: an empty slot
    char text[MEMO_TEXT];  // the message, each digit read as 0
  };
  std::unique_ptr<Memo[]> memo_;          // MEMO_SLOTS, by hash; null: none
  std::unique_ptr<uint32_t[]> memo_tag_;  // per slot, its hash's high half

  bool build();
  // The first item that matches; with `memo`, the items that tell digits
  // apart are not tried but put in its `also`.
  int search(char level, const char *message, size_t len, Memo *memo);
};

#endif
