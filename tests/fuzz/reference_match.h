// reference_match.h - a slow, plainly recursive matcher for knowledge base
// patterns, written straight from the rules, to check the real one against.
// It gives up (returns -1) after `budget` steps, as it can take exponential
// time.
#ifndef TESTS_FUZZ_REFERENCE_MATCH_H
#define TESTS_FUZZ_REFERENCE_MATCH_H

namespace reference {

inline int lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// 1: match, 0: no match, -1: out of steps.
inline int match(const char *t, const char *p, long &budget) {
  for (;;) {
    if (--budget < 0) return -1;
    switch (*p) {
      case '\0':
        return *t == '\0';
      case '?':
        if (!*t) return 0;
        t++;
        p++;
        break;
      case '*': {
        if (!p[1]) return 1;
        for (const char *s = t;; s++) {
          int r = match(s, p + 1, budget);
          if (r) return r;
          if (!*s) return 0;
        }
      }
      case '[': {
        const char *q = p + 1;
        bool negate = *q == '^' || *q == '!';
        if (negate) q++;
        bool in = false;
        for (bool first = true; first || *q != ']'; first = false) {
          if (!*q) return 0;   // never closed
          unsigned char lo = (unsigned char)*q;
          if (q[1] == '-' && q[2] && q[2] != ']') {
            if ((unsigned char)*t >= lo && (unsigned char)*t <= (unsigned char)q[2]) in = true;
            q += 3;
          } else {
            if ((unsigned char)*t == lo) in = true;
            q++;
          }
        }
        if (!*t || in == negate) return 0;
        t++;
        p = q + 1;
        break;
      }
      case '{': {
        const char *alt = p + 1;
        for (;;) {
          int r = match(t, alt, budget);
          if (r) return r;
          int depth = 0;
          const char *q = alt;
          for (; *q; q++) {
            if (*q == '\\') {
              if (q[1]) q++;
            } else if (*q == '{') {
              depth++;
            } else if (*q == '}') {
              if (depth == 0) break;
              depth--;
            } else if ((*q == ',' || *q == '|') && depth == 0) {
              break;
            }
          }
          if (*q != ',' && *q != '|') return 0;
          alt = q + 1;
        }
      }
      case ',':
      case '|': {
        int depth = 0;
        const char *q = p + 1;
        for (; *q; q++) {
          if (*q == '\\') {
            if (q[1]) q++;
          } else if (*q == '{') {
            depth++;
          } else if (*q == '}') {
            if (depth == 0) break;
            depth--;
          }
        }
        if (!*q) return *t == '\0';
        p = q + 1;
        break;
      }
      case '}':
        p++;
        break;
      case '\\':
        if (!p[1]) {
          if (*t != '\\') return 0;
          t++;
          p++;
          break;
        }
        if (lower((unsigned char)p[1]) != lower((unsigned char)*t)) return 0;
        t++;
        p += 2;
        break;
      default:
        if (lower((unsigned char)*p) != lower((unsigned char)*t)) return 0;
        t++;
        p++;
        break;
    }
  }
}

}  // namespace reference

#endif
