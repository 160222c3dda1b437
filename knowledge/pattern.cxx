// pattern.cxx - the knowledge base pattern matcher; pattern.h explains the
// language and the method.
#include "knowledge/pattern.h"

#include <stdlib.h>
#include <string.h>

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
// the next character. open[] and tail[] are scratch, n + 1 entries each.
void find_groups(const char *pat, int n, int *link, int *jump, int *open, int *tail) {
  for (int i = 0; i <= n; i++) {
    link[i] = -1;
    jump[i] = n;
  }
  int depth = 0, base_head = -1, base_tail = -1;
  for (int i = 0; i < n; i++) {
    char c = pat[i];
    if (c == '\\') {
      if (i + 1 < n) i++;
    } else if (c == '{') {
      depth++;
      open[depth] = i;
      tail[depth] = i;
    } else if (c == ',' || c == '|') {
      if (depth > 0) {
        link[tail[depth]] = i;
        tail[depth] = i;
      } else {
        if (base_tail < 0) base_head = i;
        else link[base_tail] = i;
        base_tail = i;
      }
    } else if (c == '}') {
      int from;
      if (depth > 0) {
        from = link[open[depth]];
        depth--;
      } else {
        from = base_head;
        base_head = base_tail = -1;
      }
      for (int j = from; j >= 0; j = link[j]) jump[j] = i + 1;
    }
  }
}

enum {
  SMALL_PATTERN = 256,  // longest pattern matched without allocating
  SMALL_WORDS = (SMALL_PATTERN + 1 + WORD_BITS - 1) / WORD_BITS,
  MASKS = 12,           // single sets used by run_sets()
  CACHE = 32            // steps remembered, by character
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

// Adds to `set` every position reached from it without reading text.
// Runs of "*" and "}" lead on to the next position: a bit that starts in
// such a run flows to its end and one past it, which adding the run mask to
// the starting bits does in one go (the carry ripples through the run).
// Groups and separators then add what they reach, worked out beforehand.
template <int W>
void close_set(Word *set, const Word *onward, const Word *branch,
               const Word *closure, int wd) {
  const int w = W ? W : wd;
  Word carry = 0;
  for (int i = 0; i < w; i++) {
    Word start = set[i] & onward[i];
    Word sum = start + onward[i];
    Word c1 = sum < start;
    Word total = sum + carry;
    Word c2 = total < sum;
    carry = c1 | c2;
    set[i] |= (total ^ onward[i]) | start;
  }
  for (int i = 0; i < w; i++) {
    Word jumps = set[i] & branch[i];
    while (jumps) {
      int q = i * WORD_BITS + __builtin_ctzll(jumps);
      jumps &= jumps - 1;
      const Word *reach = closure + (size_t)q * w;
      for (int k = 0; k < w; k++) set[k] |= reach[k];
    }
  }
}

template <int W>
bool run_sets(const char *pat, int n, int start, const unsigned char *t,
              int wd) {
  const int w = W ? W : wd;

  // Tables: 5 int arrays of n + 1; the closure of each position, the set of
  // positions reading each character the pattern names, and single masks.
  size_t nints = 5 * (size_t)(n + 1) + CACHE;
  size_t nwords = (2 * (size_t)(n + 1) + MASKS + 2 * CACHE) * (size_t)w;
  int small_ints[5 * (SMALL_PATTERN + 1) + CACHE];
  Word small_words[(2 * (SMALL_PATTERN + 1) + MASKS + 2 * CACHE) * SMALL_WORDS];
  int *ints = small_ints;
  Word *words = small_words;
  if (n > SMALL_PATTERN) {
    ints = (int *)malloc(sizeof(int) * nints);
    words = (Word *)malloc(sizeof(Word) * nwords);
    if (!ints || !words) {
      free(ints);
      free(words);
      return false;
    }
  }
  int *link = ints, *jump = link + (n + 1), *open = jump + (n + 1);
  int *tail = open + (n + 1), *singles = tail + (n + 1);
  int *cache_char = singles + (n + 1);
  Word *closure = words;                          // (n + 1) sets
  Word *by_char = closure + (size_t)(n + 1) * w;  // up to n + 1 sets
  Word *mask = by_char + (size_t)(n + 1) * w;
  memset(mask, 0, sizeof(Word) * MASKS * w);
  Word *reads = mask;              // positions that read a character
  Word *any = reads + w;           // "?" and "*": read any character
  Word *next1 = any + w;           // plain characters and "?": go on by one
  Word *next2 = next1 + w;         // "\c": go on by two
  Word *stars = next2 + w;         // "*": stay
  Word *onward = stars + w;        // "*" and "}": lead on without reading
  Word *branch = onward + w;       // "{", "," and "|"
  Word *final_star = branch + w;   // a "*" that ends the pattern
  Word *cur = final_star + w, *next = cur + w, *tmp = next + w;
  Word *cache = mask + MASKS * w;  // CACHE x (set before, set after)
  for (int i = 0; i < CACHE; i++) cache_char[i] = -1;
  unsigned char char_slot[256];    // folded character -> by_char set + 1
  memset(char_slot, 0, sizeof char_slot);
  int nchars = 0, nsingles = 0;    // singles: sets and a final "\"

  find_groups(pat, n, link, jump, open, tail);
  for (int q = 0; q < n; q++) {
    int c = -1;
    switch (pat[q]) {
      case '*':
        set_bit(reads, q);
        set_bit(any, q);
        set_bit(stars, q);
        set_bit(onward, q);
        if (q + 1 == n) set_bit(final_star, q);
        break;
      case '?':
        set_bit(reads, q);
        set_bit(any, q);
        set_bit(next1, q);
        break;
      case '}':
        set_bit(onward, q);
        break;
      case '{':
      case ',':
      case '|':
        set_bit(branch, q);
        break;
      case '[':
        set_bit(reads, q);
        singles[nsingles++] = q;
        break;
      case '\\':
        set_bit(reads, q);
        if (q + 1 == n) {
          singles[nsingles++] = q;
        } else {
          set_bit(next2, q);
          c = fold((unsigned char)pat[q + 1]);
        }
        break;
      default:
        set_bit(reads, q);
        set_bit(next1, q);
        c = fold((unsigned char)pat[q]);
        break;
    }
    if (c >= 0) {
      if (!char_slot[c]) {
        char_slot[c] = (unsigned char)(nchars < 255 ? ++nchars : 0);
        if (char_slot[c]) memset(by_char + (size_t)(nchars - 1) * w, 0, sizeof(Word) * w);
      }
      if (char_slot[c]) set_bit(by_char + (size_t)(char_slot[c] - 1) * w, q);
      else singles[nsingles++] = q;   // only when 255 different characters
    }
  }

  // Everything each position reaches without reading text; moves only go
  // forward, so work from the end.
  for (int q = n; q >= 0; q--) {
    Word *set = closure + (size_t)q * w;
    memset(set, 0, sizeof(Word) * w);
    set_bit(set, q);
    if (q == n) continue;
    switch (pat[q]) {
      case '*':
      case '}':
        for (int k = 0; k < w; k++) set[k] |= closure[(size_t)(q + 1) * w + k];
        break;
      case '{':
        for (int k = 0; k < w; k++) set[k] |= closure[(size_t)(q + 1) * w + k];
        for (int j = link[q]; j >= 0; j = link[j])
          for (int k = 0; k < w; k++) set[k] |= closure[(size_t)(j + 1) * w + k];
        break;
      case ',':
      case '|':
        for (int k = 0; k < w; k++) set[k] |= closure[(size_t)jump[q] * w + k];
        break;
      default:
        break;
    }
  }

  memcpy(cur, closure + (size_t)start * w, sizeof(Word) * w);
  bool result = false;
  for (;; t++) {
    bool alive = false, done = false;
    for (int k = 0; k < w; k++) {
      alive |= (cur[k] & reads[k]) != 0;
      done |= (cur[k] & final_star[k]) != 0;
    }
    if (done) {
      result = true;
      break;
    }
    if (!*t) {
      result = has_bit(cur, n);
      break;
    }
    if (!alive) break;

    // A step already taken from this same set on this character is reused:
    // on long runs of similar text the set soon stops changing.
    unsigned char c = *t;
    int line = c % CACHE;
    Word *before = cache + (size_t)line * 2 * w, *after = before + w;
    if (cache_char[line] == c) {
      bool same = true;
      for (int k = 0; k < w; k++) same &= before[k] == cur[k];
      if (same) {
        for (int k = 0; k < w; k++) cur[k] = after[k];
        continue;
      }
    }

    // The positions that take this character, then where each goes.
    int slot = char_slot[fold(c)];
    const Word *named = slot ? by_char + (size_t)(slot - 1) * w : 0;
    for (int k = 0; k < w; k++)
      tmp[k] = cur[k] & (any[k] | (named ? named[k] : 0));
    Word *by_one = next;
    for (int k = 0; k < w; k++) by_one[k] = tmp[k] & next1[k];
    shift_up<W>(by_one, by_one, 1, w);
    for (int k = 0; k < w; k++) {
      Word two = tmp[k] & next2[k];
      tmp[k] = (tmp[k] & stars[k]) | by_one[k];
      by_one[k] = two;
    }
    shift_up<W>(by_one, by_one, 2, w);
    for (int k = 0; k < w; k++) next[k] = tmp[k] | by_one[k];
    for (int i = 0; i < nsingles; i++) {
      int q = singles[i];
      if (!has_bit(cur, q)) continue;
      int dest = step(pat, n, q, c);
      if (dest >= 0) set_bit(next, dest);
    }
    close_set<W>(next, onward, branch, closure, w);
    cache_char[line] = c;
    memcpy(before, cur, sizeof(Word) * w);
    memcpy(after, next, sizeof(Word) * w);
    Word *swap = cur;
    cur = next;
    next = swap;
  }
  if (ints != small_ints) {
    free(ints);
    free(words);
  }
  return result;
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
// 256 element tries plus 8 for each retry, and also at the first group,
// separator or brace, and run_sets() decides.
int run_plain(const char *p, const unsigned char *t) {
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
    if (*p == '{' || *p == '}' || *p == ',' || *p == '|') return -1;
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

bool run(const char *pat, int start, const unsigned char *t) {
  int plain = run_plain(pat + start, t);
  if (plain >= 0) return plain == 1;
  size_t len = strlen(pat);
  if (len > 0x3fffffff) return false;
  int n = (int)len;
  int w = (n + 1 + WORD_BITS - 1) / WORD_BITS;
  switch (w) {
    case 1: return run_sets<1>(pat, n, start, t, w);
    case 2: return run_sets<2>(pat, n, start, t, w);
    default: return run_sets<0>(pat, n, start, t, w);
  }
}

}  // namespace

bool pattern_match(const char *text, const char *pattern) {
  if (!text || !pattern) return false;
  const unsigned char *t = (const unsigned char *)text;
  const char *p = pattern;
  // Most patterns start with plain words: compare those directly.
  for (;;) {
    while (!kTables.stop[(unsigned char)*p]) {
      if (fold((unsigned char)*p) != fold(*t)) return false;
      p++;
      t++;
    }
    char c = *p;
    if (!c) return *t == 0;
    if (c == '*' && p[1] == 0) return true;
    if (c != '\\' || !p[1]) break;
    if (fold((unsigned char)p[1]) != fold(*t)) return false;
    p += 2;
    t++;
  }
  return run(pattern, (int)(p - pattern), t);
}
