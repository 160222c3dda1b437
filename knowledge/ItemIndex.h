// ItemIndex.h - the lookup index of the knowledge base: which item a log
// message matches, found without trying every item's pattern.
#ifndef KNOWLEDGE_ITEMINDEX_H
#define KNOWLEDGE_ITEMINDEX_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "knowledge/pattern.h"

class ItemIndex {
public:
  ItemIndex();
  ~ItemIndex();
  ItemIndex(const ItemIndex &) = delete;
  ItemIndex &operator=(const ItemIndex &) = delete;

  // Adds an item after those added before: its level letter (0 for any) and
  // its pattern, which is compiled here. False, with nothing added, when
  // memory runs out.
  bool add(char level, const char *pattern);
  int size() const { return (int)items_.size(); }
  // Builds the lookup tables now rather than at the next find().
  bool prepare();
  // Whether answers are remembered by message (they are unless turned off).
  void remember(bool on);

  // The number of the first item, in the order added, whose level fits
  // `level` and whose pattern matches `message`; -1 when none does.
  int find(char level, const char *message);

private:
  struct Item {
    char level;
    Pattern pattern;
    std::vector<std::string> runs;
  };
  std::vector<Item> items_;
  bool built_;

  std::vector<std::string> text_;
  std::vector<int> gram_at_;
  std::vector<int> text_start_;
  std::vector<int> text_items_;
  std::vector<int> untexted_;

  int table_bits_;
  std::vector<uint32_t> table_gram_;
  std::vector<int> table_bucket_;
  std::vector<int> bucket_start_;
  std::vector<int> bucket_texts_;
  std::vector<uint64_t> filter_;

  uint32_t lookup_;
  std::vector<uint32_t> found_;
  std::vector<int> hits_;

public:
  enum { MEMO_SLOTS = 8192, MEMO_TEXT = 112 };
private:
  struct Memo {
    uint64_t hash;
    int32_t item;
    int16_t len;
    char level;
    char spare;
    char text[MEMO_TEXT];
  };
  Memo *memo_;
  bool remember_;

  void drop_tables();
  void fill();
  int search(char level, const char *message, size_t len);
};

#endif
