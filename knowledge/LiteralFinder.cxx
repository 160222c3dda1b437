// LiteralFinder.cxx - a table of four-character keys, two per text, read at
// every other position of a message.
#include "knowledge/LiteralFinder.h"

#include <string.h>

#include <algorithm>

namespace {

// Four characters as one number, with every byte's 0x20 bit set: letters of
// either case give the same key (and so do a few other pairs, which the full
// comparison afterwards tells apart).
inline uint32_t gram_at(const char *s) {
  uint32_t g;
  memcpy(&g, s, 4);
  return g | 0x20202020u;
}

const int FILTER_BITS = 15;

inline uint32_t filter_hash(uint32_t g) { return (g * 0x9E3779B1u) >> (32 - FILTER_BITS); }
inline uint32_t table_hash(uint32_t g, int bits) { return (g * 0x85EBCA6Bu) >> (32 - bits); }

// Eight bytes with A-Z folded to lower case and every other byte as it is.
inline uint64_t fold8(uint64_t w) {
  const uint64_t high = 0x8080808080808080ull, low7 = 0x7f7f7f7f7f7f7f7full;
  uint64_t b = w & low7;
  uint64_t from_a = b + 0x3f3f3f3f3f3f3f3full;  // high bit: b >= 'A'
  uint64_t past_z = b + 0x2525252525252525ull;  // high bit: b > 'Z'
  uint64_t upper = (from_a ^ past_z) & ~w & high;
  return w | (upper >> 2);
}

// Whether the message text at s equals need (folded) without regard to case.
inline bool folded_equal(const char *s, const char *need, size_t n) {
  size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    uint64_t a, b;
    memcpy(&a, s + k, 8);
    memcpy(&b, need + k, 8);
    if (fold8(a) != b) return false;
  }
  for (; k < n; k++) {
    unsigned char c = (unsigned char)s[k];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != (unsigned char)need[k]) return false;
  }
  return true;
}

}  // namespace

int LiteralFinder::add(const std::string &text) {
  if (text.size() < MIN_TEXT || text.size() > 0x7fffffff) return -1;
  auto known = number_.emplace(text, (int)text_.size());
  if (known.second) text_.push_back(text);
  return known.first->second;
}

void LiteralFinder::build() {
  size_t count = text_.size();
  // Each text is keyed by two grams side by side, so that one of them stands
  // at an even offset of the message wherever the text is: the pair that the
  // fewest texts hold anywhere (a piece of a common phrase such as "unable
  // to" would send every message with it here), then the pair fewest texts
  // have taken so far.
  std::unordered_map<uint32_t, int> holders, taken;
  for (const std::string &t : text_) {
    std::vector<uint32_t> grams;
    for (size_t at = 0; at + 4 <= t.size(); at++) grams.push_back(gram_at(t.c_str() + at));
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    for (uint32_t g : grams) holders[g]++;
  }
  auto taken_by = [&](uint32_t g) {
    auto found = taken.find(g);
    return found == taken.end() ? 0 : found->second;
  };
  std::vector<Key> keys;
  for (size_t t = 0; t < count; t++) {
    const char *text = text_[t].c_str();
    int best = 0, best_holders = 0, best_taken = 0;
    for (int at = 0; at + 5 <= (int)text_[t].size(); at++) {
      uint32_t g = gram_at(text + at), g2 = gram_at(text + at + 1);
      int h = holders[g] + holders[g2], k = taken_by(g) + taken_by(g2);
      if (at == 0 || h < best_holders || (h == best_holders && k < best_taken)) {
        best = at;
        best_holders = h;
        best_taken = k;
      }
    }
    taken[gram_at(text + best)]++;
    taken[gram_at(text + best + 1)]++;
    keys.push_back({(int)t, best});
    keys.push_back({(int)t, best + 1});
  }

  // The table, twice as large as the number of grams (at least 256 slots),
  // and each gram's bucket of keys.
  bits_ = 8;
  while (((size_t)1 << bits_) < 2 * taken.size() && bits_ < 30) bits_++;
  size_t slots = (size_t)1 << bits_;
  slots_.assign(slots, Slot{0, -1});
  filter_.assign((1u << FILTER_BITS) / 64, 0);
  std::vector<int> bucket_of(keys.size());
  int buckets = 0;
  for (size_t e = 0; e < keys.size(); e++) {
    uint32_t g = gram_at(text_[keys[e].text].c_str() + keys[e].at);
    size_t s = table_hash(g, bits_);
    while (slots_[s].bucket >= 0 && slots_[s].gram != g) s = (s + 1) & (slots - 1);
    if (slots_[s].bucket < 0) {
      slots_[s] = Slot{g, buckets++};
      uint32_t f = filter_hash(g);
      filter_[f / 64] |= (uint64_t)1 << (f % 64);
    }
    bucket_of[e] = slots_[s].bucket;
  }
  bucket_start_.assign((size_t)buckets + 1, 0);
  for (int b : bucket_of) bucket_start_[b + 1]++;
  for (int b = 0; b < buckets; b++) bucket_start_[b + 1] += bucket_start_[b];
  keys_.resize(keys.size());
  std::vector<int> next(bucket_start_.begin(), bucket_start_.end() - 1);
  for (size_t e = 0; e < keys.size(); e++) keys_[next[bucket_of[e]]++] = keys[e];

  texts_.clear();
  chars_.clear();
  for (const std::string &t : text_) {
    texts_.push_back({(uint32_t)chars_.size(), (uint32_t)t.size()});
    chars_ += t;
  }
  seen_.assign(count, 0);
  lookup_ = 0;
}

void LiteralFinder::find(const char *message, size_t len, std::vector<int> &found) {
  if (texts_.empty()) return;
  if (++lookup_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    lookup_ = 1;
  }
  size_t mask = ((size_t)1 << bits_) - 1;
  for (size_t pos = 0; pos + 4 <= len; pos += 2) {
    uint32_t g = gram_at(message + pos), f = filter_hash(g);
    if (!((filter_[f / 64] >> (f % 64)) & 1)) continue;
    size_t s = table_hash(g, bits_);
    while (slots_[s].bucket >= 0 && slots_[s].gram != g) s = (s + 1) & mask;
    int b = slots_[s].bucket;
    if (b < 0) continue;
    for (int k = bucket_start_[b]; k < bucket_start_[b + 1]; k++) {
      const Key &key = keys_[k];
      const Text &text = texts_[key.text];
      size_t at = (size_t)key.at;
      if (seen_[key.text] == lookup_ || pos < at || pos - at + text.len > len ||
          !folded_equal(message + pos - at, chars_.data() + text.at, text.len))
        continue;
      seen_[key.text] = lookup_;
      found.push_back(key.text);
    }
  }
}
