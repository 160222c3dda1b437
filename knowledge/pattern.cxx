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

// Per-call tables, all of n + 1 entries.
struct Machine {
  const char *pat;
  int n;
  int *link;   // "{": its first separator; separator: the next one of its group
  int *jump;   // separator: where matching resumes (n when no "}" closes it)
  int *mark;   // generation in which a position was last added
  int *stack;  // positions still to expand
  int gen;
  bool end;    // the end of the pattern was reached
  bool all;    // a final "*" was reached: the rest of the text fits

  // Works out, for every group and separator, its alternatives and the
  // position after its closing "}". "\" hides the next character.
  void prepare(int *open, int *tail) {
    for (int i = 0; i <= n; i++) {
      link[i] = -1;
      jump[i] = n;
      mark[i] = 0;
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

  // Adds position s, and every position it reaches without reading text, to
  // list (only those that wait for a character are listed).
  void add(int s, int *list, int *count) {
    if (mark[s] == gen) return;
    mark[s] = gen;
    int sp = 0;
    stack[sp++] = s;
    while (sp > 0) {
      int q = stack[--sp];
      int to[2] = {-1, -1};
      if (q == n) {
        end = true;
        continue;
      }
      switch (pat[q]) {
        case '*':
          list[(*count)++] = q;
          if (q + 1 == n) all = true;
          to[0] = q + 1;
          break;
        case '{':
          to[0] = q + 1;
          for (int j = link[q]; j >= 0; j = link[j]) {
            if (mark[j + 1] != gen) {
              mark[j + 1] = gen;
              stack[sp++] = j + 1;
            }
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
          list[(*count)++] = q;
          break;
      }
      for (int k = 0; k < 2; k++) {
        if (to[k] >= 0 && mark[to[k]] != gen) {
          mark[to[k]] = gen;
          stack[sp++] = to[k];
        }
      }
    }
  }

  // Where position q goes on character c, or -1.
  int step(int q, unsigned char c) const {
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
};

enum { SMALL_PATTERN = 256, TABLES = 8 };

bool run(const char *pattern, int start, const unsigned char *t) {
  size_t len = strlen(pattern);
  if (len > 0x3fffffff) return false;
  int n = (int)len;
  int small[TABLES * (SMALL_PATTERN + 1)];
  int *block = small;
  if (n > SMALL_PATTERN) {
    block = (int *)malloc(sizeof(int) * TABLES * (size_t)(n + 1));
    if (!block) return false;
  }
  int *tab[TABLES];
  for (int i = 0; i < TABLES; i++) tab[i] = block + (size_t)i * (n + 1);

  Machine m;
  m.pat = pattern;
  m.n = n;
  m.link = tab[0];
  m.jump = tab[1];
  m.mark = tab[2];
  m.stack = tab[3];
  m.prepare(tab[4], tab[5]);
  int *cur = tab[6], *next = tab[7];
  int ncur = 0;
  m.gen = 1;
  m.end = m.all = false;
  m.add(start, cur, &ncur);

  bool result;
  for (;;) {
    if (m.all) {
      result = true;
      break;
    }
    if (!*t) {
      result = m.end;
      break;
    }
    if (ncur == 0) {
      result = false;
      break;
    }
    m.gen++;
    m.end = false;
    int nnext = 0;
    for (int i = 0; i < ncur; i++) {
      int to = m.step(cur[i], *t);
      if (to >= 0) m.add(to, next, &nnext);
    }
    int *swap = cur;
    cur = next;
    next = swap;
    ncur = nnext;
    t++;
  }
  if (block != small) free(block);
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
