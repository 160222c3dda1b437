// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, the finder of those texts, the merge and the memo.
#include "knowledge/ItemIndex.h"

#include <stdint.h>
#include <string.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
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

inline uint64_t mix(uint64_t h, uint64_t x) {
  h = (h ^ x) * 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 31);
}

// `in` with each digit made a 0, into `out` (which may be `in`); gives the
// memo's hash of it, whose every bit reaches both the slot (low bits) and
// the tag (high bits).
uint64_t zero_digits(const char *in, char *out, size_t len) {
  uint64_t h = len * 0x9E3779B97F4A7C15ull, x = 0;
  size_t i = 0;
#ifdef __SSE2__
  // Sixteen bytes a step, the last overlapping the one before: a byte less
  // '0' that is at most 9 is a digit's value, taken off it.
  const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
  for (; len >= 16 && i < len; i += 16) {
    size_t at = std::min(i, len - 16);
    __m128i v = _mm_loadu_si128((const __m128i *)(in + at)), d = _mm_sub_epi8(v, zero);
    v = _mm_sub_epi8(v, _mm_and_si128(d, _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d)));
    _mm_storeu_si128((__m128i *)(out + at), v);
    h = mix(mix(h, (uint64_t)_mm_cvtsi128_si64(v)), (uint64_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
  }
#endif
  for (; i < len; i++) x = x << 8 | (unsigned char)(out[i] = (unsigned char)(in[i] - '0') < 10 ? '0' : in[i]);
  return mix(h, x);
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
  key_.resize(len);
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
  hits_.clear();
  for (int t : found_)
    for (int i : items_of_text_[t])
      if (!items_[(size_t)i].level || items_[(size_t)i].level == level) hits_.push_back(i);
  std::sort(hits_.begin(), hits_.end());
  hits_.erase(std::unique(hits_.begin(), hits_.end()), hits_.end());
  if (memo) memo->also = 0;
  for (size_t h = 0, u = 0; h < hits_.size() || u < untexted_.size();) {
    int i = u == untexted_.size() || (h < hits_.size() && hits_[h] < untexted_[u]) ? hits_[h++] : untexted_[u++];
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
