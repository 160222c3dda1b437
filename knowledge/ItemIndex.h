// ItemIndex.h - the lookup index of the knowledge base: which item a log
// message matches, found without trying every item's pattern.
#ifndef KNOWLEDGE_ITEMINDEX_H
#define KNOWLEDGE_ITEMINDEX_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "knowledge/pattern.h"

// Items are given as a level letter and a pattern; the answer is an item's
// number, always the one trying every item in turn would give.
//
// How it finds them. Most patterns hold a run of plain text that every
// matching message must contain ("\[Job *\] Unable to open print file*"
// must contain "unable to open print file"). When an item is added, its
// pattern is compiled and those runs are taken from it: the text before the
// first group or separator, or all text outside groups when every group
// closes and no separator stands outside one (then every way through the
// pattern matches that text, in order); a set ends a run. At the first
// lookup after items were added the tables are made:
//   - each item is keyed by the one of its runs (five characters or more)
//     that the fewest other items share, then the longest, so that items
//     alike ("... usb://*": No such device", "... usb://*": Permission
//     denied") are told apart before any pattern is tried; each such text is
//     kept once, folded to lower case, with its items in file order;
//   - each text is found through two grams (four characters each) that
//     start side by side: the pair that the fewest texts hold anywhere (a
//     piece of a common phrase such as "unable to" would send every message
//     with that phrase to this text), then the pair fewest texts have taken
//     so far. Wherever the text stands in a message, one of the two starts
//     at an even offset, so a lookup reads only every other position;
//   - an open-addressed table of those grams, each with its texts and where
//     in them the gram starts, and a filter of 32768 bits, one per hashed
//     gram, that answers most "not here" without touching the table.
// A lookup reads the grams at the message's even offsets in one pass,
// compares (eight bytes at a time) each text its grams point to where that
// text would stand, and tries, in file order, the items of the texts found
// (level first, then the compiled pattern) and the items that have no text
// of five characters.
//
// A log says the same things over and over, and Diagnose asks about every
// line: answers are remembered by exact message (up to MEMO_TEXT bytes) and
// level, in MEMO_SLOTS slots of 128 bytes, indexed by a hash of the two.
// The slots (1 MB) are seldom in cache, so a small table of each slot's tag
// (the hash's high half) is read first: most messages not remembered are
// told so without a trip to memory.
//
// What was measured and left out (each bought under 10% on the benchmark):
// grouping items by the first character their pattern requires, skipping
// texts none of whose items could take the line, passing over a table
// bucket whose texts were all found; with 1,118 items, a memo of 2,048 to
// 65,536 slots (no faster than 8,192: in the generated log 23% of the lines
// carry a message seen only once, and 8,192 slots already answer 67% of the
// lines of the 75% any memo could), two slots per hash with newcomers kept
// apart (72% answered, and no faster), and a hash in two lanes. The set
// machine's cost for patterns with groups did not come into it: the shipped
// knowledge base has none.
class ItemIndex {
public:
  enum { MEMO_SLOTS = 8192, MEMO_TEXT = 112 };

  ItemIndex();
  ~ItemIndex();
  ItemIndex(const ItemIndex &) = delete;
  ItemIndex &operator=(const ItemIndex &) = delete;

  // Adds an item after those added before: its level letter (0 for any) and
  // its pattern (null matches nothing), compiled here. False, with nothing
  // added, when memory runs out.
  bool add(char level, const char *pattern);
  int size() const { return (int)items_.size(); }
  // Makes the lookup tables now rather than at the next find(); false when
  // memory runs out (find() then answers -1 for everything).
  bool prepare() { return built_ || build(); }
  // Whether answers are remembered (they are unless this turns it off).
  void remember(bool on);

  // The number of the first item, in the order added, whose level is 0 or
  // `level` and whose pattern matches `message`; -1 when none does.
  int find(char level, const char *message);

private:
  struct Item {
    char level;
    Pattern pattern;
    std::vector<std::string> runs;  // plain text every match holds, folded
  };
  std::vector<Item> items_;

  // Made from items_ by prepare().
  struct Tables {
    std::vector<std::string> text;     // the texts keying the items
    // What a lookup reads of each text, packed so that it stays in cache:
    // where its characters start in `chars`, its length, and where its
    // items start in `items`.
    struct Text {
      uint32_t at, len, item_start;
    };
    std::vector<Text> texts;           // one more than text, closing item_start
    std::string chars;
    std::vector<int> items;            //   items[item_start[t] .. item_start[t + 1])
    std::vector<char> level;           // per item, its level letter
    std::vector<int> untexted;         // items with no text, in order
    int bits = 0;                      // the table has 1 << bits slots
    struct Slot {
      uint32_t gram;
      int32_t bucket;                  // -1: empty
    };
    std::vector<Slot> slots;
    std::vector<int> bucket_start;     // a bucket's keys are
    struct Key {
      int text;                        // a text, and where in it
      int at;                          //   the gram of the key starts
    };
    std::vector<Key> bucket_keys;      //   bucket_keys[bucket_start[b] .. [b + 1])
    std::vector<uint64_t> filter;
    // Scratch of a lookup: texts found in this message carry its number.
    uint32_t lookup = 0;
    std::vector<uint32_t> found;
    std::vector<int> hits;
  };
  Tables t_;
  bool built_;

  struct alignas(64) Memo {
    uint64_t hash;
    int32_t item;           // the answer
    int16_t len;            // message length, -1 for an empty slot
    char level;
    char spare;
    char text[MEMO_TEXT];
  };
  std::unique_ptr<Memo[]> memo_;  // null: nothing is remembered
  // Per slot, the high half of its hash, read first: a message that is not
  // there is told so without touching the slot (1 MB, seldom in cache).
  std::unique_ptr<uint32_t[]> memo_tag_;
  bool remember_;

  bool build();
  void fill();
  int search(char level, const char *message, size_t len);
};

#endif
