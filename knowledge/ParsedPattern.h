// ParsedPattern.h - the pattern language of knowledge base items, read once:
// the elements a pattern is made of and the faults that make it miss lines.
#ifndef KNOWLEDGE_PARSEDPATTERN_H
#define KNOWLEDGE_PARSEDPATTERN_H

#include <stdint.h>

#include <vector>

// One element; a pattern matches the whole of a message (the language in
// full, with its corner cases: docs/ARCHITECTURE.md).
struct PatternElement {
  enum Kind {
    CHAR,     // c or \c: the character; A-Z and a-z take either case
    QUOTE,    // " or ' (also \" or \'): the quote, or a backslash and the quote
    ANY,      // ?: any one character
    STAR,     // *: any run of characters, none too
    SET,      // [set]: one character of sets[arg], compared exactly
    NOTHING,  // a "[" that never closes: takes nothing
    OPEN,     // {: each alternative in turn, followed by what follows its "}"
    SEP,      // , or |: ends an alternative; matching goes on at its jump
    CLOSE     // }: nothing
  };
  unsigned kind : 4;
  unsigned c : 8;     // CHAR, QUOTE: the character, A-Z folded to a-z
  unsigned arg : 20;  // SET: index in sets; OPEN, SEP: index in links
};

// OPEN: next is the group's first SEP (-1: none), jump the element after its
// "}" (-1: it never closes). SEP: next is the next SEP of its group, jump
// where matching goes on; elements.size() is the end of the pattern.
struct PatternLink {
  int next, jump;
};

struct PatternSet {
  uint64_t bits[4];
  bool has(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
};

struct PatternFault {
  enum Kind { UNCLOSED_SET, UNCLOSED_GROUP, STRAY_CLOSE, SEPARATOR_OUTSIDE } kind;
  int column;  // of the character at fault, from 0
  char c;      // SEPARATOR_OUTSIDE: which one
};

struct PatternFold {  // each byte with A-Z folded to a-z
  unsigned char to[256];
  constexpr PatternFold() : to() {
    for (int c = 0; c < 256; c++) to[c] = (unsigned char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
};
inline constexpr PatternFold kPatternFold{};

struct ParsedPattern {
  std::vector<PatternElement> elements;
  std::vector<PatternLink> links;
  std::vector<PatternSet> sets;
  // In the order met, unclosed groups last (outermost first); only the first
  // separator outside a group is one.
  std::vector<PatternFault> faults;
  bool groups = false;  // it has an OPEN, SEP or CLOSE

  const PatternLink &link(int element) const { return links[elements[element].arg]; }
  // How many characters of t a CHAR, QUOTE, ANY, SET or NOTHING takes (0: it
  // does not fit), reading nothing past t's terminator.
  int takes(const PatternElement &e, const unsigned char *t) const {
    switch (e.kind) {
      case PatternElement::CHAR: return fold(*t) == e.c;
      case PatternElement::QUOTE: return *t == e.c ? 1 : *t == '\\' && t[1] == e.c ? 2 : 0;
      case PatternElement::ANY: return *t != 0;
      case PatternElement::SET: return *t && sets[e.arg].has(*t);
      default: return 0;
    }
  }
  static unsigned char fold(unsigned char c) { return kPatternFold.to[c]; }
};

// Reads a pattern (null: no elements). Throws std::bad_alloc when memory, or
// room for more than a million sets or groups, runs out.
ParsedPattern parse_pattern(const char *pattern);

#endif
