// logview_test.cxx - reading the log into the list: order, level filter,
// odd lines and odd files, and following a file that grows.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "logview/ErrorBrowser.h"
#include "tests/support/widget_util.h"

namespace {

// Which lines of a list continue the line above them: '+' per such line, '.'
// for any other.
std::string pieces_of(const ErrorBrowser &list) {
  std::string out;
  for (void *item = list.first_item(); item; item = list.next_item(item))
    out += list.continuation(item) ? '+' : '.';
  return out;
}

struct LogLoad : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  ErrorBrowser list{0, 0, 400, 300};

  void load(const std::string &bytes, int level) {
    write_file(path, bytes);
    list.level_ = level;
    snprintf(list.filename_, sizeof list.filename_, "%s", path.c_str());
    list.load();
  }
};

TEST_F(LogLoad, ListsNewestFirstAndFiltersByLevel) {
  std::string file = "E first\nI second\nE third\nW fourth\nD fifth\nX sixth\nN seventh\n"
                     "\nA ninth\nC tenth\ne eleventh\n";
  file.append(std::string("\0 nul first\n", 12));
  struct Case {
    int level;
    std::vector<std::string> want;
  } cases[] = {
      {0, {"C tenth\n", "A ninth\n", "X sixth\n", "E third\n", "E first\n"}},
      {1, {"C tenth\n", "A ninth\n", "N seventh\n", "X sixth\n", "W fourth\n",
           "E third\n", "I second\n", "E first\n"}},
      {3, {}},
      {-1, {}},
  };
  for (const Case &c : cases) {
    load(file, c.level);
    EXPECT_EQ(lines_of(&list), c.want) << "level " << c.level;
  }
  // Everything at level 2, blank lines and lines starting with NUL included;
  // a stored line ends at its first NUL.
  load(file, 2);
  std::vector<std::string> all = lines_of(&list);
  ASSERT_EQ(all.size(), 12u);
  EXPECT_EQ(all[0], "");  // the line that starts with NUL
  EXPECT_EQ(all[1], "e eleventh\n");
  EXPECT_EQ(all[4], "\n");
  EXPECT_EQ(all[11], "E first\n");
}

TEST_F(LogLoad, KeepsNewlinesButNotOnAnUnfinishedLastLine) {
  load("E one\nE two", 0);
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"E two", "E one\n"}));
  load("", 2);
  EXPECT_EQ(list.size(), 0);
  load("E embedded\0nul\n", 0);
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"E embedded"}));
}

TEST_F(LogLoad, SplitsOverlongLinesIntoPieces) {
  // 10238 characters and a newline arrive whole; one more makes two pieces,
  // the second of which is just the newline; 25000 make three. A line's
  // pieces stand in file order under its first.
  std::string whole = "E" + std::string(10237, 'a') + "\n";
  std::string split = "E" + std::string(10238, 'b') + "\n";
  std::string three = "E" + std::string(24999, 'c') + "\n";
  load(whole + split + three, 2);
  std::vector<std::string> got = lines_of(&list);
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[5], whole);
  EXPECT_EQ(got[3], split.substr(0, 10239));
  EXPECT_EQ(got[4], "\n");
  EXPECT_EQ(got[0], three.substr(0, 10239));
  EXPECT_EQ(got[1], three.substr(10239, 10239));
  EXPECT_EQ(got[2], three.substr(20478));
  // At the Errors level a piece goes with its E line.
  load(split, 0);
  EXPECT_EQ(list.size(), 2);
}

// A long line is listed as its pieces under its first, at the level of its
// first letter, and explained whole from any of its pieces.
TEST_F(LogLoad, ALongLinesPiecesListAndExplainAsTheLine) {
  const size_t P = LogReader::kPiece;
  std::string big = log_line('E', "[Job 7] " + std::string(2 << 20, 'x'));
  std::string doc = "D [09/Dec/2026:10:00:00 +0000] [Job 5] %!PS ";
  doc += std::string(P - doc.size(), 'd') + "E [09/Dec/2026:10:00:00 +0000] Unable to open device";
  doc += std::string(20000 - doc.size(), 'd') + "\n";
  std::string big_pieces = "." + std::string((big.size() + P - 1) / P - 1, '+');
  struct {
    const char *what;
    std::string bytes;
    int level;
    std::string pieces;  // top first
  } cases[] = {
      {"2 MB E line, errors", big, 0, big_pieces},
      {"2 MB E line among others", log_line('E', "old") + big + log_line('W', "new"), 1,
       "." + big_pieces + "."},
      {"document line, errors", doc, 0, ""},
      {"document line, informational", doc, 1, ""},
      {"document line, all", log_line('E', "old") + doc, 2, ".+."},
  };
  for (const auto &c : cases) {
    load(c.bytes, c.level);
    EXPECT_EQ(pieces_of(list), c.pieces) << c.what;
  }
  // Every piece leads to its line's first, and that gives the line whole.
  load(log_line('E', "old") + big, 0);
  void *first = list.first_item();
  std::string joined;
  for (void *item = first; item; item = list.next_item(item)) {
    if (list.continuation(item)) {
      EXPECT_EQ(list.line_start(item), first);
    }
  }
  EXPECT_TRUE(list.line_text(first, joined) == big);
  void *old = first;
  while (list.next_item(old)) old = list.next_item(old);
  EXPECT_EQ(list.line_start(old), old);
  EXPECT_STREQ(list.line_text(old, joined), log_line('E', "old").c_str());
  // Copied, the selected pieces of a line are the line.
  list.type(FL_MULTI_BROWSER);
  for (int i = 1; i <= list.size(); i++) list.select(i);
  EXPECT_TRUE(list.selected_text() == log_line('E', "old") + big);
}

// A read afresh keeps the current line when the file still holds it (the
// same text at the same place) and the level lists it; else the same number.
TEST_F(LogLoad, AReadAfreshKeepsTheCurrentLineOrItsNumber) {
  std::string piece_line = "E" + std::string(15000, 'p') + "\n";
  std::string d_line = "D" + std::string(15000, 'q') + "\n";
  struct {
    const char *what;
    std::string before;
    int level;
    int pick;
    std::string after;  // "" keeps the file as it is
    int level_after;
    int want;           // the current line afterwards, 0 none
    std::string text;   // its text
  } cases[] = {
      {"another level, still listed", "E a\nW b\nE c\n", 2, 3, "", 0, 2, "E a\n"},
      {"another level, not listed: its number", "E a\nW b\nE c\n", 2, 2, "", 0, 2, "E a\n"},
      {"beyond the end: none", "E a\nW b\nE c\n", 2, 3, "", 3, 0, ""},
      {"the same level, read again", "E a\nE b\n", 0, 2, "", 0, 2, "E a\n"},
      {"lines added after it", "E a\nE b\n", 0, 2, "E a\nE B\nE c\n", 0, 3, "E a\n"},
      {"the same text in another place", "E x\nE y\nE x\n", 0, 3, "E z\nE x\nE y\n", 0, 3,
       "E z\n"},
      {"a piece of a line still listed", "W w\n" + piece_line, 2, 2, "", 0, 2,
       piece_line.substr(LogReader::kPiece)},
      {"a piece of a line no longer listed", "E e\nE h\n" + d_line + "E f\n", 2, 3, "", 0, 3,
       "E e\n"},
  };
  for (const auto &c : cases) {
    load(c.before, c.level);
    list.type(FL_MULTI_BROWSER);
    list.select(1);
    list.select(c.pick);
    if (!c.after.empty()) write_file(path, c.after);
    list.level_ = c.level_after;
    list.load();
    EXPECT_EQ(list.status().kind, LogStatus::Fresh) << c.what;
    EXPECT_EQ(list.value(), c.want) << c.what;
    EXPECT_EQ(selected_of(&list), c.want ? std::vector<int>{c.want} : std::vector<int>{})
        << c.what;
    if (c.want) {
      EXPECT_EQ(list.text(c.want), c.text) << c.what;
    }
  }
  // Far down the list, the line kept is brought into view.
  std::string many;
  for (int i = 0; i < 200; i++) many += log_line(i % 2 ? 'E' : 'W', "line " + std::to_string(i));
  load(many, 2);
  list.select(151);  // the file's 50th line, an E line
  list.level_ = 0;
  list.load();
  ASSERT_EQ(list.value(), 76);
  int top = list.position() / 16 + 1, shown = (300 - 4) / 16;
  EXPECT_LE(top, 76);
  EXPECT_GE(top + shown - 1, 76);
}

// load() reads the file whatever it looks like; update(), as the poll, skips
// a file that looks unchanged.
TEST_F(LogLoad, LoadReadsAnUnchangedFileAgain) {
  std::string lines;
  for (int i = 0; i < 40; i++) lines += log_line('E', "line " + std::to_string(i));
  load(lines, 0);
  // Other bytes in the middle, the size and time kept: only a full read sees it.
  struct stat st;
  stat(path.c_str(), &st);
  std::string edited = lines;
  edited.replace(edited.find("line 20"), 7, "LINE 20");
  write_file(path, edited);
  struct timespec t[2] = {st.st_atim, st.st_mtim};
  utimensat(AT_FDCWD, path.c_str(), t, 0);
  EXPECT_FALSE(list.changed());
  list.update();
  EXPECT_EQ(list.status().kind, LogStatus::Unchanged);
  EXPECT_EQ(list.text(20), log_line('E', "line 20"));
  list.load();
  EXPECT_EQ(list.status().kind, LogStatus::Fresh);
  EXPECT_EQ(list.text(20), log_line('E', "LINE 20"));
}

TEST_F(LogLoad, FilesThatCannotBeReadGiveAnEmptyListPromptly) {
  load("E something\n", 0);
  ASSERT_EQ(list.size(), 1);
  std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const char *paths[] = {"/nonexistent/error_log", "", "/dev/zero", "/tmp", fifo.c_str()};
  for (const char *p : paths) {
    list.add("E stale\n");
    snprintf(list.filename_, sizeof list.filename_, "%s", p);
    auto start = std::chrono::steady_clock::now();
    list.load();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << p;
    EXPECT_EQ(list.size(), 0) << p;
    EXPECT_EQ(list.status().kind, LogStatus::Failed) << p;
    EXPECT_NE(list.status().reason, "") << p;
  }
  // The window can say why.
  snprintf(list.filename_, sizeof list.filename_, "%s", "/tmp");
  list.load();
  EXPECT_EQ(list.status().reason, "is a directory");
}

TEST_F(LogLoad, ACompressedLogListsLikeItsPlainTwin) {
  std::string plain;
  for (int i = 0; i < 500; i++) plain += log_line("EWD"[i % 3], "line " + std::to_string(i));
  load(plain, 1);
  std::vector<std::string> want = lines_of(&list);
  std::string packed = dir.file("error_log.1.gz");
  std::string cmd = "gzip -c '" + path + "' > '" + packed + "'";
  ASSERT_EQ(system(cmd.c_str()), 0);
  snprintf(list.filename_, sizeof list.filename_, "%s", packed.c_str());
  list.load();
  EXPECT_EQ(lines_of(&list), want);
  EXPECT_TRUE(list.status().compressed);
  list.load();  // again: nothing twice
  EXPECT_EQ(lines_of(&list), want);
}

// After every step the list read incrementally must hold what a fresh full
// read gives; after an append the lines listed before keep their state.
struct LogFollow : LogLoad {
  struct State {
    std::vector<std::string> selected;  // texts, top first
    std::string current;
    int pos, hpos, size;
    std::string top;                    // the text of the view's first line
    bool top_in_newest;                 // that line is a piece of the newest line
  };
  State state() {
    State s{{}, list.value() ? list.text(list.value()) : "", list.position(), list.hposition(),
            list.size(), "", false};
    for (int i : selected_of(&list)) s.selected.push_back(list.text(i));
    int top = s.pos / 16 + 1;
    if (top <= list.size()) s.top = list.text(top);
    std::string pieces = pieces_of(list);
    s.top_in_newest = top < (int)pieces.find('.', 1) + 1;
    return s;
  }
  void expect_same_as_fresh(const char *step) {
    ErrorBrowser fresh(0, 0, 400, 300);
    fresh.level_ = list.level_;
    snprintf(fresh.filename_, sizeof fresh.filename_, "%s", list.filename_);
    fresh.load();
    EXPECT_EQ(lines_of(&list), lines_of(&fresh)) << step;
    EXPECT_EQ(pieces_of(list), pieces_of(fresh)) << step;
  }
  // Appends, reads, and compares with a fresh read and with the state before:
  // the same lines selected and current (an unfinished line withdrawn comes
  // back longer, so texts compare by their start), the view on the same
  // lines of 16 pixels, or at the top when it was there (new lines come
  // above it, but a long line's new pieces below its own).
  void append(const std::string &bytes, const std::string &step) {
    State was = state();
    write_file(path, bytes, "ab");
    list.update();
    expect_same_as_fresh(step.c_str());
    State now = state();
    auto starts = [](const std::string &s, const std::string &p) { return !s.compare(0, p.size(), p); };
    ASSERT_EQ(now.selected.size(), was.selected.size()) << step;
    for (size_t i = 0; i < was.selected.size(); i++)
      EXPECT_TRUE(starts(now.selected[i], was.selected[i])) << step << ": " << now.selected[i];
    EXPECT_EQ(now.current.empty(), was.current.empty()) << step;
    EXPECT_TRUE(starts(now.current, was.current)) << step;
    if (!was.top_in_newest || !was.pos) {
      EXPECT_EQ(now.pos, was.pos ? was.pos + (now.size - was.size) * 16 : 0) << step;
    }
    if (was.pos) {
      EXPECT_EQ(now.pos % 16, was.pos % 16) << step;
      EXPECT_TRUE(starts(now.top, was.top)) << step;
    }
    EXPECT_EQ(now.hpos, was.hpos) << step;
  }
};

TEST_F(LogFollow, AppendsMatchAFreshRead) {
  load(log_line('E', "start"), 2);
  list.type(FL_MULTI_BROWSER);
  const char *steps[] = {
      "I two\nE three\n", "E half a li", "ne, now whole\n", "", "W no newline yet",
      "\n", "\n\n", nullptr};
  for (int i = 0; steps[i]; i++) {
    list.select(i % 3 ? 1 : 2);
    list.position(i % 2 ? 40 : 0);
    list.hposition(i);
    append(steps[i], steps[i]);
  }
  // An over-long line written in parts: pieces must fall where a full read
  // puts them, the view kept, whether it starts above or among them.
  std::string longline = "E" + std::string(15000, 'x') + "\n";
  append(longline.substr(0, 7000), "long part 1");
  list.position(16);
  append(longline.substr(7000, 5000), "long part 2");
  append(longline.substr(12000), "long part 3");
  std::string longer = "E";
  while (longer.size() < 40000) longer += std::to_string(longer.size()) + " ";
  longer += "\n";
  for (size_t at = 0; at < longer.size(); at += 6000) {
    list.position(at / 6000 % 3 * 16);
    list.select(at / 6000 % 2 + 1);
    append(longer.substr(at, 6000), "longer at " + std::to_string(at));
  }
  // The line is whole now: the next read must not take it for unfinished.
  append("E after\n", "after the long line");
  EXPECT_EQ(list.status().kind, LogStatus::Appended);
}

TEST_F(LogFollow, AppendsAtTheErrorsLevelAndAfterManySelections) {
  load("E a\nW b\n", 0);
  list.type(FL_MULTI_BROWSER);
  append("E c\nD d\nX e", "filtered");
  for (int i = 1; i <= list.size(); i++) list.select(i);
  append("xtra\nA f\n", "after selecting all");
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"A f\n", "X extra\n", "E c\n", "E a\n"}));
  EXPECT_EQ(selected_of(&list), (std::vector<int>{2, 3, 4}));
}

// The server rotates its log: the lines written to the old file before the
// rename come, and stay listed below the new file's, the selection kept;
// twice between polls, the file rotated in between comes too.
TEST_F(LogFollow, ARotatedLogStaysListedBelowTheNewOne) {
  load("E one\n", 0);
  list.select(1);
  auto rotate = [&](const char *old_tail, const char *fresh) {
    write_file(path, old_tail, "ab");
    ASSERT_EQ(rename(path.c_str(), (path + ".O").c_str()), 0);
    write_file(path, fresh);
  };
  rotate("E two\n", "E three\n");
  list.update();
  EXPECT_EQ(list.status().kind, LogStatus::Appended);
  EXPECT_EQ(list.status().change, LogStatus::Rotated);
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"E three\n", "E two\n", "E one\n"}));
  EXPECT_EQ(selected_of(&list), std::vector<int>{3});
  rotate("E four\n", "E five\n");
  rotate("E six\n", "E seven\n");
  list.update();
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"E seven\n", "E six\n", "E five\n", "E four\n",
                                                       "E three\n", "E two\n", "E one\n"}));
}

TEST_F(LogFollow, TruncationReplacementAndLevelChangesReadEverything) {
  load("E one\nE two\nE three\n", 0);
  // Shorter than before.
  write_file(path, "E new\n");
  list.update();
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"E new\n"}));
  // Same size or longer, but different bytes before the old end.
  write_file(path, "E NEW\nE more\n");
  list.update();
  EXPECT_EQ(lines_of(&list), (std::vector<std::string>{"E more\n", "E NEW\n"}));
  // Replaced by another file (rotation).
  std::string other = dir.file("other");
  write_file(other, "E NEW\nE more\nE rotated\n");
  ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
  list.update();
  EXPECT_EQ(lines_of(&list),
            (std::vector<std::string>{"E rotated\n", "E more\n", "E NEW\n"}));
  // A new level filters from the start; the current line, still listed,
  // stays current and alone selected.
  list.select(1);
  list.select(2);
  list.position(16);
  write_file(path, "W warn\n", "ab");
  list.level_ = 1;
  list.load();
  expect_same_as_fresh("level change");
  EXPECT_EQ(list.size(), 4);
  EXPECT_EQ(selected_of(&list), std::vector<int>{3});
  EXPECT_EQ(list.value(), 3);
  EXPECT_STREQ(list.text(3), "E more\n");
  EXPECT_EQ(list.position(), 0);  // in view from the top
}

// The list remembers where the current line is so that following a long log
// does not walk it; the numbers must always be the browser's own.
TEST_F(LogFollow, CurrentLineNumbersStayTheBrowsersOwn) {
  std::string log;
  for (int i = 0; i < 200; i++) log += log_line('E', "line " + std::to_string(i));
  load(log, 2);
  Fl_Browser &base = list;
  auto expect_current = [&](int line, const std::string &step) {
    EXPECT_EQ(list.value(), line) << step;
    EXPECT_EQ(base.value(), line) << step;
    EXPECT_EQ(selected_of(&list), std::vector<int>{line}) << step;
    EXPECT_STREQ(list.text(line), base.text(line)) << step;
  };
  const char *appends[] = {"E a\n", "E unfinished", " now whole\nE b\nE c\n", "E x", "",
                           "E y\n", nullptr};
  int lines[] = {100, 2, 1, 1, 150, 60};
  for (int k = 0; appends[k]; k++) {
    std::string step = "append " + std::to_string(k);
    list.select(lines[k]);
    int line = list.value(), before = list.size();
    write_file(path, appends[k], "ab");
    list.update();
    expect_same_as_fresh(step.c_str());
    // The same line stays current, its number grown by the lines added above.
    expect_current(line + list.size() - before, step);
  }
  // Lines changed one by one: numbers come from the browser again.
  list.select(50);
  list.remove(10);
  EXPECT_EQ(list.value(), base.value());
  list.select(40);
  list.move(1, 30);
  EXPECT_EQ(list.value(), base.value());
  list.select(20);
  list.swap(20, 120);
  EXPECT_EQ(list.value(), base.value());
  list.text(120, std::string(300, 'E').c_str());
  EXPECT_EQ(list.value(), base.value());
  list.select(130);
  list.clear();
  EXPECT_EQ(list.value(), 0);
  EXPECT_EQ(list.select(1), 0);
}

// Deselecting visits only the selected lines, but must leave the list as the
// browser's own walk over every line does.
TEST_F(LogFollow, DeselectEndsLikeTheBrowsersOwn) {
  std::string log;
  for (int i = 0; i < 50; i++) log += log_line('E', "line " + std::to_string(i));
  load(log, 2);
  for (int type : {FL_MULTI_BROWSER, FL_HOLD_BROWSER}) {
    list.type(type);
    Fl_Browser plain(0, 0, 400, 300);
    plain.type(type);
    for (int i = 1; i <= list.size(); i++) plain.add(list.text(i));
    for (std::vector<int> picks : {std::vector<int>{}, {3}, {1, 50}, {7, 20, 21, 49}}) {
      for (int line : picks) {
        list.select(line);
        plain.select(line);
      }
      list.value(12);  // current, and in a multiple-selection list not selected
      plain.value(12);
      std::string step = std::to_string(type) + "/" + std::to_string(picks.size());
      EXPECT_EQ(list.deselect(), plain.deselect()) << step;
      EXPECT_EQ(selected_of(&list), selected_of(&plain)) << step;
      EXPECT_EQ(list.value(), plain.value()) << step;
    }
  }
  EXPECT_EQ(list.value(), 0);  // a hold browser has no current line then
  list.type(FL_MULTI_BROWSER);
  list.select(4);
  EXPECT_EQ(list.deselect(), 1);
  EXPECT_EQ(list.value(), 50);  // the last line
  list.clear();
  EXPECT_EQ(list.deselect(), 0);
  EXPECT_EQ(list.value(), 0);
}

}  // namespace

namespace {

// The filter: the lines of the level that hold its text, a long line with
// its pieces; narrowed in place, widened by a read; appended lines filtered
// as they come, an unfinished one that the filter leaves out included.
TEST_F(LogLoad, TheFilterListsTheLinesThatHoldItsText) {
  const size_t P = LogReader::kPiece;
  std::string big = log_line('E', "[Job 7] lab " + std::string(P, 'x') + "tail");
  std::string file = log_line('E', "[Job 7] Queued on lab") + log_line('W', "[Job 70] lab") +
                     log_line('E', "[Job 8] office") + big + log_line('I', "[JOB 7] done");
  struct {
    int level;
    const char *text;
    std::vector<std::string> want;  // top first; "+" a piece
  } cases[] = {
      {2, "[job 7]", {"I [08/Dec/2026:17:23:40 +0000] [JOB 7] done\n", "big", "+",
                      "E [08/Dec/2026:17:23:40 +0000] [Job 7] Queued on lab\n"}},
      {0, "[job 7]", {"big", "+", "E [08/Dec/2026:17:23:40 +0000] [Job 7] Queued on lab\n"}},
      {1, "tail", {}},  // the second piece holds it; the line is judged by its first
      {2, "office", {"E [08/Dec/2026:17:23:40 +0000] [Job 8] office\n"}},
      {2, "E [", {}},  // not the level letter: the list does not show it
  };
  auto shown = [&] {
    std::vector<std::string> out;
    for (void *item = list.first_item(); item; item = list.next_item(item)) {
      std::string t = list.text_of(item);
      out.push_back(list.continuation(item) ? "+" : t == big.substr(0, P) ? "big" : t);
    }
    return out;
  };
  for (auto &c : cases) {
    load(file, c.level);
    list.filter(c.text);
    EXPECT_EQ(shown(), c.want) << c.text;
    // The same lines whether narrowed in place or read afresh.
    list.load();
    EXPECT_EQ(shown(), c.want) << c.text << ", read again";
    list.filter("");
    EXPECT_EQ(list.size(), c.level == 0 ? 4 : 6);
  }

  // Narrowing keeps the current line when it passes, else its number; it
  // reads nothing (an edit of the file is not seen), widening reads.
  load(file, 2);
  list.type(FL_MULTI_BROWSER);
  list.select(5);  // "[Job 70] lab"
  list.filter("lab");
  EXPECT_EQ(list.size(), 4);
  EXPECT_EQ(selected_of(&list), std::vector<int>{3});
  EXPECT_EQ(list.value(), 3);
  write_file(path, file + log_line('E', "[Job 7] lab again"));
  list.filter("] lab");
  EXPECT_EQ(list.size(), 3);  // the long line, its piece, "[Job 70] lab"
  EXPECT_EQ(list.value(), 3);
  list.filter("lab");  // wider: read, and the new line is there
  EXPECT_EQ(list.size(), 5);
  EXPECT_STREQ(list.text(1), log_line('E', "[Job 7] lab again").c_str());
  EXPECT_EQ(selected_of(&list), std::vector<int>{4});
  list.select(1);
  list.filter("lab a");  // the current line goes: its number stays
  EXPECT_EQ(list.size(), 1);
  EXPECT_EQ(list.value(), 1);

  // Following: appended lines pass or not as they come; an unfinished line
  // the filter leaves out is never listed, and one it takes comes longer.
  load(log_line('E', "lab 1"), 0);
  list.filter("lab");
  struct {
    const char *append;
    int size;
    const char *top;
  } steps[] = {
      {"E [08/Dec/2026:17:23:40 +0000] other unfini", 1, "E [08/Dec/2026:17:23:40 +0000] lab 1\n"},
      {"shed\n", 1, "E [08/Dec/2026:17:23:40 +0000] lab 1\n"},
      {"E [08/Dec/2026:17:23:40 +0000] lab unfini", 2, "E [08/Dec/2026:17:23:40 +0000] lab unfini"},
      {"shed\nE [08/Dec/2026:17:23:40 +0000] no\n", 2,
       "E [08/Dec/2026:17:23:40 +0000] lab unfinished\n"},
  };
  for (auto &s : steps) {
    write_file(path, s.append, "ab");
    list.update();
    EXPECT_EQ(list.size(), s.size) << s.append;
    EXPECT_STREQ(list.text(1), s.top) << s.append;
  }
}

// Find: the next line down (or up) that holds the text, round past the end,
// made current and selected alone; nothing changes when no line holds it.
TEST_F(LogLoad, FindGoesToTheNextLineThatHoldsTheText) {
  const size_t P = LogReader::kPiece;
  load(log_line('E', "lab one") + log_line('E', "other") + log_line('E', "LAB two") +
           log_line('E', "x" + std::string(P, 'y') + "lab in a piece"),
       0);
  list.type(FL_MULTI_BROWSER);
  ASSERT_EQ(list.size(), 5);  // the long line's two pieces on top
  list.mark("lab");
  struct {
    bool down, here;
    int want;
    bool wrapped;
  } steps[] = {
      {true, true, 2, false},   // nothing current: from the top, the piece
      {true, true, 2, false},   // here: stays
      {true, false, 3, false},  // "LAB two"
      {true, false, 5, false},  // "lab one"
      {true, false, 2, true},   // round
      {false, false, 5, true},
      {false, false, 3, false},
  };
  for (auto &s : steps) {
    bool wrapped = !s.wrapped;
    EXPECT_EQ(list.find_marked(s.down, s.here, &wrapped), s.want);
    EXPECT_EQ(wrapped, s.wrapped) << s.want;
    EXPECT_EQ(list.value(), s.want);
    EXPECT_EQ(selected_of(&list), std::vector<int>{s.want});
  }
  list.select(1);
  list.mark("nowhere");
  EXPECT_EQ(list.find_marked(true, false), 0);
  EXPECT_EQ(selected_of(&list), (std::vector<int>{1, 3}));  // as it was
  list.mark("");
  EXPECT_EQ(list.find_marked(true, false), 0);  // nothing to look for
}

}  // namespace
