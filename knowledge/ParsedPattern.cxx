// ParsedPattern.cxx - the one reader of the pattern language; ParsedPattern.h
// gives the language.
#include "knowledge/ParsedPattern.h"

#include <string.h>

#include <new>

namespace {

typedef PatternElement E;

struct Parser {
  ParsedPattern out;
  struct Open {
    int element, tail, column;  // tail: the group's last SEP so far, or its OPEN
  };
  std::vector<Open> open;
  int top_head = -1, top_tail = -1;  // separators outside a group, awaiting a "}"
  bool told_separator = false;

  int add(unsigned kind, unsigned c = 0, size_t arg = 0) {
    if (arg >= (1u << 20)) throw std::bad_alloc();
    out.elements.push_back(E{kind, c, (unsigned)arg});
    return (int)out.elements.size() - 1;
  }
  int add_linked(unsigned kind) {
    out.links.push_back({-1, -1});
    return add(kind, 0, out.links.size() - 1);
  }
  PatternLink &link(int element) { return out.links[out.elements[element].arg]; }
  void fault(PatternFault::Kind kind, size_t column, char c = 0) {
    out.faults.push_back({kind, (int)column, c});
  }

  // The set whose "[" stands at p[i]; gives where it ends, or i when it never
  // closes. Its "]" is the first after its first member.
  size_t set(const char *p, size_t i) {
    size_t k = i + 1;
    bool negate = p[k] == '^' || p[k] == '!';
    if (negate) k++;
    if (!p[k]) return i;
    const char *close = strchr(p + k + 1, ']');
    if (!close) return i;
    size_t end = (size_t)(close - p);
    PatternSet s = {};
    for (size_t m = k; m < end; m++) {
      unsigned lo = (unsigned char)p[m], hi = lo;
      if (p[m + 1] == '-' && m + 2 < end) hi = (unsigned char)p[m += 2];
      for (unsigned c = lo; c <= hi; c++) s.bits[c >> 6] |= (uint64_t)1 << (c & 63);
    }
    if (negate)
      for (uint64_t &b : s.bits) b = ~b;
    out.sets.push_back(s);
    add(E::SET, 0, out.sets.size() - 1);
    return end;
  }

  void separator(size_t column, char c) {
    int e = add_linked(E::SEP);
    if (!open.empty()) {
      link(open.back().tail).next = e;
      open.back().tail = e;
      return;
    }
    if (!told_separator) fault(PatternFault::SEPARATOR_OUTSIDE, column, c);
    told_separator = true;
    if (top_tail < 0) top_head = e;
    else link(top_tail).next = e;
    top_tail = e;
  }

  void close(size_t column) {
    int e = add(E::CLOSE), from;
    if (!open.empty()) {
      link(open.back().element).jump = e + 1;
      from = link(open.back().element).next;
      open.pop_back();
    } else {
      fault(PatternFault::STRAY_CLOSE, column);
      from = top_head;
      top_head = top_tail = -1;
    }
    for (int j = from; j >= 0; j = link(j).next) link(j).jump = e + 1;
  }

  void parse(const char *p) {
    for (size_t i = 0; p[i]; i++) {
      unsigned char c = (unsigned char)p[i];
      switch (c) {
        case '?': add(E::ANY); break;
        case '*': add(E::STAR); break;
        case '[': {
          size_t end = set(p, i);
          if (end == i) {
            fault(PatternFault::UNCLOSED_SET, i);
            add(E::NOTHING);
          }
          i = end;
          break;
        }
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
    for (const Open &o : open) fault(PatternFault::UNCLOSED_GROUP, (size_t)o.column);
    int end = (int)out.elements.size();
    for (size_t i = 0; i < out.elements.size(); i++)
      if (out.elements[i].kind == E::SEP && link((int)i).jump < 0) link((int)i).jump = end;
    for (const E &e : out.elements) out.groups |= e.kind >= E::OPEN;
  }
};

}  // namespace

ParsedPattern parse_pattern(const char *pattern) {
  Parser parser;
  if (pattern) parser.parse(pattern);
  return std::move(parser.out);
}
