// ItemIndex.h - the lookup index of the knowledge base: which items a log
// message could match, found without trying every item's pattern.
#ifndef KNOWLEDGE_ITEMINDEX_H
#define KNOWLEDGE_ITEMINDEX_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

class ErrorXMLItem;

// Most patterns hold a run of plain text that every matching message must
// contain ("[Job *] Unable to open print file" must contain "unable to open
// print file"). The index takes one such text per item, keeps each text once
// under four of its characters, and keeps a table of those; one pass over a
// message finds every text it holds, and only the items of those texts, plus
// the ones without a usable text, have their patterns tried, in file order.
// Items are also grouped by the first character their pattern requires. The
// result is always that of trying every item in turn.
class ItemIndex {
public:
  int items_;               // items covered; -1 when not built
  std::vector<int> key_;    // per item: folded first character, 256 for any
  std::vector<char> level_; // per item: its level letter, 0 for any

  // The texts the items require, each kept once (folded), with where its
  // four key characters start, and the items that require it, in file order:
  // text_items_[text_start_[t] .. text_start_[t + 1]).
  std::vector<std::string> text_;
  std::vector<int> gram_at_;
  std::vector<int> text_start_;
  std::vector<int> text_items_;

  // Items without a required text, grouped by key:
  // plain_order_[plain_start_[c] .. plain_start_[c + 1]); group 256 holds the
  // patterns that start with a wildcard.
  std::vector<int> plain_order_;
  int plain_start_[258];

  // Open-addressed table of the four-character keys (grams), each with the
  // texts that chose it: bucket_texts_[bucket_start_[b] .. bucket_start_[b+1]).
  int table_bits_;
  std::vector<uint32_t> table_gram_;
  std::vector<int> table_bucket_;    // bucket number of each slot, -1 when empty
  std::vector<int> bucket_start_;
  std::vector<int> bucket_texts_;
  std::vector<uint64_t> filter_;     // one bit per hashed gram: a quick "not here"

  // Scratch for lookups, marked with the lookup's number.
  uint32_t lookup_;
  std::vector<uint32_t> found_;      // per text: found in the message, or of
                                     // no use to it
  std::vector<uint32_t> useful_;     // per text: some item could take the line
  std::vector<uint32_t> settled_;    // per bucket: every text in it found
  std::vector<int> hits_;

  // Answers given lately, by message: a log says the same things over and
  // over, and Diagnose asks about every line. Exact: a slot holds the whole
  // message it answers for.
  enum { MEMO_SLOTS = 8192, MEMO_TEXT = 112 };
  struct Memo {             // 128 bytes: two cache lines at most per lookup
    uint64_t hash;
    int32_t item;           // the answer
    int16_t len;            // message length, -1 for an empty slot
    char level;
    char spare;
    char text[MEMO_TEXT];
  };
  Memo *memo_;             // null: nothing is remembered

  ItemIndex();
  ~ItemIndex();
  ItemIndex(const ItemIndex &) = delete;
  ItemIndex &operator=(const ItemIndex &) = delete;

  // Indexes the items (their patterns must not change afterwards). Returns
  // false, leaving the index unbuilt, when memory runs out.
  bool build(ErrorXMLItem *const *items, int count);
  void clear();

  // The number of the first item, in file order, whose level fits `level`
  // and whose pattern matches `message`; -1 when none does.
  int find(ErrorXMLItem *const *items, char level, const char *message);

private:
  void fill(ErrorXMLItem *const *items, int count);
  int search(ErrorXMLItem *const *items, char level, const char *message, size_t len);
};

#endif
