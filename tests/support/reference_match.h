// reference_match.h - a slow, plainly recursive matcher for knowledge base
// patterns, walking the parser's elements straight by the rules, to check the
// real matcher against. It gives up (returns -1) after `budget` steps, as it
// can take exponential time.
#ifndef TESTS_SUPPORT_REFERENCE_MATCH_H
#define TESTS_SUPPORT_REFERENCE_MATCH_H

#include "knowledge/ParsedPattern.h"

namespace reference {

// 1: the elements from i on match all of t, 0: they do not, -1: out of steps.
inline int match_from(const ParsedPattern &pp, const unsigned char *t, size_t i, long &budget) {
  typedef PatternElement E;
  for (;;) {
    if (--budget < 0) return -1;
    if (i == pp.elements.size()) return *t == '\0';
    const E &e = pp.elements[i];
    switch (e.kind) {
      case E::STAR:
        if (i + 1 == pp.elements.size()) return 1;
        for (const unsigned char *s = t;; s++) {
          int r = match_from(pp, s, i + 1, budget);
          if (r) return r;
          if (!*s) return 0;
        }
      case E::OPEN: {
        // Each alternative, followed by the rest after the group.
        int r = match_from(pp, t, i + 1, budget);
        for (int sep = pp.link((int)i).next; !r && sep >= 0; sep = pp.link(sep).next)
          r = match_from(pp, t, (size_t)sep + 1, budget);
        return r;
      }
      case E::SEP: i = (size_t)pp.link((int)i).jump; break;
      case E::CLOSE: i++; break;
      default: {
        int took = pp.takes(e, t);
        if (!took) return 0;
        t += took;
        i++;
      }
    }
  }
}

inline int match(const char *t, const char *p, long &budget) {
  ParsedPattern pp = parse_pattern(p);
  return match_from(pp, (const unsigned char *)t, 0, budget);
}

}  // namespace reference

#endif
