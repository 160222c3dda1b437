// ParsedPattern.cxx - the one reader of the pattern language (its rules:
// docs/ARCHITECTURE.md).
#include "knowledge/ParsedPattern.h"

#include <string.h>

#include <new>
#include <utility>

namespace {

typedef PatternElement E;

struct Parser {
  ParsedPattern out;
  struct Open {
    int element, tail, column;  // tail: the group's last SEP so far, or its OPEN
  };
  std::vector<Open> open;
  int top_head = -1, top_tail = -1;  // separators outside a group, awaiting a "}"
  bool told = false;                 // of a separator outside a group

  int add(unsigned kind, unsigned c = 0, size_t arg = 0) {
    if (arg >= (1u << 20)) throw std::bad_alloc();
    out.elements.push_back(E{kind, c, (unsigned)arg});
    out.groups |= kind >= E::OPEN;
    return (int)out.elements.size() - 1;
  }
  int add_linked(unsigned kind) {
    out.links.push_back({-1, -1});
    return add(kind, 0, out.links.size() - 1);
  }
  PatternLink &link(int element) { return out.links[out.elements[element].arg]; }

  // The set whose "[" stands at p[i]: where it ends, or i when it never
  // closes. Its "]" is the first after its first member.
  size_t set(const char *p, size_t i) {
    size_t k = i + 1 + (p[i + 1] == '^' || p[i + 1] == '!');
    const char *close = p[k] ? strchr(p + k + 1, ']') : nullptr;
    if (!close) return i;
    size_t end = (size_t)(close - p);
    PatternSet s = {};
    for (size_t m = k; m < end; m++) {
      unsigned lo = (unsigned char)p[m], hi = lo;
      if (p[m + 1] == '-' && m + 2 < end) hi = (unsigned char)p[m += 2];
      for (unsigned c = lo; c <= hi; c++) s.bits[c >> 6] |= (uint64_t)1 << (c & 63);
    }
    if (k > i + 1)
      for (uint64_t &b : s.bits) b = ~b;
    out.sets.push_back(s);
    add(E::SET, 0, out.sets.size() - 1);
    return end;
  }

  void separator(size_t column, char c) {
    int e = add_linked(E::SEP);
    if (open.empty() && !std::exchange(told, true))
      out.faults.push_back({PatternFault::SEPARATOR_OUTSIDE, (int)column, c});
    int &tail = open.empty() ? top_tail : open.back().tail;
    (tail >= 0 ? link(tail).next : top_head) = e;
    tail = e;
  }

  void close(size_t column) {
    int e = add(E::CLOSE), from = top_head;
    if (open.empty()) {
      out.faults.push_back({PatternFault::STRAY_CLOSE, (int)column, 0});
      top_head = top_tail = -1;
    } else {
      link(open.back().element).jump = e + 1;
      from = link(open.back().element).next;
      open.pop_back();
    }
    for (int j = from; j >= 0; j = link(j).next) link(j).jump = e + 1;
  }

  void parse(const char *p) {
    for (size_t i = 0; p[i]; i++) {
      unsigned char c = (unsigned char)p[i];
      size_t end;
      switch (c) {
        case '?': add(E::ANY); break;
        case '*': add(E::STAR); break;
        case '[':
          if ((end = set(p, i)) == i) {
            out.faults.push_back({PatternFault::UNCLOSED_SET, (int)i, 0});
            add(E::NOTHING);
          }
          i = end;
          break;
        case '{':
          open.push_back({add_linked(E::OPEN), 0, (int)i});
          open.back().tail = open.back().element;
          break;
        case ',':
        case '|': separator(i, (char)c); break;
        case '}': close(i); break;
        case '\\':
          if (p[i + 1]) c = (unsigned char)p[++i];
          [[fallthrough]];
        default:
          add(c == '"' || c == '\'' ? E::QUOTE : E::CHAR, ParsedPattern::fold(c));
      }
    }
    for (const Open &o : open) out.faults.push_back({PatternFault::UNCLOSED_GROUP, o.column, 0});
    for (size_t i = 0; i < out.elements.size(); i++)
      if (out.elements[i].kind == E::SEP && link((int)i).jump < 0)
        link((int)i).jump = (int)out.elements.size();
  }
};

}  // namespace

ParsedPattern parse_pattern(const char *pattern) {
  Parser parser;
  if (pattern) parser.parse(pattern);
  return std::move(parser.out);
}
