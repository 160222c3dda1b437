// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <new>

namespace {

typedef PatternElement E;

// What every match of the elements [begin, end) holds, folded, in the order
// met: a run of plain characters, or one text of each alternative of a group
// (docs/ARCHITECTURE.md: the choice of text). Scored by its shortest text.
struct Need {
  std::vector<std::string> texts;  // one of them
  size_t score = 0;
};

// The last of the highest score: a message's first words are those of many.
size_t best_need(const std::vector<Need> &needs) {
  size_t best = 0;
  for (size_t k = 1; k < needs.size(); k++)
    if (needs[k].score >= needs[best].score) best = k;
  return best;
}

std::vector<Need> needs_of(const ParsedPattern &pp, int begin, int end) {
  std::vector<Need> needs;
  std::string run;
  auto end_run = [&] {
    if (run.size() >= LiteralFinder::MIN_TEXT) needs.push_back({{run}, run.size()});
    run.clear();
  };
  for (int i = begin; i < end; i++) {
    const E &e = pp.elements[(size_t)i];
    if (e.kind != E::CHAR) end_run();
    if (e.kind == E::CHAR || e.kind == E::QUOTE) {
      run += (char)e.c;
    } else if (e.kind == E::OPEN && pp.link(i).jump >= 0) {
      // From after the "{" or a separator to the next one or the "}".
      Need group;
      group.score = SIZE_MAX;
      for (int from = i; from >= 0; from = pp.link(from).next) {
        int to = pp.link(from).next;
        std::vector<Need> alt = needs_of(pp, from + 1, to >= 0 ? to : pp.link(i).jump - 1);
        if (alt.empty()) break;
        Need &best = alt[best_need(alt)];
        group.score = std::min(group.score, best.score);
        group.texts.insert(group.texts.end(), best.texts.begin(), best.texts.end());
        if (to < 0) needs.push_back(std::move(group));
      }
      i = pp.link(i).jump - 1;
    } else if (e.kind >= E::OPEN) {
      break;  // a group that never closes, or a separator
    }
  }
  end_run();
  return needs;
}

// Whether some digit fits where another does not: a digit written out, or a
// set that holds some digits only. Other patterns match a message exactly
// when they match it with every digit made a 0.
bool tells_digits_apart(const ParsedPattern &pp) {
  for (const PatternElement &e : pp.elements) {
    if (e.kind == E::CHAR && e.c >= '0' && e.c <= '9') return true;
    if (e.kind != E::SET) continue;
    for (unsigned char c = '1'; c <= '9'; c++)
      if (pp.sets[e.arg].has(c) != pp.sets[e.arg].has('0')) return true;
  }
  return false;
}

// `in` with each digit made a 0, into `out`; gives the memo's hash of it.
uint64_t zero_digits(const char *in, char *out, size_t len) {
  for (size_t i = 0; i < len; i++) out[i] = (unsigned char)(in[i] - '0') < 10 ? '0' : in[i];
  return std::hash<std::string_view>()({out, len});
}

}  // namespace

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    std::vector<Need> needs = needs_of(parsed, 0, (int)parsed.elements.size());
    std::vector<std::string> texts;  // those of the best need, looked up with each digit read as 0
    if (!needs.empty()) texts = std::move(needs[best_need(needs)].texts);
    for (std::string &text : texts) zero_digits(text.data(), &text[0], text.size());
    bool digits = tells_digits_apart(parsed);
    items_.push_back({pattern ? Pattern(std::move(parsed)) : Pattern(nullptr), std::move(texts), level, digits});
  } catch (const std::bad_alloc &) {
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
      if (items_[i].texts.empty()) untexted_.push_back((int)i);
      for (const std::string &text : items_[i].texts) {
        int t = finder_.add(text);
        if (t == (int)items_of_text_.size()) items_of_text_.emplace_back();
        items_of_text_[(size_t)t].push_back((int)i);
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
  try {
    key_.resize(len);
  } catch (const std::bad_alloc &) {
    return -1;
  }
  uint64_t hash = zero_digits(message, &key_[0], len) * 31 + (uint8_t)level;
  if (len > MEMO_TEXT || !memo_) return search(level, message, len, nullptr);
  // Only the items that tell digits apart can answer otherwise for another
  // message read the same; the slot holds those that may come first.
  size_t slot = hash % MEMO_SLOTS;  // its tag first: the slots are seldom in cache
  Memo &memo = memo_[slot];
  if (memo_tag_[slot] != (uint32_t)(hash >> 32) || memo.len != (int)len ||
      memo.level != level || memcmp(memo.text, key_.data(), len) != 0) {
    memo_tag_[slot] = (uint32_t)(hash >> 32);
    memo.len = (int16_t)len, memo.level = level;
    memo.item = search(level, message, len, &memo);
    memcpy(memo.text, key_.data(), len);
  }
  if (memo.also < 0) return search(level, message, len, nullptr);
  for (int k = 0; k < memo.also; k++)
    if (items_[(size_t)memo.also_items[k]].pattern.match(message)) return memo.also_items[k];
  return memo.item;
}

int ItemIndex::search(char level, const char *message, size_t len, Memo *memo) {
  // The items of the texts the message holds and those with no text, in the
  // order added (an item of several texts may come more than once).
  found_.clear();
  finder_.find(key_.data(), len, found_);
  hits_.assign(untexted_.begin(), untexted_.end());
  for (int t : found_) hits_.insert(hits_.end(), items_of_text_[t].begin(), items_of_text_[t].end());
  std::sort(hits_.begin(), hits_.end());
  hits_.erase(std::unique(hits_.begin(), hits_.end()), hits_.end());
  if (memo) memo->also = 0;
  for (int i : hits_) {
    const Item &item = items_[(size_t)i];
    if (item.level && item.level != level) continue;
    if (memo && item.digits) {
      if (memo->also == MEMO_ALSO) memo->also = -1;
      if (memo->also >= 0) memo->also_items[memo->also++] = i;
    } else if (item.pattern.match(message)) {
      return i;
    }
  }
  return -1;
}
