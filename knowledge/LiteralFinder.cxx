// LiteralFinder.cxx - a table of four-character keys, two per text, read at
// every other position of a message.
#include "knowledge/LiteralFinder.h"

#include <string.h>

#include <algorithm>

#include "knowledge/ParsedPattern.h"

namespace {

// Four characters with every byte's 0x20 bit set: either case gives the same
// gram (so do a few other pairs, which the comparison tells apart).
inline uint32_t gram_at(const char *s) {
  uint32_t g;
  memcpy(&g, s, 4);
  return g | 0x20202020u;
}

const int FILTER_BITS = 15;

inline uint32_t filter_hash(uint32_t g) { return (g * 0x9E3779B1u) >> (32 - FILTER_BITS); }
inline uint32_t table_hash(uint32_t g, int bits) { return (g * 0x85EBCA6Bu) >> (32 - bits); }

}  // namespace

int LiteralFinder::add(const std::string &text) {
  if (text.size() < MIN_TEXT || text.size() > 0x7fffffff) return -1;
  auto known = number_.emplace(text, size());
  if (known.second) at_.push_back((uint32_t)(chars_ += text).size());
  return known.first->second;
}

void LiteralFinder::build() {
  // Each text is keyed by two grams side by side (one starts at an even offset
  // wherever it stands): the pair fewest texts hold, then fewest have taken.
  std::unordered_map<uint32_t, int> holders, taken;
  for (int t = 0; t < size(); t++)
    for (uint32_t at = at_[t]; at + 4 <= at_[t + 1]; at++) holders[gram_at(chars_.data() + at)]++;
  keys_.clear();
  for (int t = 0; t < size(); t++) {
    const char *text = chars_.data() + at_[t];
    int best = 0, best_holders = 0, best_taken = 0;
    for (int at = 0; at + 5 <= (int)(at_[t + 1] - at_[t]); at++) {
      uint32_t g = gram_at(text + at), g2 = gram_at(text + at + 1);
      int h = holders[g] + holders[g2], k = taken[g] + taken[g2];
      if (at == 0 || h < best_holders || (h == best_holders && k < best_taken))
        best = at, best_holders = h, best_taken = k;
    }
    for (int at : {best, best + 1}) {
      taken[gram_at(text + at)]++;
      keys_.push_back({gram_at(text + at), t, at});
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
  size_t first = found.size(), mask = slots_.size() - 1;
  for (size_t pos = 0; pos + 4 <= len; pos += 2) {
    uint32_t g = gram_at(message + pos), f = filter_hash(g);
    if (!((filter_[f / 64] >> (f % 64)) & 1)) continue;
    size_t s = table_hash(g, bits_);
    while (slots_[s].first >= 0 && slots_[s].gram != g) s = (s + 1) & mask;
    for (size_t k = (uint32_t)slots_[s].first; k < keys_.size() && keys_[k].gram == g; k++) {
      const Key &key = keys_[k];
      size_t at = (size_t)key.at, n = at_[key.text + 1] - at_[key.text], i = 0;
      if (pos < at || pos - at + n > len) continue;
      const unsigned char *m = (const unsigned char *)message + pos - at;
      const char *text = chars_.data() + at_[key.text];
      while (i < n && ParsedPattern::fold(m[i]) == (unsigned char)text[i]) i++;
      if (i == n) found.push_back(key.text);
    }
  }
  std::sort(found.begin() + first, found.end());
  found.erase(std::unique(found.begin() + first, found.end()), found.end());
}
