// follow_test.cxx - the window while it follows a log: every change noticed,
// a missing log looked for again, the keys, copying, resizing, and what the
// pane says when the log or the knowledge base cannot be used.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <functional>
#include <memory>

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/ErrorLog.h"
#include "tests/support/widget_util.h"

namespace {

const char *kKnowledge =
    "<remedy name=\"printer\">\n<P>Check the printer's cable.</P>\n"
    "<item level=\"E\" pattern=\"Printer not connected*\" severity=\"5\">\n"
    "<P>The printer is unplugged.</P>\n</item>\n</remedy>\n";

const time_t kWhen = 1765000000;

void set_time(const std::string &path, time_t sec, long nsec) {
  struct timespec t[2] = {{sec, nsec}, {sec, nsec}};
  utimensat(AT_FDCWD, path.c_str(), t, 0);
}

struct Follow : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::unique_ptr<ErrorLog> log;

  // Opens the window in the test's directory, where the knowledge base is
  // errors.xml when given and is found nowhere when not.
  void open(const char *knowledge = kKnowledge) {
    if (knowledge) write_file(dir.file("errors.xml"), knowledge);
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    std::string old = getenv("TARN_DATADIR") ? getenv("TARN_DATADIR") : "";
    setenv("TARN_DATADIR", dir.path.c_str(), 1);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    log.reset(new ErrorLog(path.c_str()));
    ASSERT_EQ(chdir(cwd), 0);
    if (old.empty()) unsetenv("TARN_DATADIR");
    else setenv("TARN_DATADIR", old.c_str(), 1);
  }
  void show() {
    log->show();
    for (int i = 0; i < 20; i++) {
      Fl::check();
      usleep(20000);
    }
  }
  std::string pane() { return log->help_->value() ? log->help_->value() : ""; }
  bool pane_has(const char *text) { return pane().find(text) != std::string::npos; }
  // A key as the toolkit delivers it to the focused list.
  void key(int sym, int state = 0) {
    Fl::focus(log->list_);
    Fl::e_keysym = sym;
    Fl::e_state = state;
    Fl::e_text = (char *)"";
    Fl::e_length = 0;
    Fl::handle(FL_KEYBOARD, log->window_);
    Fl::e_state = 0;
  }
  bool shows(const std::vector<std::string> &lines, double seconds = 3.0) {
    return wait_for([&] { return lines_of(log->list_) == lines; }, seconds);
  }
};

// Each change leaves the whole seconds of the modification time as they were:
// only the nanoseconds, the size, the inode or the bytes tell.
TEST_F(Follow, PollNoticesWritesWithinTheSameSecond) {
  write_file(path, "E a\n");
  set_time(path, kWhen, 100);
  open();
  ASSERT_EQ(log->list_->size(), 1);
  struct {
    const char *bytes, *mode;
    long nsec;
    std::vector<std::string> want;
  } steps[] = {
      {"E b\n", "ab", 200, {"E b\n", "E a\n"}},                        // nanoseconds
      {"E c\n", "ab", 200, {"E c\n", "E b\n", "E a\n"}},               // size
      {"E d\nE e\nE f\n", "replace", 200, {"E f\n", "E e\n", "E d\n"}},  // inode
      {"E D\n", "r+b", 200, {"E f\n", "E e\n", "E D\n"}},  // only the bytes: size and time kept
  };
  for (auto &s : steps) {
    if (!strcmp(s.mode, "replace")) {
      std::string other = dir.file("other");
      write_file(other, s.bytes);
      set_time(other, kWhen, s.nsec);
      ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
    } else {
      write_file(path, s.bytes, s.mode);
      set_time(path, kWhen, s.nsec);
    }
    EXPECT_TRUE(shows(s.want)) << s.bytes;
    EXPECT_EQ(log->mtime_, (int)kWhen);
  }
}

// Rotations a twentieth of a second apart, far quicker than the poll: the
// window reads each new file on the system's word that it took the name,
// so none is renamed over before it was opened; every line stays listed.
TEST_F(Follow, RotationsInQuickSuccessionLoseNoLine) {
  write_file(path, "");
  open();
  std::vector<std::string> want;
  for (int r = 0; r < 4; r++) {
    std::string lines;
    for (int i = 0; i < 100; i++) {
      lines += log_line('E', "rotation " + std::to_string(r) + " line " + std::to_string(i));
      want.insert(want.begin(), log_line('E', "rotation " + std::to_string(r) + " line " + std::to_string(i)));
    }
    write_file(path, lines, "ab");
    if (r == 3) break;
    ASSERT_EQ(rename(path.c_str(), (path + ".O").c_str()), 0);
    write_file(path, "");
    for (int k = 0; k < 5; k++) Fl::wait(0.01);
  }
  EXPECT_TRUE(shows(want)) << log->list_->size() << " lines listed";
}

// After the poll finds appended lines, the lines listed before keep their
// state: Diagnose's selection, the current line, the pane and the view.
TEST_F(Follow, AppendsKeepTheListedLinesAsTheyWere) {
  std::string lines;
  for (int i = 0; i < 60; i++)
    lines += log_line('E', i % 7 ? "Something " + std::to_string(i) : "Printer not connected");
  write_file(path, lines);
  set_time(path, kWhen, 0);
  open();
  show();
  ErrorBrowser *list = log->list_;
  log->diagnose_cb();
  list->position(5 * 16);
  Fl::check();
  std::vector<int> selected = selected_of(list);
  int current = list->value(), top = list->topline();
  std::string doc = pane();
  ASSERT_EQ(selected.size(), 9u);
  ASSERT_EQ(top, 6);
  write_file(path, log_line('E', "new 1") + log_line('E', "new 2") + "E unfini", "ab");
  set_time(path, kWhen, 1);
  ASSERT_TRUE(wait_for([&] { return list->size() == 63; }, 3.0));
  for (int &line : selected) line += 3;
  EXPECT_EQ(selected_of(list), selected);
  EXPECT_EQ(list->value(), current + 3);
  EXPECT_EQ(pane(), doc);
  Fl::check();
  EXPECT_EQ(list->topline(), top + 3);
  EXPECT_EQ(list->position(), (top + 3 - 1) * 16);  // the scroll bar agrees
  // The unfinished line, selected and current, stays so when it is finished.
  list->position(0);
  list->select(1);
  write_file(path, "shed\n" + log_line('E', "new 4"), "ab");
  set_time(path, kWhen, 2);
  ASSERT_TRUE(wait_for([&] { return list->size() == 64; }, 3.0));
  EXPECT_STREQ(list->text(2), "E unfinished\n");
  EXPECT_TRUE(list->selected(2));
  EXPECT_EQ(list->value(), 2);
  // At the top the view stays there: the new line is in view.
  Fl::check();
  EXPECT_EQ(list->topline(), 1);
  EXPECT_TRUE(list->displayed(1));
}

// For each way a log cannot be read: the pane says which file, why and what
// to do, Diagnose says it could not read the log, and when the log is back
// the list shows it and the notice goes.
TEST_F(Follow, LogsThatCannotBeReadAreSaidAndPickedUpWhenBack) {
  PermissionsCount permissions;
  struct {
    const char *name;
    std::function<void()> make, mend;
    const char *reason, *advice;
  } cases[] = {
      {"missing", [] {}, [] {}, "No such file or directory", "keeps looking for"},
      {"directory", [&] { mkdir(path.c_str(), 0755); }, [&] { rmdir(path.c_str()); },
       "is a directory", "/error_log</TT>"},
      {"fifo", [&] { mkfifo(path.c_str(), 0600); }, [&] { unlink(path.c_str()); },
       "is not a regular file", "regular file"},
      {"unreadable", [&] { write_file(path, "E a\n"); chmod(path.c_str(), 0); },
       [&] { unlink(path.c_str()); }, "Permission denied", "as root"},
      {"group may read",
       [&] {
         write_file(path, "E a\n");
         if (chown(path.c_str(), 65534, 65534)) {}
         chmod(path.c_str(), 0040);
       },
       [&] { unlink(path.c_str()); }, "Permission denied", "group <TT>nogroup</TT>"},
  };
  for (auto &c : cases) {
    c.make();
    open();
    EXPECT_EQ(log->list_->size(), 0) << c.name;
    EXPECT_TRUE(pane_has("Cannot Read the Log")) << c.name;
    EXPECT_TRUE(pane_has(path.c_str())) << c.name;
    EXPECT_TRUE(pane_has(c.reason)) << c.name << ": " << pane();
    EXPECT_TRUE(pane_has(c.advice)) << c.name << ": " << pane();
    log->diagnose_cb();
    EXPECT_TRUE(pane_has("Could Not Read the Log")) << c.name;
    EXPECT_TRUE(pane_has(c.reason)) << c.name;
    EXPECT_FALSE(pane_has("No Errors Found")) << c.name;
    c.mend();
    write_file(path, log_line('E', "back"));
    EXPECT_TRUE(shows({log_line('E', "back")})) << c.name;
    EXPECT_TRUE(is_start_page(pane())) << c.name << ": " << pane();  // the notice has gone
    unlink(path.c_str());
  }
  // A log that goes away while shown is said too.
  write_file(path, "E here\n");
  open();
  log->list_->select(1);
  log->list_cb();
  unlink(path.c_str());
  EXPECT_TRUE(wait_for([&] { return pane_has("No such file or directory"); }, 3.0));
  EXPECT_EQ(log->list_->size(), 0);
}

std::string gzip(const std::string &bytes) {
  uLongf len = compressBound(bytes.size()) + 64;
  std::string out(len, '\0');
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);  // 31: gzip wrapping
  z.next_in = (Bytef *)bytes.data();
  z.avail_in = bytes.size();
  z.next_out = (Bytef *)&out[0];
  z.avail_out = len;
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST_F(Follow, CompressedLogShowsAsItsPlainTwinAndSaysWhenDamaged) {
  std::string lines;
  for (int i = 0; i < 3000; i++) lines += log_line("EWIXD"[i % 5], "line " + std::to_string(i));
  write_file(path, lines);
  open();
  log->level(2);
  std::vector<std::string> plain = lines_of(log->list_);
  ASSERT_EQ(plain.size(), 3000u);
  std::string packed = gzip(lines);
  write_file(path, packed);
  open();
  log->level(2);
  EXPECT_EQ(lines_of(log->list_), plain);
  EXPECT_TRUE(is_start_page(pane())) << pane();  // nothing to say of it
  EXPECT_TRUE(pane_has("compressed: read whole")) << pane();
  // Cut short: the lines before the cut, and the pane says it is damaged.
  write_file(path, packed.substr(0, packed.size() / 2));
  open();
  log->level(2);
  size_t got = log->list_->size();
  EXPECT_GT(got, 100u);
  EXPECT_LT(got, 3000u);
  EXPECT_EQ(lines_of(log->list_)[got - 1], plain.back());  // the oldest line
  EXPECT_TRUE(pane_has("Damaged Compressed Log")) << pane();
  EXPECT_TRUE(pane_has(path.c_str()));
}

TEST_F(Follow, KnowledgeBaseNotFoundIsSaidEverywhere) {
  write_file(path, log_line('E', "Printer not connected"));
  open(nullptr);
  std::string xml_here = dir.file("errors.xml"), xml_data = dir.path + "/data/errors.xml";
  EXPECT_TRUE(pane_has("No Knowledge Base")) << pane();
  EXPECT_TRUE(pane_has(xml_here.c_str())) << pane();
  EXPECT_TRUE(pane_has(xml_data.c_str())) << pane();
  EXPECT_EQ(log->notice_, 1);
  log->list_->select(1);
  log->list_cb();
  EXPECT_TRUE(pane_has("Unrecognized Error Message"));
  EXPECT_TRUE(pane_has("No knowledge base is loaded"));
  log->diagnose_cb();
  EXPECT_TRUE(pane_has("no knowledge base to weigh the lines against")) << pane();
  EXPECT_FALSE(pane_has("No Errors Found"));

  // With a knowledge base none of it is said.
  open();
  EXPECT_TRUE(is_start_page(pane())) << pane();
  log->list_->select(1);
  log->list_cb();
  EXPECT_TRUE(pane_has("The printer is unplugged"));
}

TEST_F(Follow, KeysMoveTheCurrentLineSelectAndExplain) {
  std::string lines;
  for (int i = 0; i < 40; i++)
    lines += log_line('E', i % 2 ? "Printer not connected" : "Something else " + std::to_string(i));
  write_file(path, lines);
  open();
  show();
  int page = (log->list_->h() - 4) / 16;
  ASSERT_GT(page, 5);
  auto range = [](int a, int b) {
    std::vector<int> v;
    for (int i = a; i <= b; i++) v.push_back(i);
    return v;
  };
  struct {
    int sym, state;
    std::vector<int> selected;
    int current;
  } steps[] = {
      {FL_Down, 0, {1}, 1},  // nothing current yet: the top line
      {FL_Down, 0, {2}, 2},
      {FL_Down, FL_SHIFT, {2, 3}, 3},
      {FL_Down, FL_SHIFT, {2, 3, 4}, 4},
      {FL_Up, 0, {3}, 3},
      {FL_Up, 0, {2}, 2},
      {FL_Page_Down, 0, {2 + page}, 2 + page},
      {FL_End, 0, {40}, 40},
      {FL_Down, 0, {40}, 40},  // the last line stays
      {FL_Page_Up, FL_SHIFT, range(40 - page, 40), 40 - page},
      {FL_Home, 0, {1}, 1},
      {FL_Up, 0, {1}, 1},
  };
  for (auto &s : steps) {
    key(s.sym, s.state);
    std::string step = std::to_string(s.sym) + "/" + std::to_string(s.state);
    EXPECT_EQ(selected_of(log->list_), s.selected) << step;
    EXPECT_EQ(log->list_->value(), s.current) << step;
    // Lines are newest first: odd lines of the list are the file's known ones.
    bool known = strstr(log->list_->text(s.current), "Printer not connected");
    EXPECT_EQ(pane_has(known ? "The printer is unplugged" : "Unrecognized Error Message"), true)
        << step;
    // The current line is in view once drawn.
    Fl::check();
    EXPECT_TRUE(log->list_->displayed(s.current)) << step;
  }
}

TEST_F(Follow, CtrlCCopiesTheSelectedLinesOldestFirst) {
  write_file(path, "E one\nE two\nE three, unfinished");
  open();
  show();
  log->list_->select(1);  // the unfinished line
  log->list_->select(3);
  key('c', FL_CTRL);
  for (int clipboard : {1, 0}) {
    PasteTarget target;
    Fl::paste(target, clipboard);
    wait_for([&] { return !target.got.empty(); }, 2.0);
    EXPECT_EQ(target.got, "E one\nE three, unfinished\n") << clipboard;
  }
}

TEST_F(Follow, ResizingGivesTheListItsShare) {
  write_file(path, "E one\n");
  open();
  struct {
    int h, list_h;
  } sizes[] = {{655, 230 * 630 / 430}, {455, 230}, {255, 230 * 230 / 430}};
  for (auto &s : sizes) {
    log->window_->resize(0, 0, 645, s.h);
    EXPECT_EQ(log->list_->y(), 25);
    EXPECT_NEAR(log->list_->h(), s.list_h, 2) << s.h;
    EXPECT_EQ(log->help_->y(), 25 + log->list_->h()) << s.h;
    EXPECT_EQ(log->help_->y() + log->help_->h(), s.h) << s.h;
  }
}

}  // namespace
