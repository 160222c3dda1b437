// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <string.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <string_view>

namespace {

// The longest run of plain characters (folded) that every text the pattern
// matches holds: runs outside groups, up to the first separator outside one.
// A run stops before a quote, which may come after a backslash.
std::string required_text(const ParsedPattern &pp) {
  std::string run, longest;
  for (size_t i = 0; i <= pp.elements.size(); i++) {
    const PatternElement *e = i < pp.elements.size() ? &pp.elements[i] : nullptr;
    if (!e || e->kind != PatternElement::CHAR) {
      if (run.size() > longest.size()) longest = run;
      run.clear();
    }
    if (!e) break;
    if (e->kind == PatternElement::CHAR || e->kind == PatternElement::QUOTE) run += (char)e->c;
    else if (e->kind == PatternElement::OPEN && pp.link((int)i).jump >= 0) i = (size_t)pp.link((int)i).jump - 1;
    else if (e->kind >= PatternElement::OPEN) break;  // a group never closed, or a separator
  }
  return longest;
}

}  // namespace

ItemIndex::ItemIndex() : built_(false), remember_(true) {}

ItemIndex::~ItemIndex() = default;

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    std::string text = required_text(parsed);
    items_.push_back({level, pattern ? Pattern(std::move(parsed)) : Pattern(nullptr), text});
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
    finder_ = LiteralFinder();
    std::vector<int> text_of;
    for (const Item &item : items_) text_of.push_back(finder_.add(item.text));
    finder_.build();
    items_of_text_.assign((size_t)finder_.size(), {});
    untexted_.clear();
    for (size_t i = 0; i < items_.size(); i++)
      (text_of[i] >= 0 ? items_of_text_[text_of[i]] : untexted_).push_back((int)i);
    memo_.reset(remember_ ? new Memo[MEMO_SLOTS] : nullptr);
    for (int m = 0; remember_ && m < MEMO_SLOTS; m++) memo_[m].len = -1;
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
  uint64_t hash = std::hash<std::string_view>()(std::string_view(message, len)) ^ (uint8_t)level;
  Memo &memo = memo_[hash % MEMO_SLOTS];
  if (memo.len == (int)len && memo.hash == hash && memo.level == level &&
      memcmp(memo.text, message, len) == 0)
    return memo.item;
  memo = Memo{hash, search(level, message, len), (int16_t)len, level, {}};
  memcpy(memo.text, message, len);
  return memo.item;
}

int ItemIndex::search(char level, const char *message, size_t len) {
  // The items whose text the message holds, and those with none, in the
  // order added.
  found_.clear();
  finder_.find(message, len, found_);
  hits_.clear();
  for (int t : found_) hits_.insert(hits_.end(), items_of_text_[t].begin(), items_of_text_[t].end());
  std::sort(hits_.begin(), hits_.end());
  tried_.clear();
  std::merge(hits_.begin(), hits_.end(), untexted_.begin(), untexted_.end(), std::back_inserter(tried_));
  for (int i : tried_)
    if ((!items_[i].level || items_[i].level == level) && items_[i].pattern.match(message)) return i;
  return -1;
}
