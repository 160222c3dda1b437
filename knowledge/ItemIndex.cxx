// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <new>

namespace {

typedef PatternElement E;

// What every match of the elements [begin, end) holds, folded: each run of
// plain characters outside groups, and of a group, one text of each of its
// alternatives (their best need, found the same way); in the order met, only
// those whose texts are long enough to look for. A run stops before a quote
// (a backslash may come); the search stops at a separator of this level or a
// group that never closes. A need's score is its shortest text's length: a
// longer text is held by fewer messages.
struct Need {
  std::vector<std::string> texts;  // one of them
  size_t score = 0;
};

// The last of the highest score: a message's first words are often those of
// many (a job's number, a client's).
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
      // Each alternative runs from after the "{" or a separator to the next
      // separator or the "}", which stands just before the group's jump.
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

// Whether the message holds the text (folded), A-Z in either case.
bool holds(const char *message, size_t len, const std::string &text) {
  const unsigned char *m = (const unsigned char *)message, *t = (const unsigned char *)text.data();
  size_t n = text.size();
  unsigned char other = t[0] >= 'a' && t[0] <= 'z' ? (unsigned char)(t[0] - 32) : t[0];
  for (size_t i = 0; i + n <= len; i++) {
    if (m[i] != t[0] && m[i] != other) continue;
    size_t k = 1;
    while (k < n && ParsedPattern::fold(m[i + k]) == t[k]) k++;
    if (k == n) return true;
  }
  return false;
}

// The memo's hash: eight bytes a step, every bit of them reaching both the
// slot (low bits) and the tag (high bits).
uint64_t memo_hash(const char *s, size_t len) {
  const uint64_t k = 0xBF58476D1CE4E5B9ull;
  uint64_t h = len * 0x9E3779B97F4A7C15ull, w;
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    memcpy(&w, s + i, 8);
    h = (h ^ w) * k;
    h ^= h >> 31;
  }
  w = 0;
  memcpy(&w, s + i, len - i);
  h = (h ^ w) * k;
  return h ^ (h >> 29);
}

}  // namespace

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    std::vector<Need> needs = needs_of(parsed, 0, (int)parsed.elements.size());
    std::vector<std::vector<std::string>> texts;  // the best need first
    if (!needs.empty()) std::swap(needs[0], needs[best_need(needs)]);
    // Only the set machine costs enough for the other needs to be worth
    // looking for.
    if (!parsed.groups && !needs.empty()) needs.resize(1);
    for (Need &need : needs) texts.push_back(std::move(need.texts));
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
      // The texts of its best need find the item (with none it is tried on
      // every line); its other needs are looked for when it is found.
      const std::vector<std::vector<std::string>> &needs = items_[i].needs;
      if (needs.empty()) untexted_.push_back((int)i);
      for (size_t k = 0; !needs.empty() && k < needs[0].size(); k++) {
        int t = finder_.add(needs[0][k]);
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
  uint64_t hash = memo_hash(message, len) * 31 + (uint8_t)level;
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
    if (hit ? !holds_needs(i, message, len) : level_[i] && level_[i] != level) continue;
    if (items_[i].pattern.match(message)) return i;
  }
  return -1;
}

bool ItemIndex::holds_needs(int item, const char *message, size_t len) const {
  const std::vector<std::vector<std::string>> &needs = items_[(size_t)item].needs;
  for (size_t n = 1; n < needs.size(); n++) {
    bool held = false;
    for (size_t k = 0; !held && k < needs[n].size(); k++) held = holds(message, len, needs[n][k]);
    if (!held) return false;
  }
  return true;
}
