// ItemIndex.cxx - finding the item a log message matches: the text each
// pattern requires, a table of four-character keys, and the lookup.
#include "knowledge/ItemIndex.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

inline int fold_char(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
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
inline bool folded_equal(const char *s, const char *need, size_t n) {
  for (size_t k = 0; k < n; k++)
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
    : built_(false), table_bits_(0), lookup_(0), memo_(0), remember_(true) {
}

ItemIndex::~ItemIndex() { drop_tables(); }

bool ItemIndex::add(char level, const char *pattern) {
  try {
    Item item{level, Pattern(pattern), {}};
    required_runs(pattern, item.runs);
    std::sort(item.runs.begin(), item.runs.end());
    item.runs.erase(std::unique(item.runs.begin(), item.runs.end()), item.runs.end());
    items_.push_back(std::move(item));
  } catch (const std::bad_alloc &) {
    return false;
  }
  built_ = false;
  return true;
}

void ItemIndex::remember(bool on) {
  remember_ = on;
  built_ = false;
}

void ItemIndex::drop_tables() {
  std::vector<std::string>().swap(text_);
  std::vector<int>().swap(gram_at_);
  std::vector<int>().swap(text_start_);
  std::vector<int>().swap(text_items_);
  std::vector<int>().swap(untexted_);
  std::vector<uint32_t>().swap(table_gram_);
  std::vector<int>().swap(table_bucket_);
  std::vector<int>().swap(bucket_start_);
  std::vector<int>().swap(bucket_texts_);
  std::vector<uint64_t>().swap(filter_);
  std::vector<uint32_t>().swap(found_);
  std::vector<int>().swap(hits_);
  free(memo_);
  memo_ = 0;
  table_bits_ = 0;
  lookup_ = 0;
  built_ = false;
}

bool ItemIndex::prepare() {
  if (built_) return true;
  drop_tables();
  try {
    fill();
  } catch (const std::bad_alloc &) {
    drop_tables();
    return false;
  }
  if (remember_) {
    memo_ = (Memo *)aligned_alloc(64, sizeof(Memo) * MEMO_SLOTS);
    if (memo_)
      for (int m = 0; m < MEMO_SLOTS; m++) memo_[m].len = -1;
  }
  built_ = true;
  return true;
}

int ItemIndex::find(char level, const char *message) {
  if (!message || !prepare()) return -1;
  size_t len = strlen(message);
  if (len > MEMO_TEXT || !memo_) return search(level, message, len);
  uint64_t hash = text_hash(message, len, (unsigned char)level);
  Memo &memo = memo_[hash % MEMO_SLOTS];
  if (memo.len == (int)len && memo.hash == hash && memo.level == level &&
      memcmp(memo.text, message, len) == 0)
    return memo.item;
  int item = search(level, message, len);
  memo.hash = hash;
  memo.item = item;
  memo.len = (int16_t)len;
  memo.level = level;
  memcpy(memo.text, message, len);
  return item;
}

void ItemIndex::fill() {
  size_t n = items_.size();
  hits_.resize(n);
  filter_.assign((1u << FILTER_BITS) / 64, 0);

  // Each item's required text: of the runs its pattern requires (four
  // characters or more), the one the fewest other items require too, then
  // the longest, so that items alike ("... usb://*": No such device",
  // "... usb://*": Permission denied") are told apart before their patterns
  // are tried.
  std::unordered_map<std::string, int> shared;
  for (size_t i = 0; i < n; i++)
    for (const std::string &run : items_[i].runs)
      if (run.size() >= 4) shared[run]++;
  std::vector<int> text_of(n, -1);
  std::unordered_map<std::string, int> number;
  for (size_t i = 0; i < n; i++) {
    const std::string *pick = 0;
    int pick_shared = 0;
    for (const std::string &run : items_[i].runs) {
      if (run.size() < 4 || run.size() > 0x7fffffff) continue;
      int users = shared[run];
      if (!pick || users < pick_shared || (users == pick_shared && run.size() > pick->size())) {
        pick = &run;
        pick_shared = users;
      }
    }
    if (!pick) continue;
    auto known = number.find(*pick);
    if (known != number.end()) {
      text_of[i] = known->second;
    } else {
      text_of[i] = (int)text_.size();
      number.emplace(*pick, text_of[i]);
      text_.push_back(*pick);
    }
  }
  size_t texts = text_.size();

  // The items of each text, in file order.
  text_start_.assign(texts + 1, 0);
  for (size_t i = 0; i < n; i++)
    if (text_of[i] >= 0) text_start_[text_of[i] + 1]++;
  for (size_t t = 0; t < texts; t++) text_start_[t + 1] += text_start_[t];
  text_items_.resize(text_start_[texts]);
  std::vector<int> next(text_start_.begin(), text_start_.end() - 1);
  for (size_t i = 0; i < n; i++)
    if (text_of[i] >= 0) text_items_[next[text_of[i]]++] = (int)i;

  // Of the four-character pieces of each text, take the one that the fewest
  // texts hold anywhere (a piece of a common phrase such as "unable to"
  // would send every message with that phrase to this text), then the one
  // fewest texts have taken so far.
  gram_at_.resize(texts);
  std::unordered_map<uint32_t, int> holders, taken;
  for (size_t t = 0; t < texts; t++) {
    std::vector<uint32_t> pieces;
    for (size_t at = 0; at + 4 <= text_[t].size(); at++)
      pieces.push_back(gram_at(text_[t].c_str() + at));
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    for (uint32_t g : pieces) holders[g]++;
  }
  for (size_t t = 0; t < texts; t++) {
    const char *text = text_[t].c_str();
    int best = 0, best_holders = 0, best_taken = 0;
    for (int at = 0; at + 4 <= (int)text_[t].size(); at++) {
      uint32_t g = gram_at(text + at);
      int h = holders[g];
      auto found = taken.find(g);
      int k = found == taken.end() ? 0 : found->second;
      if (at == 0 || h < best_holders || (h == best_holders && k < best_taken)) {
        best = at;
        best_holders = h;
        best_taken = k;
      }
    }
    gram_at_[t] = best;
    taken[gram_at(text + best)]++;
  }

  // The table of keys, twice as large as the number of keys (at least 256
  // slots), and each key's bucket of texts.
  size_t grams = taken.size();
  table_bits_ = 8;
  while (((size_t)1 << table_bits_) < 2 * grams && table_bits_ < 30) table_bits_++;
  size_t slots = (size_t)1 << table_bits_;
  table_gram_.assign(slots, 0);
  table_bucket_.assign(slots, -1);
  std::vector<int> bucket_of(texts);
  int buckets = 0;
  for (size_t t = 0; t < texts; t++) {
    uint32_t g = gram_at(text_[t].c_str() + gram_at_[t]);
    size_t s = table_hash(g, table_bits_);
    while (table_bucket_[s] >= 0 && table_gram_[s] != g) s = (s + 1) & (slots - 1);
    if (table_bucket_[s] < 0) {
      table_gram_[s] = g;
      table_bucket_[s] = buckets++;
      uint32_t f = filter_hash(g);
      filter_[f / 64] |= (uint64_t)1 << (f % 64);
    }
    bucket_of[t] = table_bucket_[s];
  }
  bucket_start_.assign((size_t)buckets + 1, 0);
  for (size_t t = 0; t < texts; t++) bucket_start_[bucket_of[t] + 1]++;
  for (int b = 0; b < buckets; b++) bucket_start_[b + 1] += bucket_start_[b];
  bucket_texts_.resize(texts);
  next.assign(bucket_start_.begin(), bucket_start_.end() - 1);
  for (size_t t = 0; t < texts; t++) bucket_texts_[next[bucket_of[t]]++] = (int)t;
  found_.assign(texts, 0);

  // Items without a usable text are tried on every message.
  for (size_t i = 0; i < n; i++)
    if (text_of[i] < 0) untexted_.push_back((int)i);
}

int ItemIndex::search(char level, const char *message, size_t len) {
  if (++lookup_ == 0) {
    std::fill(found_.begin(), found_.end(), 0);
    lookup_ = 1;
  }

  // Every text the message holds, each compared where its key sits, and of
  // the items requiring it those whose level fits.
  int nhits = 0;
  size_t mask = ((size_t)1 << table_bits_) - 1;
  for (size_t pos = 0; pos + 4 <= len; pos++) {
    uint32_t g = gram_at(message + pos);
    uint32_t f = filter_hash(g);
    if (!((filter_[f / 64] >> (f % 64)) & 1)) continue;
    size_t s = table_hash(g, table_bits_);
    while (table_bucket_[s] >= 0 && table_gram_[s] != g) s = (s + 1) & mask;
    int b = table_bucket_[s];
    if (b < 0) continue;
    for (int k = bucket_start_[b]; k < bucket_start_[b + 1]; k++) {
      int t = bucket_texts_[k];
      size_t at = (size_t)gram_at_[t], tlen = text_[t].size();
      if (found_[t] == lookup_ || pos < at || pos - at + tlen > len ||
          !folded_equal(message + pos - at, text_[t].data(), tlen))
        continue;
      found_[t] = lookup_;
      for (int j = text_start_[t]; j < text_start_[t + 1]; j++) {
        int i = text_items_[j];
        if (!items_[i].level || items_[i].level == level) hits_[nhits++] = i;
      }
    }
  }
  int *hits = hits_.data();
  std::sort(hits, hits + nhits);

  // Those, and the items without a text, in the order added.
  size_t u = 0;
  int h = 0;
  for (;;) {
    int i;
    if (h < nhits && (u == untexted_.size() || hits[h] < untexted_[u])) {
      i = hits[h++];
    } else if (u < untexted_.size()) {
      i = untexted_[u++];
      if (items_[i].level && items_[i].level != level) continue;
    } else {
      return -1;
    }
    if (items_[i].pattern.match(message)) return i;
  }
}
