// window_test.cxx - the window's find bar, filter, keys, start page and a
// job's story, with real widgets under the test display; and the pane that
// reads only regular files.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/ErrorLog.h"
#include "knowledge/ErrorXML.h"
#include "tests/support/widget_util.h"

namespace {

const char *kKnowledge =
    "<remedy name=\"filter-missing\">\n<P>Install the filter.</P>\n"
    "<item level=\"E\" pattern=\"Filter * not available*\" severity=\"9\">\n"
    "<P>A filter the job needs is not installed. Install it.</P>\n</item>\n"
    "<item level=\"E\" pattern=\"\\[Job *\\] Job stopped due to filter errors*\" severity=\"1\">\n"
    "<P>The job stopped: a filter failed.</P>\n</item>\n"
    "<item level=\"D\" pattern=\"\\[Job *\\] * filters for job:*\" severity=\"0\">\n"
    "<P>The filters chosen for the job.</P>\n</item>\n"
    "</remedy>\n"
    "<remedy name=\"jobs\">\n<P>Nothing to do.</P>\n"
    "<item level=\"I\" pattern=\"\\[Job *\\] Queued on *\" severity=\"0\">\n"
    "<P>A job was queued. Nothing more.</P>\n</item>\n"
    "<item level=\"E\" pattern=\"\\[Job *\\] Unable to open device*\" severity=\"5\">\n"
    "<P>The device is gone.</P>\n</item>\n"
    "</remedy>\n";

// Two jobs, one of them failed with its recorded messages, and lines of no job.
std::string two_jobs() {
  return "I [08/Dec/2026:10:03:40 +0000] [Job 420] Queued on \"label-1\" by \"dave\".\n"
         "I [08/Dec/2026:10:03:40 +0000] [Job 421] Queued on \"lab\" by \"erin\".\n"
         "E [08/Dec/2026:10:03:41 +0000] Filter \"rastertolabel\" for printer \"label-1\" not available: gone\n"
         "E [08/Dec/2026:10:03:41 +0000] [Job 420] Job stopped due to filter errors; please consult the log.\n"
         "D [08/Dec/2026:10:03:41 +0000] [Job 420] The following messages were recorded from 10:03:05 to 10:03:06\n"
         "D [08/Dec/2026:10:03:41 +0000] [Job 420] 2 filters for job:\n"
         "D [08/Dec/2026:10:03:41 +0000] [Job 420] End of messages\n"
         "E [08/Dec/2026:10:03:50 +0000] [Job 421] Unable to open device file\n"
         "E [08/Dec/2026:10:04:00 +0000] Something unknown\n";
}

struct Win : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  std::unique_ptr<ErrorLog> log;

  void open(const std::string &lines, const std::string &knowledge = kKnowledge) {
    write_file(path, lines);
    std::string xml = dir.file("kb.xml");
    write_file(xml, knowledge);
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    rename(xml.c_str(), dir.file("errors.xml").c_str());
    log.reset(new ErrorLog(path.c_str()));
    ASSERT_EQ(chdir(cwd), 0);
  }
  void show() {
    log->show();
    for (int i = 0; i < 20; i++) {
      Fl::check();
      usleep(20000);
    }
  }
  std::string pane() { return log->help_->value() ? log->help_->value() : ""; }
  bool pane_has(const std::string &text) { return pane().find(text) != std::string::npos; }
  // A key as the toolkit delivers it to the focused widget, then as a
  // shortcut when nothing took it.
  void key(int sym, int state = 0, const char *text = "") {
    Fl::e_keysym = sym;
    Fl::e_state = state;
    Fl::e_text = (char *)text;
    Fl::e_length = (int)strlen(text);
    Fl::handle(FL_KEYBOARD, log->window_);
    Fl::e_state = 0;
  }
  void type(const char *text) {
    for (const char *p = text; *p; p++) {
      char one[2] = {*p, 0};
      key((unsigned char)*p, 0, one);
    }
  }
  std::vector<std::string> listed() { return lines_of(log->list_); }
};

// Ctrl+F and / open the bar in its row, typing finds and marks, F3 and
// Shift+F3 go on, "not found" is said, Escape closes it: the list has its
// row back and the focus.
TEST_F(Win, TheFindBar) {
  open(two_jobs());
  show();
  ErrorBrowser *list = log->list_;
  ASSERT_EQ(list->size(), 4);  // the Errors level
  EXPECT_FALSE(log->bar_->visible());
  EXPECT_EQ(list->y(), 25);
  int list_h = list->h();
  Fl::focus(list);
  key('f', FL_CTRL, "\x06");
  EXPECT_TRUE(log->bar_->visible());
  EXPECT_EQ(log->bar_->y(), 25);
  EXPECT_EQ(list->y(), 50);
  EXPECT_EQ(list->h(), list_h - 25);  // one row shorter; the pane as it was
  EXPECT_EQ(log->help_->y(), 255);
  EXPECT_EQ(log->window_->h(), 455);
  EXPECT_EQ(Fl::focus(), log->find_);
  type("JOB 42");
  EXPECT_STREQ(list->mark().text().c_str(), "JOB 42");
  EXPECT_EQ(list->value(), 2);  // "[Job 421] Unable to open device", the newest that holds it
  EXPECT_TRUE(pane_has("The device is gone"));  // and it is explained
  key(FL_F + 3);
  EXPECT_EQ(list->value(), 3);  // "[Job 420] Job stopped"
  key(FL_F + 3);
  EXPECT_EQ(list->value(), 2);
  EXPECT_STREQ(log->found_->label(), "Went round the end");
  key(FL_F + 3, FL_SHIFT);
  EXPECT_EQ(list->value(), 3);
  key(FL_Enter);
  EXPECT_EQ(list->value(), 2);
  EXPECT_EQ(selected_of(list), std::vector<int>{2});
  type("9");
  EXPECT_STREQ(log->found_->label(), "Not found");
  EXPECT_EQ(list->value(), 2);  // nothing moved
  key(FL_Escape);
  EXPECT_FALSE(log->bar_->visible());
  EXPECT_EQ(list->y(), 25);
  EXPECT_EQ(list->h(), list_h);
  EXPECT_EQ(Fl::focus(), list);
  EXPECT_TRUE(list->mark().empty());
  EXPECT_TRUE(log->shown());  // Escape closed the bar, not the window
  // "/" opens it from the list.
  key('/', 0, "/");
  EXPECT_TRUE(log->bar_->visible());
  EXPECT_EQ(Fl::focus(), log->find_);
  key(FL_Escape);
}

// The filter: the row while it is on, the start page says so, Diagnose
// weighs what it lets through, and its deeper look what the level leaves out
// among that.
TEST_F(Win, TheFilterAndWhatDiagnoseWeighs) {
  open(two_jobs());
  show();
  ErrorBrowser *list = log->list_;
  Fl::focus(list);
  key('&', 0, "&");
  EXPECT_TRUE(log->bar_->visible());
  EXPECT_EQ(Fl::focus(), log->filter_);
  type("label-1");
  EXPECT_EQ(listed(), std::vector<std::string>{
                          "E [08/Dec/2026:10:03:41 +0000] Filter \"rastertolabel\" for printer \"label-1\" "
                          "not available: gone\n"});
  key(FL_Enter);
  EXPECT_EQ(Fl::focus(), list);
  EXPECT_TRUE(log->bar_->visible());  // the filter is on
  log->show_start();
  EXPECT_TRUE(is_start_page(pane())) << pane();
  EXPECT_TRUE(pane_has("1 line listed at the Errors level, filtered"));
  EXPECT_TRUE(pane_has("A filter is on"));
  EXPECT_TRUE(pane_has("9 in all"));  // the whole log, whatever is listed

  log->diagnose_cb();
  EXPECT_TRUE(pane_has("<TT>filter-missing</TT>, score 9: 1 line weighed")) << pane();
  // "[Job 42": the device line (5) against a follow-on (1) at the Errors
  // level; at All no more; the filter keeps the cause out.
  log->filter_->value("[Job 42");
  log->filter_cb();
  EXPECT_EQ(list->size(), 2);
  log->diagnose_cb();
  EXPECT_TRUE(pane_has("<TT>jobs</TT>, score 5: 2 lines weighed")) << pane();
  // "Job 420": only a follow-on is listed; the deeper look finds nothing more
  // in what the filter lets through.
  log->filter_->value("[Job 420]");
  log->filter_cb();
  EXPECT_EQ(list->size(), 1);
  log->diagnose_cb();
  EXPECT_TRUE(pane_has("<TT>filter-missing</TT>, score 1: 1 line weighed")) << pane();
  EXPECT_FALSE(pane_has("Found in lines this view does not list")) << pane();
  // Emptied, the filter is off and the row goes once the field is left.
  log->filter_->value("");
  log->filter_cb();
  EXPECT_EQ(list->size(), 4);
  Fl::focus(log->filter_);
  key(FL_Escape);
  EXPECT_FALSE(log->bar_->visible());
}

// A job line's explanation goes on with the job's lines at every level,
// oldest first, each with its meaning, and the remedy over them alone; J
// lists only them, J or Escape lists what was listed before.
TEST_F(Win, AJobsStoryAndItsLines) {
  open(two_jobs());
  show();
  ErrorBrowser *list = log->list_;
  list->select(3);  // "[Job 420] Job stopped due to filter errors"
  log->list_cb();
  std::string doc = pane();
  size_t story = doc.find("<H2>Job 420, all its lines</H2>");
  ASSERT_NE(story, std::string::npos) << doc;
  EXPECT_LT(doc.find("<H1>Description</H1>\n<P>The job stopped: a filter failed.</P>"), story);
  const char *in_order[] = {
      "<TT>I 10:03:40 Queued on \"label-1\" by \"dave\".</TT><BR>\n<I>A job was queued.</I>",
      "<B><TT>E 10:03:41 Job stopped due to filter errors; please consult the log.</TT></B>",
      "<TT>D 10:03:41 The following messages were recorded",
      "<TT>D 10:03:41 2 filters for job:</TT><BR>\n<I>Recorded: The filters chosen for the job.</I>",
      "<TT>D 10:03:41 End of messages</TT>",
      "Diagnose over this job's lines alone names the remedy above: <TT>filter-missing</TT>, score 1."};
  size_t at = story;
  for (const char *part : in_order) {
    size_t found = doc.find(part, at);
    EXPECT_NE(found, std::string::npos) << part << "\n" << doc.substr(story);
    if (found != std::string::npos) at = found;
  }
  EXPECT_EQ(doc.find("Job 421"), std::string::npos);
  EXPECT_EQ(log->xml_->find_remedy("filter-missing")->score, 0);  // Diagnose's scores untouched

  // Another job, whose own remedy is the line's.
  list->select(2);
  log->list_cb();
  EXPECT_TRUE(pane_has("<H2>Job 421, all its lines</H2>"));
  EXPECT_TRUE(pane_has("Diagnose over this job's lines alone names the remedy above: <TT>jobs</TT>, score 5."));
  list->select(1);  // no job: no story
  log->list_cb();
  EXPECT_FALSE(pane_has("all its lines"));

  list->select(3);
  log->list_cb();
  Fl::focus(list);
  key('j', 0, "j");
  EXPECT_EQ(log->job_view_, 420);
  EXPECT_EQ(list->level_, 2);
  EXPECT_NE(log->menubar_->find_item("&View/&All")->value(), 0);
  EXPECT_NE(log->menubar_->find_item("&View/&Job's Lines Only")->value(), 0);
  EXPECT_EQ(list->size(), 5);
  for (const std::string &l : listed()) EXPECT_NE(l.find("[Job 420]"), std::string::npos) << l;
  EXPECT_STREQ(log->filter_->value(), "[Job 420]");
  EXPECT_TRUE(log->bar_->visible());
  EXPECT_STREQ(list->text(list->value()),
               "E [08/Dec/2026:10:03:41 +0000] [Job 420] Job stopped due to filter errors; please consult the log.\n");
  struct {
    int sym;
    const char *text;
  } back[] = {{'j', "j"}, {FL_Escape, ""}};
  for (auto &b : back) {
    key(b.sym, 0, b.text);
    EXPECT_EQ(log->job_view_, 0) << b.text;
    EXPECT_EQ(list->level_, 0);
    EXPECT_NE(log->menubar_->find_item("&View/&Errors")->value(), 0);
    EXPECT_EQ(list->size(), 4);
    EXPECT_EQ(list->value(), 3);  // the same line, current
    EXPECT_FALSE(log->bar_->visible());
    EXPECT_TRUE(log->shown());
    if (b.sym == 'j') key('j', 0, "j");
  }
}

// A local class may hold no static member, so this one stands here.
// The start page at once, again when no line is explained, kept up to date
// as the log grows; the keys: Ctrl+D, Ctrl+1, 2, 3, F5, F1; End stops at the
// last line.
TEST_F(Win, TheStartPageAndTheKeys) {
  std::string lines;
  for (int i = 0; i < 100; i++) lines += log_line(i % 2 ? 'E' : 'W', "line " + std::to_string(i));
  open(lines);
  show();
  ErrorBrowser *list = log->list_;
  EXPECT_TRUE(is_start_page(pane()));
  EXPECT_TRUE(pane_has("<B>50 lines listed at the Errors level</B>"));
  EXPECT_TRUE(pane_has("100 in all"));
  EXPECT_TRUE(pane_has("50 error lines the knowledge base does not know"));
  write_file(path, log_line('E', "new"), "ab");
  log->poll();
  EXPECT_TRUE(pane_has("<B>51 lines listed at the Errors level</B>")) << pane();
  Fl::focus(list);
  struct {
    int sym, state;
    int level;
  } levels[] = {{'3', FL_CTRL, 2}, {'2', FL_CTRL, 1}, {'1', FL_CTRL, 0}};
  for (auto &l : levels) {
    key(l.sym, l.state);
    EXPECT_EQ(list->level_, l.level);
    EXPECT_NE(log->menubar_->find_item(l.level == 2 ? "&View/&All" : l.level ? "&View/&Informational"
                                                                              : "&View/&Errors")
                  ->value(),
              0);
  }
  key('d', FL_CTRL);
  EXPECT_TRUE(pane_has("<H1>No Errors Found</H1>")) << pane();  // Diagnose's: no item knows them
  key(FL_F + 1);
  EXPECT_TRUE(pane_has("<H1>Keys</H1>"));
  write_file(path, log_line('E', "newer"), "ab");
  key(FL_F + 5);
  EXPECT_EQ(list->size(), 52);
  EXPECT_TRUE(pane_has("<H1>Keys</H1>"));  // a reload leaves the pane alone
  // End: the last line, at the bottom of the view, not past it.
  key(FL_End);
  EXPECT_EQ(list->value(), 52);
  // The list's own area, read through a pointer to its protected member (a
  // cast of the list to a made-up subclass would not be one).
  // A local class may not hold a static data member: a static function.
  struct Peek : ErrorBrowser {
    static void area(const ErrorBrowser *b, int &x, int &y, int &w, int &h) {
      (b->*&Peek::bbox)(x, y, w, h);
    }
  };
  int bx, by, bw, bh;
  Peek::area(list, bx, by, bw, bh);
  EXPECT_EQ(list->position(), 52 * 16 - bh);
  key(FL_Home);
  EXPECT_EQ(list->position(), 0);
}

// Ctrl+C copies the pane's selection when the pane has the focus (a click
// gives it), the list's lines otherwise.
TEST_F(Win, CtrlCCopiesThePanesTextWhenItHasTheFocus) {
  open(two_jobs());
  show();
  auto pasted = [] {
    PasteTarget target;
    Fl::paste(target, 1);
    wait_for([&] { return !target.got.empty(); }, 2.0);
    return target.got;
  };
  log->list_->select(2);
  Fl::focus(log->list_);
  key('c', FL_CTRL);
  EXPECT_EQ(pasted(), "E [08/Dec/2026:10:03:50 +0000] [Job 421] Unable to open device file\n");
  // A click in the pane gives it the focus; its text, all selected, is copied.
  Fl::e_x = Fl::e_x_root = log->help_->x() + 50;
  Fl::e_y = Fl::e_y_root = log->help_->y() + 50;
  Fl::e_state = FL_BUTTON1;
  Fl::e_keysym = FL_Button + 1;
  Fl::handle(FL_PUSH, log->window_);
  Fl::e_state = 0;
  Fl::handle(FL_RELEASE, log->window_);
  EXPECT_EQ(Fl::focus(), log->help_);
  log->help_->select_all();
  key('c', FL_CTRL);
  std::string got = pasted();
  EXPECT_NE(got.find("The Log"), std::string::npos) << got;
  EXPECT_NE(got.find("listed at the Errors level"), std::string::npos) << got;
}

// A name the pane would read: only a regular file, opened without waiting,
// handed over by its descriptor; a FIFO (which would hold the window for
// good), a directory, a missing file or another scheme is not read at all.
TEST_F(Win, ThePaneReadsOnlyRegularFilesAndNeverWaits) {
  std::string fifo = dir.file("fifo"), xpm = dir.file("dot.xpm");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  write_file(xpm, "/* XPM */\nstatic const char *dot[] = {\"1 1 1 1\", \". c #ff0000\", \".\"};\n");
  std::string knowledge = std::string(kKnowledge) +
                          "<remedy name=\"pictures\">\n<P>See <IMG SRC=\"fifo\"> and <IMG SRC=\"" + fifo +
                          "\"> and <IMG SRC=\"dot.xpm\">.</P>\n"
                          "<item level=\"E\" pattern=\"Picture*\" severity=\"1\">\n<P><IMG SRC=\"file:" +
                          fifo + "\">A picture.</P>\n</item>\n</remedy>\n";
  open(log_line('E', "Picture line"), knowledge);
  // Whoever opens the FIFO to read it would wait for a writer: a writer that
  // finds a reader there says so, and lets it go on.
  std::atomic<bool> stop{false}, waited{false};
  std::thread watch([&] {
    while (!stop) {
      int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        waited = true;
        close(fd);
      }
      usleep(2000);
    }
  });
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(dir.path.c_str()), 0);  // where the relative names are
  show();
  log->list_->select(1);
  log->list_cb();
  Fl::check();
  EXPECT_TRUE(pane_has("A picture")) << pane();
  struct {
    std::string uri;
    bool read;
  } cases[] = {
      {"file:" + fifo, false}, {fifo, false}, {"file:" + dir.path + "/fifo", false},
      {dir.path, false},       {dir.file("missing"), false}, {"http://example.invalid/x.gif", false},
      {"mailto:root", false},  {"file:" + xpm, true},  {xpm, true},
  };
  for (auto &c : cases) {
    const char *name = log->link_cb(c.uri.c_str());
    ASSERT_NE(name, nullptr) << c.uri;  // the toolkit fails on a null name for an image
    EXPECT_EQ(*name != 0, c.read) << c.uri;
    if (!c.read) continue;
    // The name reads the file that was looked at.
    struct stat a, b;
    ASSERT_EQ(stat(name, &a), 0) << name;
    ASSERT_EQ(stat(xpm.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_dev, b.st_dev);
    EXPECT_STREQ(log->link_cb(c.uri.c_str()), name);  // the same name every time
  }
  ASSERT_EQ(chdir(cwd), 0);
  stop = true;
  watch.join();
  EXPECT_FALSE(waited) << "the pane opened the FIFO";
}

// Diagnose's link to the lines the level leaves out is looked up by the same
// name as an image of it: a page that shows such an image, laid out, drawn
// and resized, leaves the view as it was; only the link followed shows them.
TEST_F(Win, AnImageNamedLikeTheUnlistedLinkChangesNothing) {
  std::string knowledge = std::string(kKnowledge) +
                          "<remedy name=\"item-picture\">\n<P>Plain remedy.</P>\n"
                          "<item level=\"E\" pattern=\"Item picture*\" severity=\"5\">\n"
                          "<P><IMG SRC=\"veklog:unlisted\">Pictured item.</P>\n</item>\n</remedy>\n"
                          "<remedy name=\"remedy-picture\">\n<P><IMG SRC=\"veklog:unlisted\">"
                          "Pictured remedy.</P>\n"
                          "<item level=\"E\" pattern=\"Remedy picture*\" severity=\"5\">\n"
                          "<P>Plain item.</P>\n</item>\n"
                          "<item level=\"W\" pattern=\"Warned picture*\" severity=\"5\">\n"
                          "<P>Plain warning.</P>\n</item>\n</remedy>\n";
  struct {
    const char *what;
    std::string lines;
    bool diagnose;   // else the newest line is clicked
    const char *shown;
  } cases[] = {
      {"item text", log_line('E', "Item picture"), false, "Pictured item."},
      {"remedy text", log_line('E', "Remedy picture"), false, "Pictured remedy."},
      {"Diagnose", log_line('W', "Warned picture") + log_line('E', "Something unknown"), true,
       "veklog:unlisted\">Show it at the All level"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    open(c.lines, knowledge);
    show();
    std::vector<std::string> before = listed();
    if (c.diagnose) {
      log->diagnose_cb();
    } else {
      log->list_->select(1);
      log->list_cb();
    }
    log->window_->resize(log->window_->x(), log->window_->y(), 700, 500);
    log->help_->redraw();
    Fl::check();
    EXPECT_TRUE(pane_has(c.shown)) << pane();
    EXPECT_TRUE(pane_has("<IMG SRC=\"veklog:unlisted\">")) << pane();
    EXPECT_EQ(log->list_->level_, 0);
    EXPECT_EQ(listed(), before);
    if (!c.diagnose) continue;
    std::string doc = pane();
    // The link clicked: across the pane's rows until a click lands on it.
    auto *help = log->help_;
    for (int y = help->y() + 2; y < help->y() + help->h() && !log->list_->level_; y += 4)
      for (int x = help->x() + 2; x < help->x() + help->w() - 20 && !log->list_->level_; x += 12) {
        Fl::e_x = Fl::e_x_root = x;
        Fl::e_y = Fl::e_y_root = y;
        Fl::e_is_click = 1;
        Fl::e_state = FL_BUTTON1;
        Fl::e_keysym = FL_Button + 1;
        Fl::handle(FL_PUSH, log->window_);
        Fl::e_state = 0;
        Fl::handle(FL_RELEASE, log->window_);
      }
    EXPECT_EQ(log->list_->level_, 2);
    ASSERT_EQ(log->list_->size(), 2);
    EXPECT_EQ(selected_of(log->list_), std::vector<int>{2});  // the W line, the older
    EXPECT_EQ(pane(), doc);
  }
}

}  // namespace
