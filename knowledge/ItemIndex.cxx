// ItemIndex.cxx - finding the items a log message could match: the text
// each pattern requires, a table of four-character keys, and the lookup.
#include "knowledge/ItemIndex.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "knowledge/pattern.h"

namespace {

inline int fold_char(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool is_pattern_special(char c) {
  return c == '?' || c == '*' || c == '[' || c == '{' || c == '}' ||
         c == ',' || c == '|' || c == '\\';
}

// The folded character every text matching the pattern starts with, or 256
// when the pattern starts with anything else (wildcards, sets, groups, an
// empty pattern).
int first_key(const char *p) {
  if (!p || !p[0]) return 256;
  if (p[0] == '\\') return p[1] ? fold_char((unsigned char)p[1]) : '\\';
  if (is_pattern_special(p[0])) return 256;
  return fold_char((unsigned char)p[0]);
}

// Whether the groups of a pattern all close and nothing outside them ends an
// alternative: then every way through the pattern matches all of its text
// outside the groups, in order. Patterns with sets are left out (a brace in
// a set is a plain member there, and a group sign to the matcher's set-up).
bool groups_are_tidy(const char *p) {
  int depth = 0;
  for (const char *c = p; *c; c++) {
    if (*c == '\\') {
      if (c[1]) c++;
    } else if (*c == '[') {
      return false;
    } else if (*c == '{') {
      depth++;
    } else if (*c == '}') {
      if (--depth < 0) return false;
    } else if ((*c == ',' || *c == '|') && depth == 0) {
      return false;
    }
  }
  return depth == 0;
}

// Adds to `runs` every run of plain characters that every text matching the
// pattern must contain, folded to lower case. Only the part before the first
// group or separator is looked at, or, when the groups are tidy, everything
// outside them: that is matched in order on every way through the pattern.
void required_runs(const char *p, std::vector<std::string> &runs) {
  if (!p) return;
  size_t n = strlen(p);
  std::string run;
  size_t i = 0;
  bool stop = false;
  bool tidy = groups_are_tidy(p);
  int depth = 0;
  while (i < n && !stop) {
    char c = p[i];
    int plain = -1;
    if (c == '\\') {
      plain = i + 1 < n ? (unsigned char)p[i + 1] : '\\';
      i += i + 1 < n ? 2 : 1;
      if (depth > 0) plain = -1;
    } else if (tidy && (c == '{' || c == '}')) {
      depth += c == '{' ? 1 : -1;
      i++;
    } else if (tidy && depth > 0) {
      i++;
    } else if (c == '{' || c == ',' || c == '|') {
      stop = true;
    } else if (c == '[') {
      size_t k = i + 1;
      if (p[k] == '^' || p[k] == '!') k++;
      if (p[k]) k++;                      // the first member is always one
      while (k < n && p[k] != ']') k++;
      if (k >= n) stop = true;            // never closed: matches nothing
      i = k + 1;
    } else if (c == '?' || c == '*' || c == '}') {
      i++;
    } else {
      plain = (unsigned char)c;
      i++;
    }
    if (plain >= 0) {
      run += (char)fold_char((unsigned char)plain);
    } else if (!run.empty()) {
      runs.push_back(run);
      run.clear();
    }
  }
  if (!run.empty()) runs.push_back(run);
}

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

// Whether the message text at s equals need (folded) without regard to case.
inline bool folded_equal(const char *s, const char *need, int n) {
  for (int k = 0; k < n; k++)
    if (fold_char((unsigned char)s[k]) != (unsigned char)need[k]) return false;
  return true;
}

// A quick hash of a short text and the level letter, eight bytes at a time.
inline uint64_t text_hash(const char *s, size_t len, unsigned level) {
  const uint64_t k = 0x9E3779B97F4A7C15ull;
  uint64_t h = (len * k) ^ level;
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    memcpy(&w, s + i, 8);
    h = (h ^ w) * k;
    h ^= h >> 29;
  }
  uint64_t w = 0;
  memcpy(&w, s + i, len - i);
  h = (h ^ w) * k;
  return h ^ (h >> 32);
}

}  // namespace

ItemIndex::ItemIndex()
    : items_(-1), key_(0), level_(0), need_(0), need_len_(0), gram_at_(0),
      plain_order_(0), table_bits_(0), table_gram_(0), table_bucket_(0),
      bucket_start_(0), bucket_items_(0), filter_(0), stamp_(0), lookup_(0),
      hits_(0), memo_(0) {
  memset(plain_start_, 0, sizeof plain_start_);
}

ItemIndex::~ItemIndex() { clear(); }

void ItemIndex::clear() {
  if (need_)
    for (int i = 0; i < items_; i++) free(need_[i]);
  free(need_);
  free(key_);
  free(level_);
  free(need_len_);
  free(gram_at_);
  free(plain_order_);
  free(table_gram_);
  free(table_bucket_);
  free(bucket_start_);
  free(bucket_items_);
  free(filter_);
  free(stamp_);
  free(hits_);
  free(memo_);
  memo_ = 0;
  key_ = 0;
  level_ = 0;
  need_ = 0;
  need_len_ = 0;
  gram_at_ = 0;
  plain_order_ = 0;
  table_gram_ = 0;
  table_bucket_ = 0;
  bucket_start_ = 0;
  bucket_items_ = 0;
  filter_ = 0;
  stamp_ = 0;
  hits_ = 0;
  table_bits_ = 0;
  lookup_ = 0;
  memset(plain_start_, 0, sizeof plain_start_);
  items_ = -1;
}

bool ItemIndex::build(ErrorXMLItem *const *items, int count) {
  clear();
  if (count < 0) return false;
  size_t n = (size_t)count + 1;  // never a zero-sized block
  key_ = (int *)malloc(sizeof(int) * n);
  level_ = (char *)malloc(n);
  need_ = (char **)calloc(n, sizeof(char *));
  need_len_ = (int *)calloc(n, sizeof(int));
  gram_at_ = (int *)calloc(n, sizeof(int));
  plain_order_ = (int *)malloc(sizeof(int) * n);
  stamp_ = (uint32_t *)calloc(n, sizeof(uint32_t));
  hits_ = (int *)malloc(sizeof(int) * n);
  filter_ = (uint64_t *)calloc((1u << FILTER_BITS) / 64, sizeof(uint64_t));
  memo_ = (Memo *)aligned_alloc(64, sizeof(Memo) * MEMO_SLOTS);
  if (!key_ || !level_ || !need_ || !need_len_ || !gram_at_ || !plain_order_ ||
      !stamp_ || !hits_ || !filter_ || !memo_) {
    items_ = count;  // so that clear() frees the texts
    clear();
    return false;
  }
  items_ = count;
  for (int m = 0; m < MEMO_SLOTS; m++) memo_[m].len = -1;

  // Each item's key, level and required text: of the runs its pattern
  // requires (four characters or more), the one the fewest other items
  // require too, then the longest, so that items alike ("... usb://*": No
  // such device", "... usb://*": Permission denied") are told apart before
  // their patterns are tried.
  std::vector<std::vector<std::string>> runs((size_t)count);
  std::unordered_map<std::string, int> shared;
  for (int i = 0; i < count; i++) {
    required_runs(items[i]->pattern, runs[i]);
    std::vector<std::string> &r = runs[i];
    std::sort(r.begin(), r.end());
    r.erase(std::unique(r.begin(), r.end()), r.end());
    for (const std::string &run : r)
      if (run.size() >= 4) shared[run]++;
  }
  // Of the four-character pieces of that text, each item takes the one
  // fewest items have taken so far, so that a common word does not gather
  // many items behind one key.
  std::unordered_map<uint32_t, int> taken;
  for (int i = 0; i < count; i++) {
    key_[i] = first_key(items[i]->pattern);
    level_[i] = items[i]->level;
    const std::string *pick = 0;
    int pick_shared = 0;
    for (const std::string &run : runs[i]) {
      if (run.size() < 4 || run.size() > 0x7fffffff) continue;
      int n = shared[run];
      if (!pick || n < pick_shared || (n == pick_shared && run.size() > pick->size())) {
        pick = &run;
        pick_shared = n;
      }
    }
    if (!pick) continue;
    need_len_[i] = (int)pick->size();
    need_[i] = (char *)malloc(pick->size() + 1);
    if (!need_[i]) {
      need_len_[i] = 0;
      continue;
    }
    memcpy(need_[i], pick->c_str(), pick->size() + 1);
    int best = 0, best_count = -1;
    for (int at = 0; at + 4 <= need_len_[i]; at++) {
      auto found = taken.find(gram_at(need_[i] + at));
      int c = found == taken.end() ? 0 : found->second;
      if (best_count < 0 || c < best_count) {
        best = at;
        best_count = c;
        if (c == 0) break;
      }
    }
    gram_at_[i] = best;
    taken[gram_at(need_[i] + best)]++;
  }

  // The table of keys, twice as large as the number of keys (at least 256
  // slots), and each key's bucket of items in file order.
  size_t grams = taken.size();
  table_bits_ = 8;
  while (((size_t)1 << table_bits_) < 2 * grams && table_bits_ < 30) table_bits_++;
  size_t slots = (size_t)1 << table_bits_;
  table_gram_ = (uint32_t *)malloc(sizeof(uint32_t) * slots);
  table_bucket_ = (int *)malloc(sizeof(int) * slots);
  bucket_start_ = (int *)calloc(grams + 2, sizeof(int));
  bucket_items_ = (int *)malloc(sizeof(int) * n);
  if (!table_gram_ || !table_bucket_ || !bucket_start_ || !bucket_items_) {
    clear();
    return false;
  }
  for (size_t s = 0; s < slots; s++) table_bucket_[s] = -1;
  std::vector<int> bucket_of((size_t)count + 1, -1);
  int buckets = 0;
  for (int i = 0; i < count; i++) {
    if (!need_[i]) continue;
    uint32_t g = gram_at(need_[i] + gram_at_[i]);
    size_t s = table_hash(g, table_bits_);
    while (table_bucket_[s] >= 0 && table_gram_[s] != g) s = (s + 1) & (slots - 1);
    if (table_bucket_[s] < 0) {
      table_gram_[s] = g;
      table_bucket_[s] = buckets++;
      uint32_t f = filter_hash(g);
      filter_[f / 64] |= (uint64_t)1 << (f % 64);
    }
    bucket_of[i] = table_bucket_[s];
    bucket_start_[table_bucket_[s] + 1]++;
  }
  for (int b = 0; b < buckets; b++) bucket_start_[b + 1] += bucket_start_[b];
  std::vector<int> fill(bucket_start_, bucket_start_ + buckets + 1);
  for (int i = 0; i < count; i++)
    if (bucket_of[i] >= 0) bucket_items_[fill[bucket_of[i]]++] = i;

  // Items without a usable text, grouped by key.
  int start[258] = {0};
  for (int i = 0; i < count; i++)
    if (!need_[i]) start[key_[i] + 1]++;
  for (int c = 0; c < 257; c++) start[c + 1] += start[c];
  memcpy(plain_start_, start, sizeof plain_start_);
  for (int i = 0; i < count; i++)
    if (!need_[i]) plain_order_[start[key_[i]]++] = i;
  return true;
}

int ItemIndex::find(ErrorXMLItem *const *items, char level, const char *message) {
  if (items_ < 0 || !message) return -1;
  size_t len = strlen(message);
  if (len > MEMO_TEXT || !memo_) return search(items, level, message, len);
  uint64_t hash = text_hash(message, len, (unsigned char)level);
  Memo &memo = memo_[hash % MEMO_SLOTS];
  if (memo.len == (int)len && memo.hash == hash && memo.level == level &&
      memcmp(memo.text, message, len) == 0)
    return memo.item;
  int item = search(items, level, message, len);
  memo.hash = hash;
  memo.item = item;
  memo.len = (int16_t)len;
  memo.level = level;
  memcpy(memo.text, message, len);
  return item;
}

int ItemIndex::search(ErrorXMLItem *const *items, char level, const char *message,
                      size_t len) {
  int c = fold_char((unsigned char)message[0]);
  if (++lookup_ == 0) {
    memset(stamp_, 0, sizeof(uint32_t) * (size_t)(items_ + 1));
    lookup_ = 1;
  }

  // Every item whose required text the message holds, at a place where the
  // text fits, and whose key and level fit.
  int nhits = 0;
  size_t mask = ((size_t)1 << table_bits_) - 1;
  for (size_t pos = 0; len >= 4 && pos + 4 <= len; pos++) {
    uint32_t g = gram_at(message + pos);
    uint32_t f = filter_hash(g);
    if (!((filter_[f / 64] >> (f % 64)) & 1)) continue;
    size_t s = table_hash(g, table_bits_);
    while (table_bucket_[s] >= 0 && table_gram_[s] != g) s = (s + 1) & mask;
    int b = table_bucket_[s];
    if (b < 0) continue;
    for (int k = bucket_start_[b]; k < bucket_start_[b + 1]; k++) {
      int i = bucket_items_[k];
      if (stamp_[i] == lookup_) continue;
      if (level_[i] && level_[i] != level) continue;
      if (key_[i] != 256 && key_[i] != c) continue;
      if (pos < (size_t)gram_at_[i]) continue;
      size_t at = pos - (size_t)gram_at_[i];
      if (at + (size_t)need_len_[i] > len) continue;
      if (!folded_equal(message + at, need_[i], need_len_[i])) continue;
      stamp_[i] = lookup_;
      hits_[nhits++] = i;
    }
  }
  if (nhits > 16)
    std::sort(hits_, hits_ + nhits);
  else
    for (int j = 1; j < nhits; j++)
      for (int k = j; k > 0 && hits_[k - 1] > hits_[k]; k--) std::swap(hits_[k - 1], hits_[k]);

  // Those, and the items without a required text that start with the
  // message's first character or with a wildcard, in file order.
  int a = plain_start_[c], a_end = plain_start_[c + 1];
  int w = plain_start_[256], w_end = plain_start_[257];
  int h = 0;
  const int none = 0x7fffffff;
  for (;;) {
    int ia = a < a_end ? plain_order_[a] : none;
    int iw = w < w_end ? plain_order_[w] : none;
    int ih = h < nhits ? hits_[h] : none;
    int i = std::min(ia, std::min(iw, ih));
    if (i == none) return -1;
    if (i == ia) a++;
    else if (i == iw) w++;
    else h++;
    if (i != ih && level_[i] && level_[i] != level) continue;
    if (pattern_match(message, items[i]->pattern)) return i;
  }
}
