// LiteralFinder.cxx - a table of four-character keys, two per text, read at
// every other position of a message.
#include "knowledge/LiteralFinder.h"

#include <string.h>

#include <algorithm>
#include <functional>
#include <string_view>


namespace {

// Four characters with every byte's 0x20 bit set: either case gives the same
// gram (so do a few other pairs, which the comparison tells apart).
inline uint32_t gram_at(const char *s) {
  uint32_t g;
  memcpy(&g, s, 4);
  return g | 0x20202020u;
}

// Eight bytes with A-Z folded to a-z, all at once: 0x20 added to each byte
// whose low seven bits lie in A-Z and whose top bit is clear.
inline uint64_t fold8(uint64_t x) {
  const uint64_t ones = 0x0101010101010101ull;
  uint64_t low = x & (0x7F * ones);
  uint64_t from_a = low + (0x80 - 'A') * ones, past_z = low + (0x80 - 'Z' - 1) * ones;
  return x | ((from_a & ~past_z & ~x & (0x80 * ones)) >> 2);
}

inline uint64_t load(const void *p, size_t n) {
  uint64_t w = 0;
  memcpy(&w, p, n);
  return w;
}

// Whether the n bytes at m, folded, are the folded text t: in words, the
// last one overlapping the one before.
inline bool same_folded(const char *m, const char *t, size_t n) {
  if (n < 8) return fold8(load(m, 4)) == load(t, 4) && fold8(load(m + n - 4, 4)) == load(t + n - 4, 4);
  for (size_t i = 0; i + 8 < n; i += 8)
    if (fold8(load(m + i, 8)) != load(t + i, 8)) return false;
  return fold8(load(m + n - 8, 8)) == load(t + n - 8, 8);
}

const int FILTER_BITS = 15;

inline uint32_t filter_hash(uint32_t g) { return (g * 0x9E3779B1u) >> (32 - FILTER_BITS); }
inline uint32_t table_hash(uint32_t g, int bits) { return (g * 0x85EBCA6Bu) >> (32 - bits); }

// Per gram, how many texts hold it and how many keys have taken it: a table
// of open addressing (no gram is 0, its 0x20 bits being set), which a
// knowledge base of many long texts fills with millions of look-ups.
class GramCounts {
public:
  struct Counts {
    uint32_t gram = 0;
    int holders = 0, taken = 0;
  };
  Counts &operator[](uint32_t g) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    size_t s = table_hash(g, bits_);
    while (slots_[s].gram && slots_[s].gram != g) s = (s + 1) & (slots_.size() - 1);
    if (!slots_[s].gram) slots_[s].gram = g, used_++;
    return slots_[s];
  }

private:
  std::vector<Counts> slots_;
  size_t used_ = 0;
  int bits_ = 0;
  void grow() {
    std::vector<Counts> old;
    old.swap(slots_);
    bits_ = bits_ ? bits_ + 1 : 10;
    slots_.assign((size_t)1 << bits_, Counts());
    used_ = 0;
    for (const Counts &c : old)
      if (c.gram) (*this)[c.gram] = c;
  }
};

}  // namespace

int LiteralFinder::add(const std::string &text) {
  if (text.size() < MIN_TEXT || text.size() > 0x7fffffff) return -1;
  // The texts by hash, each slot a text's number (-1: empty).
  if (2 * (size() + 1) > (int)numbers_.size()) {
    numbers_.assign(numbers_.empty() ? 1024 : 2 * numbers_.size(), -1);
    for (int t = 0; t < size(); t++) *number_slot(chars_.data() + at_[t], at_[t + 1] - at_[t]) = t;
  }
  int32_t *slot = number_slot(text.data(), text.size());
  if (*slot < 0) {
    *slot = size();
    at_.push_back((uint32_t)(chars_ += text).size());
  }
  return *slot;
}

int32_t *LiteralFinder::number_slot(const char *text, size_t len) {
  size_t mask = numbers_.size() - 1, s = std::hash<std::string_view>()({text, len}) & mask;
  for (;; s = (s + 1) & mask) {
    int32_t t = numbers_[s];
    if (t < 0 || (at_[t + 1] - at_[t] == len && memcmp(chars_.data() + at_[t], text, len) == 0))
      return &numbers_[s];
  }
}

void LiteralFinder::build() {
  // Each text is keyed by two grams side by side (one starts at an even offset
  // wherever it stands): the pair fewest texts hold, then fewest have taken.
  GramCounts counts;
  for (int t = 0; t < size(); t++)
    for (uint32_t at = at_[t]; at + 4 <= at_[t + 1]; at++) counts[gram_at(chars_.data() + at)].holders++;
  keys_.clear();
  for (int t = 0; t < size(); t++) {
    const char *text = chars_.data() + at_[t];
    int best = 0, best_holders = 0, best_taken = 0;
    for (int at = 0; at + 5 <= (int)(at_[t + 1] - at_[t]); at++) {
      const GramCounts::Counts &a = counts[gram_at(text + at)], &b = counts[gram_at(text + at + 1)];
      int h = a.holders + b.holders, k = a.taken + b.taken;
      if (at == 0 || h < best_holders || (h == best_holders && k < best_taken))
        best = at, best_holders = h, best_taken = k;
    }
    for (int at : {best, best + 1}) {
      counts[gram_at(text + at)].taken++;
      keys_.push_back({gram_at(text + at), t, (uint32_t)at, at_[t], at_[t + 1] - at_[t]});
    }
  }

  // The keys by gram, a table of each gram's first key (twice as many slots as
  // keys), the filter, and the texts packed, to stay in cache beside the memo.
  std::sort(keys_.begin(), keys_.end(), [](const Key &a, const Key &b) { return a.gram < b.gram; });
  bits_ = 8;
  while (((size_t)1 << bits_) < 2 * keys_.size() && bits_ < 30) bits_++;
  size_t mask = ((size_t)1 << bits_) - 1;
  slots_.assign(mask + 1, Slot{0, -1});
  filter_.assign((1u << FILTER_BITS) / 64, 0);
  seen_.assign((size_t)size(), 0);
  epoch_ = 0;
  for (size_t k = 0; k < keys_.size(); k++) {
    uint32_t g = keys_[k].gram, f = filter_hash(g), s = table_hash(g, bits_);
    if (k && keys_[k - 1].gram == g) continue;
    while (slots_[s].first >= 0) s = (s + 1) & mask;
    slots_[s] = Slot{g, (int)k};
    filter_[f / 64] |= (uint64_t)1 << (f % 64);
  }
}

void LiteralFinder::find(const char *message, size_t len, std::vector<int> &found) {
  if (keys_.empty()) return;
  if (++epoch_ == 0) {  // once in 2^32 lookups the marks start afresh
    std::fill(seen_.begin(), seen_.end(), 0);
    epoch_ = 1;
  }
  size_t mask = slots_.size() - 1;
  for (size_t pos = 0; pos + 4 <= len; pos += 2) {
    uint32_t g = gram_at(message + pos), f = filter_hash(g);
    if (!((filter_[f / 64] >> (f % 64)) & 1)) continue;
    size_t s = table_hash(g, bits_);
    while (slots_[s].first >= 0 && slots_[s].gram != g) s = (s + 1) & mask;
    for (size_t k = (uint32_t)slots_[s].first; k < keys_.size() && keys_[k].gram == g; k++) {
      const Key &key = keys_[k];
      if (pos < key.at || pos - key.at + key.len > len || seen_[(size_t)key.text] == epoch_) continue;
      if (!same_folded(message + pos - key.at, chars_.data() + key.start, key.len)) continue;
      seen_[(size_t)key.text] = epoch_;
      found.push_back(key.text);
    }
  }
}
