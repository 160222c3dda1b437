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

// Matching without groups: when an element fails, only the latest "*" takes
// one more character. Gives up (-1) after 256 element tries plus 8 a retry.
int run_quick(const ParsedPattern &pp, const unsigned char *t) {
  const E *e = pp.elements.data(), *end = e + pp.elements.size(), *star_e = 0;
  const unsigned char *star_t = 0;
  long budget = 256;
  for (;;) {
    if (e != end && e->kind == E::STAR) {
      while (e != end && e->kind == E::STAR) e++;
      if (e == end) return 1;
      star_e = e;
      t = star_t = skip(*e, t);
      continue;
    }
    while (e != end && e->kind == E::CHAR && e->c == ParsedPattern::fold(*t)) e++, t++, budget--;
    if (e != end && e->kind == E::STAR) continue;
    if (--budget < 0) return -1;
    if (int took = e != end ? pp.takes(*e, t) : 0) {
      e++, t += took;
      continue;
    }
    if (e == end && !*t) return 1;
    if (!star_e || !*star_t) return 0;
    e = star_e;
    budget += 8;
    t = star_t = skip(*e, star_t + 1);
  }
}

// Matching with groups by trying each alternative in turn, on the same moves
// as the set machine below; gives up (-1) after `budget` steps, where the
// machine's bounded work takes over.
struct Backtrack {
  const ParsedPattern &pp;
  long budget;

  bool go(int i, const unsigned char *t) {
    const int end = (int)pp.elements.size();
    for (;;) {
      if (--budget < 0) return false;
      if (i == end) return !*t;
      const E &e = pp.elements[(size_t)i];
      switch (e.kind) {
        case E::STAR:
          if (i + 1 == end) return true;
          // A step for every 32 characters skipped, so a long line costs too.
          for (const unsigned char *from = t;; from = t + 1) {
            t = skip(pp.elements[(size_t)i + 1], from);
            budget -= (t - from) / 32;
            if (go(i + 1, t)) return true;
            if (!*t || budget < 0) return false;
          }
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

// dst |= (src & mask) moved up by k positions (k < WORD_BITS).
inline void shift_or(Word *dst, const Word *src, const Word *mask, int k, int w) {
  Word carry = 0;
  for (int i = 0; i < w; i++) {
    Word v = src[i] & mask[i];
    dst[i] |= (v << k) | carry;
    carry = v >> (WORD_BITS - k);
  }
}

}  // namespace

// The set machine (docs/ARCHITECTURE.md): a position per element, two for a
// quote; the sets of positions that go on by one, by two, stay, lead on
// without reading, branch, end the match at once ("*" before the end), quotes.
struct Pattern::Machine {
  int n = 0, w = 1;
  std::vector<Word> next1, next2, stars, onward, branch, final_star, quotes;
  std::vector<Word> closure;  // per position, all it reaches without reading
  std::vector<Word> by_byte;  // per byte, the positions that take it

  explicit Machine(const ParsedPattern &pp);
  void mark(std::vector<Word> &set, int q) { set_bit(set.data(), q); }
  void reading(int q, unsigned c) { set_bit(by_byte.data() + (size_t)c * w, q); }
  void close_set(Word *set) const;
  bool run(const unsigned char *t) const;
};

Pattern::Machine::Machine(const ParsedPattern &pp) {
  const std::vector<E> &el = pp.elements;
  int count = (int)el.size();
  std::vector<int> pos((size_t)count + 1);
  for (int i = 0, q = 0; i <= count; i++, q++)
    pos[i] = q, q += i < count && el[i].kind == E::QUOTE;
  n = pos[count];
  w = n / WORD_BITS + 1;
  for (std::vector<Word> *v :
       {&next1, &next2, &stars, &onward, &branch, &final_star, &quotes})
    v->assign((size_t)w, 0);
  // What each position reads, and all it reaches without reading (from the
  // end: such moves only go forward).
  closure.assign((size_t)(n + 1) * w, 0);
  by_byte.assign((size_t)256 * w, 0);
  for (int i = count; i >= 0; i--) {
    int q = pos[i];
    Word *set = closure.data() + (size_t)q * w;
    auto add = [&](int element) {
      for (int k = 0; k < w; k++) set[k] |= closure[(size_t)pos[element] * w + k];
    };
    set_bit(set, q);
    if (i == count) continue;
    const E &e = el[i];
    switch (e.kind) {
      case E::STAR:
        mark(stars, q), mark(onward, q), add(i + 1);
        if (has_bit(closure.data() + (size_t)pos[i + 1] * w, n)) mark(final_star, q);
        for (unsigned c = 1; c < 256; c++) reading(q, c);
        break;
      case E::ANY:
        mark(next1, q);
        for (unsigned c = 1; c < 256; c++) reading(q, c);
        break;
      case E::CLOSE: mark(onward, q), add(i + 1); break;
      case E::OPEN:
        mark(branch, q), add(i + 1);
        for (int j = pp.link(i).next; j >= 0; j = pp.link(j).next) add(j + 1);
        break;
      case E::SEP: mark(branch, q), add(pp.link(i).jump); break;
      case E::CHAR:
        mark(next1, q), reading(q, e.c);
        if (e.c >= 'a' && e.c <= 'z') reading(q, e.c - 32);
        break;
      case E::QUOTE:
        mark(next2, q), mark(quotes, q), reading(q, e.c);
        mark(next1, q + 1), reading(q + 1, e.c);
        break;
      case E::SET:
        mark(next1, q);
        for (unsigned c = 1; c < 256; c++)
          if (pp.sets[e.arg].has((unsigned char)c)) reading(q, c);
        break;
      default: break;  // NOTHING
    }
  }
}

// Adds to `set` all it reaches without reading: adding the mask of "*" and "}"
// carries a bit one past the end of its run; branches add their closure.
void Pattern::Machine::close_set(Word *set) const {
  Word carry = 0;
  for (int i = 0; i < w; i++) {
    Word start = set[i] & onward[i], sum = start + onward[i], total = sum + carry;
    carry = (Word)(sum < start) | (Word)(total < sum);
    set[i] |= (total ^ onward[i]) | start;
  }
  for (int i = 0; i < w; i++)
    for (Word jumps = set[i] & branch[i]; jumps; jumps &= jumps - 1) {
      const Word *reach = closure.data() + (size_t)(i * WORD_BITS + __builtin_ctzll(jumps)) * w;
      for (int k = 0; k < w; k++) set[k] |= reach[k];
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
      done |= (cur[k] & final_star[k]) != 0;
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
    // The positions that take this character, and where each goes.
    const Word *named = by_byte.data() + (size_t)c * w;
    for (int k = 0; k < w; k++) {
      before[k] = cur[k] & named[k];
      next[k] = before[k] & stars[k];
    }
    shift_or(next, before, next1.data(), 1, w);
    shift_or(next, before, next2.data(), 2, w);
    if (c == '\\') shift_or(next, cur, quotes.data(), 1, w);
    close_set(next);
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

Pattern::~Pattern() = default;
Pattern::Pattern(Pattern &&other) noexcept = default;
Pattern &Pattern::operator=(Pattern &&other) noexcept = default;

bool Pattern::match(const char *text) const {
  if (!text || null_) return false;
  const unsigned char *t = (const unsigned char *)text;
  Backtrack groups{parsed_, 256};
  int quick = !parsed_.groups ? run_quick(parsed_, t) : groups.go(0, t) ? 1 : groups.budget < 0 ? -1 : 0;
  if (quick >= 0) return quick == 1;
  try {
    if (!machine_) machine_.reset(new Machine(parsed_));
  } catch (const std::bad_alloc &) {
    return false;
  }
  return machine_->run(t);
}

bool pattern_match(const char *text, const char *pattern) {
  if (!text || !pattern) return false;
  return Pattern(pattern).match(text);
}
