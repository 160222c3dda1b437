// knowledge_loader.cxx - reading "errors.xml": where it is found, its four
// tags, attributes, and what odd files turn into.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "tests/support/test_util.h"

namespace {

// A scratch directory, removed with its files at the end of each test, and
// no installed knowledge base picked up by accident.
class KnowledgeFile : public ::testing::Test {
protected:
  TempDir scratch;
  const std::string dir = scratch.path;
  ScopedEnv datadir{"TARN_DATADIR", (dir + "/nowhere").c_str()};

  std::string write(const std::string &name, const std::string &content) {
    return scratch.write(name, content);
  }
  // Loads a knowledge base from the given file contents.
  ErrorXML *load(const std::string &content) {
    return new ErrorXML(write("errors.xml", content).c_str());
  }
};


}  // namespace

TEST_F(KnowledgeFile, ReadsRemediesAndItems) {
  ErrorXML *kb = load(
      "<?xml version=\"1.0\"?>\n"
      "<errors>\n"
      "<remedy name=\"paper\">\n"
      "<p>Load paper.</p>\n"
      "  <item level=\"E\" pattern=\"Out of paper*\" severity=\"5\">\n"
      "  <p>The tray is empty.</p>\n"
      "  </item>\n"
      "  between items, discarded\n"
      "  <item level='W' pattern='Paper low*' severity='2'>\n"
      "  <p>Nearly empty.</p>\n"
      "  </item>\n"
      "</remedy>\n"
      "<remedy name=toner>\n"
      "\n"
      "<item pattern=Toner* severity=-3>\n"
      "</item>\n"
      "</remedy>\n"
      "</errors>\n");
  ASSERT_EQ(2, kb->num_remedies_);
  ASSERT_EQ(3, kb->num_items_);
  ErrorXMLRemedy *paper = kb->remedies_[0], *toner = kb->remedies_[1];
  EXPECT_STREQ("paper", paper->name);
  EXPECT_STREQ("<p>Load paper.</p>\n", paper->text);
  EXPECT_STREQ("toner", toner->name);
  EXPECT_STREQ("\n", toner->text);

  struct { int severity; char level; const char *pattern, *text; ErrorXMLRemedy *remedy; } expect[] = {
      {5, 'E', "Out of paper*", "  <p>The tray is empty.</p>\n", paper},
      {2, 'W', "Paper low*", "  <p>Nearly empty.</p>\n", paper},
      {-3, 0, "Toner*", "", toner},
  };
  for (int i = 0; i < 3; i++) {
    ErrorXMLItem *item = kb->items_[i];
    EXPECT_EQ(expect[i].severity, item->severity) << i;
    EXPECT_EQ(expect[i].level, item->level) << i;
    EXPECT_STREQ(expect[i].pattern, item->pattern) << i;
    EXPECT_STREQ(expect[i].text, item->text) << i;
    EXPECT_EQ(expect[i].remedy, item->remedy) << i;
  }
  EXPECT_EQ(kb->items_[0], kb->find_item(message_line('E', "Out of paper\n").c_str()));
  EXPECT_EQ(kb->items_[2], kb->find_item(message_line('I', "Toner\n").c_str()));
  delete kb;
}

TEST_F(KnowledgeFile, MissingFileGivesEmptyKnowledgeBase) {
  ErrorXML kb((dir + "/absent.xml").c_str());
  EXPECT_EQ(0, kb.num_items_);
  EXPECT_EQ(0, kb.num_remedies_);
  EXPECT_EQ(nullptr, kb.find_item(message_line('E', "x\n").c_str()));
  ErrorXML none(nullptr);
  EXPECT_EQ(0, none.num_items_);
}

TEST_F(KnowledgeFile, FallsBackToTheDataDirectory) {
  ASSERT_EQ(0, mkdir((dir + "/share").c_str(), 0755));
  ASSERT_EQ(0, mkdir((dir + "/share/data").c_str(), 0755));
  write("share/data/kb.xml",
        "<remedy name=\"from-datadir\">\n\n<item pattern=\"*\" severity=\"1\">\n"
        "</item>\n</remedy>\n");
  write("here.xml",
        "<remedy name=\"from-path\">\n\n<item pattern=\"*\" severity=\"1\">\n"
        "</item>\n</remedy>\n");
  setenv("TARN_DATADIR", (dir + "/share").c_str(), 1);

  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(dir.c_str()));
  // A directory and a FIFO by the bare name do not count as the file, and
  // the FIFO must not make the reader wait for a writer.
  ASSERT_EQ(0, mkdir((dir + "/adir.xml").c_str(), 0755));
  ASSERT_EQ(0, mkfifo((dir + "/fifo.xml").c_str(), 0644));
  struct { const char *name; const char *expect; } table[] = {
      {"kb.xml", "from-datadir"},      // not here: the data directory
      {"here.xml", "from-path"},       // the bare name wins
      {"adir.xml", nullptr},           // neither is a regular file
      {"fifo.xml", nullptr},
  };
  for (auto &row : table) {
    ErrorXML kb(row.name);
    if (row.expect) {
      ASSERT_EQ(1, kb.num_remedies_) << row.name;
      EXPECT_STREQ(row.expect, kb.remedies_[0]->name) << row.name;
    } else {
      EXPECT_EQ(0, kb.num_remedies_) << row.name;
    }
  }
  // The directory by the bare name does not hide the data directory's file.
  ASSERT_EQ(0, mkdir((dir + "/share/data/adir.xml").c_str(), 0755));
  ASSERT_EQ(0, rename((dir + "/share/data/kb.xml").c_str(), (dir + "/share/data/fifo.xml").c_str()));
  ErrorXML kb("fifo.xml");
  ASSERT_EQ(1, kb.num_remedies_);
  EXPECT_STREQ("from-datadir", kb.remedies_[0]->name);
  ASSERT_EQ(0, chdir(cwd));
}

// The working directory's file decides what every line means, so it is
// used only when no one else could have put it there; else the next place.
TEST_F(KnowledgeFile, WorkingDirectoryFileOnlyWhenNoOneElseCouldPlantIt) {
  const char *kb = "<remedy name=\"%s\">\n\n<item pattern=\"*\" severity=\"1\">\n</item>\n</remedy>\n";
  char text[256];
  ASSERT_EQ(0, mkdir((dir + "/share").c_str(), 0755));
  ASSERT_EQ(0, mkdir((dir + "/share/data").c_str(), 0755));
  snprintf(text, sizeof text, kb, "from-datadir");
  write("share/data/errors.xml", text);
  setenv("TARN_DATADIR", (dir + "/share").c_str(), 1);
  ASSERT_EQ(0, mkdir((dir + "/work").c_str(), 0755));
  snprintf(text, sizeof text, kb, "from-cwd");
  std::string file = write("work/errors.xml", text), work = dir + "/work";
  bool root = geteuid() == 0;  // only root can give a file to another user
  struct {
    const char *what;
    mode_t file_mode, dir_mode;
    uid_t owner;  // 0: this user
    const char *used;
    const char *why;  // why the working directory's file was passed over
  } cases[] = {
      {"own, written by no one else", 0644, 0755, 0, "from-cwd", ""},
      {"group may write it", 0664, 0755, 0, "from-datadir", "it may be written by others (mode 0664)"},
      {"anyone may write it", 0666, 0755, 0, "from-datadir", "(mode 0666)"},
      {"anyone may write its directory", 0644, 01777, 0, "from-datadir",
       "its directory " "%s may be written by others (mode 1777)"},
      {"another user's", 0644, 0755, 65534, "from-datadir", "it belongs to "},
  };
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(work.c_str()));
  for (const auto &c : cases) {
    if (c.owner && !root) continue;
    ASSERT_EQ(0, chmod(file.c_str(), c.file_mode));
    ASSERT_EQ(0, chmod(work.c_str(), c.dir_mode));
    ASSERT_EQ(0, chown(file.c_str(), c.owner ? c.owner : geteuid(), (gid_t)-1));
    ErrorXML found("errors.xml");
    ASSERT_EQ(1, found.num_remedies_) << c.what;
    EXPECT_STREQ(c.used, found.remedies_[0]->name) << c.what;
    std::vector<std::string> ignored = found.lookup_.ignored();
    char why[1024];
    snprintf(why, sizeof why, c.why, work.c_str());
    if (!*c.why) {
      EXPECT_TRUE(ignored.empty()) << c.what;
      EXPECT_EQ(file, found.lookup_.shown()) << c.what;
    } else {
      ASSERT_EQ(1u, ignored.size()) << c.what;
      EXPECT_NE(std::string::npos, ignored[0].find(why)) << c.what << ": " << ignored[0];
      EXPECT_EQ(dir + "/share/data/errors.xml", found.lookup_.shown()) << c.what;
    }
    // A file the user names is read whoever may write it.
    ErrorXML named(nullptr);
    named.load_file("errors.xml");
    ASSERT_EQ(1, named.num_remedies_) << c.what;
    EXPECT_STREQ("from-cwd", named.remedies_[0]->name) << c.what;
  }
  ASSERT_EQ(0, chmod(work.c_str(), 0755));
  ASSERT_EQ(0, chdir(cwd));
}

TEST_F(KnowledgeFile, MissingRemedyNameCreatesNothing) {
  ErrorXML *kb = load(
      "<remedy title=\"x\">\n"
      "text\n"
      "<item level=\"E\" pattern=\"*\" severity=\"1\">\n"
      "</item>\n"
      "</remedy>\n");
  EXPECT_EQ(0, kb->num_remedies_);
  EXPECT_EQ(0, kb->num_items_);
  delete kb;
}

TEST_F(KnowledgeFile, ItemNeedsPatternAndSeverity) {
  ErrorXML *kb = load(
      "<remedy name=\"r\">\n"
      "text\n"
      "<item level=\"E\" pattern=\"no severity*\">\n"
      "</item>\n"
      "<item level=\"E\" severity=\"3\">\n"
      "</item>\n"
      "<item level=\"E\" pattern=\"both*\" severity=\"4\">\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(1, kb->num_items_);
  EXPECT_STREQ("both*", kb->items_[0]->pattern);
  delete kb;
}

// A severity is taken only when an int holds it as written; anything else
// would weigh as some other number, so the item is not taken at all.
TEST_F(KnowledgeFile, SeverityIsAWholeNumberAnIntHolds) {
  struct {
    const char *severity;
    bool taken;
    int value;
  } cases[] = {
      {"5", true, 5},           {"-1", true, -1},          {"+7", true, 7},
      {"0", true, 0},           {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},                      {"0000000000000000005", true, 5},
      {"2147483648", false, 0}, {"4294967301", false, 0},  {"-2147483649", false, 0},
      {"abc", false, 0},        {"5abc", false, 0},        {" 5", false, 0},
      {"-", false, 0},          {"99999999999999999999999", false, 0},
  };
  for (const auto &c : cases) {
    ErrorXML *kb = load(std::string("<remedy name=\"r\">\ntext\n<item level=\"E\" pattern=\"x*\" "
                                    "severity=\"") + c.severity + "\">\n</item>\n</remedy>\n");
    ASSERT_EQ(c.taken ? 1 : 0, kb->num_items_) << c.severity;
    if (c.taken) {
      EXPECT_EQ(c.value, kb->items_[0]->severity) << c.severity;
    }
    delete kb;
  }
}

// Carriage returns alone end lines as newlines do; a file that is not UTF-8
// text is refused whole, with its encoding named.
TEST_F(KnowledgeFile, LineEndsAndEncodings) {
  const std::string body =
      "<?xml version=\"1.0\"?>\n<remedy name=\"paper\">\n<p>Load paper.</p>\n"
      "<item level=\"E\" pattern=\"Out of paper*\" severity=\"5\">\n<p>Empty.</p>\n</item>\n"
      "</remedy>\n";
  auto ends = [&](const std::string &end) {
    std::string out;
    for (char c : body) out += c == '\n' ? end : std::string(1, c);
    return out;
  };
  auto utf16 = [&](bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : body) out += little ? std::string(1, c) + '\0' : '\0' + std::string(1, c);
    return out;
  };
  struct {
    const char *what;
    std::string file;
    const char *item_text;  // null: refused
    const char *refused;
  } cases[] = {
      {"newlines", body, "<p>Empty.</p>\n", ""},
      {"carriage returns", ends("\r"), "<p>Empty.</p>\n", ""},
      {"both", ends("\r\n"), "<p>Empty.</p>\r\n", ""},
      {"mixed", ends("\r").substr(0, 60) + body.substr(60), nullptr, ""},
      {"UTF-16 little-endian", utf16(true), nullptr, "UTF-16 (little-endian)"},
      {"UTF-16 big-endian", utf16(false), nullptr, "UTF-16 (big-endian)"},
      {"UTF-16 without its mark", utf16(true).substr(2), nullptr, "UTF-16 (little-endian)"},
      {"a NUL byte", body.substr(0, 70) + '\0' + body.substr(70), nullptr, "NUL byte"},
  };
  for (const auto &c : cases) {
    ErrorXML *kb = load(c.file);
    EXPECT_NE(std::string::npos, kb->refused_.find(c.refused)) << c.what << ": " << kb->refused_;
    EXPECT_EQ(!*c.refused, kb->refused_.empty()) << c.what;
    if (*c.refused) {
      EXPECT_EQ(0, kb->num_items_) << c.what;
    } else {
      ASSERT_EQ(1, kb->num_items_) << c.what;
      EXPECT_STREQ("paper", kb->remedies_[0]->name) << c.what;
      if (c.item_text) {
        EXPECT_STREQ(c.item_text, kb->items_[0]->text) << c.what;
      }
      EXPECT_NE(nullptr, kb->find_item(message_line('E', "Out of paper\n").c_str())) << c.what;
    }
    delete kb;
  }
}

// Each line of a long text is appended to what came before; that must not
// copy the whole of it again each time.
TEST_F(KnowledgeFile, ALongTextLoadsInLinearTime) {
  std::string text;
  while (text.size() < 10 * 1024 * 1024) text += "<p>A line of a very long remedy text.</p>\n";
  std::string path = write("errors.xml", "<remedy name=\"r\">\n" + text +
                                             "<item pattern=\"x*\" severity=\"1\">\n</item>\n</remedy>\n");
  auto start = std::chrono::steady_clock::now();
  ErrorXML kb(path.c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(1, kb.num_remedies_);
  EXPECT_EQ(text, kb.remedies_[0]->text);
  EXPECT_LT(seconds, 2.0);
}

TEST_F(KnowledgeFile, LevelKeepsOnlyItsFirstCharacter) {
  ErrorXML *kb = load(
      "<remedy name=\"r\">\n"
      "text\n"
      "<item level=\"Error\" pattern=\"*\" severity=\"1\">\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(1, kb->num_items_);
  EXPECT_EQ('E', kb->items_[0]->level);
  EXPECT_NE(nullptr, kb->find_item(message_line('E', "x\n").c_str()));
  EXPECT_EQ(nullptr, kb->find_item(message_line('r', "x\n").c_str()));
  delete kb;
}

// The state attribute, for Diagnose's rules of context: one of four words,
// anything else (or none) is no state.
TEST_F(KnowledgeFile, StateNamesWhatALineTellsOfItsQueue) {
  struct {
    const char *attribute;
    ErrorXMLItem::State state;
  } cases[] = {{" state=\"down\"", ErrorXMLItem::Down},   {" state=\"up\"", ErrorXMLItem::Up},
               {" state='added'", ErrorXMLItem::Added},     {" state=\"lookup\"", ErrorXMLItem::Lookup},
               {"", ErrorXMLItem::NoState},                 {" state=\"Down\"", ErrorXMLItem::NoState},
               {" state=\"sideways\"", ErrorXMLItem::NoState}, {" state=", ErrorXMLItem::NoState}};
  for (const auto &c : cases) {
    ErrorXML *kb = load(std::string("<remedy name=\"r\">\ntext\n<item level=\"E\" pattern=\"*\" "
                                    "severity=\"1\"") + c.attribute + ">\n</item>\n"
                        "<item level=\"E\" pattern=\"x*\" severity=\"1\">\n</item>\n</remedy>\n");
    ASSERT_EQ(2, kb->num_items_) << c.attribute;
    EXPECT_EQ(c.state, kb->items_[0]->state) << c.attribute;
    EXPECT_EQ(ErrorXMLItem::NoState, kb->items_[1]->state) << "carried over from " << c.attribute;
    delete kb;
  }
}

TEST_F(KnowledgeFile, SecondItemClosingTagMakesASecondItem) {
  ErrorXML *kb = load(
      "<remedy name=\"r\">\n"
      "text\n"
      "<item level=\"C\" pattern=\"Twice*\" severity=\"6\">\n"
      "first\n"
      "</item>\n"
      "second\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(2, kb->num_items_);
  ErrorXMLItem *a = kb->items_[0], *b = kb->items_[1];
  EXPECT_STREQ("first\n", a->text);
  EXPECT_STREQ("first\nsecond\n", b->text);
  EXPECT_EQ(a->severity, b->severity);
  EXPECT_EQ(a->level, b->level);
  EXPECT_STREQ(a->pattern, b->pattern);
  EXPECT_EQ(a->remedy, b->remedy);
  delete kb;
}

TEST_F(KnowledgeFile, RemedyNeedsTextBeforeItsFirstItem) {
  // The first item is lost; its lines become the remedy's text.
  ErrorXML *kb = load(
      "<remedy name=\"r\">\n"
      "<item level=\"E\" pattern=\"lost*\" severity=\"1\">\n"
      "lost text\n"
      "</item>\n"
      "<item level=\"E\" pattern=\"kept*\" severity=\"2\">\n"
      "kept text\n"
      "</item>\n"
      "</remedy>\n"
      "<remedy name=\"single\">\n"
      "<item level=\"E\" pattern=\"alone*\" severity=\"1\">\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(1, kb->num_remedies_);
  ASSERT_EQ(1, kb->num_items_);
  EXPECT_STREQ(
      "<item level=\"E\" pattern=\"lost*\" severity=\"1\">\n"
      "lost text\n"
      "</item>\n",
      kb->remedies_[0]->text);
  EXPECT_STREQ("kept*", kb->items_[0]->pattern);
  EXPECT_STREQ("kept text\n", kb->items_[0]->text);
  delete kb;
}

TEST_F(KnowledgeFile, ItemAfterRemedyClosingTagStartsRemedyOfSameName) {
  ErrorXML *kb = load(
      "<remedy name=\"r\">\n"
      "text\n"
      "<item level=\"E\" pattern=\"a*\" severity=\"1\">\n"
      "item a\n"
      "</item>\n"
      "after a\n"
      "</remedy>\n"
      "outside\n"
      "<item level=\"E\" pattern=\"b*\" severity=\"2\">\n"
      "item b\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(2, kb->num_remedies_);
  ASSERT_EQ(2, kb->num_items_);
  EXPECT_STREQ("r", kb->remedies_[1]->name);
  EXPECT_STREQ("item a\nafter a\noutside\n", kb->remedies_[1]->text);
  EXPECT_EQ(kb->remedies_[1], kb->items_[1]->remedy);
  delete kb;
}

TEST_F(KnowledgeFile, NestedRemedyTagIsText) {
  ErrorXML *kb = load(
      "<remedy name=\"outer\">\n"
      "text\n"
      "<item level=\"E\" pattern=\"a*\" severity=\"1\">\n"
      "</item>\n"
      "<remedy name=\"inner\">\n"
      "inner text\n"
      "<item level=\"E\" pattern=\"b*\" severity=\"1\">\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(1, kb->num_remedies_);
  EXPECT_STREQ("outer", kb->remedies_[0]->name);
  ASSERT_EQ(2, kb->num_items_);
  EXPECT_EQ(kb->remedies_[0], kb->items_[1]->remedy);
  EXPECT_EQ(nullptr, kb->find_remedy("inner"));
  delete kb;
}

TEST_F(KnowledgeFile, BlanksAroundEqualsGiveEmptyValues) {
  ErrorXML *kb = load(
      "<remedy name = \"never\">\n"
      "text\n"
      "<item level=\"E\" pattern=\"*\" severity=\"1\">\n"
      "</item>\n"
      "</remedy>\n"
      "<remedy name=\"r\">\n"
      "text\n"
      "<item level=\"E\" pattern =\"p*\" severity=\"1\">\n"
      "</item>\n"
      "<item level=\"E\" pattern=\"s*\" severity= \"1\">\n"
      "</item>\n"
      "<item level =\"E\" pattern=\"any*\" severity=\"1\">\n"
      "</item>\n"
      "</remedy>\n");
  ASSERT_EQ(1, kb->num_remedies_);
  EXPECT_STREQ("r", kb->remedies_[0]->name);
  // The items with an empty pattern or severity are not made; but the
  // pattern and severity of the next item line replace them.
  ASSERT_EQ(1, kb->num_items_);
  EXPECT_STREQ("any*", kb->items_[0]->pattern);
  EXPECT_EQ(0, kb->items_[0]->level);
  EXPECT_NE(nullptr, kb->find_item(message_line('W', "any\n").c_str()));
  delete kb;
}

TEST_F(KnowledgeFile, RemedyWithoutClosingTagStillBacksItsItems) {
  ErrorXML *kb = load(
      "<remedy name=\"unfinished\">\n"
      "<p>do this</p>\n"
      "<item level=\"E\" pattern=\"Broken*\" severity=\"9\">\n"
      "</item>\n");
  EXPECT_EQ(0, kb->num_remedies_);
  ASSERT_EQ(1, kb->num_items_);
  ErrorXMLItem *item = kb->find_item(message_line('E', "Broken\n").c_str());
  ASSERT_EQ(kb->items_[0], item);
  ASSERT_NE(nullptr, item->remedy);
  EXPECT_STREQ("<p>do this</p>\n", item->remedy->text);
  kb->clear_scores();
  kb->score_item(message_line('E', "Broken\n").c_str());
  EXPECT_EQ(nullptr, kb->best_remedy());
  delete kb;   // the remedy goes with it (checked by the leak sanitizer)
}

TEST_F(KnowledgeFile, LongLinesArriveInPiecesOf1023) {
  std::string long_text(3000, 'x');
  std::string hidden_tag = std::string(1023, 'y') + "</item>\n";
  std::string big;   // beyond the first 8192 bytes of the text buffer
  for (int i = 0; i < 500; i++) big += "<p>line " + std::to_string(i) + "</p>\n";
  ErrorXML *kb = load(
      "<remedy name=\"r\">\n" + long_text + "\n" +
      "<item level=\"E\" pattern=\"a*\" severity=\"1\">\n" + hidden_tag +
      "<item level=\"E\" pattern=\"b*\" severity=\"1\">\n" + big + "</item>\n" +
      "</remedy>\n");
  ASSERT_EQ(1, kb->num_remedies_);
  EXPECT_EQ(long_text + "\n", kb->remedies_[0]->text);
  // The piece after the first 1023 characters is a closing tag of its own.
  ASSERT_EQ(2, kb->num_items_);
  EXPECT_EQ(std::string(1023, 'y'), kb->items_[0]->text);
  EXPECT_EQ(big, kb->items_[1]->text);
  delete kb;
}

// Editors on other systems put a UTF-8 byte-order mark at the start of the
// file; it must not hide the first tag. Anywhere else it is text.
TEST_F(KnowledgeFile, ByteOrderMarkAtTheStartIsSkipped) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string body =
      "<remedy name=\"paper\">\n<p>Load paper.</p>\n"
      "<item level=\"E\" pattern=\"Out of paper*\" severity=\"5\">\n<p>Empty.</p>\n</item>\n"
      "</remedy>\n";
  struct {
    std::string file;
    int remedies, items;
    const char *remedy_text;
  } cases[] = {
      {bom + body, 1, 1, "<p>Load paper.</p>\n"},
      {bom + "<?xml version=\"1.0\"?>\n" + body, 1, 1, "<p>Load paper.</p>\n"},
      {bom + "  " + body, 1, 1, "<p>Load paper.</p>\n"},
      // A mark in the middle of the file is text, and so hides a tag there.
      {"<remedy name=\"paper\">\n" + bom + "<p>Load paper.</p>\n" + body.substr(body.find("<item")),
       1, 1, "\xEF\xBB\xBF<p>Load paper.</p>\n"},
      {body.substr(0, body.find("<item")) + bom + body.substr(body.find("<item")), 0, 0, nullptr},
      {bom, 0, 0, nullptr},
      {bom.substr(0, 2) + body, 0, 0, nullptr},   // half a mark is not one
  };
  for (const auto &c : cases) {
    ErrorXML *kb = load(c.file);
    EXPECT_EQ(c.remedies, kb->num_remedies_) << c.file;
    EXPECT_EQ(c.items, kb->num_items_) << c.file;
    if (c.remedy_text && kb->num_remedies_ > 0) {
      EXPECT_STREQ(c.remedy_text, kb->remedies_[0]->text);
    }
    delete kb;
  }
}

TEST(KnowledgeAttr, ReadsOneAttributeFromATagLine) {
  struct {
    const char *rest, *name;
    int size;
    const char *value;   // null: absent
  } table[] = {
      {"name=\"paper\">\n", "name", 128, "paper"},
      {"name='paper'>\n", "name", 128, "paper"},
      {"name=paper>\n", "name", 128, "paper"},
      {"name=\"it's\">\n", "name", 128, "it's"},
      {"name='say \"hi\"'>\n", "name", 128, "say \"hi\""},
      {"name=\"a b>c\">\n", "name", 128, "a b>c"},
      {"name=\"ab\"cd'e f'>\n", "name", 128, "abcde f"},
      {"name=\"open\n", "name", 128, "open\n"},
      {"a=1 b=2 name=3\n", "name", 128, "3"},
      {"a=1 b=2 name=3\n", "b", 128, "2"},
      {"Name=x\n", "name", 128, nullptr},
      {"name=x> other=y\n", "other", 128, nullptr},
      {"name=\n", "name", 128, ""},
      {"name = x\n", "name", 128, ""},
      {"flag name=x\n", "flag", 128, ""},
      {"name=abcdef\n", "name", 4, "abc"},
      {"level=\"Error\"\n", "level", 2, "E"},
      {"", "name", 128, nullptr},
      {">name=x\n", "name", 128, nullptr},
      {"   \t\n", "name", 128, nullptr},
  };
  for (auto &row : table) {
    char buffer[128];
    memset(buffer, '#', sizeof buffer);
    char *got = ErrorXML::get_attr(row.rest, row.name, buffer, row.size);
    if (row.value) {
      EXPECT_EQ(buffer, got) << row.rest;
      EXPECT_STREQ(row.value, buffer) << row.rest;
    } else {
      EXPECT_EQ(nullptr, got) << row.rest;
      EXPECT_STREQ("", buffer) << row.rest;
    }
  }
}

TEST(KnowledgeAttr, LongNamesAreCutTo254) {
  std::string name(300, 'n');
  std::string rest = name + "=v\n";
  char buffer[16];
  EXPECT_EQ(nullptr, ErrorXML::get_attr(rest.c_str(), name.c_str(), buffer, sizeof buffer));
  EXPECT_EQ(buffer, ErrorXML::get_attr(rest.c_str(), name.substr(0, 254).c_str(), buffer, sizeof buffer));
  EXPECT_STREQ("v", buffer);
}
