// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <string_view>

namespace {

typedef PatternElement E;

// Texts one of which every match of the elements [begin, end) holds, folded:
// the longest run of plain characters outside groups, or, when that is
// shorter, one text for each alternative of a group, each the same way.
// Stops at a separator of this level or a group that never closes; a run
// stops before a quote (a backslash may come). Its score is its shortest
// text's length: a longer one is held by fewer messages.
struct Required {
  std::vector<std::string> texts;
  size_t score = 0;
};

Required required_texts(const ParsedPattern &pp, int begin, int end) {
  Required best;
  std::string run;
  for (int i = begin; i < end; i++) {
    const E &e = pp.elements[(size_t)i];
    if (e.kind != E::CHAR) run.clear();
    if (e.kind == E::CHAR || e.kind == E::QUOTE) run += (char)e.c;
    if (run.size() > best.score) best = {{run}, run.size()};
    if (e.kind == E::OPEN && pp.link(i).jump >= 0) {
      // Each alternative runs from after the "{" or a separator to the next
      // separator or the "}", which stands just before the group's jump.
      Required group;
      group.score = SIZE_MAX;
      for (int from = i, to; from >= 0 && group.score >= LiteralFinder::MIN_TEXT; from = to) {
        to = from == i ? pp.link(i).next : pp.link(from).next;
        Required alt = required_texts(pp, from + 1, to >= 0 ? to : pp.link(i).jump - 1);
        group.score = std::min(group.score, alt.score);
        group.texts.insert(group.texts.end(), alt.texts.begin(), alt.texts.end());
        if (to < 0) break;
      }
      if (group.score >= LiteralFinder::MIN_TEXT && group.score > best.score) best = std::move(group);
      i = pp.link(i).jump - 1;
    } else if (e.kind >= E::OPEN) {
      break;  // a group that never closes, or a separator
    }
  }
  return best;
}

}  // namespace

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    std::vector<std::string> texts =
        required_texts(parsed, 0, (int)parsed.elements.size()).texts;
    level_.push_back(level);
    items_.push_back({pattern ? Pattern(std::move(parsed)) : Pattern(nullptr), std::move(texts)});
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
      // An item with a text too short to look for is tried on every line.
      const std::vector<std::string> &texts = items_[i].texts;
      bool found_by_text = !texts.empty();
      for (const std::string &text : texts) found_by_text &= text.size() >= LiteralFinder::MIN_TEXT;
      if (!found_by_text) untexted_.push_back((int)i);
      for (size_t k = 0; found_by_text && k < texts.size(); k++) {
        int t = finder_.add(texts[k]);
        if (t >= (int)items_of_text_.size()) items_of_text_.resize((size_t)t + 1);
        std::vector<int> &of_text = items_of_text_[(size_t)t];
        if (of_text.empty() || of_text.back() != (int)i) of_text.push_back((int)i);
      }
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
  std::sort(hits_.begin(), hits_.end());  // an item of several texts may come more than once
  hits_.erase(std::unique(hits_.begin(), hits_.end()), hits_.end());
  for (size_t h = 0, u = 0; h < hits_.size() || u < untexted_.size();) {
    bool hit = u == untexted_.size() || (h < hits_.size() && hits_[h] < untexted_[u]);
    int i = hit ? hits_[h++] : untexted_[u++];
    if ((hit || !level_[i] || level_[i] == level) && items_[i].pattern.match(message)) return i;
  }
  return -1;
}
