// knowledge_model.cxx - the knowledge base model: storage growth, which item
// a log line finds, and Diagnose's scores.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "tests/support/test_util.h"
#include "knowledge/pattern.h"

namespace {

// An exactly sized heap copy, so that reading past its end is caught by the
// address sanitizer.
struct ExactCopy {
  char *s;
  explicit ExactCopy(const std::string &v) {
    s = (char *)malloc(v.size() + 1);
    memcpy(s, v.c_str(), v.size() + 1);
  }
  ~ExactCopy() { free(s); }
};

}  // namespace

TEST(KnowledgeModel, ArraysGrowBy16DoublingThenBy256) {
  struct { int count, alloc; } table[] = {
      {1, 16},    {16, 16},   {17, 32},   {33, 64},   {129, 256},
      {256, 256}, {257, 512}, {512, 512}, {513, 768}, {769, 1024},
  };
  for (auto &row : table) {
    ErrorXML kb(0);
    for (int i = 0; i < row.count; i++) {
      ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
      r->score = i;
      kb.add_remedy(r);
      kb.add_item(new ErrorXMLItem(i, 'E', "*", "x", r));
    }
    ASSERT_EQ(row.count, kb.num_items_);
    ASSERT_EQ(row.count, kb.num_remedies_);
    EXPECT_EQ(row.alloc, kb.alloc_items_) << "count " << row.count;
    EXPECT_EQ(row.alloc, kb.alloc_remedies_) << "count " << row.count;
    // Every pointer survived the moves, in order.
    for (int i = 0; i < row.count; i++) {
      ASSERT_EQ(i, kb.items_[i]->severity);
      ASSERT_EQ(i, kb.remedies_[i]->score);
      ASSERT_EQ(kb.remedies_[i], kb.items_[i]->remedy);
    }
  }
}

TEST(KnowledgeModel, ConstructorsKeepCopies) {
  char name[] = "name", text[] = "<p>text</p>", pattern[] = "pat*";
  ErrorXMLRemedy r(name, text);
  ErrorXMLItem item(7, 'W', pattern, text, &r);
  name[0] = text[0] = pattern[0] = 'X';
  EXPECT_STREQ("name", r.name);
  EXPECT_STREQ("<p>text</p>", r.text);
  EXPECT_STREQ("pat*", item.pattern);
  EXPECT_STREQ("<p>text</p>", item.text);
  EXPECT_EQ(7, item.severity);
  EXPECT_EQ('W', item.level);
  EXPECT_EQ(&r, item.remedy);
}

TEST(KnowledgeModel, FindItemMatchesLevelAndMessage) {
  ErrorXML kb(0);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  ErrorXMLItem *exact = new ErrorXMLItem(1, 'E', "Unable to open *", "a", r);
  ErrorXMLItem *no_nl = new ErrorXMLItem(1, 'W', "Disk full", "b", r);
  ErrorXMLItem *comma = new ErrorXMLItem(1, 'N', "Job 1, queued*", "c", r);
  ErrorXMLItem *escaped = new ErrorXMLItem(1, 'I', "Job 2\\, queued*", "d", r);
  ErrorXMLItem *letter = new ErrorXMLItem(1, 'C', "\\printer\\ stopped*", "e", r);
  ErrorXMLItem *any = new ErrorXMLItem(1, 0, "*", "f", r);
  for (ErrorXMLItem *i : {exact, no_nl, comma, escaped, letter, any}) kb.add_item(i);

  struct { char level; const char *message; ErrorXMLItem *expect; } table[] = {
      {'E', "Unable to open file\n", exact},
      {'E', "UNABLE TO OPEN file\n", exact},   // letters ignore case
      {'e', "Unable to open file\n", any},     // the level letter does not
      {'W', "Disk full\n", any},               // the newline must be matched
      {'W', "Disk full", no_nl},
      {'N', "Job 1, queued for lp\n", any},    // bare comma ends the pattern
      {'N', "Job 1", comma},                   // ... so only this fits
      {'I', "Job 2, queued for lp\n", escaped},
      {'C', "PRINTER Stopped\n", letter},      // escaped letters ignore case too
      {'C', "Printer stopped\n", letter},
      {'X', "", any},                          // exactly 31 characters
  };
  for (auto &row : table) {
    ExactCopy line(message_line(row.level, row.message));
    EXPECT_EQ(row.expect, kb.find_item(line.s)) << line.s;
  }
}

TEST(KnowledgeModel, ShortLinesMatchNothing) {
  ErrorXML kb(0);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  kb.add_item(new ErrorXMLItem(1, 0, "*", "any", r));
  std::string full = message_line('E', "");
  for (size_t len = 0; len < 31; len++) {
    ExactCopy line(full.substr(0, len));
    EXPECT_EQ(nullptr, kb.find_item(line.s)) << "length " << len;
  }
  EXPECT_EQ(nullptr, kb.find_item(nullptr));
}

TEST(KnowledgeModel, FirstMatchingItemInFileOrderWins) {
  ErrorXML kb(0);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  ErrorXMLItem *other = new ErrorXMLItem(1, 'E', "Other*", "0", r);
  ErrorXMLItem *first = new ErrorXMLItem(1, 'E', "*paper*", "1", r);
  ErrorXMLItem *second = new ErrorXMLItem(1, 'E', "Out of paper*", "2", r);
  ErrorXMLItem *anylevel = new ErrorXMLItem(1, 0, "Out*", "3", r);
  kb.add_item(other);
  kb.add_item(first);
  kb.add_item(second);
  kb.add_item(anylevel);
  EXPECT_EQ(first, kb.find_item(message_line('E', "Out of paper\n").c_str()));
  EXPECT_EQ(anylevel, kb.find_item(message_line('W', "Out of paper\n").c_str()));
}

TEST(KnowledgeModel, FindRemedyComparesNamesExactly) {
  ErrorXML kb(0);
  ErrorXMLRemedy *a = new ErrorXMLRemedy("paper", "1");
  ErrorXMLRemedy *b = new ErrorXMLRemedy("Paper", "2");
  ErrorXMLRemedy *c = new ErrorXMLRemedy("paper", "3");
  kb.add_remedy(a);
  kb.add_remedy(b);
  kb.add_remedy(c);
  EXPECT_EQ(a, kb.find_remedy("paper"));
  EXPECT_EQ(b, kb.find_remedy("Paper"));
  EXPECT_EQ(nullptr, kb.find_remedy("pape"));
  EXPECT_EQ(nullptr, kb.find_remedy(nullptr));
}

// Two remedies with items; lines of the test log name which item fits.
class KnowledgeScores : public ::testing::Test {
protected:
  ErrorXML kb{nullptr};
  ErrorXMLRemedy *paper, *toner, *network;
  void SetUp() override {
    paper = new ErrorXMLRemedy("paper", "Load paper");
    toner = new ErrorXMLRemedy("toner", "Replace toner");
    network = new ErrorXMLRemedy("network", "Check cable");
    kb.add_remedy(paper);
    kb.add_remedy(toner);
    kb.add_remedy(network);
    kb.add_item(new ErrorXMLItem(5, 'E', "Out of paper*", "", paper));
    kb.add_item(new ErrorXMLItem(2, 'E', "Paper jam*", "", paper));
    kb.add_item(new ErrorXMLItem(7, 'E', "Toner low*", "", toner));
    kb.add_item(new ErrorXMLItem(-4, 'E', "Host down*", "", network));
    kb.add_item(new ErrorXMLItem(1, 'E', "Host slow*", "", network));
  }
  void score(const char *message, int times = 1) {
    std::string line = message_line('E', message);
    for (int i = 0; i < times; i++) kb.score_item(line.c_str());
  }
};

TEST_F(KnowledgeScores, SeveritiesAddUpPerRemedy) {
  kb.clear_scores();
  score("Out of paper\n", 3);
  score("Paper jam\n");
  score("Nothing known\n", 4);
  EXPECT_EQ(17, paper->score);
  EXPECT_EQ(0, toner->score);
  EXPECT_EQ(paper, kb.best_remedy());
  kb.clear_scores();
  EXPECT_EQ(0, paper->score);
  EXPECT_EQ(nullptr, kb.best_remedy());
}

TEST_F(KnowledgeScores, EqualScoresGoToTheEarlierRemedy) {
  kb.clear_scores();
  score("Toner low\n", 2);      // 14
  score("Out of paper\n", 2);   // 10
  score("Paper jam\n", 2);      // 14
  EXPECT_EQ(14, paper->score);
  EXPECT_EQ(14, toner->score);
  EXPECT_EQ(paper, kb.best_remedy());
  score("Toner low\n");
  EXPECT_EQ(toner, kb.best_remedy());
}

TEST_F(KnowledgeScores, NegativeOrZeroScoresAreNeverBest) {
  kb.clear_scores();
  score("Host down\n", 3);
  score("Host slow\n", 2);
  EXPECT_EQ(-10, network->score);
  EXPECT_EQ(nullptr, kb.best_remedy());
  score("Host slow\n", 11);
  EXPECT_EQ(1, network->score);
  EXPECT_EQ(network, kb.best_remedy());
}

// find_item skips items through an index; it must give exactly what trying
// every item in order gives.
namespace {

ErrorXMLItem *plain_walk(ErrorXML &kb, const char *line) {
  if (strlen(line) < 31) return nullptr;
  for (int i = 0; i < kb.num_items_; i++) {
    ErrorXMLItem *item = kb.items_[i];
    if (item->level && item->level != line[0]) continue;
    if (pattern_match(line + 31, item->pattern)) return item;
  }
  return nullptr;
}

std::string random_piece(std::mt19937 &rng) {
  static const char *pieces[] = {
      "job",  "JOB", "Job ", "printer", "\\a",  "\\*", "\\,", "\\",  "*",
      "?",    "[jp]", "[!j]", "{job|printer}", "{a,{b|c}d|e}", "}",  ",",
      "|x}",  " ",   "\n",   "\xe9",  "[a",   "ab",  "",     "J\\ob", "[]j]x",
  };
  return pieces[rng() % (sizeof pieces / sizeof pieces[0])];
}

}  // namespace

TEST(KnowledgeIndex, FindsWhatAPlainWalkFinds) {
  std::mt19937 rng(1208);
  for (int round = 0; round < 20; round++) {
    ErrorXML kb(nullptr);
    ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
    kb.add_remedy(r);
    std::vector<std::string> patterns;
    int items = 1 + (int)(rng() % 150);
    for (int i = 0; i < items; i++) {
      std::string p;
      int n = (int)(rng() % 5);
      for (int k = 0; k < n; k++) p += random_piece(rng);
      patterns.push_back(p);
      const char levels[] = {0, 'E', 'W', 'e'};
      kb.add_item(new ErrorXMLItem(1, levels[rng() % 4], p.c_str(), "", r));
    }
    int hits = 0;
    for (int n = 0; n < 500; n++) {
      // Lines built from the same pieces, or from a known pattern's own
      // text with its special characters taken literally.
      std::string message;
      if (rng() % 2) {
        int k = (int)(rng() % 5);
        for (int j = 0; j < k; j++) message += random_piece(rng);
      } else {
        for (char c : patterns[rng() % patterns.size()])
          if (!strchr("\\*?[]{}|,", c)) message += c;
        if (rng() % 2) message += "\n";
      }
      std::string line = message_line("EWeI"[rng() % 4], message.c_str());
      ErrorXMLItem *expect = plain_walk(kb, line.c_str());
      ASSERT_EQ(expect, kb.find_item(line.c_str())) << "line \"" << line << "\"";
      hits += expect != nullptr;
    }
    EXPECT_GT(hits, 0);
  }
}

TEST(KnowledgeIndex, ItemsAddedAfterALookupAreFound) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  std::string line = message_line('E', "Toner low\n");
  kb.add_item(new ErrorXMLItem(1, 'E', "Paper*", "", r));
  EXPECT_EQ(nullptr, kb.find_item(line.c_str()));
  ErrorXMLItem *wild = new ErrorXMLItem(1, 'E', "*low*", "", r);
  kb.add_item(wild);
  EXPECT_EQ(wild, kb.find_item(line.c_str()));
  ErrorXMLItem *later = new ErrorXMLItem(1, 'E', "toner*", "", r);
  kb.add_item(later);
  EXPECT_EQ(wild, kb.find_item(line.c_str()));   // still the earlier one
}

// Answers are remembered by message; a remembered answer must never stand in
// for a different line: another level, a message that differs only past the
// length remembered, or one read at its exact size.
TEST(KnowledgeIndex, RepeatedMessagesGetTheAnswerOfAFreshLookup) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  kb.add_item(new ErrorXMLItem(1, 'E', "Disk full on *", "", r));
  kb.add_item(new ErrorXMLItem(1, 0, "Disk * on spool", "", r));
  kb.add_item(new ErrorXMLItem(1, 0, "*tail one", "", r));
  kb.add_item(new ErrorXMLItem(1, 'W', "*tail two", "", r));
  std::vector<std::string> messages = {"Disk full on spool", "Disk FULL on spool",
                                       "Disk full on disk"};
  const size_t kept = ItemIndex::MEMO_TEXT;  // the longest message remembered
  for (size_t len : {kept - 20, kept - 1, kept, kept + 1, kept + 80}) {
    std::string pad(len - 8, 'x');
    messages.push_back(pad + "tail one");
    messages.push_back(pad + "tail two");
  }
  for (int round = 0; round < 3; round++) {
    for (const std::string &m : messages) {
      for (char level : {'E', 'W', 'D'}) {
        ExactCopy line(message_line(level, m.c_str()));
        ErrorXMLItem *expect = nullptr;
        for (int i = 0; i < kb.num_items_ && !expect; i++) {
          ErrorXMLItem *item = kb.items_[i];
          if ((!item->level || item->level == level) && pattern_match(line.s + 31, item->pattern))
            expect = item;
        }
        ASSERT_EQ(expect, kb.find_item(line.s)) << level << " " << m.size() << " " << m;
      }
    }
  }
  // The same line before and after the base learns a better item.
  ExactCopy line(message_line('D', "Disk full on disk"));
  EXPECT_EQ(nullptr, kb.find_item(line.s));
  ErrorXMLItem *later = new ErrorXMLItem(1, 0, "Disk full*", "", r);
  kb.add_item(later);
  EXPECT_EQ(later, kb.find_item(line.s));
}

// An item whose plain text outside groups is short is found by a text of each
// alternative of a group (nested ones too): a line that fits by any of them
// gets the item, one that holds a text but does not fit the next one.
TEST(KnowledgeIndex, GroupsAreFoundByEachAlternative) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  const char *patterns[] = {"\\[Job *\\] {Printer busy,The printer is offline,SCSI device * busy}*",
                            "Unknown {directive {User|Group},option Group} on line *",
                            "{Filter|Backend} \"*\" {crashed|failed to start}*", "*"};
  for (const char *p : patterns) kb.add_item(new ErrorXMLItem(1, 'E', p, "", r));
  const char *messages[] = {"[Job 7] Printer busy, retrying", "[Job 7] The printer is offline",
                            "[Job 7] SCSI device sg0 busy", "[Job 7] printer BUSY",
                            "[Job 7] Printer is busy",         "Unknown directive Group on line 3",
                            "Unknown option Group on line 3",  "Unknown option User on line 3",
                            "Backend \\\"usb\\\" crashed",       "Filter \"x\" failed to start now",
                            "crashed"};
  for (const char *m : messages) {
    std::string line = message_line('E', m);
    ErrorXMLItem *expect = plain_walk(kb, line.c_str());
    ASSERT_EQ(expect, kb.find_item(line.c_str())) << m;
  }
  EXPECT_EQ(kb.items_[0], kb.find_item(message_line('E', "[Job 7] SCSI device sg0 busy").c_str()));
  EXPECT_EQ(kb.items_[3], kb.find_item(message_line('E', "Unknown option User on line 3").c_str()));
}

// The memo reads every digit as 0; the items whose patterns tell digits
// apart (a digit written out, a set of some digits) must still answer for
// each message as a fresh lookup would, also when more of them may come
// first than a slot holds.
TEST(KnowledgeIndex, MessagesAlikeButForDigitsGetTheirOwnAnswers) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  const char *patterns[] = {"Job 1 failed*", "Job [0-4]2 failed*", "Job * failed*",
                            "Port [0-9][0-9] closed*", "Port 8? closed*", "*status 1*",
                            "*status 2*", "*status 3*", "*status 4*", "*status 5*",
                            "*status 6*", "*status*"};
  for (const char *p : patterns) kb.add_item(new ErrorXMLItem(1, *p == 'J' ? 'E' : 0, p, "", r));
  const char *messages[] = {"Job 1 failed", "Job 7 failed", "Job 12 failed", "Job 52 failed",
                            "Job 11 failed", "Port 80 closed", "Port 8x closed", "status 3 now",
                            "status 9 now", "status 5 now", "code 1 status 7"};
  for (int round = 0; round < 3; round++)
    for (const char *m : messages)
      for (char level : {'E', 'W'}) {
        std::string line = message_line(level, m);
        ASSERT_EQ(plain_walk(kb, line.c_str()), kb.find_item(line.c_str())) << level << " " << m;
      }
}

// The index keys an item by text its pattern requires; text after a group
// is required only when the groups close and nothing outside them ends an
// alternative. Each line here fits its pattern only by a way that skips the
// longest text.
TEST(KnowledgeIndex, TextPastGroupsIsRequiredOnlyWhenEveryWayHasIt) {
  struct {
    const char *pattern, *message;
  } cases[] = {
      {"wxyz,abcdefgh", "wxyz"},                 // a separator outside groups ends the pattern
      {"wxyz|abcdefgh}tail", "wxyztail"},        // ... or jumps past a later brace
      {"{ab|cd}efghijkl*", "cdefghijkl and more"},
      {"[{]ab|cdefghijkl}*", "{ab"},              // a brace in a set
      {"q{a|bbbbbbbbbb", "qa"},                  // a group never closed
      {"q}rrrrrrrr{x|y}", "qrrrrrrrrx"},
      {"q}{aaaaaaaa|b}", "qb"},                  // a stray brace before a group
  };
  for (const auto &c : cases) {
    ErrorXML kb(nullptr);
    ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
    kb.add_remedy(r);
    ErrorXMLItem *item = new ErrorXMLItem(1, 0, c.pattern, "", r);
    kb.add_item(item);
    ExactCopy line(message_line('E', c.message));
    ASSERT_TRUE(pattern_match(c.message, c.pattern)) << c.pattern;
    EXPECT_EQ(item, kb.find_item(line.s)) << c.pattern;
  }
}

// A quote in a pattern may come after a backslash in the line: the index must
// not require the text around a quote to stand side by side.
TEST(KnowledgeIndex, QuotesWrittenWithABackslashAreFound) {
  ErrorXML kb(nullptr);
  ErrorXMLRemedy *r = new ErrorXMLRemedy("r", "t");
  kb.add_remedy(r);
  const char *patterns[] = {"File \"*\" has insecure permissions*", "Job canceled by \"*\"*",
                            "*Printer \"office\" is now disabled*", "Unable to open '*': *",
                            "{Filter|Backend} \"*\" crashed*"};
  for (const char *p : patterns) kb.add_item(new ErrorXMLItem(1, 'E', p, "", r));
  const char *messages[] = {
      "File \\\"/usr/lib/tarn/filter/x\\\" has insecure permissions (0100777).\n",
      "File \"/usr/lib/tarn/filter/x\" has insecure permissions.\n",
      "Job canceled by \\\"root\\\"\n",
      "[Job 3] Printer \\\"office\\\" is now disabled\n",
      "Unable to open \\'/etc/x\\': No such file\n",
      "Backend \\\"usb\\\" crashed\n",
  };
  int expect[] = {0, 0, 1, 2, 3, 4};
  for (int round = 0; round < 2; round++)
    for (int m = 0; m < 6; m++) {
      ExactCopy line(message_line('E', messages[m]));
      ASSERT_EQ(plain_walk(kb, line.s), kb.find_item(line.s)) << messages[m];
      EXPECT_EQ(kb.items_[expect[m]], kb.find_item(line.s)) << messages[m];
    }
  std::mt19937 rng(25);
  static const char *pieces[] = {"\"", "\\\"", "'", "quoted", "QUOTED ", "*", "?", "{a|\"b}",
                                 "[\"]", "x"};
  for (int n = 0; n < 300; n++) {
    std::string p, m;
    for (int k = 0; k < 4; k++) p += pieces[rng() % 10];
    kb.add_item(new ErrorXMLItem(1, 0, p.c_str(), "", r));
    for (int k = 0; k < 5; k++) m += pieces[rng() % 10];
    for (size_t at; (at = m.find_first_of("*?{}|[]")) != std::string::npos;) m.erase(at, 1);
    ExactCopy line(message_line('W', m.c_str()));
    ASSERT_EQ(plain_walk(kb, line.s), kb.find_item(line.s)) << m;
  }
}
