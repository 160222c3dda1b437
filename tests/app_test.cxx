// app_test.cxx - the window controller with real widgets: the first read,
// level switching, reloading, polling, and the bundle directory rule.
#include <string.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <utime.h>

#include <functional>
#include <memory>

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/ErrorLog.h"
#include "app/bundle.h"
#include "tests/support/widget_util.h"

namespace {

// Moves the file's modification time so the poll sees a change even within
// the same second.
void touch_back(const std::string &path, int seconds_ago) {
  struct utimbuf t;
  t.actime = t.modtime = time(0) - seconds_ago;
  utime(path.c_str(), &t);
}

struct Window : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::unique_ptr<ErrorLog> log;

  void open(const std::string &bytes) {
    write_file(path, bytes);
    touch_back(path, 100);
    log.reset(new ErrorLog(path.c_str()));
  }
};

TEST_F(Window, BuildsTheWindowAndShowsTheLogAtOnce) {
  open("E one\nW two\nE three\n");
  EXPECT_STREQ(log->window_->label(), "Error Log 1.0 beta 1");
  EXPECT_EQ(log->window_->w(), 645);
  EXPECT_EQ(log->window_->h(), 455);
  EXPECT_EQ(log->window_->user_data(), log.get());
  EXPECT_EQ(log->list_->type(), FL_MULTI_BROWSER);
  EXPECT_EQ(log->list_->y(), 25);
  EXPECT_EQ(log->list_->h(), 230);
  EXPECT_EQ(log->help_->y(), 255);
  EXPECT_EQ(log->help_->textsize(), 16);
  EXPECT_EQ(log->list_->when(), 6);
  EXPECT_EQ(lines_of(log->list_), (std::vector<std::string>{"E three\n", "E one\n"}));
  EXPECT_NE(log->mtime_, 0);
}

TEST_F(Window, LevelReReadsAndFilters) {
  open("E one\nW two\nD three\n");
  log->level(2);
  EXPECT_EQ(log->list_->size(), 3);
  // Each choice reads the file again, even the same level twice.
  write_file(path, "I four\n", "ab");
  log->level(2);
  EXPECT_EQ(log->list_->size(), 4);
  log->level(1);
  EXPECT_EQ(lines_of(log->list_), (std::vector<std::string>{"I four\n", "W two\n", "E one\n"}));
  log->level(0);
  EXPECT_EQ(lines_of(log->list_), (std::vector<std::string>{"E one\n"}));
}

TEST_F(Window, MenuEntriesSwitchTheLevel) {
  open("E one\nW two\nD three\n");
  const Fl_Menu_Item *all = log->menubar_->find_item("&View/&All");
  ASSERT_NE(all, nullptr);
  log->menubar_->picked(all);
  EXPECT_EQ(log->list_->level_, 2);
  EXPECT_EQ(log->list_->size(), 3);
  log->menubar_->picked(log->menubar_->find_item("&View/&Errors"));
  EXPECT_EQ(log->list_->level_, 0);
  EXPECT_EQ(log->list_->size(), 1);
}

TEST_F(Window, ReloadKeepsTheCurrentLineOrItsNumberAlone) {
  open("E 1\nE 2\nE 3\nE 4\n");
  ErrorBrowser *list = log->list_;
  list->select(3);
  list->select(1);
  list->select(3);  // current line 3 ("E 2"), lines 1 and 3 selected
  list->position(10);
  // A log replaced by a longer one is read afresh; "E 2" is still there, in
  // the same place: it stays current, alone selected, in view.
  std::string other = dir.file("other");
  write_file(other, "E 1\nE 2\nE 3\nE 4\nE 5\nE 6\n");
  ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
  log->reload();
  EXPECT_EQ(selected_of(list), std::vector<int>{5});
  EXPECT_STREQ(list->text(5), "E 2\n");
  EXPECT_EQ(list->position(), 0);
  // A line no longer there: the same number is selected.
  write_file(path, "E a\nE b\nE c\nE d\nE e\nE f\n");
  log->reload();
  EXPECT_EQ(selected_of(list), std::vector<int>{5});
  EXPECT_STREQ(list->text(5), "E b\n");
  // A number beyond the new end selects nothing.
  write_file(path, "E only\n");
  log->reload();
  EXPECT_EQ(selected_of(list), std::vector<int>{});
  EXPECT_EQ(list->value(), 0);
}

// After a full re-read the highlight and the pane agree: the current line
// stays current when it is still listed, else the line with its number is;
// the pane explains that line, or says that the line it explained is gone.
TEST_F(Window, AReReadKeepsTheHighlightAndThePaneTogether) {
  const std::string log_text = "E one\nW two\nE three\nW four\n";
  auto rewrite_in_place = [&](const std::string &bytes) {
    struct stat st;
    stat(path.c_str(), &st);
    write_file(path, bytes, "r+b");
    struct timespec t[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, path.c_str(), t, 0);
  };
  struct {
    const char *what;
    int level, click;
    std::function<void()> change;
    int want;               // the line selected afterwards, 0 none
    const char *explained;  // what the pane quotes
    bool note;              // that the line explained before is not listed
  } cases[] = {
      {"level, the line still listed", 2, 4, [&] { log->level(0); }, 2, "E one", false},
      {"level, the line not listed", 2, 1, [&] { log->level(0); }, 1, "E three", true},
      {"level, nothing at its number", 2, 3, [&] { log->level(0); }, 0, "W two", true},
      {"the same level again", 0, 2, [&] { log->level(0); }, 2, "E one", false},
      {"rewritten in place, same size and time",
       0, 1, [&] { rewrite_in_place("E one\nW two\nE THREE\nW four\n"); log->poll(); }, 1,
       "E THREE", true},
  };
  for (const auto &c : cases) {
    open(log_text);
    log->level(c.level);
    log->list_->select(c.click);
    log->list_cb();
    c.change();
    std::string pane = log->help_->value() ? log->help_->value() : "";
    EXPECT_EQ(selected_of(log->list_), c.want ? std::vector<int>{c.want} : std::vector<int>{})
        << c.what;
    EXPECT_EQ(log->list_->value(), c.want) << c.what;
    EXPECT_NE(pane.find(std::string("<PRE>") + c.explained + "\n</PRE>"), std::string::npos)
        << c.what << ": " << pane;
    EXPECT_EQ(pane.find("not listed now") != std::string::npos, c.note) << c.what;
    if (c.want) {
      EXPECT_EQ(std::string(log->list_->text(c.want)), std::string(c.explained) + "\n");
    }
  }
}

// The poll asks the log's reader; an unchanged log costs no read, a missing
// one no more than a look.
TEST_F(Window, PollReadsOnlyWhatChanged) {
  open("E one\nE two\n");
  log->list_->select(2);
  log->poll();
  EXPECT_EQ(log->list_->status().kind, LogStatus::Fresh);  // still the first read's
  write_file(path, "E three\n", "ab");
  log->poll();
  EXPECT_EQ(log->list_->status().kind, LogStatus::Appended);
  EXPECT_EQ(selected_of(log->list_), std::vector<int>{3});  // the same line, one line down
  struct stat st;
  stat(path.c_str(), &st);
  EXPECT_EQ(log->mtime_, (int)st.st_mtime);
  unlink(path.c_str());
  log->poll();
  EXPECT_EQ(log->list_->status().kind, LogStatus::Failed);
  EXPECT_EQ(log->list_->size(), 0);
  EXPECT_FALSE(log->list_->changed());  // still missing: nothing to read
}

// A log that goes away empties the list; the poll keeps looking, and the log
// is shown again when it is back, at start-up or later.
TEST_F(Window, PollFollowsTheFileAndKeepsLookingWhenItIsGone) {
  open("E one\n");
  ASSERT_EQ(log->list_->size(), 1);
  write_file(path, "E two\n", "ab");
  touch_back(path, 50);
  EXPECT_TRUE(wait_for([&] { return log->list_->size() == 2; }, 3.0));
  unlink(path.c_str());
  EXPECT_TRUE(wait_for([&] { return log->list_->size() == 0; }, 3.0));
  write_file(path, "E a\nE b\nE c\n");
  touch_back(path, 10);
  EXPECT_TRUE(wait_for([&] { return log->list_->size() == 3; }, 3.0));
}

TEST_F(Window, NoLogMeansAnEmptyListUntilItAppears) {
  std::string missing = dir.file("missing");
  log.reset(new ErrorLog(missing.c_str()));
  EXPECT_EQ(log->list_->size(), 0);
  EXPECT_EQ(log->mtime_, 0);
  write_file(missing, "E late\n");
  EXPECT_TRUE(wait_for([&] { return log->list_->size() == 1; }, 3.0));
  EXPECT_NE(log->mtime_, 0);
  // An empty name is a name too: no default log.
  log.reset(new ErrorLog(""));
  EXPECT_STREQ(log->list_->filename_, "");
  EXPECT_EQ(log->list_->size(), 0);
  log.reset(new ErrorLog(nullptr));
  EXPECT_STREQ(log->list_->filename_, "/var/log/tarn/error_log");
}

TEST(Bundle, ResourceDirectoryOnlyForContentsMacOS) {
  struct {
    const char *argv0;
    int found;
    const char *dir;
  } cases[] = {
      {"/Applications/Log.app/Contents/MacOS/prog", 1, "/Applications/Log.app/Contents/Resources"},
      {"/Applications/Log.app/Contents/macos/prog", 1, "/Applications/Log.app/Contents/Resources"},
      {"/usr/local/bin/prog", 0, ""},
      {"prog", 0, ""},
      {"MacOS/prog", 0, ""},
      {"/MacOS/prog", 1, "/Resources"},
      {"/x/MacOSX/prog", 0, ""},
  };
  for (auto &c : cases) {
    char dir[1024] = "junk";
    EXPECT_EQ(bundle_resources_dir(c.argv0, dir, sizeof dir), c.found) << c.argv0;
    EXPECT_STREQ(dir, c.dir) << c.argv0;
  }
  // A long path is cut, never overrun.
  std::string deep = "/" + std::string(2000, 'a') + "/Contents/MacOS/prog";
  char small[16];
  bundle_resources_dir(deep.c_str(), small, sizeof small);
  EXPECT_EQ(strlen(small), 0u);
  std::string near = "/" + std::string(1014, 'b') + "/MacOS/p";  // 1023 characters
  char out[1024];
  EXPECT_EQ(bundle_resources_dir(near.c_str(), out, sizeof out), 1);
  EXPECT_EQ(strlen(out), 1023u);
}

}  // namespace
