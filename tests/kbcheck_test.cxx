// kbcheck_test.cxx - the knowledge base checker: each kind of mistake in
// errors.xml is reported once, on its line, with the right weight.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "knowledge/KbCheck.h"
#include "tests/support/test_util.h"

namespace {

using Scratch = TempDir;

const char *kText = "<P>What to do.</P>\n";
std::string item(const std::string &attrs) { return "<item " + attrs + ">\n<P>Means.</P>\n</item>\n"; }
const std::string kGood = "level=\"E\" pattern=\"Foo *\" severity=\"5\"";

std::vector<KbProblem> check(const std::string &text, ErrorXML *keep = nullptr) {
  Scratch s;
  std::string path = s.write("errors.xml", text);
  ErrorXML own(nullptr);
  ErrorXML &xml = keep ? *keep : own;
  KbCheck c;
  xml.load(path.c_str(), &c);
  EXPECT_EQ(path, c.path());
  return c.problems();
}

TEST(KbCheck, ReportsEachMistakeOnceOnItsLine) {
  const std::string remedy = "<remedy name=\"a\">\n";
  struct Case {
    const char *what;
    std::string file;
    int line;
    bool error;
    const char *says;
  } cases[] = {
      {"item before the remedy's text", remedy + item(kGood) + item("level=\"E\" pattern=\"Bar *\" severity=\"3\"") + "</remedy>\n",
       2, true, "before any text"},
      {"lone item before the remedy's text", remedy + item(kGood) + "</remedy>\n", 2, true,
       "before any text"},
      {"item before any remedy", item(kGood) + remedy + kText + item(kGood) + "</remedy>\n", 1,
       true, "outside any remedy"},
      {"item after the remedy", remedy + kText + item(kGood) + "</remedy>\n" +
       item("level=\"E\" pattern=\"Bar *\" severity=\"3\""), 7, true, "outside any remedy"},
      {"remedy never closed", remedy + kText + item(kGood), 1, true, "never closed"},
      {"remedy closed by the next one", remedy + kText + item(kGood) + "<remedy name=\"b\">\n" +
       kText + item("level=\"E\" pattern=\"Bar *\" severity=\"3\"") + "</remedy>\n", 1, true,
       "not closed before the <remedy> at line 6"},
      {"no level", remedy + kText + item("pattern=\"Foo *\" severity=\"5\"") + "</remedy>\n", 3,
       false, "no level"},
      {"unknown level", remedy + kText + item("level=\"Q\" pattern=\"Foo *\" severity=\"5\"") +
       "</remedy>\n", 3, true, "matches no line"},
      {"two-letter level", remedy + kText + item("level=\"EW\" pattern=\"Foo *\" severity=\"5\"") +
       "</remedy>\n", 3, true, "only its first letter"},
      {"no severity", remedy + kText + item("level=\"E\" pattern=\"Foo *\"") + "</remedy>\n", 3,
       true, "no severity"},
      {"severity not a number", remedy + kText + item("level=\"E\" pattern=\"Foo *\" severity=\"high\"") +
       "</remedy>\n", 3, true, "not a whole number: the reader drops the item"},
      {"severity past the int", remedy + kText + item("level=\"E\" pattern=\"Foo *\" severity=\"2147483648\"") +
       "</remedy>\n", 3, true, "outside -2147483648 to 2147483647"},
      {"severity that would wrap", remedy + kText + item("level=\"E\" pattern=\"Foo *\" severity=\"4294967301\"") +
       "</remedy>\n", 3, true, "drops the item"},
      {"severity with a tail", remedy + kText + item("level=\"E\" pattern=\"Foo *\" severity=\"5abc\"") +
       "</remedy>\n", 3, true, "not a whole number"},
      {"no pattern", remedy + kText + item("level=\"E\" severity=\"5\"") + "</remedy>\n", 3, true,
       "no pattern"},
      {"no final star", remedy + kText + item("level=\"E\" pattern=\"Foo\" severity=\"5\"") +
       "</remedy>\n", 3, true, "does not end in '*'"},
      {"open brace", remedy + kText + item("level=\"E\" pattern=\"Foo {a|b *\" severity=\"5\"") +
       "</remedy>\n", 3, true, "'{' at column 5 is never closed"},
      {"stray brace", remedy + kText + item("level=\"E\" pattern=\"Foo a} *\" severity=\"5\"") +
       "</remedy>\n", 3, true, "'}' at column 6 closes no group"},
      {"open bracket", remedy + kText + item("level=\"E\" pattern=\"Foo [ab *\" severity=\"5\"") +
       "</remedy>\n", 3, true, "'[' at column 5 is never closed"},
      {"unescaped comma", remedy + kText + item("level=\"E\" pattern=\"Foo, bar *\" severity=\"5\"") +
       "</remedy>\n", 3, true, "unescaped ',' at column 4"},
      {"tag line cut", remedy + kText + "<item level=\"E\" severity=\"5\" pattern=\"" +
       std::string(1100, 'x') + "*\">\n<P>Means.</P>\n</item>\n</remedy>\n", 3, true, "1023"},
      {"duplicate remedy name", remedy + kText + item(kGood) + "</remedy>\n" + remedy + kText +
       item("level=\"E\" pattern=\"Bar *\" severity=\"3\"") + "</remedy>\n", 7, false,
       "already used at line 1"},
      {"remedy without items", remedy + kText + "</remedy>\n", 1, false, "has no items"},
      {"remedy without a name", "<remedy title=\"a\">\n" + std::string(kText) + item(kGood) +
       "</remedy>\n", 1, true, "no name"},
      {"item never closed", remedy + kText + "<item " + kGood + ">\n<P>Means.</P>\n" +
       item("level=\"E\" pattern=\"Bar *\" severity=\"3\"") + "</remedy>\n", 3, true,
       "not closed before the next <item>"},
      {"second closing tag", remedy + kText + item(kGood) + "</item>\n</remedy>\n", 6, true,
       "second copy of the item at line 3"},
      {"same item twice", remedy + kText + item(kGood) + item(kGood) + "</remedy>\n", 6, true,
       "pattern of the item at line 3"},
      {"backslash before the closing quote", remedy + kText +
       item("level=\"E\" pattern=\"Printer \\\"*\\\" stopped*\" severity=\"5\"") +
       "</remedy>\n", 3, true, "quote ends at the \\\" at column 35"},
      {"tag without its blank", remedy + kText + "<item\tlevel=\"E\" pattern=\"Foo *\" severity=\"5\">\n"
       "<P>Means.</P>\n</item>\n</remedy>\n", 3, true, "followed by a blank"},
  };
  for (const Case &c : cases) {
    std::vector<KbProblem> got = check(c.file);
    // A file left with no item also says so, as a whole (see below).
    got.erase(std::remove_if(got.begin(), got.end(), [](const KbProblem &p) { return !p.line; }),
              got.end());
    ASSERT_EQ(1u, got.size()) << c.what << ":\n" << [&] {
      std::string all;
      for (const KbProblem &p : got) all += KbCheck::format(p) + "\n";
      return all;
    }();
    EXPECT_EQ(c.line, got[0].line) << c.what << ": " << got[0].message;
    EXPECT_EQ(c.error, got[0].error) << c.what << ": " << got[0].message;
    EXPECT_NE(std::string::npos, got[0].message.find(c.says)) << c.what << ": " << got[0].message;
  }
}

TEST(KbCheck, FindsNothingInAWellFormedFile) {
  std::string file = "<?xml version=\"1.0\"?>\n<errors>\n<remedy name=\"a\">\n" + std::string(kText) +
                     item(kGood) + item("level=\"W\" pattern='Bar \\, \"x\" {a|b}*' severity=\"-1\"") +
                     "</remedy>\n</errors>\n";
  EXPECT_TRUE(check(file).empty());
  // A byte-order mark before the first tag hides nothing from the checker.
  EXPECT_TRUE(check("\xEF\xBB\xBF" + file.substr(file.find("<remedy"))).empty());
}

// A file that gives no item, or is not UTF-8 text, is one error of the
// whole file or of the line where that shows; nothing of it is taken.
TEST(KbCheck, AFileThatYieldsNothingIsAnError) {
  std::string good = "<remedy name=\"a\">\n" + std::string(kText) + item(kGood) + "</remedy>\n";
  auto utf16 = [](const std::string &s, bool little) {
    std::string out;
    for (char c : s) out += little ? std::string(1, c) + '\0' : '\0' + std::string(1, c);
    return out;
  };
  struct Case {
    const char *what;
    std::string file;
    int line;  // 0: the file as a whole
    const char *says;
  } cases[] = {
      {"empty", "", 0, "yields no item"},
      {"text and no tags", "<?xml version=\"1.0\"?>\n<P>Just text.</P>\n", 0, "yields no item"},
      {"UTF-16 with its mark", "\xFF\xFE" + utf16(good, true), 1, "UTF-16 (little-endian)"},
      {"UTF-16 big-endian", "\xFE\xFF" + utf16(good, false), 1, "UTF-16 (big-endian)"},
      {"UTF-16 without a mark", utf16(good, true), 1, "UTF-16 (little-endian)"},
      {"UTF-32", std::string("\xFF\xFE\0\0", 4) + "<\0\0\0", 1, "UTF-32"},
      {"a NUL byte on line 4", "<remedy name=\"a\">\n<P>x</P>\r\n<P>y</P>\r" + std::string(1, '\0') +
       good, 4, "NUL byte"},
  };
  for (const Case &c : cases) {
    ErrorXML xml(nullptr);
    std::vector<KbProblem> got = check(c.file, &xml);
    ASSERT_EQ(1u, got.size()) << c.what;
    EXPECT_TRUE(got[0].error) << c.what;
    EXPECT_EQ(c.line, got[0].line) << c.what << ": " << got[0].message;
    EXPECT_NE(std::string::npos, got[0].message.find(c.says)) << c.what << ": " << got[0].message;
    EXPECT_EQ(0, xml.num_items_) << c.what;
  }
}

TEST(KbCheck, FormatsAsCompilersDo) {
  KbProblem p{"errors.xml", 12, true, "item has no severity: the reader drops it"};
  EXPECT_EQ("errors.xml:12: error: item has no severity: the reader drops it", KbCheck::format(p));
  p.error = false;
  EXPECT_EQ("errors.xml:12: warning: item has no severity: the reader drops it",
            KbCheck::format(p));
  p.line = 0;
  EXPECT_EQ("errors.xml: warning: item has no severity: the reader drops it", KbCheck::format(p));
}

TEST(KbCheck, PatternFaults) {
  struct Case {
    const char *pattern;
    size_t faults;
  } cases[] = {
      {"Foo *", 0},        {"Foo \\, bar*", 0},  {"{a|b}*", 0},       {"{a*|b*}", 0},
      {"x[]]*", 0},        {"x[!]a]*", 0},       {"Foo\\*", 1},       {"Foo?", 1},
      {"a|b*", 1},         {"{a{b}*", 1},        {"a[*", 1},          {"a}b*", 1},
      {"a, b", 2},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.faults, KbCheck::pattern_faults(c.pattern).size()) << c.pattern;
}

// An item that an earlier one hides from its own sample never explains a line.
TEST(KbCheck, ReportsShadowedItemsFromTheirSamples) {
  Scratch s;
  std::string kb = s.write("errors.xml", "<remedy name=\"a\">\n" + std::string(kText) +
                                             item("level=\"E\" pattern=\"Foo *\" severity=\"1\"") +
                                             item("level=\"E\" pattern=\"Foo bar*\" severity=\"5\"") +
                                             item("level=\"E\" pattern=\"Baz*\" severity=\"5\"") +
                                             "</remedy>\n");
  std::string samples = s.write("samples.txt",
                                "# header\n"
                                "@ E Foo *\n"
                                "E [08/Dec/2026:17:23:40 +0000] Foo qux\n"
                                "@ E Foo bar*\n"
                                "E [08/Dec/2026:17:23:40 +0000] Foo bar baz\n"
                                "E [08/Dec/2026:17:23:40 +0000] Foo bar qux\n"
                                "@ E Baz*\n"
                                "W [08/Dec/2026:17:23:40 +0000] Baz\n"
                                "@ E Gone*\n");
  ErrorXML xml(nullptr);
  KbCheck c;
  xml.load(kb.c_str(), &c);
  std::string reason;
  ASSERT_TRUE(c.check_samples(xml, samples, &reason));
  std::vector<KbProblem> got = c.problems();
  ASSERT_EQ(3u, got.size());
  EXPECT_EQ(kb + ":6: error: item is shadowed by the item at line 3, which explains its sample (" +
                samples + ":5) first",
            KbCheck::format(got[0]));
  EXPECT_EQ(kb + ":9: error: item does not explain its own sample (" + samples + ":8)",
            KbCheck::format(got[1]));
  EXPECT_EQ(samples, got[2].file);
  EXPECT_EQ(9, got[2].line);
  EXPECT_FALSE(got[2].error);
  EXPECT_FALSE(c.check_samples(xml, s.path + "/none.txt", &reason));
  EXPECT_EQ("No such file or directory", reason);
}

// The checker sees the file the loader opens, or why none opened.
TEST(KbCheck, TellsWhichFileWasRead) {
  Scratch s;
  ErrorXML xml(nullptr);
  KbCheck c;
  setenv("TARN_DATADIR", s.path.c_str(), 1);
  xml.load((s.path + "/missing.xml").c_str(), &c);
  unsetenv("TARN_DATADIR");
  EXPECT_EQ("", c.path());
  EXPECT_EQ(ENOENT, c.open_error());
  KbCheck d;
  xml.load(s.path.c_str(), &d);  // a directory
  EXPECT_EQ("", d.path());
  EXPECT_EQ(s.path, d.tried());
  EXPECT_EQ(EISDIR, d.open_error());
}

}  // namespace

namespace {

// The checker reads patterns as the matcher does: a set in a group is whole,
// and a sample that writes its quotes with a backslash is the item's own.
TEST(KbCheck, ReadsSetsAndQuotesAsTheMatcherDoes) {
  struct Case {
    const char *pattern;
    size_t faults;
  } cases[] = {
      {"\\[Job *\\] {Filter [}] crashed|Backend crashed}*", 0}, {"{a|[|]b}*", 0},
      {"{[,]|x}*", 0}, {"{[}*", 1}, {"{a|[}]b*", 1},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.faults, KbCheck::pattern_faults(c.pattern).size()) << c.pattern;

  Scratch s;
  std::string kb = s.write("errors.xml",
                           "<remedy name=\"a\">\n" + std::string(kText) +
                               item("level=\"I\" pattern='Job canceled by \"*\"*' severity=\"1\"") +
                               "</remedy>\n");
  std::string samples = s.write("samples.txt",
                                "@ I Job canceled by \"*\"*\n"
                                "I [08/Dec/2026:17:23:40 +0000] Job canceled by \\\"root\\\"\n"
                                "I [08/Dec/2026:17:23:40 +0000] Job canceled by \"root\"\n");
  ErrorXML xml(nullptr);
  KbCheck c;
  xml.load(kb.c_str(), &c);
  std::string reason;
  ASSERT_TRUE(c.check_samples(xml, samples, &reason));
  EXPECT_TRUE(c.problems().empty()) << KbCheck::format(c.problems()[0]);
}

}  // namespace
