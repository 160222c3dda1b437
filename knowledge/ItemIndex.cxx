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

// Eight bytes with A-Z folded to lower case and every other byte as it is.
inline uint64_t fold8(uint64_t w) {
  const uint64_t high = 0x8080808080808080ull, low7 = 0x7f7f7f7f7f7f7f7full;
  uint64_t b = w & low7;
  uint64_t from_a = b + 0x3f3f3f3f3f3f3f3full;   // high bit: b >= 'A'
  uint64_t past_z = b + 0x2525252525252525ull;   // high bit: b > 'Z'
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
  for (; k < n; k++)
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

ItemIndex::ItemIndex() : built_(false), remember_(true) {}

ItemIndex::~ItemIndex() = default;

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

bool ItemIndex::build() {
  t_ = Tables();
  memo_.reset();
  memo_tag_.reset();
  try {
    fill();
    if (remember_) {
      memo_.reset(new Memo[MEMO_SLOTS]);
      memo_tag_.reset(new uint32_t[MEMO_SLOTS]());
      for (int m = 0; m < MEMO_SLOTS; m++) memo_[m].len = -1;
    }
  } catch (const std::bad_alloc &) {
    t_ = Tables();
    memo_.reset();
    memo_tag_.reset();
    return false;
  }
  built_ = true;
  return true;
}

int ItemIndex::find(char level, const char *message) {
  if (!message || !prepare()) return -1;
  size_t len = strlen(message);
  if (len > MEMO_TEXT || !memo_) return search(level, message, len);
  uint64_t hash = text_hash(message, len, (unsigned char)level);
  size_t slot = hash % MEMO_SLOTS;
  uint32_t tag = (uint32_t)(hash >> 32);
  Memo &memo = memo_[slot];
  if (memo_tag_[slot] == tag && memo.len == (int)len && memo.hash == hash &&
      memo.level == level && memcmp(memo.text, message, len) == 0)
    return memo.item;
  int item = search(level, message, len);
  memo_tag_[slot] = tag;
  memo.hash = hash;
  memo.item = item;
  memo.len = (int16_t)len;
  memo.level = level;
  memcpy(memo.text, message, len);
  return item;
}

void ItemIndex::fill() {
  size_t n = items_.size();
  t_.hits.resize(n);
  t_.filter.assign((1u << FILTER_BITS) / 64, 0);

  // Each item's required text: of the runs its pattern requires (four
  // characters or more), the one the fewest other items require too, then
  // the longest, so that items alike ("... usb://*": No such device",
  // "... usb://*": Permission denied") are told apart before their patterns
  // are tried.
  std::unordered_map<std::string, int> shared;
  for (size_t i = 0; i < n; i++)
    for (const std::string &run : items_[i].runs)
      if (run.size() >= 5) shared[run]++;
  std::vector<int> text_of(n, -1);
  std::unordered_map<std::string, int> number;
  for (size_t i = 0; i < n; i++) {
    const std::string *pick = 0;
    int pick_shared = 0;
    for (const std::string &run : items_[i].runs) {
      if (run.size() < 5 || run.size() > 0x7fffffff) continue;
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
      text_of[i] = (int)t_.text.size();
      number.emplace(*pick, text_of[i]);
      t_.text.push_back(*pick);
    }
  }
  size_t texts = t_.text.size();

  // The items of each text, in file order.
  std::vector<int> item_start(texts + 1, 0);
  for (size_t i = 0; i < n; i++)
    if (text_of[i] >= 0) item_start[text_of[i] + 1]++;
  for (size_t t = 0; t < texts; t++) item_start[t + 1] += item_start[t];
  t_.items.resize(item_start[texts]);
  std::vector<int> next(item_start.begin(), item_start.end() - 1);
  for (size_t i = 0; i < n; i++)
    if (text_of[i] >= 0) t_.items[next[text_of[i]]++] = (int)i;

  // Of the four-character pieces of each text, take the one that the fewest
  // texts hold anywhere (a piece of a common phrase such as "unable to"
  // would send every message with that phrase to this text), then the one
  // fewest texts have taken so far.
  std::vector<int> gram_at_(texts);
  std::unordered_map<uint32_t, int> holders, taken;
  for (size_t t = 0; t < texts; t++) {
    std::vector<uint32_t> pieces;
    for (size_t at = 0; at + 4 <= t_.text[t].size(); at++)
      pieces.push_back(gram_at(t_.text[t].c_str() + at));
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    for (uint32_t g : pieces) holders[g]++;
  }
  auto taken_by = [&](uint32_t g) {
    auto found = taken.find(g);
    return found == taken.end() ? 0 : found->second;
  };
  for (size_t t = 0; t < texts; t++) {
    const char *text = t_.text[t].c_str();
    int best = 0, best_holders = 0, best_taken = 0;
    for (int at = 0; at + 5 <= (int)t_.text[t].size(); at++) {
      uint32_t g = gram_at(text + at), g2 = gram_at(text + at + 1);
      int h = holders[g] + holders[g2];
      int k = taken_by(g) + taken_by(g2);
      if (at == 0 || h < best_holders || (h == best_holders && k < best_taken)) {
        best = at;
        best_holders = h;
        best_taken = k;
      }
    }
    gram_at_[t] = best;
    taken[gram_at(text + best)]++;
    taken[gram_at(text + best + 1)]++;
  }

  // The table of keys, twice as large as the number of keys (at least 256
  // slots), and each key's bucket of texts.
  size_t grams = taken.size();
  t_.bits = 8;
  while (((size_t)1 << t_.bits) < 2 * grams && t_.bits < 30) t_.bits++;
  size_t slots = (size_t)1 << t_.bits;
  t_.slots.assign(slots, Tables::Slot{0, -1});
  // Each text is keyed twice, by the grams at gram_at_[t] and one further
  // on: a lookup reads only every other position of a message, and one of
  // the two always stands on such a position.
  std::vector<Tables::Key> keys(2 * texts);
  for (size_t t = 0; t < texts; t++) {
    keys[2 * t] = {(int)t, gram_at_[t]};
    keys[2 * t + 1] = {(int)t, gram_at_[t] + 1};
  }
  std::vector<int> bucket_of(keys.size());
  int buckets = 0;
  for (size_t e = 0; e < keys.size(); e++) {
    uint32_t g = gram_at(t_.text[keys[e].text].c_str() + keys[e].at);
    size_t s = table_hash(g, t_.bits);
    while (t_.slots[s].bucket >= 0 && t_.slots[s].gram != g) s = (s + 1) & (slots - 1);
    if (t_.slots[s].bucket < 0) {
      t_.slots[s].gram = g;
      t_.slots[s].bucket = buckets++;
      uint32_t f = filter_hash(g);
      t_.filter[f / 64] |= (uint64_t)1 << (f % 64);
    }
    bucket_of[e] = t_.slots[s].bucket;
  }
  t_.bucket_start.assign((size_t)buckets + 1, 0);
  for (size_t e = 0; e < keys.size(); e++) t_.bucket_start[bucket_of[e] + 1]++;
  for (int b = 0; b < buckets; b++) t_.bucket_start[b + 1] += t_.bucket_start[b];
  t_.bucket_keys.resize(keys.size());
  next.assign(t_.bucket_start.begin(), t_.bucket_start.end() - 1);
  for (size_t e = 0; e < keys.size(); e++) t_.bucket_keys[next[bucket_of[e]]++] = keys[e];
  t_.found.assign(texts, 0);

  // The packed form of the texts, and each item's level.
  t_.texts.resize(texts + 1);
  for (size_t t = 0; t <= texts; t++) {
    uint32_t len = t < texts ? (uint32_t)t_.text[t].size() : 0;
    t_.texts[t] = {(uint32_t)t_.chars.size(), len, (uint32_t)item_start[t]};
    if (t < texts) t_.chars += t_.text[t];
  }
  t_.level.resize(n);
  for (size_t i = 0; i < n; i++) t_.level[i] = items_[i].level;

  // Items without a usable text are tried on every message.
  for (size_t i = 0; i < n; i++)
    if (text_of[i] < 0) t_.untexted.push_back((int)i);
}

int ItemIndex::search(char level, const char *message, size_t len) {
  if (++t_.lookup == 0) {
    std::fill(t_.found.begin(), t_.found.end(), 0);
    t_.lookup = 1;
  }

  // Every text the message holds, each compared where its key sits, and of
  // the items requiring it those whose level fits.
  int nhits = 0;
  size_t mask = ((size_t)1 << t_.bits) - 1;
  const Tables::Slot *slots = t_.slots.data();
  const Tables::Text *texts = t_.texts.data();
  const char *chars = t_.chars.data();
  const char *levels = t_.level.data();
  for (size_t pos = 0; pos + 4 <= len; pos += 2) {
    uint32_t g = gram_at(message + pos);
    uint32_t f = filter_hash(g);
    if (!((t_.filter[f / 64] >> (f % 64)) & 1)) continue;
    size_t s = table_hash(g, t_.bits);
    while (slots[s].bucket >= 0 && slots[s].gram != g) s = (s + 1) & mask;
    int b = slots[s].bucket;
    if (b < 0) continue;
    for (int k = t_.bucket_start[b]; k < t_.bucket_start[b + 1]; k++) {
      int t = t_.bucket_keys[k].text;
      const Tables::Text &text = texts[t];
      size_t at = (size_t)t_.bucket_keys[k].at, tlen = text.len;
      if (t_.found[t] == t_.lookup || pos < at || pos - at + tlen > len ||
          !folded_equal(message + pos - at, chars + text.at, tlen))
        continue;
      t_.found[t] = t_.lookup;
      for (uint32_t j = text.item_start; j < texts[t + 1].item_start; j++) {
        int i = t_.items[j];
        if (!levels[i] || levels[i] == level) t_.hits[nhits++] = i;
      }
    }
  }
  int *hits = t_.hits.data();
  std::sort(hits, hits + nhits);

  // Those, and the items without a text, in the order added.
  size_t u = 0;
  int h = 0;
  for (;;) {
    int i;
    if (h < nhits && (u == t_.untexted.size() || hits[h] < t_.untexted[u])) {
      i = hits[h++];
    } else if (u < t_.untexted.size()) {
      i = t_.untexted[u++];
      if (levels[i] && levels[i] != level) continue;
    } else {
      return -1;
    }
    if (items_[i].pattern.match(message)) return i;
  }
}
