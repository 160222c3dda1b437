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

// Eight bytes with each digit made a 0: after the xor a digit's byte is its
// value, below 10, which the add leaves without its top bit.
inline uint64_t zero8(uint64_t x) {
  const uint64_t ones = 0x0101010101010101ull;
  uint64_t y = x ^ ('0' * ones);
  uint64_t digit = ~(((y & (0x7F * ones)) + (0x80 - 10) * ones) | y) & (0x80 * ones);
  return x - (y & ((digit >> 7) * 0xFF));
}

inline uint64_t mix(uint64_t h, uint64_t x) {
  h = (h ^ x) * 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 31);
}

// `in` with each digit made a 0, into `out`; gives the memo's hash of it,
// whose every bit reaches both the slot (low bits) and the tag (high bits).
// In blocks, the last one overlapping the one before (making a digit a 0
// twice changes nothing).
uint64_t zero_digits(const char *in, char *out, size_t len) {
  uint64_t h = len * 0x9E3779B97F4A7C15ull, x;
#ifdef __SSE2__
  // Sixteen bytes a step where the processor has the instructions: a byte
  // less '0' that is at most 9 is a digit's value, taken off it.
  if (len >= 16) {
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    for (size_t i = 0;; i += 16) {
      if (i + 16 > len) i = len - 16;
      __m128i v = _mm_loadu_si128((const __m128i *)(in + i)), d = _mm_sub_epi8(v, zero);
      v = _mm_sub_epi8(v, _mm_and_si128(d, _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d)));
      _mm_storeu_si128((__m128i *)(out + i), v);
      h = mix(mix(h, (uint64_t)_mm_cvtsi128_si64(v)), (uint64_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
      if (i + 16 == len) return h;
    }
  }
#endif
  if (len >= 8) {
    for (size_t i = 0;; i += 8) {
      if (i + 8 > len) i = len - 8;
      memcpy(&x, in + i, 8);
      x = zero8(x);
      memcpy(out + i, &x, 8);
      h = mix(h, x);
      if (i + 8 == len) return h;
    }
  }
  x = 0;
  for (size_t i = 0; i < len; i++) {
    unsigned char c = (unsigned char)in[i];
    if (c >= '0' && c <= '9') c = '0';
    out[i] = (char)c;
    x |= (uint64_t)c << (8 * i);
  }
  return mix(h, x);
}

// Adds the item's text to a finder and the item to the text's items.
void add_text(LiteralFinder &finder, std::vector<std::vector<int>> &items_of_text,
              const std::string &text, int item) {
  int t = finder.add(text);
  if (t >= (int)items_of_text.size()) items_of_text.resize((size_t)t + 1);
  std::vector<int> &of_text = items_of_text[(size_t)t];
  if (of_text.empty() || of_text.back() != item) of_text.push_back(item);
}

}  // namespace

bool ItemIndex::add(char level, const char *pattern) {
  try {
    ParsedPattern parsed = parse_pattern(pattern);
    std::vector<Need> needs = needs_of(parsed, 0, (int)parsed.elements.size());
    std::vector<std::string> texts;  // those of the best need
    if (!needs.empty()) texts = std::move(needs[best_need(needs)].texts);
    bool digits = tells_digits_apart(parsed);
    level_.push_back(level);
    digits_.push_back(digits);
    items_.push_back({pattern ? Pattern(std::move(parsed)) : Pattern(nullptr), std::move(texts)});
  } catch (const std::bad_alloc &) {
    level_.resize(items_.size());
    digits_.resize(items_.size());
    return false;
  }
  built_ = false;
  return true;
}

bool ItemIndex::build() {
  try {
    finder_ = LiteralFinder();
    digit_finder_ = LiteralFinder();
    items_of_text_.clear();
    items_of_digit_text_.clear();
    untexted_.clear();
    digit_untexted_.clear();
    for (size_t i = 0; i < items_.size(); i++) {
      // The texts of its best need find the item; with none it is tried on
      // every line.
      const std::vector<std::string> &texts = items_[i].texts;
      if (texts.empty()) untexted_.push_back((int)i);
      if (texts.empty() && digits_[i]) digit_untexted_.push_back((int)i);
      for (const std::string &text : texts) {
        add_text(finder_, items_of_text_, text, (int)i);
        if (!digits_[i]) continue;
        std::string zeroed(text.size(), 0);
        zero_digits(text.data(), &zeroed[0], zeroed.size());
        add_text(digit_finder_, items_of_digit_text_, zeroed, (int)i);
      }
    }
    finder_.build();
    digit_finder_.build();
    memo_.reset(remember_ ? new Memo[MEMO_SLOTS] : nullptr);
    memo_tag_.reset(remember_ ? new uint32_t[MEMO_SLOTS]() : nullptr);
    memo_also_.reset(remember_ ? new int32_t[MEMO_SLOTS * MEMO_ALSO] : nullptr);
  } catch (const std::bad_alloc &) {
    return false;  // find() answers -1 until a build succeeds
  }
  built_ = true;
  return true;
}

int ItemIndex::find(char level, const char *message) {
  if (!message || !prepare()) return -1;
  size_t len = strlen(message);
  if (len > MEMO_TEXT || !memo_) return search(level, message, len, false);
  // Remembered by the message with each digit read as 0, as a job's number
  // or a process's changes from line to line: only the items that tell
  // digits apart can answer otherwise for another message read the same,
  // and the slot holds those of them that may come first.
  char key[MEMO_TEXT];
  uint64_t hash = zero_digits(message, key, len) * 31 + (uint8_t)level;
  size_t slot = hash % MEMO_SLOTS;  // its tag first: the slots are seldom in cache
  Memo &memo = memo_[slot];
  int32_t *also = memo_also_.get() + slot * MEMO_ALSO;
  if (memo_tag_[slot] != (uint32_t)(hash >> 32) || memo.len != (int)len || memo.hash != hash ||
      memo.level != level || memcmp(memo.text, key, len) != 0) {
    memo_tag_[slot] = (uint32_t)(hash >> 32);
    memo.hash = hash, memo.len = (int16_t)len, memo.level = level;
    memo.item = search(level, message, len, true);
    memo.also = (int8_t)digit_items(level, key, len, memo.item, also);
    memcpy(memo.text, key, len);
  }
  if (memo.also < 0) return search(level, message, len, false);
  for (int k = 0; k < memo.also; k++)
    if (items_[(size_t)also[k]].pattern.match(message)) return also[k];
  return memo.item;
}

int ItemIndex::digit_items(char level, const char *key, size_t len, int before, int32_t *out) {
  if (digit_finder_.size() == 0 && digit_untexted_.empty()) return 0;
  found_.clear();
  digit_finder_.find(key, len, found_);
  hits_.clear();
  auto fits = [&](int i) { return (!level_[i] || level_[i] == level) && (before < 0 || i < before); };
  for (int t : found_)
    for (int i : items_of_digit_text_[(size_t)t])
      if (fits(i)) hits_.push_back(i);
  for (int i : digit_untexted_)
    if (fits(i)) hits_.push_back(i);
  std::sort(hits_.begin(), hits_.end());
  hits_.erase(std::unique(hits_.begin(), hits_.end()), hits_.end());
  if (hits_.size() > MEMO_ALSO) return -1;
  std::copy(hits_.begin(), hits_.end(), out);
  return (int)hits_.size();
}

int ItemIndex::search(char level, const char *message, size_t len, bool inert) {
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
    if ((inert && digits_[i]) || (!hit && level_[i] && level_[i] != level)) continue;
    if (items_[i].pattern.match(message)) return i;
  }
  return -1;
}
