// pattern.cxx - the knowledge base pattern matcher: the quick ways, and the
// set machine (docs/ARCHITECTURE.md says how).
#include "knowledge/pattern.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <vector>

namespace {

typedef PatternElement E;

// Skips text that cannot start element e (a letter's 0x20 bit tells its case).
const unsigned char *skip(const E &e, const unsigned char *t) {
  unsigned char up = e.c >= 'a' && e.c <= 'z' ? 0x20 : 0;
  if (e.kind == E::CHAR)
    while (*t && (*t | up) != e.c) t++;
  else if (e.kind == E::QUOTE)
    while (*t && *t != e.c && *t != '\\') t++;
  return t;
}

// The quick way: each alternative of a group in turn, each length a "*" may
// take, on the same moves as the set machine below. Gives up (budget below 0)
// after `budget` steps, where the machine's bounded work takes over.
struct Backtrack {
  const ParsedPattern &pp;
  long budget;
  bool stuck = false;  // a "*" took all it could: without groups, earlier ones need not retry

  bool go(int i, const unsigned char *t) {
    const int end = (int)pp.elements.size();
    for (;;) {
      for (; i < end && pp.elements[(size_t)i].kind == E::CHAR; i++, t++, budget--)
        if (pp.elements[(size_t)i].c != ParsedPattern::fold(*t)) return false;
      if (--budget < 0) return false;
      if (i == end) return !*t;
      const E &e = pp.elements[(size_t)i];
      switch (e.kind) {
        case E::STAR:
          if (i + 1 == end) return true;
          // A step for every 32 characters skipped, so a long line costs too.
          for (const unsigned char *from = t;; from = t + 1) {
            t = skip(pp.elements[(size_t)i + 1], from);
            budget -= pp.groups ? (t - from) / 32 : 0;
            if (go(i + 1, t)) return true;
            if (!*t || budget < 0 || stuck) break;
          }
          stuck = !pp.groups;
          return false;
        case E::OPEN:
          if (go(i + 1, t)) return true;
          for (int j = pp.link(i).next; j >= 0 && budget >= 0; j = pp.link(j).next)
            if (go(j + 1, t)) return true;
          return false;
        case E::SEP: i = pp.link(i).jump; break;
        case E::CLOSE: i++; break;
        default:
          if (int took = pp.takes(e, t)) {
            t += took, i++;
            break;
          }
          return false;
      }
    }
  }
};

typedef unsigned long long Word;  // sets of machine positions, a bit each
enum { WORD_BITS = 64, CACHE = 32 };  // CACHE: steps remembered, by character

inline void set_bit(Word *set, int q) { set[q / WORD_BITS] |= (Word)1 << (q % WORD_BITS); }
inline bool has_bit(const Word *set, int q) { return (set[q / WORD_BITS] >> (q % WORD_BITS)) & 1; }

}  // namespace

// The set machine (docs/ARCHITECTURE.md): a position per element, three for a
// quote (the quote; a backslash; the quote after it), and the end.
struct Pattern::Machine {
  int n = 0, w = 1;           // the end's position, words a set
  std::vector<Word> closure;  // per position, all it reaches without reading
  std::vector<Word> by_byte;  // per byte, the positions that take it
  std::vector<Word> accept;   // the "*"s that reach the end without reading
  std::vector<int> to;        // per position, whose closure it goes on to

  explicit Machine(const ParsedPattern &pp);
  Word *row(int q) { return closure.data() + (size_t)q * w; }
  bool run(const unsigned char *t) const;
};

Pattern::Machine::Machine(const ParsedPattern &pp) {
  const std::vector<E> &el = pp.elements;
  int count = (int)el.size();
  std::vector<int> pos((size_t)count + 1);
  for (int i = 0, q = 0; i <= count; i++, q++)
    pos[i] = q, q += i < count && el[i].kind == E::QUOTE ? 2 : 0;
  n = pos[count];
  w = n / WORD_BITS + 1;
  closure.assign((size_t)(n + 1) * w, 0);
  by_byte.assign((size_t)256 * w, 0);
  accept.assign((size_t)w, 0);
  to.assign((size_t)n + 1, 0);
  auto reads = [&](int q, unsigned c) { set_bit(by_byte.data() + (size_t)c * w, q); };
  // From the end: moves without reading only go forward.
  for (int i = count; i >= 0; i--) {
    int q = pos[i];
    Word *set = row(q);
    auto add = [&](int element) {
      for (int k = 0; k < w; k++) set[k] |= row(pos[element])[k];
    };
    set_bit(set, q);
    if (i == count) continue;
    const E &e = el[i];
    to[q] = pos[i + 1];
    switch (e.kind) {
      case E::STAR:
        add(i + 1), to[q] = q;
        if (has_bit(row(pos[i + 1]), n)) set_bit(accept.data(), q);
        [[fallthrough]];
      case E::ANY:
        for (unsigned c = 1; c < 256; c++) reads(q, c);
        break;
      case E::CLOSE: add(i + 1); break;
      case E::OPEN:
        add(i + 1);
        for (int j = pp.link(i).next; j >= 0; j = pp.link(j).next) add(j + 1);
        break;
      case E::SEP: add(pp.link(i).jump); break;
      case E::CHAR:
        reads(q, e.c);
        if (e.c >= 'a' && e.c <= 'z') reads(q, e.c - 32);
        break;
      case E::QUOTE:
        set_bit(set, q + 1), set_bit(row(q + 1), q + 1), set_bit(row(q + 2), q + 2);
        reads(q, e.c), reads(q + 1, '\\'), reads(q + 2, e.c);
        to[q + 1] = q + 2, to[q + 2] = pos[i + 1];
        break;
      case E::SET:
        for (unsigned c = 1; c < 256; c++)
          if (pp.sets[e.arg].has((unsigned char)c)) reads(q, c);
        break;
      default: break;  // NOTHING
    }
  }
}

bool Pattern::Machine::run(const unsigned char *t) const {
  // The current and the next set, and CACHE steps (the set before and after).
  thread_local std::vector<Word> scratch;
  scratch.resize(std::max(scratch.size(), (size_t)(2 + 2 * CACHE) * w));
  Word *cur = scratch.data(), *next = cur + w, *cache = next + w;
  int cache_char[CACHE];
  for (int &c : cache_char) c = -1;
  memcpy(cur, closure.data(), sizeof(Word) * w);
  for (;; t++) {
    // Alive while a position but the end is left.
    bool alive = false, done = false;
    for (int k = 0; k < w; k++) {
      alive |= (cur[k] & ~(k == n / WORD_BITS ? (Word)1 << (n % WORD_BITS) : 0)) != 0;
      done |= (cur[k] & accept[k]) != 0;
    }
    if (done) return true;
    if (!*t) return has_bit(cur, n);
    if (!alive) return false;

    // A step taken before from the same set on the same character is reused.
    unsigned char c = *t;
    Word *before = cache + (size_t)(c % CACHE) * 2 * w, *after = before + w;
    if (cache_char[c % CACHE] == c && memcmp(before, cur, sizeof(Word) * w) == 0) {
      memcpy(cur, after, sizeof(Word) * w);
      continue;
    }
    // Each position that takes this character goes on to all its next one reaches.
    memset(next, 0, sizeof(Word) * w);
    const Word *named = by_byte.data() + (size_t)c * w;
    for (int i = 0; i < w; i++)
      for (Word live = cur[i] & named[i]; live; live &= live - 1) {
        const Word *reach = closure.data() + (size_t)to[(size_t)(i * WORD_BITS + __builtin_ctzll(live))] * w;
        for (int k = 0; k < w; k++) next[k] |= reach[k];
      }
    cache_char[c % CACHE] = c;
    memcpy(before, cur, sizeof(Word) * w);
    memcpy(after, next, sizeof(Word) * w);
    std::swap(cur, next);
  }
}

Pattern::Pattern(const char *pattern) : null_(true) {
  try {
    if (pattern) *this = Pattern(parse_pattern(pattern));
  } catch (const std::bad_alloc &) {
  }
}

Pattern::Pattern(ParsedPattern parsed) : null_(false), parsed_(std::move(parsed)) {
  parsed_.faults.clear();
  parsed_.elements.shrink_to_fit();
}

bool Pattern::match(const char *text) const {
  if (!text || null_) return false;
  const unsigned char *t = (const unsigned char *)text;
  Backtrack quick{parsed_, 256};
  if (quick.go(0, t)) return true;
  if (quick.budget >= 0) return false;
  try {
    if (!machine_) machine_ = std::make_shared<const Machine>(parsed_);
  } catch (const std::bad_alloc &) {
    return false;
  }
  return machine_->run(t);
}

bool pattern_match(const char *text, const char *pattern) {
  if (!text || !pattern) return false;
  return Pattern(pattern).match(text);
}
