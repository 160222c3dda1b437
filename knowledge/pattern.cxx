// pattern.cxx - the knowledge base pattern matcher; pattern.h explains the
// language and the method.
#include "knowledge/pattern.h"

#include <string.h>

#include <new>
#include <vector>

namespace {

// Byte tables: each byte folded to lower case, and which bytes the plain
// comparison loops must stop at (the pattern's special characters and NUL).
struct Tables {
  unsigned char fold[256];
  bool stop[256];
  constexpr Tables() : fold(), stop() {
    for (int c = 0; c < 256; c++) {
      fold[c] = (unsigned char)((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
      stop[c] = c == 0 || c == '?' || c == '*' || c == '[' || c == '{' || c == '}' ||
                c == ',' || c == '|' || c == '\\';
    }
  }
};
constexpr Tables kTables;

inline unsigned char fold(unsigned char c) { return kTables.fold[c]; }

// The character that text matching the element at p must start with, folded,
// when the element is a plain character or an escaped one; else -1.
inline int leading_char(const char *p) {
  unsigned char c = (unsigned char)*p;
  if (!kTables.stop[c]) return fold(c);
  if (c == '\\' && p[1]) return fold((unsigned char)p[1]);
  return -1;
}

// Tries character c on the set whose "[" stands at pat[i]. Returns the
// position after the closing "]" when c belongs to the set, else -1 (also
// when the set is never closed).
int set_step(const char *pat, int i, unsigned char c) {
  int k = i + 1;
  bool negate = false;
  if (pat[k] == '^' || pat[k] == '!') {
    negate = true;
    k++;
  }
  bool member = false;
  bool first = true;
  while (first || pat[k] != ']') {
    if (!pat[k]) return -1;
    unsigned char lo = (unsigned char)pat[k];
    if (pat[k + 1] == '-' && pat[k + 2] && pat[k + 2] != ']') {
      unsigned char hi = (unsigned char)pat[k + 2];
      if (c >= lo && c <= hi) member = true;
      k += 3;
    } else {
      if (c == lo) member = true;
      k++;
    }
    first = false;
  }
  return member != negate ? k + 1 : -1;
}

// Sets of pattern positions, one bit per position.
typedef unsigned long long Word;
enum { WORD_BITS = 64 };

inline void set_bit(Word *set, int q) { set[q / WORD_BITS] |= (Word)1 << (q % WORD_BITS); }
inline bool has_bit(const Word *set, int q) { return (set[q / WORD_BITS] >> (q % WORD_BITS)) & 1; }

// Where position q of the pattern goes on character c, or -1. Positions
// that read no text never get here.
int step(const char *pat, int n, int q, unsigned char c) {
  switch (pat[q]) {
    case '*':
      return q;
    case '?':
      return q + 1;
    case '[':
      return set_step(pat, q, c);
    case '\\':
      if (q + 1 == n) return c == '\\' ? n : -1;
      return fold((unsigned char)pat[q + 1]) == fold(c) ? q + 2 : -1;
    default:
      return fold((unsigned char)pat[q]) == fold(c) ? q + 1 : -1;
  }
}

// Works out, for every group and separator, its alternatives and where
// matching resumes after it: link[] chains a "{" to its first separator and
// each separator to the next one of its group; jump[] is the position after
// the "}" that closes a separator's group, or n when none does. "\" hides
// the next character.
void find_groups(const char *pat, int n, std::vector<int> &link, std::vector<int> &jump) {
  link.assign((size_t)n + 1, -1);
  jump.assign((size_t)n + 1, n);
  std::vector<int> open(1), tail(1);
  int base_head = -1, base_tail = -1;
  for (int i = 0; i < n; i++) {
    char c = pat[i];
    if (c == '\\') {
      if (i + 1 < n) i++;
    } else if (c == '{') {
      open.push_back(i);
      tail.push_back(i);
    } else if (c == ',' || c == '|') {
      if (open.size() > 1) {
        link[tail.back()] = i;
        tail.back() = i;
      } else {
        if (base_tail < 0) base_head = i;
        else link[base_tail] = i;
        base_tail = i;
      }
    } else if (c == '}') {
      int from;
      if (open.size() > 1) {
        from = link[open.back()];
        open.pop_back();
        tail.pop_back();
      } else {
        from = base_head;
        base_head = base_tail = -1;
      }
      for (int j = from; j >= 0; j = link[j]) jump[j] = i + 1;
    }
  }
}

enum {
  SMALL_WORDS = 4,  // sets of up to 256 positions live on the stack
  CACHE = 32        // steps remembered, by character
};

// dst = src moved up by k positions (k < WORD_BITS). W, when not 0, is the
// number of words known at compile time, so that the loops unroll.
template <int W>
void shift_up(Word *dst, const Word *src, int k, int wd) {
  const int w = W ? W : wd;
  Word carry = 0;
  for (int i = 0; i < w; i++) {
    Word v = src[i];
    dst[i] = (v << k) | carry;
    carry = v >> (WORD_BITS - k);
  }
}

// Whether the element at p (not "*", not the end) takes character c, and
// where the next element starts.
bool element_takes(const char *p, unsigned char c, const char **after) {
  switch (*p) {
    case '?':
      *after = p + 1;
      return c != 0;
    case '[': {
      if (!c) return false;
      int to = set_step(p, 0, c);
      if (to < 0) return false;
      *after = p + to;
      return true;
    }
    case '\\':
      if (!p[1]) {
        *after = p + 1;
        return c == '\\';
      }
      *after = p + 2;
      return c && fold((unsigned char)p[1]) == fold(c);
    default:
      *after = p + 1;
      return c && fold((unsigned char)*p) == fold(c);
  }
}

// Matching without groups: every element but "*" takes one character, so
// when an element fails only the latest "*" needs to take one more
// character. That is quick on ordinary lines, but a line made to nearly fit
// can cost the length of the text for every retry; so it gives up (-1) after
// 256 element tries plus 8 for each retry, and the set machine decides.
int run_quick(const char *p, const unsigned char *t) {
  long budget = 256;
  const char *star_p = 0;
  const unsigned char *star_t = 0;
  for (;;) {
    if (*p == '*') {
      while (*p == '*') p++;
      if (!*p) return 1;
      star_p = p;
      star_t = t;
      // Skip text that cannot start what follows the star.
      int want = leading_char(p);
      if (want >= 0)
        while (*star_t && fold(*star_t) != want) star_t++;
      t = star_t;
      continue;
    }
    // A run of plain characters, compared in one go.
    while (!kTables.stop[(unsigned char)*p] && fold((unsigned char)*p) == fold(*t)) {
      p++;
      t++;
      budget--;
    }
    if (*p == '*') continue;
    const char *after;
    if (--budget < 0) return -1;
    if (*t && *p && element_takes(p, *t, &after)) {
      p = after;
      t++;
      continue;
    }
    if (!*t && !*p) return 1;
    if (!star_p || !*star_t) return 0;
    p = star_p;
    ++star_t;
    budget += 8;
    int want = leading_char(p);
    if (want >= 0)
      while (*star_t && fold(*star_t) != want) star_t++;
    t = star_t;
  }
}

// Whether a rest can go the quick way: no groups, separators or braces.
bool has_groups(const std::string &p) {
  for (size_t i = 0; i < p.size(); i++) {
    char c = p[i];
    if (c == '\\') i++;
    else if (c == '{' || c == '}' || c == ',' || c == '|') return true;
  }
  return false;
}

}  // namespace

// The set machine of one pattern: its tables, worked out once.
struct Pattern::Machine {
  std::string pat;
  int n = 0, w = 1;
  // One set each: positions that read a character; "?" and "*" (read any
  // character); plain characters and "?" (go on by one); "\c" (go on by
  // two); "*" (stay); "*" and "}" (lead on without reading); "{", "," and
  // "|"; a "*" that ends the pattern.
  std::vector<Word> reads, any, next1, next2, stars, onward, branch, final_star;
  std::vector<Word> closure;   // per position, all it reaches without reading
  std::vector<Word> by_char;   // per character the pattern names, the
                               // positions reading it
  unsigned char char_slot[256];  // folded character -> by_char set + 1
  std::vector<int> singles;    // positions stepped one by one: sets, a final "\"

  explicit Machine(const std::string &p);
  bool run(const unsigned char *t) const;
  template <int W>
  bool run_sets(const unsigned char *t, Word *scratch, int *cache_char) const;
  template <int W>
  void close_set(Word *set) const;
};

Pattern::Machine::Machine(const std::string &p) : pat(p) {
  n = (int)pat.size();
  w = (n + 1 + WORD_BITS - 1) / WORD_BITS;
  size_t sw = (size_t)w;
  for (std::vector<Word> *v : {&reads, &any, &next1, &next2, &stars, &onward, &branch, &final_star})
    v->assign(sw, 0);
  memset(char_slot, 0, sizeof char_slot);
  std::vector<int> link, jump;
  find_groups(pat.c_str(), n, link, jump);
  int nchars = 0;
  for (int q = 0; q < n; q++) {
    int c = -1;
    switch (pat[q]) {
      case '*':
        set_bit(reads.data(), q);
        set_bit(any.data(), q);
        set_bit(stars.data(), q);
        set_bit(onward.data(), q);
        if (q + 1 == n) set_bit(final_star.data(), q);
        break;
      case '?':
        set_bit(reads.data(), q);
        set_bit(any.data(), q);
        set_bit(next1.data(), q);
        break;
      case '}':
        set_bit(onward.data(), q);
        break;
      case '{':
      case ',':
      case '|':
        set_bit(branch.data(), q);
        break;
      case '[':
        set_bit(reads.data(), q);
        singles.push_back(q);
        break;
      case '\\':
        set_bit(reads.data(), q);
        if (q + 1 == n) {
          singles.push_back(q);
        } else {
          set_bit(next2.data(), q);
          c = fold((unsigned char)pat[q + 1]);
        }
        break;
      default:
        set_bit(reads.data(), q);
        set_bit(next1.data(), q);
        c = fold((unsigned char)pat[q]);
        break;
    }
    if (c >= 0) {
      if (!char_slot[c] && nchars < 255) {
        char_slot[c] = (unsigned char)++nchars;
        by_char.resize((size_t)nchars * sw, 0);
      }
      if (char_slot[c]) set_bit(by_char.data() + (size_t)(char_slot[c] - 1) * sw, q);
      else singles.push_back(q);   // only when 255 different characters
    }
  }

  // Everything each position reaches without reading text; moves only go
  // forward, so work from the end.
  closure.assign((size_t)(n + 1) * sw, 0);
  for (int q = n; q >= 0; q--) {
    Word *set = closure.data() + (size_t)q * sw;
    set_bit(set, q);
    if (q == n) continue;
    auto add = [&](int from) {
      for (size_t k = 0; k < sw; k++) set[k] |= closure[(size_t)from * sw + k];
    };
    switch (pat[q]) {
      case '*':
      case '}':
        add(q + 1);
        break;
      case '{':
        add(q + 1);
        for (int j = link[q]; j >= 0; j = link[j]) add(j + 1);
        break;
      case ',':
      case '|':
        add(jump[q]);
        break;
      default:
        break;
    }
  }
}

// Adds to `set` every position reached from it without reading text.
// Runs of "*" and "}" lead on to the next position: a bit that starts in
// such a run flows to its end and one past it, which adding the run mask to
// the starting bits does in one go (the carry ripples through the run).
// Groups and separators then add what they reach.
template <int W>
void Pattern::Machine::close_set(Word *set) const {
  const int wd = W ? W : w;
  Word carry = 0;
  for (int i = 0; i < wd; i++) {
    Word start = set[i] & onward[i];
    Word sum = start + onward[i];
    Word c1 = sum < start;
    Word total = sum + carry;
    Word c2 = total < sum;
    carry = c1 | c2;
    set[i] |= (total ^ onward[i]) | start;
  }
  for (int i = 0; i < wd; i++) {
    Word jumps = set[i] & branch[i];
    while (jumps) {
      int q = i * WORD_BITS + __builtin_ctzll(jumps);
      jumps &= jumps - 1;
      const Word *reach = closure.data() + (size_t)q * wd;
      for (int k = 0; k < wd; k++) set[k] |= reach[k];
    }
  }
}

template <int W>
bool Pattern::Machine::run_sets(const unsigned char *t, Word *scratch, int *cache_char) const {
  const int wd = W ? W : w;
  Word *cur = scratch, *next = cur + wd, *tmp = next + wd;
  Word *cache = tmp + wd;   // CACHE x (set before, set after)
  for (int i = 0; i < CACHE; i++) cache_char[i] = -1;

  memcpy(cur, closure.data(), sizeof(Word) * wd);
  for (;; t++) {
    bool alive = false, done = false;
    for (int k = 0; k < wd; k++) {
      alive |= (cur[k] & reads[k]) != 0;
      done |= (cur[k] & final_star[k]) != 0;
    }
    if (done) return true;
    if (!*t) return has_bit(cur, n);
    if (!alive) return false;

    // A step already taken from this same set on this character is reused:
    // on long runs of similar text the set soon stops changing.
    unsigned char c = *t;
    int line = c % CACHE;
    Word *before = cache + (size_t)line * 2 * wd, *after = before + wd;
    if (cache_char[line] == c) {
      bool same = true;
      for (int k = 0; k < wd; k++) same &= before[k] == cur[k];
      if (same) {
        for (int k = 0; k < wd; k++) cur[k] = after[k];
        continue;
      }
    }

    // The positions that take this character, then where each goes.
    int slot = char_slot[fold(c)];
    const Word *named = slot ? by_char.data() + (size_t)(slot - 1) * wd : 0;
    for (int k = 0; k < wd; k++) tmp[k] = cur[k] & (any[k] | (named ? named[k] : 0));
    Word *by_one = next;
    for (int k = 0; k < wd; k++) by_one[k] = tmp[k] & next1[k];
    shift_up<W>(by_one, by_one, 1, wd);
    for (int k = 0; k < wd; k++) {
      Word two = tmp[k] & next2[k];
      tmp[k] = (tmp[k] & stars[k]) | by_one[k];
      by_one[k] = two;
    }
    shift_up<W>(by_one, by_one, 2, wd);
    for (int k = 0; k < wd; k++) next[k] = tmp[k] | by_one[k];
    for (int q : singles) {
      if (!has_bit(cur, q)) continue;
      int dest = step(pat.c_str(), n, q, c);
      if (dest >= 0) set_bit(next, dest);
    }
    close_set<W>(next);
    cache_char[line] = c;
    memcpy(before, cur, sizeof(Word) * wd);
    memcpy(after, next, sizeof(Word) * wd);
    Word *swap = cur;
    cur = next;
    next = swap;
  }
}

bool Pattern::Machine::run(const unsigned char *t) const {
  // Scratch: the current, next and a spare set, and the remembered steps.
  enum { SETS = 3 + 2 * CACHE };
  int cache_char[CACHE];
  if (w <= SMALL_WORDS) {
    Word scratch[SETS * SMALL_WORDS];
    switch (w) {
      case 1: return run_sets<1>(t, scratch, cache_char);
      case 2: return run_sets<2>(t, scratch, cache_char);
      default: return run_sets<0>(t, scratch, cache_char);
    }
  }
  std::vector<Word> scratch((size_t)SETS * (size_t)w);
  return run_sets<0>(t, scratch.data(), cache_char);
}

Pattern::Pattern(const char *pattern) : kind_(NONE) {
  if (!pattern) return;
  pattern_ = pattern;
  if (pattern_.empty()) {
    kind_ = END;
  } else if (pattern_ == "*") {
    kind_ = ANY;
  } else if (!has_groups(pattern_)) {
    kind_ = QUICK;
  } else {
    try {
      machine_.reset(new Machine(pattern_));
      kind_ = GROUPS;
    } catch (const std::bad_alloc &) {
      // Without its tables the pattern matches nothing.
    }
  }
}

Pattern::~Pattern() = default;
Pattern::Pattern(Pattern &&other) noexcept = default;
Pattern &Pattern::operator=(Pattern &&other) noexcept = default;

bool Pattern::match(const char *text) const {
  if (!text) return false;
  const unsigned char *t = (const unsigned char *)text;
  switch (kind_) {
    case NONE: return false;
    case END: return *t == 0;
    case ANY: return true;
    case QUICK: {
      int quick = run_quick(pattern_.c_str(), t);
      if (quick >= 0) return quick == 1;
      try {
        if (!machine_) machine_.reset(new Machine(pattern_));
      } catch (const std::bad_alloc &) {
        return false;
      }
      return machine_->run(t);
    }
    default: return machine_->run(t);
  }
}

bool pattern_match(const char *text, const char *pattern) {
  if (!text || !pattern) return false;
  return Pattern(pattern).match(text);
}
