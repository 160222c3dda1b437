// pattern.cxx - the knowledge base pattern matcher: the quick way for patterns
// without groups, and the set machine for the rest.
#include "knowledge/pattern.h"

#include <string.h>

#include <new>
#include <vector>

namespace {

typedef PatternElement E;

inline unsigned char fold(unsigned char c) { return ParsedPattern::fold(c); }

// Skips text that cannot start element e.
const unsigned char *skip(const E &e, const unsigned char *t) {
  if (e.kind == E::CHAR)
    while (*t && fold(*t) != e.c) t++;
  else if (e.kind == E::QUOTE)
    while (*t && *t != e.c && *t != '\\') t++;
  return t;
}

// Matching without groups. Wherever it stands, an element other than "*"
// takes a fixed number of characters or none, so when one fails only the
// latest "*" needs to take one more. A line made to nearly fit can cost the
// text's length for every retry, so it gives up (-1) after 256 element tries
// plus 8 for each retry, and the set machine decides.
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
    while (e != end && e->kind == E::CHAR && e->c == fold(*t)) e++, t++, budget--;
    if (e != end && e->kind == E::STAR) continue;
    if (--budget < 0) return -1;
    int took = e != end ? pp.takes(*e, t) : 0;
    if (took) {
      e++;
      t += took;
      continue;
    }
    if (e == end && !*t) return 1;
    if (!star_e || !*star_t) return 0;
    e = star_e;
    budget += 8;
    t = star_t = skip(*e, star_t + 1);
  }
}

// Sets of machine positions, one bit each.
typedef unsigned long long Word;
enum {
  WORD_BITS = 64,
  SMALL_WORDS = 4,  // sets of up to 256 positions live on the stack
  CACHE = 32        // steps remembered, by character
};

inline void set_bit(Word *set, int q) { set[q / WORD_BITS] |= (Word)1 << (q % WORD_BITS); }
inline bool has_bit(const Word *set, int q) { return (set[q / WORD_BITS] >> (q % WORD_BITS)) & 1; }

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

}  // namespace

// The set machine: the set of positions the text read so far can reach,
// moved a word of positions at a time. A position per element, and a second
// one for a quote: after the backslash before it.
struct Pattern::Machine {
  int n = 0, w = 1;
  // One set each: positions that read; read any byte ("?", "*"); go on by one;
  // by two (a quote read at once); stay ("*"); lead on without reading ("*",
  // "}"); branch ("{", separators); a "*" that can reach the end without
  // reading; quotes (a backslash leads to their second position).
  std::vector<Word> reads, any, next1, next2, stars, onward, branch, final_star, quotes;
  std::vector<Word> closure;   // per position, all it reaches without reading
  std::vector<Word> by_byte;   // per byte the pattern names, the positions reading it
  unsigned char slot[256] = {};  // byte -> by_byte set + 1

  explicit Machine(const ParsedPattern &pp);
  void reading(int q, unsigned c) {
    if (!slot[c]) {
      slot[c] = (unsigned char)(by_byte.size() / (size_t)w + 1);
      by_byte.resize(by_byte.size() + (size_t)w, 0);
    }
    set_bit(by_byte.data() + (size_t)(slot[c] - 1) * w, q);
  }
  bool run(const unsigned char *t) const;
  template <int W>
  bool run_sets(const unsigned char *t, Word *scratch, int *cache_char) const;
  template <int W>
  void close_set(Word *set) const;
};

Pattern::Machine::Machine(const ParsedPattern &pp) {
  const std::vector<E> &el = pp.elements;
  int count = (int)el.size();
  std::vector<int> pos((size_t)count + 1);
  for (int i = 0, q = 0; i <= count; i++) {
    pos[i] = q;
    q += i < count && el[i].kind == E::QUOTE ? 2 : 1;
  }
  n = pos[count];
  w = n / WORD_BITS + 1;
  for (std::vector<Word> *v :
       {&reads, &any, &next1, &next2, &stars, &onward, &branch, &final_star, &quotes})
    v->assign((size_t)w, 0);
  for (int i = 0; i < count; i++) {
    const E &e = el[i];
    int q = pos[i];
    std::vector<Word> *sets[4] = {};
    switch (e.kind) {
      case E::STAR: sets[0] = &any, sets[1] = &stars, sets[2] = &onward, sets[3] = &reads; break;
      case E::ANY: sets[0] = &any, sets[1] = &next1, sets[2] = &reads; break;
      case E::CLOSE: sets[0] = &onward; break;
      case E::OPEN:
      case E::SEP: sets[0] = &branch; break;
      case E::CHAR:
        sets[0] = &next1, sets[1] = &reads;
        reading(q, e.c);
        if (e.c >= 'a' && e.c <= 'z') reading(q, e.c - 32);
        break;
      case E::QUOTE:
        sets[0] = &next2, sets[1] = &quotes, sets[2] = &reads;
        set_bit(reads.data(), q + 1);
        set_bit(next1.data(), q + 1);
        reading(q, e.c);
        reading(q + 1, e.c);
        break;
      case E::SET:
        sets[0] = &next1, sets[1] = &reads;
        for (unsigned c = 1; c < 256; c++)
          if (pp.sets[e.arg].has((unsigned char)c)) reading(q, c);
        break;
      default: break;  // NOTHING
    }
    for (std::vector<Word> *s : sets)
      if (s) set_bit(s->data(), q);
  }

  // Everything each position reaches without reading; moves only go forward,
  // so work from the end.
  size_t sw = (size_t)w;
  closure.assign((size_t)(n + 1) * sw, 0);
  for (int i = count; i >= 0; i--) {
    Word *set = closure.data() + (size_t)pos[i] * sw;
    set_bit(set, pos[i]);
    if (i == count) continue;
    auto add = [&](int element) {
      for (size_t k = 0; k < sw; k++) set[k] |= closure[(size_t)pos[element] * sw + k];
    };
    switch (el[i].kind) {
      case E::STAR:
      case E::CLOSE: add(i + 1); break;
      case E::OPEN:
        add(i + 1);
        for (int j = pp.link(i).next; j >= 0; j = pp.link(j).next) add(j + 1);
        break;
      case E::SEP: add(pp.link(i).jump); break;
      case E::QUOTE: set_bit(closure.data() + (size_t)(pos[i] + 1) * sw, pos[i] + 1); break;
      default: break;
    }
  }
  for (int i = 0; i < count; i++)
    if (el[i].kind == E::STAR && has_bit(closure.data() + (size_t)pos[i + 1] * sw, n))
      set_bit(final_star.data(), pos[i]);
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
  Word *cache = tmp + wd;  // CACHE x (set before, set after)
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
    const Word *named = slot[c] ? by_byte.data() + (size_t)(slot[c] - 1) * wd : 0;
    for (int k = 0; k < wd; k++) tmp[k] = cur[k] & (any[k] | (named ? named[k] : 0));
    for (int k = 0; k < wd; k++) next[k] = tmp[k] & next1[k];
    shift_up<W>(next, next, 1, wd);
    for (int k = 0; k < wd; k++) {
      Word two = tmp[k] & next2[k];
      tmp[k] = (tmp[k] & stars[k]) | next[k];
      next[k] = two;
    }
    shift_up<W>(next, next, 2, wd);
    for (int k = 0; k < wd; k++) tmp[k] |= next[k];
    if (c == '\\') {
      for (int k = 0; k < wd; k++) next[k] = cur[k] & quotes[k];
      shift_up<W>(next, next, 1, wd);
      for (int k = 0; k < wd; k++) tmp[k] |= next[k];
    }
    for (int k = 0; k < wd; k++) next[k] = tmp[k];
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
  try {
    if (pattern) *this = Pattern(parse_pattern(pattern));
  } catch (const std::bad_alloc &) {
    kind_ = NONE;
  }
}

Pattern::Pattern(ParsedPattern parsed) : kind_(QUICK), parsed_(std::move(parsed)) {
  parsed_.faults.clear();
  parsed_.elements.shrink_to_fit();
  bool stars = !parsed_.elements.empty();
  for (const E &e : parsed_.elements) stars &= e.kind == E::STAR;
  if (stars) kind_ = ANY;
  else if (parsed_.groups) kind_ = GROUPS;
}

Pattern::~Pattern() = default;
Pattern::Pattern(Pattern &&other) noexcept = default;
Pattern &Pattern::operator=(Pattern &&other) noexcept = default;

bool Pattern::machine() const {
  try {
    if (!machine_) machine_.reset(new Machine(parsed_));
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

bool Pattern::match(const char *text) const {
  if (!text || kind_ == NONE) return false;
  const unsigned char *t = (const unsigned char *)text;
  if (kind_ == ANY) return true;
  if (kind_ == QUICK) {
    int quick = run_quick(parsed_, t);
    if (quick >= 0) return quick == 1;
  }
  return machine() && machine_->run(t);
}

bool pattern_match(const char *text, const char *pattern) {
  if (!text || !pattern) return false;
  return Pattern(pattern).match(text);
}
