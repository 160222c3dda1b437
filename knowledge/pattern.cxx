// pattern.cxx - the knowledge base pattern matcher; pattern.h explains the
// language and the method.
#include "knowledge/pattern.h"

#include <stdlib.h>
#include <string.h>

namespace {

inline unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + ('a' - 'A')) : c;
}

inline bool is_special(char c) {
  return c == '?' || c == '*' || c == '[' || c == '{' || c == '}' ||
         c == ',' || c == '|' || c == '\\';
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
  SMALL_PATTERN = 256,          // longest pattern matched without allocating
  SMALL_WORDS = (SMALL_PATTERN + 1 + WORD_BITS - 1) / WORD_BITS,
  CACHE = 64                    // remembered steps, by character
};

bool run(const char *pat, int start, const unsigned char *t) {
  size_t len = strlen(pat);
  if (len > 0x3fffffff) return false;
  int n = (int)len;
  int w = (n + 1 + WORD_BITS - 1) / WORD_BITS;

  // Tables: 4 int arrays of n + 1 and the cache keys; the closure of each
  // position, 4 single sets and the cache's from/to sets.
  size_t nints = 4 * (size_t)(n + 1) + CACHE;
  size_t nwords = ((size_t)(n + 1) + 4 + 2 * CACHE) * (size_t)w;
  int small_ints[4 * (SMALL_PATTERN + 1) + CACHE];
  Word small_words[(SMALL_PATTERN + 1 + 4 + 2 * CACHE) * SMALL_WORDS];
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
  int *tail = open + (n + 1), *cache_char = tail + (n + 1);
  Word *closure = words;                       // (n + 1) sets
  Word *reads = closure + (size_t)(n + 1) * w;  // positions that read a character
  Word *final_star = reads + w;                 // a "*" that ends the pattern
  Word *cur = final_star + w, *next = cur + w;
  Word *cache = next + w;                       // CACHE x (from, to)

  find_groups(pat, n, link, jump, open, tail);
  memset(reads, 0, sizeof(Word) * 2 * w);
  for (int i = 0; i < CACHE; i++) cache_char[i] = -1;

  // Everything each position reaches without reading text; moves only go
  // forward, so work from the end.
  for (int q = n; q >= 0; q--) {
    Word *set = closure + (size_t)q * w;
    memset(set, 0, sizeof(Word) * w);
    set_bit(set, q);
    int to[2] = {-1, -1};
    if (q < n) {
      switch (pat[q]) {
        case '*':
          set_bit(reads, q);
          if (q + 1 == n) set_bit(final_star, q);
          to[0] = q + 1;
          break;
        case '{':
          to[0] = q + 1;
          for (int j = link[q]; j >= 0; j = link[j]) {
            const Word *alt = closure + (size_t)(j + 1) * w;
            for (int k = 0; k < w; k++) set[k] |= alt[k];
          }
          break;
        case ',':
        case '|':
          to[0] = jump[q];
          break;
        case '}':
          to[0] = q + 1;
          break;
        default:
          set_bit(reads, q);
          break;
      }
    }
    for (int i = 0; i < 2; i++) {
      if (to[i] < 0) continue;
      const Word *other = closure + (size_t)to[i] * w;
      for (int k = 0; k < w; k++) set[k] |= other[k];
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
    int slot = c % CACHE;
    Word *from = cache + (size_t)slot * 2 * w, *to = from + w;
    if (cache_char[slot] == c) {
      bool same = true;
      for (int k = 0; k < w; k++) same &= from[k] == cur[k];
      if (same) {
        for (int k = 0; k < w; k++) cur[k] = to[k];
        continue;
      }
    }
    memset(next, 0, sizeof(Word) * w);
    for (int k = 0; k < w; k++) {
      Word live = cur[k] & reads[k];
      while (live) {
        int q = k * WORD_BITS + __builtin_ctzll(live);
        live &= live - 1;
        int dest = step(pat, n, q, c);
        if (dest < 0) continue;
        const Word *reach = closure + (size_t)dest * w;
        for (int j = 0; j < w; j++) next[j] |= reach[j];
      }
    }
    cache_char[slot] = c;
    memcpy(from, cur, sizeof(Word) * w);
    memcpy(to, next, sizeof(Word) * w);
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

}  // namespace

bool pattern_match(const char *text, const char *pattern) {
  if (!text || !pattern) return false;
  const unsigned char *t = (const unsigned char *)text;
  const char *p = pattern;
  // Most patterns start with plain words: compare those directly.
  for (;;) {
    char c = *p;
    if (!c) return *t == 0;
    if (c == '*' && p[1] == 0) return true;
    if (c == '\\') {
      if (!p[1]) break;
      if (fold((unsigned char)p[1]) != fold(*t)) return false;
      p += 2;
      t++;
      continue;
    }
    if (is_special(c)) break;
    if (fold((unsigned char)c) != fold(*t)) return false;
    p++;
    t++;
  }
  return run(pattern, (int)(p - pattern), t);
}
