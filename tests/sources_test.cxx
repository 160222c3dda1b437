// sources_test.cxx - what the window reads: its command line, a log with its
// rotated parts listed and followed as one history, a journal listed and
// followed, one host of it, and another source opened in place of the first.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/Args.h"
#include "app/ErrorLog.h"
#include "tests/support/journal_util.h"
#include "tests/support/widget_util.h"

namespace {

using Lines = std::vector<std::string>;

TEST(WindowArgs, TheCommandLineNamesOneSource) {
  struct {
    std::vector<const char *> args;
    const char *wrong;  // a part of the complaint; null: none
    bool named;
    SourceRef::Kind kind;
    const char *path, *host;
    bool rotated;
  } cases[] = {
      {{}, nullptr, false, SourceRef::File, "", "", true},
      {{"error_log"}, nullptr, true, SourceRef::File, "error_log", "", true},
      {{"--no-rotated", "error_log"}, nullptr, true, SourceRef::File, "error_log", "", false},
      {{"--", "-odd"}, nullptr, true, SourceRef::File, "-odd", "", true},
      {{"-"}, nullptr, true, SourceRef::File, "-", "", true},
      {{"--journal"}, nullptr, true, SourceRef::Journal, "", "", true},
      {{"--journal-file", "a.journal", "--host", "beta"}, nullptr, true, SourceRef::JournalFile,
       "a.journal", "beta", true},
      {{"--journal-file=a.journal"}, nullptr, true, SourceRef::JournalFile, "a.journal", "", true},
      {{"-D", "dir"}, nullptr, true, SourceRef::JournalDirectory, "dir", "", true},
      {{"-Ddir", "--host=beta"}, nullptr, true, SourceRef::JournalDirectory, "dir", "beta", true},
      {{"--directory=dir"}, nullptr, true, SourceRef::JournalDirectory, "dir", "", true},
      {{"--host", "beta"}, nullptr, false, SourceRef::File, "", "beta", true},
      {{"-psn_0_42"}, nullptr, false, SourceRef::File, "", "", true},
      {{"a", "b"}, "one too many", false, SourceRef::File, "", "", true},
      {{"--", "a", "b"}, "one too many", false, SourceRef::File, "", "", true},
      {{"--journal", "-D", "dir"}, "one source", false, SourceRef::File, "", "", true},
      {{"--journal", "error_log"}, "cannot be shown at once", false, SourceRef::File, "", "", true},
      {{"--host", "beta", "error_log"}, "which host", false, SourceRef::File, "", "", true},
      {{"--no-rotated", "--journal"}, "--no-rotated", false, SourceRef::File, "", "", true},
      {{"--journal-file"}, "needs a file name", false, SourceRef::File, "", "", true},
      {{"--host="}, "needs a host", false, SourceRef::File, "", "", true},
      {{"--follow"}, "unknown option --follow", false, SourceRef::File, "", "", true},
  };
  for (const auto &c : cases) {
    std::vector<char *> argv{(char *)"veklog"};
    std::string shown;
    for (const char *a : c.args) {
      argv.push_back((char *)a);
      shown += std::string(" ") + a;
    }
    argv.push_back(nullptr);
    WindowArgs a;
    std::string wrong = parse_window_args((int)argv.size() - 1, argv.data(), a);
    if (c.wrong) {
      EXPECT_NE(wrong.find(c.wrong), std::string::npos) << shown << ": " << wrong;
      continue;
    }
    EXPECT_EQ(wrong, "") << shown;
    EXPECT_EQ(a.mode, WindowArgs::Run) << shown;
    EXPECT_EQ(a.named, c.named) << shown;
    EXPECT_EQ(a.ref.kind, c.kind) << shown;
    EXPECT_EQ(a.ref.path, c.path) << shown;
    EXPECT_EQ(a.ref.host, c.host) << shown;
    EXPECT_EQ(a.ref.rotated, c.rotated) << shown;
  }
  // Unnamed, the configuration decides, with the host and --no-rotated given.
  WindowArgs a;
  char *argv[] = {(char *)"veklog", (char *)"--no-rotated", (char *)"--host", (char *)"beta", nullptr};
  ASSERT_EQ(parse_window_args(4, argv, a), "");
  SourceRef j = located_source(a, LogLocation{LogLocation::Journal, "", ""});
  SourceRef f = located_source(a, LogLocation{LogLocation::File, "/x/error_log", ""});
  EXPECT_TRUE(j.kind == SourceRef::Journal && j.host == "beta");
  EXPECT_TRUE(f.kind == SourceRef::File && f.path == "/x/error_log" && !f.rotated && f.host.empty());
}

const char *kKnowledge =
    "<remedy name=\"printer\">\n<P>Check the printer's cable.</P>\n"
    "<item level=\"E\" pattern=\"Printer not connected*\" severity=\"5\">\n"
    "<P>The printer is unplugged.</P>\n</item>\n</remedy>\n";

std::string line(int minute, const char *text) {
  char buf[128];
  snprintf(buf, sizeof buf, "E [09/Dec/2026:10:%02d:00 +0000] %s\n", minute, text);
  return buf;
}

struct Sources : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::unique_ptr<ErrorLog> log;

  void open(const SourceRef &ref) {
    write_file(dir.file("errors.xml"), kKnowledge);
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    log.reset(new ErrorLog(ref));
    ASSERT_EQ(chdir(cwd), 0);
  }
  std::string pane() { return log->help_->value() ? log->help_->value() : ""; }
  bool shows(const Lines &lines, double seconds = 3.0) {
    return wait_for([&] { return lines_of(log->list_) == lines; }, seconds);
  }
};

// Newest first over the parts; a rename rotation while following keeps
// every line once; a reload reads the set as it now is; the View menu's
// toggle lists the log alone.
TEST_F(Sources, ARotatedSetListsAsOneHistoryAndKeepsItsLinesAcrossARotation) {
  write_file(path + ".1", line(1, "one"));
  write_file(path + ".O", line(2, "old"));
  write_file(path, line(3, "live"));
  open(SourceRef{SourceRef::File, path, "", true});
  EXPECT_EQ(lines_of(log->list_), (Lines{line(3, "live"), line(2, "old"), line(1, "one")}));
  EXPECT_NE(pane().find("after its 2 rotated parts as one history"), std::string::npos) << pane();

  write_file(path, line(4, "last before"), "ab");
  ASSERT_EQ(rename(path.c_str(), (path + ".O").c_str()), 0);
  write_file(path, line(5, "after"));
  Lines all{line(5, "after"), line(4, "last before"), line(3, "live"), line(2, "old"), line(1, "one")};
  EXPECT_TRUE(shows(all)) << testing::PrintToString(lines_of(log->list_));
  write_file(path, line(6, "more"), "ab");
  all.insert(all.begin(), line(6, "more"));
  EXPECT_TRUE(shows(all)) << testing::PrintToString(lines_of(log->list_));

  // The old error_log.O was replaced by the rotation: a reload no longer has it.
  log->reload();
  EXPECT_EQ(lines_of(log->list_),
            (Lines{line(6, "more"), line(5, "after"), line(4, "last before"), line(3, "live"), line(1, "one")}));

  const Fl_Menu_Item *toggle = log->menubar_->find_item("&View/R&otated Logs");
  ASSERT_TRUE(toggle && toggle->value());
  log->menubar_->picked(toggle);
  EXPECT_FALSE(toggle->value());
  EXPECT_EQ(lines_of(log->list_), (Lines{line(6, "more"), line(5, "after")}));
  EXPECT_FALSE(log->list_->source().rotated);
}

const uint64_t kT0 = 1765000000ull * 1000000;

std::vector<JEntry> two_hosts() {
  std::vector<JEntry> e;
  for (int p = 0; p <= 7; p++)
    e.push_back({kT0 + (uint64_t)p * 1000000, p, "alpha says " + std::to_string(p), "alpha", p == 3 ? 7 : -1});
  e.push_back({kT0 + 9000000, 3, "Printer not connected", "beta"});
  return e;
}

// Every priority as its level letter, the level filter, the start page;
// an entry added while the window follows is listed within a second or so.
TEST_F(Sources, AJournalListsWithItsLevelsAndFollowsAnAddedEntry) {
  REQUIRE_JOURNAL_REMOTE();
  ZoneFor zone("UTC0");
  std::string file = dir.file("tarn.journal");
  ASSERT_TRUE(write_journal(file, two_hosts()));
  open(SourceRef{SourceRef::JournalFile, file, "", true});
  EXPECT_NE(pane().find("<H2>The Journal</H2>"), std::string::npos) << pane();
  EXPECT_NE(pane().find("the journal file " + file), std::string::npos);
  EXPECT_EQ(log->list_->size(), 5);  // X A C E at the Errors level, beta's one among them
  log->level(2);
  Lines listed = lines_of(log->list_);
  ASSERT_EQ(listed.size(), 9u);
  std::string letters;
  for (auto it = listed.rbegin(); it != listed.rend(); ++it) letters += (*it)[0];
  EXPECT_EQ(letters, "XACEWNIDE");
  EXPECT_EQ(listed.back(), "X [06/Dec/2025:05:46:40 +0000] alpha says 0\n");
  EXPECT_EQ(listed.front().substr(31), "Printer not connected\n");

  ASSERT_TRUE(write_journal(file, {{kT0 + 20000000, 4, "added while followed", "beta"}}));
  auto written = std::chrono::steady_clock::now();
  EXPECT_TRUE(wait_for([&] { return log->list_->size() == 10; }, 5.0));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - written).count();
  EXPECT_LT(took, 1.5);
  EXPECT_EQ(lines_of(log->list_).front().substr(31), "added while followed\n");
}

// --host: one host's entries, named in the title and on the start page;
// Open... of another source keeps the level, and a log file's title has no host.
TEST_F(Sources, OneHostOfAJournalAndAnotherSourceOpenedInItsPlace) {
  REQUIRE_JOURNAL_REMOTE();
  std::string file = dir.file("tarn.journal");
  ASSERT_TRUE(write_journal(file, two_hosts()));
  open(SourceRef{SourceRef::JournalFile, file, "beta", true});
  EXPECT_EQ(lines_of(log->list_).size(), 1u);
  EXPECT_EQ(lines_of(log->list_)[0].substr(31), "Printer not connected\n");
  EXPECT_NE(std::string(log->window_->label()).find("host beta"), std::string::npos);
  EXPECT_NE(pane().find("of the host <TT>beta</TT> alone"), std::string::npos) << pane();
  const Fl_Menu_Item *toggle = log->menubar_->find_item("&View/R&otated Logs");
  ASSERT_TRUE(toggle);
  EXPECT_FALSE(toggle->active());
  const Fl_Menu_Item *open = log->menubar_->find_item("&File/&Open...");
  ASSERT_TRUE(open && log->menubar_->find_item("&File/Open &Journal Directory..."));
  EXPECT_EQ(open->shortcut(), FL_CTRL + 'o');

  log->level(1);
  write_file(path, "W [09/Dec/2026:10:00:00 +0000] a warning\n" + line(1, "an error"));
  EXPECT_FALSE(log->open_path(""));
  ASSERT_TRUE(log->open_path(path.c_str()));
  EXPECT_EQ(log->list_->source().kind, SourceRef::File);
  EXPECT_EQ(lines_of(log->list_), (Lines{line(1, "an error"), "W [09/Dec/2026:10:00:00 +0000] a warning\n"}));
  EXPECT_EQ(std::string(log->window_->label()).find("host beta"), std::string::npos);
  EXPECT_TRUE(toggle->active());
  // And back to the journal, every host's, by its file's name.
  ASSERT_TRUE(log->open_path(file.c_str()));
  EXPECT_EQ(log->list_->source().kind, SourceRef::JournalFile);
  EXPECT_EQ(log->list_->size(), 8);  // every level up to I, both hosts
}

}  // namespace
