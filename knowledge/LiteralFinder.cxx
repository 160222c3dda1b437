// LiteralFinder.cxx - four-character keys, two per text, read at every other
// position of a message.
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

inline uint32_t gram_hash(uint32_t g, int bits) { return (g * 0x9E3779B1u) >> (32 - bits); }
inline uint32_t filter_bit(uint32_t g) { return (g * 0x85EBCA6Bu) >> 17; }  // of 32,768

}  // namespace

int LiteralFinder::add(const std::string &text) {
  if (text.size() < MIN_TEXT || text.size() > 0x7fffffff) return -1;
  auto known = numbers_.find(text);
  if (known != numbers_.end()) return known->second;
  texts_.push_back(text);
  numbers_.emplace(texts_.back(), size() - 1);
  return size() - 1;
}

void LiteralFinder::build() {
  // Each text is keyed by two grams side by side (one starts at an even offset
  // wherever it stands): the pair fewest texts hold, then fewest have taken.
  struct Counts {
    int holders = 0, taken = 0;
  };
  std::unordered_map<uint32_t, Counts> counts;
  for (const std::string &text : texts_)
    for (size_t at = 0; at + 4 <= text.size(); at++) counts[gram_at(text.data() + at)].holders++;
  keys_.clear();
  for (int t = 0; t < size(); t++) {
    const char *text = texts_[t].data();
    int best = 0, best_holders = 0, best_taken = 0;
    for (int at = 0; at + 5 <= (int)texts_[t].size(); at++) {
      const Counts &a = counts[gram_at(text + at)], &b = counts[gram_at(text + at + 1)];
      int h = a.holders + b.holders, k = a.taken + b.taken;
      if (at == 0 || h < best_holders || (h == best_holders && k < best_taken))
        best = at, best_holders = h, best_taken = k;
    }
    for (int at : {best, best + 1}) {
      counts[gram_at(text + at)].taken++;
      keys_.push_back({gram_at(text + at), t, (uint32_t)at});
    }
  }
  // The keys by hashed gram, where each hash's keys start, and a filter that
  // stays in cache: most positions of a message are no key's.
  bits_ = 12;
  while (((size_t)1 << bits_) < keys_.size() && bits_ < 30) bits_++;
  filter_.assign(512, 0);
  for (const Key &key : keys_) filter_[filter_bit(key.gram) / 64] |= (uint64_t)1 << filter_bit(key.gram) % 64;
  std::sort(keys_.begin(), keys_.end(), [&](const Key &a, const Key &b) {
    return gram_hash(a.gram, bits_) < gram_hash(b.gram, bits_);
  });
  starts_.assign(((size_t)1 << bits_) + 1, 0);
  for (const Key &key : keys_) starts_[gram_hash(key.gram, bits_) + 1]++;
  for (size_t h = 1; h < starts_.size(); h++) starts_[h] += starts_[h - 1];
}

void LiteralFinder::find(const char *message, size_t len, std::vector<int> &found) {
  if (keys_.empty()) return;  // nothing built, or no text
  size_t first = found.size();
  for (size_t pos = 0; pos + 4 <= len; pos += 2) {
    uint32_t g = gram_at(message + pos), h = gram_hash(g, bits_);
    if (!((filter_[filter_bit(g) / 64] >> filter_bit(g) % 64) & 1)) continue;
    for (const Key *key = keys_.data() + starts_[h], *end = keys_.data() + starts_[h + 1]; key != end; key++) {
      if (key->gram != g) continue;
      const std::string &text = texts_[(size_t)key->text];
      if (pos < key->at || pos - key->at + text.size() > len) continue;
      const char *m = message + pos - key->at;
      if (!std::equal(text.begin(), text.end(), m, [](char t, char c) { return t == (char)ParsedPattern::fold(c); }))
        continue;
      found.push_back(key->text);
    }
  }
  std::sort(found.begin() + first, found.end());  // each once
  found.erase(std::unique(found.begin() + first, found.end()), found.end());
}
