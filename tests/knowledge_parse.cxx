// knowledge_parse.cxx - the one reader of the pattern language: the elements
// and faults of a table of patterns, and what each element takes of a text.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "knowledge/ParsedPattern.h"

namespace {

typedef PatternElement E;

// The elements as tokens: a character (escaped when special), Q" for a
// quote, ? * X (NOTHING), [members] (or [~count] for many), {seps>jump for a
// group, |>jump for a separator, }.
std::string render(const ParsedPattern &pp) {
  std::string out;
  for (size_t i = 0; i < pp.elements.size(); i++) {
    const E &e = pp.elements[i];
    if (i) out += ' ';
    switch (e.kind) {
      case E::CHAR:
        if (strchr("?*[]{}|,\\ ", e.c)) out += '\\';
        out += (char)e.c;
        break;
      case E::QUOTE: out += std::string("Q") + (char)e.c; break;
      case E::ANY: out += '?'; break;
      case E::STAR: out += '*'; break;
      case E::NOTHING: out += 'X'; break;
      case E::SET: {
        std::string members;
        for (int c = 1; c < 256; c++)
          if (pp.sets[e.arg].has((unsigned char)c)) members += (char)c;
        out += "[" + (members.size() > 10 ? "~" + std::to_string(members.size()) : members) + "]";
        break;
      }
      case E::OPEN:
        out += '{';
        for (int s = pp.link((int)i).next; s >= 0; s = pp.link(s).next)
          out += (s == pp.link((int)i).next ? "" : ",") + std::to_string(s);
        out += ">" + std::to_string(pp.link((int)i).jump);
        break;
      case E::SEP: out += "|>" + std::to_string(pp.link((int)i).jump); break;
      case E::CLOSE: out += '}'; break;
    }
  }
  return out;
}

std::string faults(const ParsedPattern &pp) {
  static const char *names[] = {"set", "group", "close", "sep"};
  std::string out;
  for (const PatternFault &f : pp.faults) {
    if (!out.empty()) out += ' ';
    out += names[f.kind];
    if (f.kind == PatternFault::SEPARATOR_OUTSIDE) out += f.c;
    out += "@" + std::to_string(f.column);
  }
  return out;
}

}  // namespace

TEST(PatternParse, ElementsAndFaults) {
  struct {
    const char *pattern, *elements, *faults;
  } rows[] = {
      {"", "", ""},
      {"aB?*", "a b ? *", ""},
      {"\\*\\?\\\\\\a", "\\* \\? \\\\ a", ""},
      {"ab\\", "a b \\\\", ""},                         // a "\" at the end is one
      {"\xe9" "A", "\xe9 a", ""},                       // only A-Z fold
      {"\"a\\\"'\\'", "Q\" a Q\" Q' Q'", ""},           // quotes, escaped or not
      {"[a-c]", "[abc]", ""},
      {"[!a]", "[~254]", ""},
      {"[]]", "[]]", ""},
      {"[a-]", "[-a]", ""},
      {"[b-a]", "[]", ""},                              // holds nothing
      {"[a-c-e]", "[-abce]", ""},
      {"[\\]]", "[\\] \\]", ""},
      {"[{}|,\"]x", "[\",{|}] x", ""},                   // all members
      {"[ab", "X a b", "set@0"},
      {"x[!", "x X !", "set@1"},
      {"{a|b}c", "{2>5 a |>5 b } c", ""},
      {"{a{b|c}d|e}", "{8>11 a {4>7 b |>7 c } d |>11 e }", ""},
      {"{a|[|]b}", "{2>6 a |>6 [|] b }", ""},           // a set in a group is whole
      {"{a|[b}c", "{2>6 a |>6 X b } c", "set@3"},
      {"x{a,{b}", "x {3>-1 a |>7 {>7 b }", "group@1"},
      {"{{a", "{>-1 {>-1 a", "group@0 group@1"},
      {"a,b", "a |>3 b", "sep,@1"},
      {"a|b}c|d", "a |>4 b } c |>7 d", "sep|@1 close@3"},
      {"}}", "} }", "close@0 close@1"},
      {"a\\,b\\|c\\}", "a \\, b \\| c \\}", ""},
  };
  for (const auto &row : rows) {
    ParsedPattern pp = parse_pattern(row.pattern);
    EXPECT_EQ(row.elements, render(pp)) << row.pattern;
    EXPECT_EQ(row.faults, faults(pp)) << row.pattern;
    bool groups = false;
    for (const E &e : pp.elements) groups |= e.kind >= E::OPEN;
    EXPECT_EQ(groups, pp.groups) << row.pattern;
  }
  EXPECT_TRUE(parse_pattern(nullptr).elements.empty());
}

TEST(PatternParse, WhatAnElementTakes) {
  struct {
    const char *pattern, *text;
    int takes;
  } rows[] = {
      {"a", "A", 1},       {"a", "b", 0},        {"a", "", 0},
      {"\"", "\"", 1},     {"\"", "\\\"", 2},    {"\"", "\\x", 0},
      {"\"", "\\", 0},     {"\"", "'", 0},       {"'", "\\'", 2},
      {"\\\"", "\\\"", 2}, {"\\\\", "\\\"", 1},  {"?", "", 0},
      {"?", "\\", 1},      {"[!a]", "", 0},      {"[!a]", "b", 1},
      {"[!a]", "a", 0},    {"[\"]", "\\\"", 0},  {"[a", "a", 0},
  };
  for (const auto &row : rows) {
    ParsedPattern pp = parse_pattern(row.pattern);
    ASSERT_FALSE(pp.elements.empty()) << row.pattern;
    EXPECT_EQ(row.takes, pp.takes(pp.elements[0], (const unsigned char *)row.text))
        << row.pattern << " on " << row.text;
  }
}
