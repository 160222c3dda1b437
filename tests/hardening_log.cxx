// hardening_log.cxx - the log list on logs it cannot trust: binary noise, huge
// lines, NUL bytes, a log that turns into a directory, shrinks, vanishes or is
// rewritten while the window runs, names too long to hold, unreadable files.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/ErrorLog.h"
#include "logview/ErrorBrowser.h"
#include "tests/support/test_child.h"
#include "tests/support/widget_util.h"


namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const size_t kPiece = 10239;

// What the list should hold: the reader's lines, newest first, the pieces of
// a long line in file order under its first.
std::vector<std::string> expected_lines(const std::string &path, int level) {
  LineSink read = read_pieces(path, level);
  std::vector<std::string> out;
  size_t end = read.lines.size();
  for (size_t i = end; i-- > 0;) {
    if (read.continued[i] == '+') continue;
    out.insert(out.end(), read.lines.begin() + (long)i, read.lines.begin() + (long)end);
    end = i;
  }
  return out;
}

std::string random_bytes(unsigned seed, size_t n) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char &c : s) c = (char)(rng() & 0xff);
  return s;
}

struct BadLog : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("error_log");
  ErrorBrowser list{0, 0, 400, 300};

  void load(int level) {
    list.level_ = level;
    snprintf(list.filename_, sizeof list.filename_, "%s", path.c_str());
    list.load();
  }
  // Brings the list up to date as the poll does: only what was appended,
  // when the file only grew.
  void follow(int level) {
    list.level_ = level;
    snprintf(list.filename_, sizeof list.filename_, "%s", path.c_str());
    list.update();
  }
  // The list a fresh browser makes of the file as it is now.
  std::vector<std::string> fresh(int level) {
    ErrorBrowser other(0, 0, 400, 300);
    other.level_ = level;
    snprintf(other.filename_, sizeof other.filename_, "%s", path.c_str());
    other.load();
    return lines_of(&other);
  }
};

TEST_F(BadLog, RandomBinaryBytesGiveBoundedLinesAtEveryLevel) {
  for (unsigned seed : {1u, 2u, 3u}) {
    // Few newlines in places, so that some lines reach the piece limit.
    std::string bytes = random_bytes(seed, 300000);
    for (size_t i = 100000; i < 160000; i++)
      if (bytes[i] == '\n') bytes[i] = 'x';
    write_file(path, bytes);
    for (int level : {0, 1, 2, 7}) {
      auto start = Clock::now();
      load(level);
      EXPECT_LT(seconds_since(start), 10.0);
      std::vector<std::string> got = lines_of(&list);
      EXPECT_EQ(got, expected_lines(path, level)) << "seed " << seed << " level " << level;
      for (const std::string &line : got) ASSERT_LE(line.size(), kPiece);
    }
  }
}

TEST_F(BadLog, FiftyMegabyteLineArrivesInPiecesAndLosesNothing) {
  const size_t size = 50u << 20;
  std::string bytes(size, 'x');
  bytes[0] = 'E';
  bytes[1] = ' ';
  bytes[size - 1] = '\n';
  write_file(path, bytes);

  // At every level that lists it, the line is all its pieces, first at the
  // top: read top to bottom, they are the line again, byte for byte.
  const int pieces = (int)((size + kPiece - 1) / kPiece);
  for (int level : {0, 2}) {
    auto start = Clock::now();
    load(level);
    EXPECT_LT(seconds_since(start), 30.0);
    ASSERT_EQ(list.size(), pieces);
    std::string joined;
    joined.reserve(size);
    for (int i = 1; i <= list.size(); i++) {
      size_t n = strlen(list.text(i));
      ASSERT_TRUE(n == kPiece || i == list.size()) << "piece " << i << " holds " << n;
      joined.append(list.text(i), n);
    }
    EXPECT_TRUE(joined == bytes);
  }
  load(1);
  EXPECT_EQ(list.size(), pieces);
}

TEST_F(BadLog, LinesOfNulBytesAreEmptyLinesOrCutAtTheNul) {
  std::string bytes;
  for (int i = 0; i < 1000; i++) bytes += std::string(40, '\0') + "\n";
  bytes += std::string("E\0 hidden message\n", 18);
  bytes += std::string(kPiece * 2 + 5, '\0');  // no newline at all
  write_file(path, bytes);
  struct {
    int level;
    int size;
  } cases[] = {{0, 1}, {1, 1}, {2, 1000 + 1 + 3}};
  for (const auto &c : cases) {
    load(c.level);
    ASSERT_EQ(list.size(), c.size) << "level " << c.level;
    for (int i = 1; i <= list.size(); i++) {
      // Stored texts end at the first NUL: the E line is just "E".
      std::string line = list.text(i);
      EXPECT_TRUE(line.empty() || line == "E") << "line " << i << ": " << line;
    }
  }
  load(0);
  EXPECT_STREQ(list.text(1), "E");
}

// Following a log that grows piece by piece, whatever its bytes, gives the
// list a fresh read gives.
TEST_F(BadLog, GrowingRandomLogFollowsLikeAFreshRead) {
  for (unsigned seed : {11u, 12u}) {
    std::string bytes = random_bytes(seed, 120000);
    for (size_t i = 20000; i < 45000; i++)
      if (bytes[i] == '\n') bytes[i] = 'E';
    std::mt19937 rng(seed);
    write_file(path, "");
    for (int level : {0, 2}) {
      write_file(path, "");
      load(level);
      size_t written = 0;
      while (written < bytes.size()) {
        size_t n = std::min<size_t>(bytes.size() - written, 1 + rng() % 9000);
        write_file(path, bytes.substr(written, n), "ab");
        written += n;
        follow(level);
        ASSERT_EQ(lines_of(&list), fresh(level))
            << "seed " << seed << " level " << level << " after " << written << " bytes";
      }
    }
  }
}

// A log rewritten in place (same file, same size or longer, same last bytes
// where the previous read stopped) must still be read again from the start.
TEST_F(BadLog, LogRewrittenInPlaceIsNotShownStale) {
  std::string tail;
  for (int i = 0; i < 4; i++) tail += log_line('E', "Job " + std::to_string(i) + " stopped.");
  write_file(path, log_line('E', "Printer alpha is offline.") + tail);
  load(0);
  ASSERT_EQ(list.size(), 5);
  // Same inode, same length, the oldest line edited: a copy put back with cp.
  int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  std::string edited = log_line('E', "Printer omega is offline.") + tail;
  ASSERT_EQ(write(fd, edited.data(), edited.size()), (ssize_t)edited.size());
  close(fd);
  follow(0);
  EXPECT_EQ(lines_of(&list), fresh(0));
  // And the same with lines added after the rewrite.
  write_file(path, log_line('E', "Printer beta is offline."), "ab");
  follow(0);
  EXPECT_EQ(lines_of(&list), fresh(0));

  // A rewrite that keeps the first and last bytes read and also grows the
  // file is taken for an append: telling it apart would mean reading the whole
  // old file at every poll.
}

TEST_F(BadLog, DirectoryTruncatedOrDeletedLogGivesWhatTheFileHolds) {
  write_file(path, "E one\nE two\nE three\n");
  load(0);
  ASSERT_EQ(list.size(), 3);
  // Shrunk in place: only what is left.
  ASSERT_EQ(truncate(path.c_str(), 6), 0);
  follow(0);
  EXPECT_EQ(lines_of(&list), std::vector<std::string>{"E one\n"});
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  follow(0);
  EXPECT_EQ(list.size(), 0);
  write_file(path, "E again\n", "ab");
  follow(0);
  EXPECT_EQ(lines_of(&list), std::vector<std::string>{"E again\n"});
  // A directory in its place reads as no log.
  unlink(path.c_str());
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  load(2);
  EXPECT_EQ(list.size(), 0);
  rmdir(path.c_str());
  // Gone altogether.
  load(2);
  EXPECT_EQ(list.size(), 0);
  // A FIFO must not stall the read.
  ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  auto start = Clock::now();
  load(2);
  EXPECT_LT(seconds_since(start), 2.0);
  EXPECT_EQ(list.size(), 0);
}

template <class F>
bool pump_until(F done, double seconds) {
  auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (Clock::now() > end) return false;
    Fl::wait(0.05);
  }
  return true;
}

void set_mtime(const std::string &path, time_t when) {
  struct utimbuf t;
  t.actime = t.modtime = when;
  utime(path.c_str(), &t);
}

// The running window while its log becomes a directory, comes back, and is
// cut to nothing: the poll keeps going and the list shows what is there.
TEST(BadLogWindow, PollSurvivesADirectoryAndATruncation) {
  TempDir dir;
  std::string path = dir.file("error_log");
  write_file(path, "E one\nE two\n");
  set_mtime(path, time(0) - 100);
  std::unique_ptr<ErrorLog> log(new ErrorLog(path.c_str()));
  ASSERT_EQ(log->list_->size(), 2);

  unlink(path.c_str());
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  set_mtime(path, time(0) - 50);
  EXPECT_TRUE(pump_until([&] { return log->list_->size() == 0; }, 5.0));

  rmdir(path.c_str());
  write_file(path, "E back\nE again\nE more\n");
  set_mtime(path, time(0) - 30);
  EXPECT_TRUE(pump_until([&] { return log->list_->size() == 3; }, 5.0));

  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  set_mtime(path, time(0) - 20);
  EXPECT_TRUE(pump_until([&] { return log->list_->size() == 0; }, 5.0));
}

// Builds a path of exactly `length` characters out of nested directories
// under base, creating the directories; the last component is left to the
// caller (returned path ends in it, not created).
std::string path_of_length(const std::string &base, size_t length) {
  std::string p = base;
  while (length - p.size() > 201) {
    p += "/" + std::string(199, 'd');
    mkdir(p.c_str(), 0755);
  }
  p += "/" + std::string(length - p.size() - 1, 'f');
  return p;
}

TEST(BadLogWindow, OverlongLogPathShowsNoLogAndNoOtherFile) {
  TempDir dir;
  // Nothing at all by that name.
  std::string missing = dir.path + "/" + std::string(2000, 'a');
  std::unique_ptr<ErrorLog> log(new ErrorLog(missing.c_str()));
  EXPECT_LT(strlen(log->list_->filename_), sizeof log->list_->filename_);
  EXPECT_EQ(log->list_->size(), 0);
  EXPECT_EQ(log->mtime_, 0);

  // A name whose first 1023 characters happen to name another log: the
  // window must not show that other file in its place.
  std::string other = path_of_length(dir.path, 1023);
  write_file(other, "E a line of another log\n");
  std::string longer = other + "/../error_log_of_the_day";
  log.reset(new ErrorLog(longer.c_str()));
  EXPECT_EQ(log->list_->size(), 0) << "showed " << (log->list_->size() ? log->list_->text(1) : "");
}

TEST(BadLogWindow, UnreadableLogIsAnEmptyList) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  TempDir dir;
  chmod(dir.path.c_str(), 0755);
  std::string locked = dir.file("locked_log"), open_log = dir.file("open_log");
  write_file(locked, "E secret\n");
  write_file(open_log, "E visible\n");
  chmod(locked.c_str(), 0);
  chmod(open_log.c_str(), 0644);
  auto count = [](const std::string &path) {
    return as_nobody([path] {
      ErrorBrowser list(0, 0, 400, 300);
      snprintf(list.filename_, sizeof list.filename_, "%s", path.c_str());
      list.load();
      return std::to_string(list.size());
    });
  };
  EXPECT_EQ(count(locked), "0");
  EXPECT_EQ(count(open_log), "1");  // the same child reads a file it may read
}

}  // namespace

namespace {

// The toolkit's menu item calls its callback from an inline function, so the
// call is compiled into our code: under the sanitizers this checks that the
// callbacks, stored cast to the toolkit's type, run cleanly and reach the window.
TEST(BadLogWindow, MenuCallbacksRunThroughTheToolkitsOwnCall) {
  TempDir dir;
  std::string path = dir.file("error_log");
  write_file(path, "E one\nW two\nD three\n");
  std::unique_ptr<ErrorLog> log(new ErrorLog(path.c_str()));
  struct {
    const char *entry;
    int level, size;
  } cases[] = {{"&View/&All", 2, 3}, {"&View/&Informational", 1, 2}, {"&View/&Errors", 0, 1}};
  for (const auto &c : cases) {
    const Fl_Menu_Item *item = log->menubar_->find_item(c.entry);
    ASSERT_NE(item, nullptr) << c.entry;
    item->do_callback(log->menubar_);
    EXPECT_EQ(log->list_->level_, c.level) << c.entry;
    EXPECT_EQ(log->list_->size(), c.size) << c.entry;
  }
  const Fl_Menu_Item *diagnose = log->menubar_->find_item("&Action/&Diagnose");
  ASSERT_NE(diagnose, nullptr);
  diagnose->do_callback(log->menubar_);
  ASSERT_NE(log->help_->value(), nullptr);
  EXPECT_NE(strstr(log->help_->value(), "<H1>"), nullptr);
}

}  // namespace
