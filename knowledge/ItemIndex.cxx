// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <string_view>

namespace {

// The longest run of plain characters (folded) outside groups and before a
// separator outside one; a run stops before a quote (a backslash may come).
std::string required_text(const ParsedPattern &pp) {
  typedef PatternElement E;
  std::string run, longest;
  for (size_t i = 0; i < pp.elements.size(); i++) {
    const E &e = pp.elements[i];
    if (e.kind != E::CHAR) run.clear();
    if (e.kind == E::CHAR || e.kind == E::QUOTE) run += (char)e.c;
    else if (e.kind == E::OPEN && pp.link((int)i).jump >= 0) i = (size_t)pp.link((int)i).jump - 1;
    else if (e.kind >= E::OPEN) break;  // a group that never closes, or a separator
    if (run.size() > longest.size()) longest = run;
  }
  return longest;
}

}  // namespace

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    std::string text = required_text(parsed);
    level_.push_back(level);
    items_.push_back({pattern ? Pattern(std::move(parsed)) : Pattern(nullptr), text});
  } catch (const std::bad_alloc &) {
    level_.resize(items_.size());
    return false;
  }
  built_ = false;
  return true;
}

bool ItemIndex::build() {
  try {
    finder_ = LiteralFinder();
    items_of_text_.clear();
    untexted_.clear();
    for (size_t i = 0; i < items_.size(); i++) {
      int t = finder_.add(items_[i].text);
      if (t >= (int)items_of_text_.size()) items_of_text_.resize((size_t)t + 1);
      (t >= 0 ? items_of_text_[t] : untexted_).push_back((int)i);
    }
    finder_.build();
    memo_.reset(remember_ ? new Memo[MEMO_SLOTS] : nullptr);
    memo_tag_.reset(remember_ ? new uint32_t[MEMO_SLOTS]() : nullptr);
  } catch (const std::bad_alloc &) {
    return false;  // find() answers -1 until a build succeeds
  }
  built_ = true;
  return true;
}

int ItemIndex::find(char level, const char *message) {
  if (!message || !prepare()) return -1;
  size_t len = strlen(message);
  if (len > MEMO_TEXT || !memo_) return search(level, message, len);
  uint64_t hash = std::hash<std::string_view>()({message, len}) * 31 + (uint8_t)level;
  size_t slot = hash % MEMO_SLOTS;  // its tag first: the slots are seldom in cache
  Memo &memo = memo_[slot];
  if (memo_tag_[slot] == (uint32_t)(hash >> 32) && memo.len == (int)len && memo.hash == hash &&
      memo.level == level && memcmp(memo.text, message, len) == 0)
    return memo.item;
  memo_tag_[slot] = (uint32_t)(hash >> 32);
  memo.hash = hash, memo.len = (int16_t)len, memo.level = level;
  memo.item = search(level, message, len);
  memcpy(memo.text, message, len);
  return memo.item;
}

int ItemIndex::search(char level, const char *message, size_t len) {
  // The items of the texts the message holds whose level fits, and those
  // with no text, tried in the order added.
  found_.clear();
  finder_.find(message, len, found_);
  hits_.clear();
  for (int t : found_)
    for (int i : items_of_text_[t])
      if (!level_[i] || level_[i] == level) hits_.push_back(i);
  std::sort(hits_.begin(), hits_.end());
  for (size_t h = 0, u = 0; h < hits_.size() || u < untexted_.size();) {
    bool hit = u == untexted_.size() || (h < hits_.size() && hits_[h] < untexted_[u]);
    int i = hit ? hits_[h++] : untexted_[u++];
    if ((hit || !level_[i] || level_[i] == level) && items_[i].pattern.match(message)) return i;
  }
  return -1;
}
