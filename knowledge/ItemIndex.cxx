// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <unordered_map>

namespace {

// Adds to `runs` the runs of plain characters (folded) that every text the
// pattern matches holds: those outside groups, up to the first separator
// outside one. A run stops before a quote, which may come after a backslash.
void required_runs(const ParsedPattern &pp, std::vector<std::string> &runs) {
  std::string run;
  for (size_t i = 0; i < pp.elements.size(); i++) {
    const PatternElement &e = pp.elements[i];
    bool plain = e.kind == PatternElement::CHAR || e.kind == PatternElement::QUOTE;
    if (!run.empty() && (!plain || e.kind == PatternElement::QUOTE)) {
      runs.push_back(run);
      run.clear();
    }
    if (plain) run += (char)e.c;
    else if (e.kind == PatternElement::OPEN) i = (size_t)pp.link((int)i).jump - 1;
    else if (e.kind == PatternElement::SEP) break;
  }
  if (!run.empty()) runs.push_back(run);
}

// A quick hash of a short text and the level letter, eight bytes at a time.
inline uint64_t text_hash(const char *s, size_t len, unsigned level) {
  const uint64_t k = 0x9E3779B97F4A7C15ull;
  uint64_t h = (len * k) ^ level;
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    memcpy(&w, s + i, 8);
    h = (h ^ w) * k;
    h ^= h >> 29;
  }
  uint64_t w = 0;
  memcpy(&w, s + i, len - i);
  h = (h ^ w) * k;
  return h ^ (h >> 32);
}

}  // namespace

ItemIndex::ItemIndex() : built_(false), remember_(true) {}

ItemIndex::~ItemIndex() = default;

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    Item item{level, Pattern(nullptr), {}};
    required_runs(parsed, item.runs);
    if (pattern) item.pattern = Pattern(std::move(parsed));
    std::sort(item.runs.begin(), item.runs.end());
    item.runs.erase(std::unique(item.runs.begin(), item.runs.end()), item.runs.end());
    items_.push_back(std::move(item));
  } catch (const std::bad_alloc &) {
    return false;
  }
  built_ = false;
  return true;
}

void ItemIndex::remember(bool on) {
  remember_ = on;
  built_ = false;
}

bool ItemIndex::build() {
  try {
    // Each item is keyed by the run the fewest other items require too, then
    // the longest, so that items alike ("... usb://*": No such device", "...
    // usb://*": Permission denied") are told apart before a pattern is tried.
    std::unordered_map<std::string, int> shared;
    for (const Item &item : items_)
      for (const std::string &run : item.runs) shared[run]++;
    finder_ = LiteralFinder();
    std::vector<int> text_of;
    for (const Item &item : items_) {
      const std::string *pick = 0;
      for (const std::string &run : item.runs)
        if (run.size() >= LiteralFinder::MIN_TEXT &&
            (!pick || shared[run] < shared[*pick] ||
             (shared[run] == shared[*pick] && run.size() > pick->size())))
          pick = &run;
      text_of.push_back(pick ? finder_.add(*pick) : -1);
    }
    finder_.build();

    // The items of each text, in order, and those of none.
    size_t texts = (size_t)finder_.size();
    item_start_.assign(texts + 1, 0);
    for (int t : text_of)
      if (t >= 0) item_start_[t + 1]++;
    for (size_t t = 0; t < texts; t++) item_start_[t + 1] += item_start_[t];
    items_of_text_.assign((size_t)item_start_[texts], 0);
    untexted_.clear();
    level_.clear();
    std::vector<int> next(item_start_.begin(), item_start_.end() - 1);
    for (size_t i = 0; i < items_.size(); i++) {
      if (text_of[i] >= 0) items_of_text_[next[text_of[i]]++] = (int)i;
      else untexted_.push_back((int)i);
      level_.push_back(items_[i].level);
    }
    hits_.resize(items_.size());
    memo_.reset();
    if (remember_) {
      memo_.reset(new Memo[MEMO_SLOTS]);
      for (int m = 0; m < MEMO_SLOTS; m++) memo_[m].len = -1;
    }
  } catch (const std::bad_alloc &) {
    finder_ = LiteralFinder();
    memo_.reset();
    return false;
  }
  built_ = true;
  return true;
}

int ItemIndex::find(char level, const char *message) {
  if (!message || !prepare()) return -1;
  size_t len = strlen(message);
  if (len > MEMO_TEXT || !memo_) return search(level, message, len);
  uint64_t hash = text_hash(message, len, (unsigned char)level);
  Memo &memo = memo_[hash % MEMO_SLOTS];
  if (memo.len == (int)len && memo.hash == hash && memo.level == level &&
      memcmp(memo.text, message, len) == 0)
    return memo.item;
  memo.hash = hash;
  memo.item = search(level, message, len);
  memo.len = (int16_t)len;
  memo.level = level;
  memcpy(memo.text, message, len);
  return memo.item;
}

int ItemIndex::search(char level, const char *message, size_t len) {
  // The items whose text the message holds and whose level fits, and those
  // with no text, tried in the order added.
  found_.clear();
  finder_.find(message, len, found_);
  int nhits = 0;
  for (int t : found_)
    for (int j = item_start_[t]; j < item_start_[t + 1]; j++) {
      int i = items_of_text_[j];
      if (!level_[i] || level_[i] == level) hits_[nhits++] = i;
    }
  std::sort(hits_.begin(), hits_.begin() + nhits);
  size_t u = 0;
  int h = 0;
  for (;;) {
    int i;
    if (h < nhits && (u == untexted_.size() || hits_[h] < untexted_[u])) {
      i = hits_[h++];
    } else if (u < untexted_.size()) {
      i = untexted_[u++];
      if (level_[i] && level_[i] != level) continue;
    } else {
      return -1;
    }
    if (items_[i].pattern.match(message)) return i;
  }
}
