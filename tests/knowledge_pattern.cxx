// knowledge_pattern.cxx - the pattern matcher: its rules row by row, a plain
// recursive matcher as a second opinion on random patterns, compiled patterns
// asked again and again, and its speed on hostile log lines.
// (knowledge_toolkit.cxx holds the toolkit's matcher as a third opinion.)
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "knowledge/pattern.h"
#include "tests/support/reference_match.h"

namespace {

// Matches exactly sized heap copies, so that a read past the end of the
// text or the pattern is caught by the address sanitizer.
bool match(const std::string &text, const std::string &pattern) {
  char *t = (char *)malloc(text.size() + 1);
  char *p = (char *)malloc(pattern.size() + 1);
  memcpy(t, text.c_str(), text.size() + 1);
  memcpy(p, pattern.c_str(), pattern.size() + 1);
  bool result = pattern_match(t, p);
  free(t);
  free(p);
  return result;
}

struct Row {
  const char *pattern;
  const char *text;
  bool expect;
};

void check(const Row *rows, size_t count) {
  for (size_t i = 0; i < count; i++)
    EXPECT_EQ(rows[i].expect, match(rows[i].text, rows[i].pattern))
        << "pattern \"" << rows[i].pattern << "\" text \"" << rows[i].text
        << "\"";
}

#define CHECK_ROWS(rows) check(rows, sizeof rows / sizeof rows[0])

}  // namespace

TEST(Pattern, PlainCharactersAndCase) {
  const Row rows[] = {
      {"", "", true},           {"", "a", false},
      {"abc", "abc", true},     {"abc", "ABC", true},
      {"ABC", "abc", true},     {"abc", "ab", false},
      {"abc", "abcd", false},   {"a.c", "a.c", true},
      {"@", "`", false},        {"[x", "[x", false},   // unclosed set
      {"\xe9t\xe9", "\xe9t\xe9", true},              // high bytes: exact
      {"\xe9t\xe9", "\xc9t\xc9", false},
      {"Z", "z", true},         {"z", "Z", true},
      {"?bc", "xBC", true},     {"*Bc", "xbC", true},   // after the plain prefix
      {"[", "", false},         {"[!", "", false},
  };
  CHECK_ROWS(rows);
}

TEST(Pattern, QuestionMarkAndStar) {
  const Row rows[] = {
      {"?", "a", true},         {"?", "", false},
      {"a?c", "abc", true},     {"a?c", "ac", false},
      {"*", "", true},          {"*", "anything\n", true},
      {"a*", "a", true},        {"a*", "b", false},
      {"*a", "bba", true},      {"*a", "bab", false},
      {"a*b*c", "aXbYc", true}, {"a*b*c", "aXcYb", false},
      {"**x", "x", true},       {"*?", "", false},
      {"*\n", "line\n", true},  {"line", "line\n", false},
  };
  CHECK_ROWS(rows);
}

TEST(Pattern, Sets) {
  const Row rows[] = {
      {"[abc]", "b", true},     {"[abc]", "d", false},
      {"[abc]", "", false},     {"[a-c]x", "cx", true},
      {"[a-c]", "A", false},    {"[A-C]", "b", false},   // sets are exact
      {"[!a-c]", "d", true},    {"[!a-c]", "b", false},
      {"[^a]", "b", true},      {"[^a]", "a", false},
      {"[]]", "]", true},       {"[]a]", "a", true},
      {"[!]]", "]", false},     {"[!]]", "x", true},
      {"[-a]", "-", true},      {"[a-]", "-", true},
      {"[a-]", "a", true},      {"[a-c-e]", "-", true},
      {"[a-c-e]", "e", true},   {"[a-c-e]", "d", false},
      {"[b-a]", "a", false},    {"[b-a]", "b", false},
      {"[\\]]", "\\]", true},   {"[\\]]", "]", false},
      {"[{,}|]", ",", true},    {"[{,}|]x", "|x", true},
      {"[a", "a", false},       {"[a-", "a", false},
      {"[]", "]", false},       {"x[!", "x!", false},
      {"[\xe0-\xef]", "\xe5", true}, {"[\xe0-\xef]", "a", false},
  };
  CHECK_ROWS(rows);
}

TEST(Pattern, GroupsAndSeparators) {
  const Row rows[] = {
      {"{a|b}c", "ac", true},      {"{a,b}c", "bc", true},
      {"{a|b}c", "cc", false},     {"{a|b}c", "a", false},
      {"x{|y}z", "xz", true},      {"x{y|}z", "xz", true},
      {"{a|ab}c", "abc", true},    {"{ab|a}b", "ab", true},
      // A failing alternative that holds a group hands over to its own
      // group's next alternative.
      {"{a{b|c}d|e}", "e", true},  {"{a{b|c}d|e}", "abd", true},
      {"{a{b|c}d|e}", "acd", true}, {"{a{b|c}d|e}", "ad", false},
      {"{a{b|c}d|e}", "abde", false},
      // Separators outside a group end the pattern (or jump past a "}").
      {"a,b", "a", true},          {"a,b", "a,b", false},
      {"a|b}c", "ac", true},       {"a|b}c", "ab}c", false},
      {"Job 1, queued*", "Job 1", true},
      {"Job 1, queued*", "Job 1, queued\n", false},
      // Stray and unclosed braces.
      {"a}b", "ab", true},         {"}}", "", true},
      {"{a|b", "a", true},         {"{a|b", "b", true},
      {"{a", "a", true},           {"x{a,{b}", "xb", true},
      {"x{a,{b}", "xa", true},
      // A "\" hides the next character from the search for "}".
      {"{a|\\}b}c", "ac", true},   {"{a|\\}b}c", "}bc", true},
      {"{a\\|b}", "a|b", true},    {"{a\\|b}", "a", false},
  };
  CHECK_ROWS(rows);
}

TEST(Pattern, Backslash) {
  const Row rows[] = {
      {"\\*", "*", true},     {"\\*", "x", false},
      {"\\?", "?", true},     {"\\?", "x", false},
      {"\\[a]", "[a]", true}, {"\\,", ",", true},
      {"\\|", "|", true},     {"\\}", "}", true},
      {"\\{", "{", true},     {"\\\\", "\\", true},
      {"\\a", "A", true},     {"\\A", "a", true},
      {"ab\\", "ab\\", true}, {"ab\\", "ab", false},
      {"\\", "\\", true},     {"\\", "", false},
      {"*\\", "x\\", true},   {"a\\bc", "ABC", true},
  };
  CHECK_ROWS(rows);
}

TEST(Pattern, NullArgumentsMatchNothing) {
  EXPECT_FALSE(pattern_match(nullptr, "*"));
  EXPECT_FALSE(pattern_match("x", nullptr));
}

TEST(Pattern, LongPatternsMatchToo) {
  // Longer than the matcher's on-stack tables.
  std::string text(400, 'a');
  std::string pattern(300, 'a');
  EXPECT_FALSE(match(text, pattern + "{b|c}"));
  EXPECT_TRUE(match(text, pattern + "{b|*}"));
  std::string stars;
  for (int i = 0; i < 150; i++) stars += "a*";
  EXPECT_TRUE(match(text, stars));
  EXPECT_FALSE(match(text, stars + "b"));
  EXPECT_TRUE(match(text, "{" + stars + "b|" + pattern + "*}"));
}

// Positions are kept 64 to a word: escapes, stars and braces must carry
// across word boundaries.
TEST(Pattern, PositionsAcrossWordBoundaries) {
  for (int lead : {58, 60, 61, 62, 63, 64, 65, 120, 125, 126, 127, 128, 190, 250, 255, 256, 300}) {
    std::string p = std::string(lead, '?') + "\\,*}*}{b|c}";
    std::string x(lead, 'x');
    struct { std::string text; bool expect; } table[] = {
        {x + ",b", true},        {x + ",yyyc", true},     {x + ",}b", true},
        {x + ",yyyd", false},    {x + "yb", false},       {x.substr(1) + ",b", false},
        {x + ",", false},
    };
    for (auto &row : table)
      EXPECT_EQ(row.expect, match(row.text, p)) << "lead " << lead << " text " << row.text;
  }
}

// Hostile lines must not freeze the window: a client controls most of the
// text of a log line.
TEST(Pattern, ManyStarsStayFast) {
  std::string text(10240, 'a');
  const char *patterns[] = {
      "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b",
      "*{a|aa}*{a|aa}*{a|aa}*{a|aa}*{a|aa}*{a|aa}*b",
      "*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*[b-z]",
      "{*a|*aa|*aaa}{*a|*aa|*aaa}{*a|*aa|*aaa}{*a|*aa|*aaa}x",
  };
  for (const char *p : patterns) {
    auto start = std::chrono::steady_clock::now();
    bool result = match(text, p);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result) << p;
    // Well under a millisecond in an optimised build; the bound leaves room
    // for sanitizers and slow machines.
    EXPECT_LT(took, std::chrono::milliseconds(50)) << p;
  }
}

// A line that nearly fits a long run of plain characters after a star makes
// the quick matcher retry at every character; it then hands over to the
// set machine, which must give the same answer.
TEST(Pattern, NearMissLinesStayFastAndRight) {
  for (int run : {17, 40, 250}) {
    std::string p = "*" + std::string(run, 'a') + "b*";
    std::string a(5000, 'a');
    struct { std::string text; bool expect; } table[] = {
        {a + a, false}, {a + a + "b", true}, {a + "b" + a, true},
        {a + "B\n", true}, {std::string(run - 1, 'a') + "b", false},
    };
    for (auto &row : table) {
      auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(row.expect, match(row.text, p)) << "run " << run << " length " << row.text.size();
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    }
  }
}

// Beyond the rows the toolkit shares: nested groups, separators, odd sets and
// escapes everywhere, against the plain recursive reading of the rules.
TEST(Pattern, AgreesWithPlainRecursiveMatcher) {
  std::mt19937 rng(31);
  static const char *pieces[] = {
      "a",    "B",    "?",     "*",      "[ab]",  "[!a]", "[]a]", "[a-]",
      "[b-a]", "[a", "\\",   "\\a",  "\\,", "{",    "}",    ",",
      "|",    "{a|b}", "{a{b|c}d|e}", "{,a}", "{a|*}", "\xe9", "-",
  };
  static const char chars[] = "abAB,|{}[]-\\\xe9";
  int matched = 0, cases = 0;
  for (int n = 0; n < 20000; n++) {
    std::string p, t;
    int np = (int)(rng() % 7), nt = (int)(rng() % 8);
    for (int k = 0; k < np; k++) p += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
    for (int k = 0; k < nt; k++) t += chars[rng() % (sizeof chars - 1)];
    long budget = 1000000;
    int expect = reference::match(t.c_str(), p.c_str(), budget);
    if (expect < 0) continue;
    ASSERT_EQ(expect == 1, match(t, p)) << "pattern \"" << p << "\" text \"" << t << "\"";
    matched += expect;
    cases++;
  }
  EXPECT_GT(cases, 15000);
  EXPECT_GT(matched, cases / 50);
}

// A compiled pattern is asked again and again, in any order, and keeps what
// it once built (the set machine of a pattern without groups is made the
// first time a line nearly fits): it must answer every time as a pattern
// compiled afresh does, also after being moved.
TEST(Pattern, ACompiledPatternAnswersLikeAFreshOne) {
  std::mt19937 rng(77);
  static const char *pieces[] = {"a", "B", "?", "*", "[ab]", "[!a]", "\\,", "{a|b}",
                                 "{a{b|c}d|e}", ",", "}", "aaaaaaaaaaaa", "\\"};
  std::vector<std::string> sources;
  std::vector<Pattern> compiled;  // grows, so its patterns are moved
  for (int n = 0; n < 300; n++) {
    std::string p;
    for (int k = 0, np = (int)(rng() % 6); k < np; k++) p += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
    sources.push_back(p);
    compiled.emplace_back(p.c_str());
  }
  // Near misses that send the quick way over its budget.
  for (const char *p : {"*aaaaaaaaaaaaaaaaaaaab*", "*a?a?a?a?a?a?a?a?a?ab", "*[a]aaaaaaaaaaaaaaaaa\\b"}) {
    sources.push_back(p);
    compiled.emplace_back(p);
  }
  std::vector<std::string> texts = {"", "a", "ab", "aB", "e", "abd", ",", "aaaaaaaaaaaab",
                                    std::string(3000, 'a'), std::string(3000, 'a') + "b",
                                    std::string(3000, 'a') + "b\n"};
  for (int n = 0; n < 40; n++) {
    std::string t;
    for (int k = 0, nt = (int)(rng() % 8); k < nt; k++) t += "abAB,|{}e\\"[rng() % 10];
    texts.push_back(t);
  }
  int matched = 0;
  for (int round = 0; round < 2; round++) {
    std::shuffle(texts.begin(), texts.end(), rng);
    for (size_t i = 0; i < compiled.size(); i++) {
      for (const std::string &t : texts) {
        bool fresh = match(t, sources[i]);
        ASSERT_EQ(fresh, compiled[i].match(t.c_str())) << "pattern \"" << sources[i] << "\" text \"" << t << "\"";
        matched += fresh;
      }
    }
  }
  EXPECT_GT(matched, 500);
  EXPECT_FALSE(Pattern(nullptr).match(""));
  EXPECT_FALSE(Pattern("*").match(nullptr));
  EXPECT_TRUE(Pattern("").match(""));
}

// The server writes a quote as it is or after a backslash: a quote in a
// pattern, escaped or not, takes either; other elements are not changed.
TEST(Pattern, QuotesMayComeAfterABackslash) {
  const Row rows[] = {
      {"File \"*\" has*", "File \\\"/usr/lib/x\\\" has insecure\n", true},
      {"File \"*\" has*", "File \"/usr/lib/x\" has insecure\n", true},
      {"File \"*\" has*", "File \\\"/usr/lib/x\" has\n", true},
      {"by \\\"*\\\"", "by \\\"root\\\"", true},    // an escaped quote too
      {"by '*'", "by \\'root\\'", true},
      {"a\"b", "a\\\\\"b", false},                  // one backslash only
      {"a\"b", "a'b", false},          {"a'b", "a\\'b", true},
      {"a\"b", "a\\b", false},         {"\"", "\\", false},
      {"*\"", "x\\\"", true},          {"*\"", "x\\", false},
      {"?\"", "\\\"", true},           {"?\"", "x\\\"", true},
      {"[\"]", "\\\"", false},         {"\\\\\"", "\\\"", true},
      {"{\"a\"|b}", "\\\"a\\\"", true}, {"{\"a\"|b}", "\\\"a\"", true},
      {"*\"*\"*", "\\\"\\\"", true},   {"x{y|\"}z", "x\\\"z", true},
  };
  CHECK_ROWS(rows);
}

// A set is read whole, also inside a group: its braces, bars and commas are
// members.
TEST(Pattern, SetsInGroupsHoldTheirBraces) {
  const char *job = "\\[Job *\\] {Filter [}] crashed|Backend crashed}*";
  const Row rows[] = {
      {job, "[Job 5] Backend crashed", true},     {job, "[Job 5] Filter } crashed\n", true},
      {job, "[Job 5] Filter x crashed", false},   {"{a|[|]b}", "]b", false},
      {"{a|[|]b}", "|b", true},                  {"{a|[|]b}", "a", true},
      {"{[,]|x}", ",", true},                    {"{[}]|x}", "}", true},
      {"{[}]|x}", "x", true},                    {"{[{]|x}y", "{y", true},
  };
  CHECK_ROWS(rows);
}

// Quotes and sets holding braces, against the plain recursive walk of the
// same elements, on short texts and on long near misses that send the quick
// way over its budget to the set machine.
TEST(Pattern, QuotesAndSetsAgreeWithPlainRecursiveMatcher) {
  std::mt19937 rng(2612);
  static const char *pieces[] = {"\"", "'", "\\\"", "a", "*", "?", "[}]", "[|,]",
                                 "{a|\"}", "{[}]|b}", "\\", "b", "{\"|'}", "aaaaaaaa"};
  static const char chars[] = "ab\"'\\}|";
  int matched = 0, cases = 0;
  for (int n = 0; n < 20000; n++) {
    std::string p, t;
    for (int k = 0, np = (int)(rng() % 7); k < np; k++)
      p += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
    if (n % 20 == 0) {
      for (int k = 0; k < 200; k++) t += "\\\"aaaaaaaa"[rng() % 10];
    } else {
      for (int k = 0, nt = (int)(rng() % 9); k < nt; k++) t += chars[rng() % (sizeof chars - 1)];
    }
    long budget = 1000000;
    int expect = reference::match(t.c_str(), p.c_str(), budget);
    if (expect < 0) continue;
    ASSERT_EQ(expect == 1, match(t, p)) << "pattern \"" << p << "\" text \"" << t << "\"";
    ASSERT_EQ(expect == 1, Pattern(p.c_str()).match(t.c_str())) << p;
    matched += expect;
    cases++;
  }
  EXPECT_GT(cases, 15000);
  EXPECT_GT(matched, cases / 50);
}
