// hardening_knowledge.cxx - the knowledge base on files and patterns it cannot
// trust: a huge "errors.xml", deeply nested groups, a lone backslash, sets
// that never close, an overlong data directory, an unreadable file.
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "knowledge/ErrorXML.h"
#include "knowledge/pattern.h"
#include "tests/support/test_child.h"
#include "tests/support/test_util.h"


namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A heap copy with no room to spare, so that any read past the terminator is
// caught by the address sanitizer.
struct Exact {
  char *s;
  explicit Exact(const std::string &v) : s((char *)malloc(v.size() + 1)) {
    memcpy(s, v.c_str(), v.size() + 1);
  }
  ~Exact() { free(s); }
};

bool match(const std::string &text, const std::string &pattern) {
  Exact t(text), p(pattern);
  return pattern_match(t.s, p.s);
}

// Restores (or removes) an environment variable when the test ends.
struct EnvGuard {
  std::string name, old;
  bool had;
  explicit EnvGuard(const char *n) : name(n), had(getenv(n) != nullptr) {
    if (had) old = getenv(n);
  }
  ~EnvGuard() {
    if (had) setenv(name.c_str(), old.c_str(), 1);
    else unsetenv(name.c_str());
  }
};

TEST(BadKnowledge, HundredThousandItemsLoadAndMatchInBoundedTime) {
  TempDir dir;
  std::string xml = "<?xml version=\"1.0\"?>\n<errors>\n";
  const int remedies = 1000, per = 100;
  for (int r = 0; r < remedies; r++) {
    xml += "<remedy name=\"r" + std::to_string(r) + "\">\n<P>Remedy " + std::to_string(r) + "</P>\n";
    for (int i = 0; i < per; i++) {
      std::string id = std::to_string(r) + "_" + std::to_string(i);
      xml += "<item level=\"E\" pattern=\"Fault " + id + " on *\" severity=\"" +
             std::to_string(1 + i % 5) + "\">\n<P>Item " + id + "</P>\n</item>\n";
    }
    xml += "</remedy>\n";
  }
  xml += "</errors>\n";
  write_file(dir.file("errors.xml"), xml);

  auto start = Clock::now();
  ErrorXML kb(dir.file("errors.xml").c_str());
  kb.build_index();
  // About 0.2 s in an optimised build; the bounds leave room for sanitizers
  // and a busy machine.
  EXPECT_LT(seconds_since(start), 5.0);
  ASSERT_EQ(kb.num_items_, remedies * per);
  ASSERT_EQ(kb.num_remedies_, remedies);

  // The last item of the file, a middle one, and a line that fits none.
  start = Clock::now();
  struct {
    std::string id;
    int remedy;
  } cases[] = {{"999_99", 999}, {"500_7", 500}, {"0_0", 0}};
  for (const auto &c : cases) {
    std::string line = log_line('E', "Fault " + c.id + " on printer lp0");
    ErrorXMLItem *item = kb.find_item(line.c_str());
    ASSERT_NE(item, nullptr) << c.id;
    EXPECT_EQ(std::string(item->text), "<P>Item " + c.id + "</P>\n");
    EXPECT_EQ(item->remedy, kb.remedies_[c.remedy]);
  }
  std::string none = log_line('E', "Fault nowhere on printer lp0");
  for (int i = 0; i < 200; i++) EXPECT_EQ(kb.find_item(none.c_str()), nullptr);
  EXPECT_LT(seconds_since(start), 1.0);

  // Diagnose's scoring over the whole base.
  kb.clear_scores();
  for (int i = 0; i < 3; i++) kb.score_item(log_line('E', "Fault 321_4 on x").c_str());
  EXPECT_EQ(kb.best_remedy(), kb.remedies_[321]);
  EXPECT_EQ(kb.remedies_[321]->score, 15);
}

// Many items that require the same text, and a long line that holds it, or
// the start of it, everywhere: the text is compared once per place, not once
// per item, and once found it is not looked for again.
TEST(BadKnowledge, ManyItemsSharingATextStayQuickOnALongLine) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  const int many = 50000;
  for (int i = 0; i < many; i++) {
    kb.add_item(new ErrorXMLItem(1, 'W', "Fault * on *", "", r));
    kb.add_item(new ErrorXMLItem(1, 'E', "Fault on disk *", "", r));
  }
  ErrorXMLItem *last = new ErrorXMLItem(1, 'E', "*zzz", "", r);
  kb.add_item(last);
  std::string message;
  while (message.size() < 10000) message += "fault ";
  message += "zzz";
  std::string line = "E [08/Dec/2026:10:00:00 +0000] " + message;
  kb.build_index();
  auto start = Clock::now();
  for (int i = 0; i < 30; i++) ASSERT_EQ(kb.find_item(line.c_str()), last);
  EXPECT_LT(seconds_since(start), 2.0);
}

TEST(BadKnowledge, TenThousandNestedBracesStayBoundedAndDefined) {
  const int depth = 10000;
  std::string open(depth, '{'), close(depth, '}');
  struct {
    std::string text, pattern;
    bool want;
  } cases[] = {
      {"abc\n", open + "abc" + close + "*", true},
      {"abd\n", open + "abc" + close + "*", false},
      {"b\n", [&] {  // {a|{a|{a|...{a|b}...}}}
         std::string p;
         for (int i = 0; i < depth; i++) p += "{a|";
         return p + "b" + close + "\n";
       }(), true},
      {"c\n", [&] {
         std::string p;
         for (int i = 0; i < depth; i++) p += "{a|";
         return p + "b" + close + "\n";
       }(), false},
      // Closing braces with nothing open are skipped.
      {"x", close + "x" + close, true},
  };
  for (const auto &c : cases) {
    auto start = Clock::now();
    EXPECT_EQ(match(c.text, c.pattern), c.want) << c.text;
    EXPECT_LT(seconds_since(start), 5.0) << c.text;
  }
  // Groups that never close: nothing is read past the pattern, and the answer
  // is the same every time.
  std::string unclosed = open + "a";
  bool first = match("a", unclosed);
  EXPECT_EQ(match("a", unclosed), first);
  EXPECT_FALSE(match("b", unclosed));
}

TEST(BadKnowledge, LoneBackslashAndUnclosedSets) {
  struct {
    std::string text, pattern;
    bool want;
  } cases[] = {
      {"\\", "\\", true},          // a backslash at the end matches a backslash
      {"", "\\", false},
      {"a", "\\", false},
      {"abc\\", "abc\\", true},
      {"abc\\", "*\\", true},
      {"abc", "abc\\", false},
      {"a", "[", false},           // sets without their "]" match nothing
      {"a", "[a", false},
      {"a", "[!", false},
      {"a", "[^a-", false},
      {"b", "[a-", false},
      {"\\", "[\\", false},
      {"]", "[]", false},
      {"xyz", "*[", false},
      {"xyz", "x[yz", false},
      {"x", "x[", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(match(c.text, c.pattern), c.want) << "'" << c.text << "' vs '" << c.pattern << "'";

  // The same patterns as items: lookups return nothing, or the right item.
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "<P>r</P>");
  kb.add_remedy(r);
  for (const char *p : {"[", "\\", "[abc", "*[!", "{{{{"}) kb.add_item(new ErrorXMLItem(1, 'E', p, "bad", r));
  kb.add_item(new ErrorXMLItem(1, 'E', "*\\\\\n", "slash", r));
  std::string plain = log_line('E', "Nothing special");
  EXPECT_EQ(kb.find_item(plain.c_str()), nullptr);
  std::string slash = log_line('E', "Path ends in \\");
  ErrorXMLItem *item = kb.find_item(slash.c_str());
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(item->text, "slash");
}

TEST(BadKnowledge, PathologicalPatternInTheFileIsCutAndHarmless) {
  TempDir dir;
  std::string braces(10000, '{');
  std::string xml = "<remedy name=\"deep\">\n<P>deep</P>\n"
                    "<item level=\"E\" severity=\"3\" pattern=\"" + braces + "\">\n<P>x</P>\n</item>\n"
                    "<item level=\"E\" pattern=\"[unclosed\" severity=\"3\">\n<P>y</P>\n</item>\n"
                    "<item level=\"E\" pattern=\"\\\" severity=\"3\">\n<P>z</P>\n</item>\n"
                    "</remedy>\n";
  write_file(dir.file("errors.xml"), xml);
  auto start = Clock::now();
  ErrorXML kb(dir.file("errors.xml").c_str());
  ASSERT_EQ(kb.num_items_, 3);
  EXPECT_EQ(std::string(kb.items_[0]->pattern), std::string(255, '{'));  // values are cut
  for (const char *msg : {"Anything at all", "[unclosed", "\\"}) {
    std::string line = log_line('E', msg);
    EXPECT_EQ(kb.find_item(line.c_str()), nullptr) << msg;
  }
  EXPECT_LT(seconds_since(start), 5.0);
}

// Severities come from the file, so they can be as large as an int holds;
// a few matching lines must not wrap a remedy's score around.
TEST(BadKnowledge, HugeSeveritiesDoNotWrapTheScore) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *big = new ErrorXMLRemedy("big", "<P>big</P>");
  ErrorXMLRemedy *small = new ErrorXMLRemedy("small", "<P>small</P>");
  ErrorXMLRemedy *bad = new ErrorXMLRemedy("bad", "<P>bad</P>");
  kb.add_remedy(small);
  kb.add_remedy(big);
  kb.add_remedy(bad);
  kb.add_item(new ErrorXMLItem(2000000000, 'E', "Disk full*", "d", big));
  kb.add_item(new ErrorXMLItem(5, 'E', "Paper out*", "p", small));
  kb.add_item(new ErrorXMLItem(-2000000000, 'E', "Odd*", "o", bad));
  kb.clear_scores();
  kb.score_item(log_line('E', "Paper out").c_str());
  for (int i = 0; i < 2; i++) {
    kb.score_item(log_line('E', "Disk full").c_str());
    kb.score_item(log_line('E', "Odd").c_str());
  }
  EXPECT_GT(big->score, 5);
  EXPECT_LT(bad->score, 0);
  EXPECT_EQ(kb.best_remedy(), big);
}

TEST(BadKnowledge, OverlongDataDirectoryGivesAnEmptyKnowledgeBase) {
  TempDir dir;
  EnvGuard guard("TARN_DATADIR");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);  // no errors.xml here
  for (size_t len : {1020u, 1024u, 1100u, 5000u}) {
    std::string datadir = "/" + std::string(len - 1, 'q');
    setenv("TARN_DATADIR", datadir.c_str(), 1);
    ErrorXML kb("errors.xml");
    EXPECT_EQ(kb.num_items_, 0) << len;
    EXPECT_EQ(kb.num_remedies_, 0) << len;
  }
  ASSERT_EQ(chdir(cwd), 0);
}

TEST(BadKnowledge, UnreadableFileIsAnEmptyKnowledgeBase) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  TempDir work, data;
  chmod(work.path.c_str(), 0755);
  chmod(data.path.c_str(), 0755);
  std::string xml = "<remedy name=\"r\">\n<P>r</P>\n<item level=\"E\" pattern=\"*\" "
                    "severity=\"1\">\n<P>i</P>\n</item>\n</remedy>\n";
  mkdir((data.path + "/data").c_str(), 0755);
  std::string local = work.file("errors.xml"), shared = data.path + "/data/errors.xml";
  write_file(local, xml);
  write_file(shared, xml);
  auto counts = [&] {
    return as_nobody([&] {
      if (chdir(work.path.c_str()) != 0) return std::string("<no chdir>");
      setenv("TARN_DATADIR", data.path.c_str(), 1);
      ErrorXML kb("errors.xml");
      return std::to_string(kb.num_remedies_) + "/" + std::to_string(kb.num_items_);
    });
  };
  chmod(local.c_str(), 0);
  chmod(shared.c_str(), 0);
  EXPECT_EQ(counts(), "0/0");
  // The copy in the data directory is read when the local one cannot be.
  chmod(shared.c_str(), 0644);
  EXPECT_EQ(counts(), "1/1");
}

}  // namespace
